#pragma once
// The window's undo history of in-place edits: one command per edit, each
// holding the core's record of what the edit changed. The commands only keep
// the place in the history; the file is restored by Apply, which moves the
// place only when the restore succeeded.
#include <QObject>
#include <QUndoStack>

#include <memory>

#include "doc/EditUndo.h"

class CEditHistory : public QObject {
    Q_OBJECT
public:
    explicit CEditHistory(QObject* parent = nullptr);

    // An edit that has been written.
    void Push(std::unique_ptr<CEditUndoRecord> record, const QString& name);
    // Undoes the last edit or redoes the next one. Throws CCoreError, the file
    // and the history as they were, when the file cannot be restored.
    void Apply(UndoDirection direction);
    bool CanApply(UndoDirection direction) const;
    // The name of the edit that Apply would undo or redo; empty when none.
    QString NextName(UndoDirection direction) const;
    // Forgets every edit (another file, or another program's version of this one).
    void Clear() { m_stack.clear(); }
    int Count() const { return m_stack.count(); }

private:
    QUndoStack m_stack;
};
