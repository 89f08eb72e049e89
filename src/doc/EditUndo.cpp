#include "doc/EditUndo.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <new>

#include "doc/DocTexts.h"
#include "doc/EditOperations.h"
#include "nif/TextureWriter.h"
#include "platform/CoreError.h"
#include "platform/Format.h"
#include "platform/PathParts.h"

namespace {

constexpr size_t kChunk = 1 << 20;

FileIdentity IdentityOfPath(const std::string& path)
{
    CFile file;
    return file.Open(path, CFile::modeRead) ? file.GetIdentity() : FileIdentity{};
}

[[noreturn]] void ThrowRefused(const std::string& path)
{
    throw CCoreError(FormatString(kUndoRefused, FileNamePart(path).c_str()));
}

// Copies count bytes from `from` at `start` to the end of the open descriptor `to`,
// inside the kernel where it can.
void CopyBytes(
    CFile& from, uint64_t start, uint64_t count, int to, const std::function<void(const void*, size_t)>& write)
{
    loff_t position = static_cast<loff_t>(start);
    uint64_t copied = 0;
    while (copied < count) {
        const ssize_t n = ::copy_file_range(from.GetHandle(), &position, to, nullptr,
            static_cast<size_t>(std::min<uint64_t>(count - copied, 1u << 30)), 0);
        if (n <= 0)
            break;
        copied += static_cast<uint64_t>(n);
    }
    from.Seek(static_cast<int64_t>(start + copied), CFile::begin);
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(kChunk, count - copied)));
    for (uint64_t left = count - copied; left > 0;) {
        const size_t step = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
        if (from.Read(buffer.data(), step) != step)
            throw CFileException(CFileException::endOfFile, 0, from.GetFilePath());
        write(buffer.data(), step);
        left -= step;
    }
}

// Appends the ranges of `path` to a new store file.
struct Range {
    uint64_t start, count;
};
void Store(const std::string& path, const std::vector<Range>& ranges, const std::string& store)
{
    CFile in, out;
    CFileException error;
    if (!in.Open(path, CFile::modeRead, &error))
        throw error;
    if (!out.Open(store, CFile::modeCreate | CFile::modeWrite, &error))
        throw error;
    for (const Range& range : ranges)
        CopyBytes(in, range.start, range.count, out.GetHandle(), [&](const void* p, size_t n) { out.Write(p, n); });
    out.Close();
}

std::string NewStoreName(const std::string& dir)
{
    static std::atomic<unsigned> counter{0};
    std::string name = dir;
    if (!name.empty() && name.back() != '/')
        name += '/';
    return name + FormatString("undo-%d-%u", static_cast<int>(::getpid()), ++counter);
}

}  // namespace

CEditUndoRecord::~CEditUndoRecord()
{
    for (const std::string* store : {&strOldStore, &strNewStore})
        if (!store->empty())
            std::remove(store->c_str());
}

CEditUndoCapture::CEditUndoCapture(
    std::string storeDir, std::string path, std::vector<uint32_t> indices, bool bWholeFile)
    : m_strStoreDir(std::move(storeDir))
    , m_record(std::make_unique<CEditUndoRecord>())
    , m_indices(std::move(indices))
{
    m_record->strPath = std::move(path);
    m_record->bWholeFile = bWholeFile;
    m_scanned = IdentityOfPath(m_record->strPath);
    if (bWholeFile)
        return;
    std::sort(m_indices.begin(), m_indices.end());
    m_indices.erase(std::unique(m_indices.begin(), m_indices.end()), m_indices.end());
    uint64_t length = 0;
    std::vector<ScannedTexture> textures;
    try {
        textures = ScanModelTextures(m_record->strPath, length);
    } catch (const CFileException& e) {
        throw CCoreError(FormatString(kReadError, m_record->strPath.c_str()), e.GetReason(), CCoreError::Kind::System);
    }
    // A scan that saw another version than the identity names proves nothing.
    if (IdentityOfPath(m_record->strPath) != m_scanned)
        throw CCoreError(FormatString(kWriteError, m_record->strPath.c_str()), kChangedMeanwhile);
    for (uint32_t index : m_indices) {
        if (index >= textures.size() || !textures[index].pixelBytes)
            throw CCoreError(FormatString(kReadError, m_record->strPath.c_str()),
                FormatString("Image %u is cut off or empty.", index));
        UndoBlock block;
        block.offsetBefore = textures[index].offset;
        block.before = textures[index].shape;
        m_record->blocks.push_back(block);
    }
}

std::function<void()> CEditUndoCapture::BeforeWrite()
{
    return [this] { KeepOld(); };
}

