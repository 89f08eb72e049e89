#include "nif/BlockRewriter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "platform/File.h"
#include "platform/PathParts.h"

namespace {

constexpr size_t kCopyChunk = 1024 * 1024;

// A file or folder that is marked read-only is not written, even by a user
// whom the system would let through (such as the administrator).
bool HasWriteBits(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) != 0;
}

std::string RealFolderOf(const std::string& path)
{
    char resolved[PATH_MAX];
    const std::string real = ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
    return FolderPart(real);
}

void CopyRange(CFile& from, uint64_t start, uint64_t count, CSafeFileWriter& to, std::vector<uint8_t>& buffer)
{
    from.Seek(static_cast<int64_t>(start), CFile::begin);
    while (count > 0) {
        const size_t step = static_cast<size_t>(std::min<uint64_t>(count, buffer.size()));
        if (from.Read(buffer.data(), step) != step)   // the file became shorter meanwhile
            throw CFileException(CFileException::endOfFile, 0, from.GetFilePath());
        to.Write(buffer.data(), step);
        count -= step;
    }
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

uint64_t WrittenSoFar(const CSafeFileWriter& out)
{
    const off_t position = ::lseek(out.GetHandle(), 0, SEEK_CUR);
    return position < 0 ? 0 : static_cast<uint64_t>(position);
}

}  // namespace

bool RewriteRawImageBlocks(const std::string& path, const std::vector<BlockRewrite>& unordered,
                           const BlockPixelWriter& pixels)
{
    // Written in file order; the pixel writer is still told each block's own index.
    std::vector<size_t> order(unordered.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return unordered[a].offset < unordered[b].offset; });
    std::vector<BlockRewrite> blocks;
    for (size_t i : order)
        blocks.push_back(unordered[i]);
    if (!HasWriteBits(path) || !HasWriteBits(RealFolderOf(path)))
        return false;
    for (const BlockRewrite& block : blocks) {
        const RawTextureShape& shape = block.replacement;
        if ((shape.format != 1 && shape.format != 2) || !shape.PixelBytes())
            return false;
    }
    CFile in;
    if (!in.Open(path, CFile::modeRead))
        return false;
    // Replaces the file only if nobody changed it since these bytes were read.
    const FileIdentity identity = in.GetIdentity();
    const uint64_t length = identity.nSize;
    std::vector<uint64_t> ends;
    for (const BlockRewrite& block : blocks) {
        const uint64_t end = BlockEnd(in, length, block);
        if (end == 0 || (!ends.empty() && block.offset < ends.back()))
            return false;
        ends.push_back(end);
    }

    CSafeFileWriter out;
    if (!out.Open(path))
        return false;
    out.ExpectIdentity(identity);
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
            return false;
        position = ends[i];
    }
    CopyRange(in, position, length - position, out, buffer);
    out.Commit();
    return true;
}
