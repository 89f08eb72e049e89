#include "doc/EditOperations.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "doc/DocTexts.h"
#include "doc/PathUtil.h"
#include "image/DibImage.h"
#include "image/DibRowConverter.h"
#include "image/PixelOrder.h"
#include "nif/TextureScanner.h"
#include "nif/TextureWriter.h"
#include "platform/Backup.h"
#include "platform/CoreError.h"
#include "platform/File.h"
#include "platform/Format.h"

namespace {

uint32_t RecordHeight(const CDibImage& image)
{
    const int64_t height = image.GetHeight();
    return static_cast<uint32_t>(height < 0 ? -height : height);
}

[[noreturn]] void ThrowWriteError(const std::string& path, const std::string& reason)
{
    throw CCoreError(FormatString(kWriteError, path.c_str()), reason, CCoreError::Kind::System);
}

// The scanned texture at index, checked against what the caller read.
ScannedTexture TextureToChange(const std::string& path, uint32_t index, const EditOptions& options)
{
    uint64_t length = 0;
    std::vector<ScannedTexture> textures;
    try {
        textures = ScanModelTextures(path, length);
    } catch (const CFileException& e) {
        throw CCoreError(FormatString(kReadError, path.c_str()), e.GetReason(), CCoreError::Kind::System);
    }
    if (index >= textures.size()) {
        throw CCoreError(
            FormatString(kNoSuchImage, index, path.c_str(), textures.size(), textures.size() == 1 ? "" : "s"));
    }
    const ScannedTexture& texture = textures[index];
    bool same = !options.expectedShape ||
        (texture.shape.width == options.expectedShape->width && texture.shape.height == options.expectedShape->height &&
            texture.shape.BytesPerPixel() == options.expectedShape->BytesPerPixel());
    if (same && options.expectedOffsets) {
        same = options.expectedOffsets->size() == textures.size();
        for (size_t i = 0; same && i < textures.size(); ++i)
            same = (*options.expectedOffsets)[i] == textures[i].offset;
    }
    if (!same)
        ThrowWriteError(path, kChangedMeanwhile);
    if (!texture.pixelBytes || texture.shape.width == 0 || texture.shape.height == 0)
        throw CCoreError(FormatString(kReadError, path.c_str()), FormatString("Image %u is cut off or empty.", index));
    return texture;
}

// Rewrites the one texture, making the backup just before the write.
void Rewrite(const std::string& path, const ScannedTexture& texture, const RawTextureShape& written,
    const BlockPixelWriter& pixels, const EditOptions& options, EditResult& result)
{
    try {
        RewriteRawImageBlocks(path, {BlockRewrite{texture.offset, texture.shape, written}}, pixels, [&] {
            if (options.bBackup)
                result.strBackupPath = MakeBackup(path);
            if (options.beforeWrite)
                options.beforeWrite();
        });
    } catch (const CFileException& e) {
        ThrowWriteError(path, e.GetReason());
    } catch (const std::bad_alloc&) {
        ThrowWriteError(path, "There is not enough memory.");
    }
    result.strPath = path;
    result.nOffset = texture.offset;
    result.before = texture.shape;
    result.after = written;
}

}  // namespace

ReplacementShape ShapeOfReplacement(const CDibImage& image, bool bTarga)
{
    return ReplacementShape{static_cast<uint32_t>(image.GetWidth()), RecordHeight(image), image.GetBitCount(), bTarga};
}

ReplacementCheck CheckReplacement(const RawTextureShape& texture, const ReplacementShape& image, AlphaRule rule)
{
    ReplacementCheck check;
    const bool sameSize = image.width == texture.width && image.height == texture.height;
    const unsigned textureBits = texture.BytesPerPixel() == 3 ? 24 : 32;
    check.written = RawTextureShape{image.width, image.height, image.bitCount == 24 ? 1u : 2u};
    if (image.bitCount < 24)
        check.verdict = Verdict::TooFewBits;
    else if (image.bTarga && !sameSize)
        check.verdict = Verdict::SizeDiffers;
    else if (image.bitCount != 24 && image.bitCount != 32)
        check.verdict = Verdict::UnknownDepth;
    else if (rule == AlphaRule::KeepTextureAlpha && image.bitCount == 24 && textureBits == 32 && sameSize) {
        check.bKeepAlpha = true;
        check.written.format = 2;
    } else if (image.bitCount != textureBits)
        check.verdict = Verdict::ConfirmDepth;
    return check;
}

