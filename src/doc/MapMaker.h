#pragma once
// The map of a large model file: sixteen 256 × 256 textures (tiles) arranged
// in a 4 × 4 grid of cells and composed into one 1024 × 1024 picture.
// Cell n lies in row n / 4 and column n % 4; row 0 is the top of the map.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CDibImage;
class CTavrelDoc;

inline constexpr int kMapCellCount = 16;
inline constexpr int kMapColumns = 4;
inline constexpr int kMapTileSize = 256;
inline constexpr int kMapSize = kMapColumns * kMapTileSize;

// The tiles a map can use: the first 16 readable records of exactly
// 256 × 256 pixels, in the given order.
std::vector<const CDibImage*> CollectMapCandidates(const std::vector<const CDibImage*>& images);
// The same among the open model file's textures, read now: only those whose
// fields say 256 × 256 (none for other kinds of file).
struct MapCandidates {
    std::vector<std::unique_ptr<CDibImage>> owned;  // the records read
    std::vector<const CDibImage*> images;  // the candidates, in file order
    std::vector<uint32_t> indices;  // their texture indices
};
MapCandidates CollectMapCandidates(const CTavrelDoc& doc);

// Which candidate each cell shows. Cell n starts with candidate n, or empty
// when there are fewer candidates than that.
class CMapCells {
public:
    static constexpr int kEmpty = -1;

    explicit CMapCells(std::vector<const CDibImage*> candidates);

    int CandidateCount() const { return static_cast<int>(m_candidates.size()); }
    const CDibImage* GetCandidate(int index) const;
    // The candidate index a cell shows, or kEmpty.
    int GetCell(int cell) const;
    // The record a cell shows; null when it is empty.
    const CDibImage* GetCellImage(int cell) const;

    // Moves a cell on to the next candidate. After the last one comes the
    // first; with fewer than 16 candidates the empty cell comes in between.
    // False, changing nothing, for a cell outside 0 to 15.
    bool Toggle(int cell);
    // Shows a candidate (or kEmpty) in a cell; false when either is out of range.
    bool SetCell(int cell, int candidate);

private:
    std::vector<const CDibImage*> m_candidates;
    std::array<int, kMapCellCount> m_cells;
};

// Writes a 256 × 256 record's pixels as 24-bit blue-green-red rows, top row
// first, each row rowStep bytes after the one above it (negative to fill a
// bottom-up picture). Alpha is dropped. False, writing nothing, for a record
// that does not hold a whole 256 × 256 image.
bool CopyTileRows(const CDibImage& tile, uint8_t* topRow, ptrdiff_t rowStep);

// The 1024 × 1024 24-bit picture of the cells, pixel for pixel the tiles;
// empty cells are black. Throws CMemoryException.
std::unique_ptr<CDibImage> ComposeMap(const CMapCells& cells);

// Composes the map and writes it as a 24-bit BMP file. The file is written
// whole or not at all: an existing file stays as it was on any failure.
// False after the failure has been shown through the platform services.
bool SaveMapBitmap(const CMapCells& cells, const std::string& path);
