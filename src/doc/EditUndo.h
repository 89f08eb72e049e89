#pragma once
// What an in-place edit changed, kept so that it can be undone and redone byte
// for byte. Only the changed texture blocks are kept (a compressed bitmap, being
// small, is kept whole), in files of a store folder rather than in memory, so
// that undoing one texture of a large model file costs about what the edit cost.
// Restoring goes through the same block rewriter and safe writer as the edit,
// and only onto the version of the file that the record left behind.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "image/RawTexture.h"
#include "platform/File.h"

// One changed block: where it stood and what it held before and after the edit.
struct UndoBlock {
    uint64_t offsetBefore = 0, offsetAfter = 0;  // of the width field, in each version of the file
    RawTextureShape before, after;
    uint64_t oldAt = 0, newAt = 0;  // where its pixels start in the old and the new store file
};

// The record of one edit. Its store files are removed with it.
class CEditUndoRecord {
public:
    CEditUndoRecord() = default;
    ~CEditUndoRecord();
    CEditUndoRecord(const CEditUndoRecord&) = delete;
    CEditUndoRecord& operator=(const CEditUndoRecord&) = delete;

    std::string strPath;  // the edited file
    bool bWholeFile = false;  // a compressed bitmap: the store files are the whole file
    std::vector<UndoBlock> blocks;  // in file order
    std::string strOldStore, strNewStore;  // the bytes before and after the edit
    bool bUndone = false;  // the file holds the version before the edit
    FileIdentity current;  // the file as the record last left it
};

enum class UndoDirection { Undo, Redo };

// Keeps an edit's old bytes, then its new ones. Begin before the operation
// (from the scan the caller trusts); hand BeforeWrite to the operation, which
// runs it after every check, just before the write; call Finish once the write
// succeeded. Throws CCoreError when the bytes cannot be kept (the edit then
// does not happen, as BeforeWrite throws before the first byte is written).
class CEditUndoCapture {
public:
    // Textures `indices` of a model file, or (bWholeFile) a whole compressed bitmap.
    CEditUndoCapture(std::string storeDir, std::string path, std::vector<uint32_t> indices, bool bWholeFile = false);
    std::function<void()> BeforeWrite();
    std::unique_ptr<CEditUndoRecord> Finish();

private:
    void KeepOld();
    std::string m_strStoreDir;
    std::unique_ptr<CEditUndoRecord> m_record;
    std::vector<uint32_t> m_indices;
    FileIdentity m_scanned;
    bool m_bKept = false;
};

// Puts the file back to the version before the edit (Undo) or after it (Redo).
// Refused with CCoreError, the file untouched, when the file is not the
// version the record left behind (another program changed it) or the record
// is already that way; and as any write is refused.
void RestoreEdit(CEditUndoRecord& record, UndoDirection direction);
