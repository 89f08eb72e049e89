#include "app/EditHistory.h"

namespace {

class CEditCommand : public QUndoCommand {
public:
    CEditCommand(std::unique_ptr<CEditUndoRecord> record, const QString& name)
        : QUndoCommand(name)
        , m_record(std::move(record))
    {
    }
    // The file was written, or restored, before the stack moves.
    void redo() override { }
    void undo() override { }
    CEditUndoRecord& Record() const { return *m_record; }

private:
    std::unique_ptr<CEditUndoRecord> m_record;
};

}  // namespace

CEditHistory::CEditHistory(QObject* parent)
    : QObject(parent)
{
}

void CEditHistory::Push(std::unique_ptr<CEditUndoRecord> record, const QString& name)
{
    m_stack.push(new CEditCommand(std::move(record), name));
}

bool CEditHistory::CanApply(UndoDirection direction) const
{
    return direction == UndoDirection::Undo ? m_stack.canUndo() : m_stack.canRedo();
}

QString CEditHistory::NextName(UndoDirection direction) const
{
    return direction == UndoDirection::Undo ? m_stack.undoText() : m_stack.redoText();
}

void CEditHistory::Apply(UndoDirection direction)
{
    if (!CanApply(direction))
        return;
    const int at = direction == UndoDirection::Undo ? m_stack.index() - 1 : m_stack.index();
    RestoreEdit(static_cast<const CEditCommand*>(m_stack.command(at))->Record(), direction);
    if (direction == UndoDirection::Undo)
        m_stack.undo();
    else
        m_stack.redo();
}
