#include "doc/MapMaker.h"

#include <cstring>

#include "doc/TavrelDoc.h"
#include "image/DibBlockCheck.h"
#include "image/DibImage.h"
#include "image/DibRowConverter.h"
#include "platform/Exceptions.h"
#include "platform/UiServices.h"

namespace {

bool IsTile(const CDibImage* image)
{
    return image && image->GetBitmapInfo() && image->GetWidth() == kMapTileSize && image->GetHeight() == kMapTileSize;
}

}  // namespace

std::vector<const CDibImage*> CollectMapCandidates(const std::vector<const CDibImage*>& images)
{
    std::vector<const CDibImage*> candidates;
    for (const CDibImage* image : images) {
        if (candidates.size() == kMapCellCount)
            break;
        if (IsTile(image))
            candidates.push_back(image);
    }
    return candidates;
}

MapCandidates CollectMapCandidates(const CTavrelDoc& doc)
{
    MapCandidates found;
    if (doc.GetFileKind() != FileKind::Nif)
        return found;
    for (uint32_t i = 0; i < doc.ImageCount() && found.images.size() < kMapCellCount; ++i) {
        const RawTextureShape* shape = doc.TextureShapeAt(i);
        if (!shape || shape->width != kMapTileSize || shape->height != kMapTileSize || !doc.TextureLooksReadable(i))
            continue;
        // A record of the map's own: the document's cache may drop its records while the map is open.
        std::unique_ptr<CDibImage> record = doc.ReadTexture(i);
        if (!IsTile(record.get()))
            continue;
        found.images.push_back(record.get());
        found.indices.push_back(i);
        found.owned.push_back(std::move(record));
    }
    return found;
}

CMapCells::CMapCells(std::vector<const CDibImage*> candidates)
    : m_candidates(std::move(candidates))
{
    if (m_candidates.size() > kMapCellCount)
        m_candidates.resize(kMapCellCount);
    for (int n = 0; n < kMapCellCount; ++n)
        m_cells[n] = n < CandidateCount() ? n : kEmpty;
}

const CDibImage* CMapCells::GetCandidate(int index) const
{
    return index >= 0 && index < CandidateCount() ? m_candidates[index] : nullptr;
}

int CMapCells::GetCell(int cell) const
{
    return cell >= 0 && cell < kMapCellCount ? m_cells[cell] : kEmpty;
}

const CDibImage* CMapCells::GetCellImage(int cell) const
{
    return GetCandidate(GetCell(cell));
}

bool CMapCells::Toggle(int cell)
{
    if (cell < 0 || cell >= kMapCellCount)
        return false;
    int& shown = m_cells[cell];
    const int count = CandidateCount();
    if (shown == kEmpty)
        shown = count > 0 ? 0 : kEmpty;
    else if (shown + 1 < count)
        ++shown;
    else
        shown = count < kMapCellCount ? kEmpty : 0;
    return true;
}

bool CMapCells::SetCell(int cell, int candidate)
{
    if (cell < 0 || cell >= kMapCellCount || candidate < kEmpty || candidate >= CandidateCount())
        return false;
    m_cells[cell] = candidate;
    return true;
}

bool CopyTileRows(const CDibImage& tile, uint8_t* topRow, ptrdiff_t rowStep)
{
    if (!IsTile(&tile) || !DibRowsInsideBlock(tile))
        return false;
    const uint32_t compression = tile.GetBitmapInfo()->bmiHeader.biCompression;
    const unsigned bitCount = tile.GetBitCount();
    const bool plain24 = bitCount == 24 && compression == BI_RGB;
    const bool plain32 = bitCount == 32 && compression == BI_RGB;
    CDibRowConverter converter;
    if (!plain24 && !plain32 && ((compression != BI_RGB && compression != BI_BITFIELDS) || !converter.Init(tile)))
        return false;

    const uint8_t* bits = tile.GetBits();
    const size_t stride = tile.GetStride();
    for (int y = 0; y < kMapTileSize; ++y) {
        // The record's rows run bottom-up.
        const uint8_t* src = bits + stride * static_cast<size_t>(kMapTileSize - 1 - y);
        uint8_t* dst = topRow + rowStep * y;
        if (plain24) {
            std::memcpy(dst, src, kMapTileSize * 3);
        } else if (plain32) {
            for (int x = 0; x < kMapTileSize; ++x, src += 4, dst += 3) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
            }
        } else {
            converter.ConvertRow(src, dst);
        }
    }
    return true;
}

std::unique_ptr<CDibImage> ComposeMap(const CMapCells& cells)
{
    std::unique_ptr<CDibImage> map = CDibImage::CreateBlank24(kMapSize, kMapSize);
    const size_t stride = map->GetStride();
    for (int n = 0; n < kMapCellCount; ++n) {
        const CDibImage* tile = cells.GetCellImage(n);
        if (!tile)
            continue;  // the new record's rows are black
        // The map's rows run bottom-up too: the cell's top row is row
        // 1023 - 256 × (n / 4) of the record, and its rows go downwards from there.
        const size_t topRow = static_cast<size_t>(kMapSize - 1 - kMapTileSize * (n / kMapColumns));
        uint8_t* at = map->GetBits() + topRow * stride + size_t{3} * kMapTileSize * (n % kMapColumns);
        CopyTileRows(*tile, at, -static_cast<ptrdiff_t>(stride));
    }
    return map;
}

bool SaveMapBitmap(const CMapCells& cells, const std::string& path)
{
    return RunReportingFailure([&] { ComposeMap(cells)->WriteBmp(path); });
}
