#include "nif/TextureWriter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "image/BmzCodec.h"
#include "image/DibBlockCheck.h"
#include "image/PixelOrder.h"
#include "platform/BitmapTypes.h"
#include "platform/CoreError.h"
#include "platform/File.h"
#include "platform/Format.h"
#include "platform/PathParts.h"

namespace {

constexpr char kWriteError[] = "Error writing file.\nFile: %s";
constexpr char kBmzError[] = "Unable to create .bmz file";
constexpr size_t kCopyChunk = 1024 * 1024;
constexpr uint64_t kAlphaByte = 3;
constexpr char kNotWritable[] = "The file or its folder is not writable.";
constexpr char kBadFields[] = "The new texture's fields are not valid.";
constexpr char kChanged[] = "The file was changed since it was read.";
constexpr char kShortPixels[] = "The new pixels do not fill the texture.";

// A file or folder that is marked read-only is not written, even by a user
// whom the system would let through (such as the administrator).
bool HasWriteBits(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) != 0;
}

std::string FolderOf(const std::string& path)
{
    char resolved[PATH_MAX];
    const std::string real = ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
    return FolderPart(real);
}

// Replacing a file means writing its new version into the same folder.
bool MayReplace(const std::string& path)
{
    return (!FileExists(path) || HasWriteBits(path)) && HasWriteBits(FolderOf(path));
}

// Copies count bytes starting at start of the file into the new version.
void CopyRange(CFile& from, uint64_t start, uint64_t count, CSafeFileWriter& to, std::vector<uint8_t>& buffer)
{
    // Inside the kernel where it can, without a pass through this process's
    // memory; in steps after each of which the copied part starts going to disk.
    loff_t position = static_cast<loff_t>(start);
    uint64_t copied = 0;
    while (copied < count) {
        const ssize_t n = ::copy_file_range(from.GetHandle(), &position, to.GetHandle(), nullptr,
            static_cast<size_t>(std::min(count - copied, CSafeFileWriter::kWritebackStep)), 0);
        if (n <= 0)
            break;  // not here, or the file ended early: the buffered copy finds out which
        copied += static_cast<uint64_t>(n);
        to.Wrote(static_cast<uint64_t>(n));
    }
    from.Seek(static_cast<int64_t>(start + copied), CFile::begin);
    for (uint64_t left = count - copied; left > 0;) {
        const size_t step = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
        if (from.Read(buffer.data(), step) != step)  // the file became shorter meanwhile
            throw CFileException(CFileException::endOfFile, 0, from.GetFilePath());
        to.Write(buffer.data(), step);
        left -= step;
    }
}

// Copies a block's pixels from in (at start) to out with every fourth byte set to alpha.
void CopyStampingAlpha(CFile& in, uint64_t start, uint64_t pixelBytes, uint8_t alpha, CSafeFileWriter& out)
{
    std::vector<uint8_t> buffer(kCopyChunk);  // a whole number of pixels
    in.Seek(static_cast<int64_t>(start), CFile::begin);
    for (uint64_t left = pixelBytes; left > 0;) {
        const size_t step = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
        if (in.Read(buffer.data(), step) != step)
            throw CFileException(CFileException::endOfFile, 0, in.GetFilePath());
        for (size_t i = kAlphaByte; i < step; i += 4)
            buffer[i] = alpha;
        out.Write(buffer.data(), step);
        left -= step;
    }
}

uint64_t WrittenSoFar(const CSafeFileWriter& out)
{
    const off_t position = ::lseek(out.GetHandle(), 0, SEEK_CUR);
    return position < 0 ? 0 : static_cast<uint64_t>(position);
}

// The end of the block's old pixels, or 0 when the block is no longer what it was.
uint64_t BlockEnd(CFile& file, uint64_t length, const BlockRewrite& block)
{
    const std::optional<uint64_t> oldBytes = block.expected.PixelBytes();
    if (!oldBytes || block.offset > length || length - block.offset < kRawFieldBytes ||
        length - block.offset - kRawFieldBytes < *oldBytes)
        return 0;
    const std::optional<RawTextureShape> stored = ReadRawTextureShape(file, block.offset);
    if (!stored || !(*stored == block.expected))
        return 0;
    return block.offset + kRawFieldBytes + *oldBytes;
}