void CEditUndoCapture::KeepOld()
{
    CEditUndoRecord& record = *m_record;
    // The writer replaces only the version it read; this must be the one scanned.
    if (IdentityOfPath(record.strPath) != m_scanned)
        throw CCoreError(FormatString(kWriteError, record.strPath.c_str()), kChangedMeanwhile);
    std::vector<Range> ranges;
    if (record.bWholeFile) {
        ranges.push_back({0, m_scanned.nSize});
    } else {
        uint64_t at = 0;
        for (UndoBlock& block : record.blocks) {
            block.oldAt = at;
            const uint64_t bytes = *block.before.PixelBytes();
            ranges.push_back({block.offsetBefore + kRawFieldBytes, bytes});
            at += bytes;
        }
    }
    record.strOldStore = NewStoreName(m_strStoreDir);
    try {
        Store(record.strPath, ranges, record.strOldStore);
    } catch (const CFileException& e) {
        throw CCoreError(FormatString(kUndoStoreError, m_strStoreDir.c_str()), e.GetReason(), CCoreError::Kind::System);
    }
    m_bKept = true;
}

std::unique_ptr<CEditUndoRecord> CEditUndoCapture::Finish()
{
    CEditUndoRecord& record = *m_record;
    if (!m_bKept)
        return nullptr;
    CFile file;
    CFileException error;
    try {
        if (!file.Open(record.strPath, CFile::modeRead, &error))
            throw error;
        record.current = file.GetIdentity();
        std::vector<Range> ranges;
        if (record.bWholeFile) {
            ranges.push_back({0, record.current.nSize});
        } else {
            // The later blocks have moved by what the earlier ones grew or shrank.
            int64_t shift = 0;
            uint64_t at = 0;
            for (UndoBlock& block : record.blocks) {
                block.offsetAfter = static_cast<uint64_t>(static_cast<int64_t>(block.offsetBefore) + shift);
                const std::optional<RawTextureShape> shape = ReadRawTextureShape(file, block.offsetAfter);
                if (!shape || !shape->PixelBytes())
                    return nullptr;  // not the edit's result: another program was quicker
                block.after = *shape;
                block.newAt = at;
                ranges.push_back({block.offsetAfter + kRawFieldBytes, *shape->PixelBytes()});
                at += *shape->PixelBytes();
                shift += static_cast<int64_t>(*shape->PixelBytes()) - static_cast<int64_t>(*block.before.PixelBytes());
            }
        }
        record.strNewStore = NewStoreName(m_strStoreDir);
        Store(record.strPath, ranges, record.strNewStore);
    } catch (const CFileException&) {
        return nullptr;
    }
    // Stored from another version than the one just written: not to be trusted.
    if (IdentityOfPath(record.strPath) != record.current)
        return nullptr;
    return std::move(m_record);
}

void RestoreEdit(CEditUndoRecord& record, UndoDirection direction)
{
    const bool undo = direction == UndoDirection::Undo;
    const std::string& path = record.strPath;
    if (record.bUndone == undo || IdentityOfPath(path) != record.current)
        ThrowRefused(path);
    const std::string& storePath = undo ? record.strOldStore : record.strNewStore;
    CFile store;
    CFileException error;
    try {
        if (!store.Open(storePath, CFile::modeRead, &error))
            throw error;
        if (record.bWholeFile) {
            CSafeFileWriter out;
            if (!out.Open(path, &error))
                throw error;
            out.ExpectIdentity(record.current);
            CopyBytes(store, 0, store.GetLength(), out.GetHandle(), [&](const void* p, size_t n) { out.Write(p, n); });
            out.Commit();
        } else {
            std::vector<BlockRewrite> blocks;
            for (const UndoBlock& block : record.blocks)
                blocks.push_back(undo ? BlockRewrite{block.offsetAfter, block.after, block.before}
                                      : BlockRewrite{block.offsetBefore, block.before, block.after});
            RewriteRawImageBlocks(
                path, blocks,
                [&](size_t i, CFile&, uint64_t, CSafeFileWriter& out) {
                    const UndoBlock& block = record.blocks[i];
                    const uint64_t bytes = *(undo ? block.before : block.after).PixelBytes();
                    CopyBytes(store, undo ? block.oldAt : block.newAt, bytes, out.GetHandle(),
                        [&](const void* p, size_t n) { out.Write(p, n); });
                },
                [&] {
                    if (IdentityOfPath(path) != record.current)
                        ThrowRefused(path);
                });
        }
    } catch (const CFileException& e) {
        throw CCoreError(FormatString(kWriteError, path.c_str()), e.GetReason(), CCoreError::Kind::System);
    } catch (const std::bad_alloc&) {
        throw CCoreError(FormatString(kWriteError, path.c_str()), "There is not enough memory.");
    }
    record.current = IdentityOfPath(path);
    record.bUndone = undo;
}
