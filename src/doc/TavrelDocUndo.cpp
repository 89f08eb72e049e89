// Undo copies of the window's in-place edits, handed to whoever keeps the history.
#include "doc/EditUndo.h"
#include "doc/TavrelDoc.h"

std::unique_ptr<CEditUndoCapture> CTavrelDoc::BeginUndo(const std::vector<uint32_t>& indices)
{
    if (!m_undoSink)
        return nullptr;
    return std::make_unique<CEditUndoCapture>(m_strTempDir, m_strFilePath, indices, GetFileKind() == FileKind::Bmz);
}

void CTavrelDoc::EndUndo(std::unique_ptr<CEditUndoCapture> capture, const std::string& name)
{
    if (!capture || !m_undoSink)
        return;
    if (std::unique_ptr<CEditUndoRecord> record = capture->Finish())
        m_undoSink(std::move(record), name);
}