// The stamped texture goes into a new version of the file like a splice, so a
// failure part way leaves the old file whole rather than half stamped.
bool StampOrThrow(
    const std::string& path, uint64_t offset, uint64_t pixelBytes, uint8_t alpha, const RawTextureShape& expected)
{
    if (expected.BytesPerPixel() != 4 || expected.PixelBytes() != pixelBytes)
        return false;
    RewriteRawImageBlocks(path, {BlockRewrite{offset, expected, expected}},
        [&](size_t, CFile& in, uint64_t oldPixels, CSafeFileWriter& out) {
            CopyStampingAlpha(in, oldPixels, pixelBytes, alpha, out);
        });
    return true;
}

bool WriteBmzOrThrow(const std::string& target, const CDibImage& image)
{
    // The bitmap file the image makes: its file header, then its block.
    const BITMAPFILEHEADER& head = image.GetFileHeader();
    const uint64_t bodyBytes = head.bfSize >= sizeof head ? head.bfSize - sizeof head : 0;
    if (!DibRowsInsideBlock(image) || bodyBytes < sizeof(BITMAPINFOHEADER) || bodyBytes > image.GetBlockSize())
        return false;
    // The value at offset 4 is the old file's own, read before it is replaced.
    uint16_t carried = 1;
    FileIdentity identity;
    {
        CFile old;
        if (old.Open(target, CFile::modeRead))
            identity = old.GetIdentity();
        if (old.IsOpen() && old.GetLength() > kBmzHeaderSize) {
            uint8_t bytes[2];
            old.Seek(4, CFile::begin);
            if (old.Read(bytes, 2) == 2)
                std::memcpy(&carried, bytes, 2);
        }
    }
    if (!MayReplace(target))
        return false;
    ByteBuffer file;
    if (!BuildBmzFile(reinterpret_cast<const uint8_t*>(&head), sizeof head,
            reinterpret_cast<const uint8_t*>(image.GetBitmapInfo()), static_cast<size_t>(bodyBytes), head.bfSize,
            carried, file))
        return false;
    CSafeFileWriter out;
    if (!out.Open(target))
        return false;
    if (identity.bValid)
        out.ExpectIdentity(identity);
    out.Write(file.bytes.get(), file.size);
    out.Commit();
    return true;
}

bool SpliceOrThrow(const std::string& path, uint64_t offset, uint64_t oldPixelBytes, const RawTextureShape& shape,
    const uint8_t* pixels, uint64_t pixelBytes, const RawTextureShape& expected)
{
    const std::optional<uint64_t> newBytes = shape.PixelBytes();
    if (!newBytes || *newBytes != pixelBytes || (pixelBytes && !pixels) || expected.PixelBytes() != oldPixelBytes)
        return false;
    RewriteRawImageBlocks(path, {BlockRewrite{offset, expected, shape}},
        [&](size_t, CFile&, uint64_t, CSafeFileWriter& out) { out.Write(pixels, static_cast<size_t>(pixelBytes)); });
    return true;
}

}  // namespace

void RewriteRawImageBlocks(const std::string& path, const std::vector<BlockRewrite>& unordered,
    const BlockPixelWriter& pixels, const std::function<void()>& beforeWrite)
{
    const auto refuse = [&](int cause, const char* reason) { throw CFileException::Refusal(cause, reason, path); };
    // Written in file order; the pixel writer is still told each block's own index.
    std::vector<size_t> order(unordered.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(
        order.begin(), order.end(), [&](size_t a, size_t b) { return unordered[a].offset < unordered[b].offset; });
    std::vector<BlockRewrite> blocks;
    blocks.reserve(order.size());
    for (size_t i : order)
        blocks.push_back(unordered[i]);
    if (!MayReplace(path))
        refuse(CFileException::accessDenied, kNotWritable);
    for (const BlockRewrite& block : blocks) {
        const RawTextureShape& shape = block.replacement;
        if ((shape.format != 1 && shape.format != 2) || !shape.PixelBytes())
            refuse(CFileException::invalidFile, kBadFields);
    }
    CFile in;
    CFileException error;
    if (!in.Open(path, CFile::modeRead, &error))
        throw error;
    // Replaces the file only if nobody changed it since these bytes were read.
    const FileIdentity identity = in.GetIdentity();
    const uint64_t length = identity.nSize;
    std::vector<uint64_t> ends;
    for (const BlockRewrite& block : blocks) {
        const uint64_t end = BlockEnd(in, length, block);
        if (end == 0 || (!ends.empty() && block.offset < ends.back()))
            refuse(CFileException::invalidFile, kChanged);
        ends.push_back(end);
    }

    CSafeFileWriter out;
    if (!out.Open(path, &error))
        throw error;
    out.ExpectIdentity(identity);
    if (beforeWrite)
        beforeWrite();
    std::vector<uint8_t> buffer(kCopyChunk);
    uint64_t position = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const BlockRewrite& block = blocks[i];
        CopyRange(in, position, block.offset - position, out, buffer);
        const uint32_t fields[3] = {block.replacement.width, block.replacement.height, block.replacement.format};
        out.Write(fields, sizeof fields);
        const uint64_t before = WrittenSoFar(out);
        pixels(order[i], in, block.offset + kRawFieldBytes, out);
        // A writer that wrote too little or too much would shift every later byte.
        if (WrittenSoFar(out) - before != *block.replacement.PixelBytes())
            refuse(CFileException::invalidFile, kShortPixels);
        position = ends[i];
    }
    CopyRange(in, position, length - position, out, buffer);
    out.Commit();
}