std::string ReplacementCheck::Text(const RawTextureShape& texture, const ReplacementShape& image) const
{
    switch (verdict) {
    case Verdict::Accept: return {};
    case Verdict::ConfirmDepth:
        return FormatString(kDepthNotAccepted, image.bitCount, texture.BytesPerPixel() == 3 ? 24u : 32u);
    case Verdict::TooFewBits: return kBelow24Bits;
    case Verdict::SizeDiffers: return kDimensionsDiffer;
    case Verdict::UnknownDepth: return kUnknownDepth;
    }
    return {};
}

std::vector<uint8_t> BlockPixelsOf(const CDibImage& image)
{
    const uint64_t width = static_cast<uint64_t>(image.GetWidth());
    const bool topDown = image.GetHeight() < 0;
    const uint64_t height = RecordHeight(image);
    const uint32_t bytesPerPixel = image.GetBitCount() / 8;
    std::vector<uint8_t> pixels(static_cast<size_t>(width * height * bytesPerPixel));
    for (uint64_t r = 0; r < height; ++r) {
        const uint64_t source = topDown ? r : height - 1 - r;
        CopySwappingRedBlue(image.GetBits() + source * image.GetStride(), pixels.data() + r * width * bytesPerPixel,
            width, bytesPerPixel);
    }
    return pixels;
}

std::unique_ptr<CDibImage> LoadReplacement(const std::string& path, PngAlpha pngAlpha)
{
    const std::string ext = UpperExtension(FileNamePart(path));
    FileKind kind = FileKind::None;
    if (ext == "BMP")
        kind = FileKind::Bmp;
    else if (ext == "PNG")
        kind = FileKind::Png;
    else if (ext == "TGA")
        kind = FileKind::Tga;
    else
        throw CCoreError(FormatString(kUnknownReplacementKind, path.c_str()));
    std::unique_ptr<CDibImage> image;
    try {
        image = std::make_unique<CDibImage>(path, kind, pngAlpha);
    } catch (const CException& e) {
        throw CCoreError::From(e);
    }
    CDibRowConverter::MakePlainBgra(*image);
    return image;
}

std::vector<ScannedTexture> ScanModelTextures(const std::string& path, uint64_t& length)
{
    CFile file;
    CFileException error;
    if (!file.Open(path, CFile::modeRead, &error))
        throw error;
    std::vector<uint64_t> offsets;
    std::vector<RawTextureShape> shapes;
    ScanRawImageData(file, offsets, shapes);
    length = file.GetLength();
    std::vector<ScannedTexture> textures;
    textures.reserve(offsets.size());
    for (size_t i = 0; i < offsets.size(); ++i) {
        ScannedTexture texture{offsets[i], shapes[i], shapes[i].PixelBytes()};
        const uint64_t start = offsets[i] + kRawFieldBytes;
        if (texture.pixelBytes && (start > length || length - start < *texture.pixelBytes))
            texture.pixelBytes.reset();
        textures.push_back(texture);
    }
    return textures;
}

int64_t EditResult::Shift() const
{
    return static_cast<int64_t>(after.PixelBytes().value_or(0)) - static_cast<int64_t>(before.PixelBytes().value_or(0));
}