uint64_t ConvertDibToRawPixels(uint8_t* pixels, uint32_t width, uint32_t height, uint32_t bitCount)
{
    if ((bitCount != 24 && bitCount != 32) || !pixels)
        return 0;
    const uint32_t bytesPerPixel = bitCount / 8;
    const uint64_t rowBytes = static_cast<uint64_t>(width) * bytesPerPixel;
    const uint64_t stride = DibStride(width, bitCount);
    // Pairs of rows change places, each pixel's red and blue exchanged on the way.
    std::vector<uint8_t> front(static_cast<size_t>(rowBytes));
    for (uint64_t r = 0; r < height / 2; ++r) {
        uint8_t* top = pixels + r * stride;
        uint8_t* bottom = pixels + (height - 1 - r) * stride;
        std::memcpy(front.data(), top, static_cast<size_t>(rowBytes));
        CopySwappingRedBlue(bottom, top, width, bytesPerPixel);
        CopySwappingRedBlue(front.data(), bottom, width, bytesPerPixel);
    }
    if (height % 2 == 1) {
        uint8_t* middle = pixels + static_cast<uint64_t>(height / 2) * stride;
        CopySwappingRedBlue(middle, middle, width, bytesPerPixel);
    }
    // Then the padding goes: each row moves down to its packed place.
    if (stride != rowBytes) {
        for (uint64_t r = 1; r < height; ++r)
            std::memmove(pixels + r * rowBytes, pixels + r * stride, static_cast<size_t>(rowBytes));
    }
    return rowBytes * height;
}

namespace {

// Runs a write; when it did not complete, throws the text with the system's reason.
template <typename Write> void WriteOrFail(const std::string& text, Write&& write)
{
    std::string reason;
    try {
        if (write())
            return;
    } catch (const CFileException& e) {
        reason = e.GetReason();
    } catch (const std::bad_alloc&) {
        reason = "There is not enough memory.";
    }
    throw CCoreError(text, reason, CCoreError::Kind::System);
}

}  // namespace

void SpliceRawImageBlock(const std::string& path, uint64_t offset, uint64_t oldPixelBytes, uint32_t width,
    uint32_t height, uint32_t format, const uint8_t* pixels, uint64_t pixelBytes, const RawTextureShape& expected)
{
    WriteOrFail(FormatString(kWriteError, path.c_str()), [&] {
        return SpliceOrThrow(
            path, offset, oldPixelBytes, RawTextureShape{width, height, format}, pixels, pixelBytes, expected);
    });
}

void WriteCompressedBitmapFile(const std::string& target, const CDibImage& image)
{
    WriteOrFail(kBmzError, [&] { return WriteBmzOrThrow(target, image); });
}

void StampAlpha(
    const std::string& path, uint64_t offset, uint64_t pixelBytes, uint8_t alpha, const RawTextureShape& expected)
{
    WriteOrFail(FormatString(kWriteError, path.c_str()),
        [&] { return StampOrThrow(path, offset, pixelBytes, alpha, expected); });
}