EditResult ReplaceTexture(
    const std::string& path, uint32_t index, const CDibImage& image, bool bTarga, const EditOptions& options)
{
    const ScannedTexture texture = TextureToChange(path, index, options);
    const ReplacementShape shape = ShapeOfReplacement(image, bTarga);
    const ReplacementCheck check = CheckReplacement(texture.shape, shape, options.alphaRule);
    if (check.Refused())
        throw CCoreError(check.Text(texture.shape, shape));
    if (check.verdict == Verdict::ConfirmDepth && !options.bAcceptDepthChange)
        throw CCoreError(check.Text(texture.shape, shape), {}, CCoreError::Kind::DepthChange);
    // One image's worth of memory: the replacement in the block's order.
    const std::vector<uint8_t> pixels = BlockPixelsOf(image);
    EditResult result;
    Rewrite(
        path, texture, check.written,
        [&](size_t, CFile& in, uint64_t oldPixels, CSafeFileWriter& out) {
            if (!check.bKeepAlpha) {
                out.Write(pixels.data(), pixels.size());
                return;
            }
            // The colours are the image's, each alpha byte the texture's own.
            std::vector<uint8_t> merged(1 << 20);  // a whole number of pixels
            in.Seek(static_cast<int64_t>(oldPixels), CFile::begin);
            for (size_t from = 0; from < pixels.size();) {
                const size_t count = std::min(merged.size() / 4, (pixels.size() - from) / 3);
                if (in.Read(merged.data(), count * 4) != count * 4)
                    throw CFileException(CFileException::endOfFile, 0, path);
                for (size_t p = 0; p < count; ++p)
                    std::memcpy(merged.data() + p * 4, pixels.data() + from + p * 3, 3);
                out.Write(merged.data(), count * 4);
                from += count * 3;
            }
        },
        options, result);
    return result;
}

EditResult StampTextureAlpha(const std::string& path, uint32_t index, uint8_t alpha, const EditOptions& options)
{
    const ScannedTexture texture = TextureToChange(path, index, options);
    if (texture.shape.BytesPerPixel() != 4)
        throw CCoreError(kNotRgba);
    const uint64_t bytes = *texture.pixelBytes;
    EditResult result;
    Rewrite(
        path, texture, texture.shape,
        [&](size_t, CFile& in, uint64_t oldPixels, CSafeFileWriter& out) {
            std::vector<uint8_t> buffer(1 << 20);  // a whole number of pixels
            in.Seek(static_cast<int64_t>(oldPixels), CFile::begin);
            for (uint64_t left = bytes; left > 0;) {
                const size_t step = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
                if (in.Read(buffer.data(), step) != step)
                    throw CFileException(CFileException::endOfFile, 0, path);
                for (size_t i = 3; i < step; i += 4)
                    buffer[i] = alpha;
                out.Write(buffer.data(), step);
                left -= step;
            }
        },
        options, result);
    return result;
}

EditResult ReplaceCompressedBitmapImage(const std::string& path, const CDibImage& image, const EditOptions& options)
{
    if (image.GetBitCount() < 24)
        throw CCoreError(kBelow24Bits);
    EditResult result;
    try {
        if (options.bBackup)
            result.strBackupPath = MakeBackup(path);
        if (options.beforeWrite)
            options.beforeWrite();
        WriteCompressedBitmapFile(path, image);
    } catch (const CCoreError&) {
        throw;
    } catch (const CException& e) {
        throw CCoreError(e.GetErrorMessage());
    } catch (const std::bad_alloc&) {
        throw CCoreError(FormatString(kWriteError, path.c_str()), "There is not enough memory.");
    }
    result.strPath = path;
    return result;
}

std::optional<ModelFileLink> FindModelFileLink(const std::string& path)
{
    try {
        CFile file;
        CFileException error;
        if (!file.Open(path, CFile::modeRead, &error))
            throw error;
        std::vector<uint64_t> offsets;
        if (ScanRawImageData(file, offsets) > 0)
            return std::nullopt;
        const uint64_t position = ScanImageLink(file);
        if (position == 0)
            return std::nullopt;
        const std::optional<std::string> name = ExtractLinkName(file, position);
        if (!name)
            return std::nullopt;
        ModelFileLink link;
        link.strName = *name;
        link.strPath = ResolveLinkedPath(DirectoryPart(path), *name);
        link.bLeavesFolder = LinkLeavesFolder(FolderPart(path), link.strPath);
        return link;
    } catch (const CFileException& e) {
        throw CCoreError(FormatString(kReadError, path.c_str()), e.GetReason(), CCoreError::Kind::System);
    }
}

bool LinkLeavesFolder(const std::string& folder, const std::string& resolved)
{
    // Textual: the link's own ".." parts count, wherever links on disk lead.
    std::string prefix = folder;
    if (prefix.empty() || prefix.back() != '/')
        prefix += '/';
    if (resolved.compare(0, prefix.size(), prefix) != 0)
        return true;
    const std::string rest = "/" + resolved.substr(prefix.size()) + "/";
    return rest.find("/../") != std::string::npos;
}
