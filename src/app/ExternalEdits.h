#pragma once
// Edit Externally: the shown image goes to a working PNG file in the
// document's private folder and opens in the image editor; every save the
// editor makes there goes into the open file as Replace would put it, with no
// file dialog. Several images can be out at once. Editors save by writing a
// new file and renaming it over the old one, so the folder is watched as well
// as the files, and a save is taken once the writes have settled.
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/File.h"

class CEditUndoRecord;
class CTavrelDoc;

class CExternalEdits : public QObject {
    Q_OBJECT
public:
    explicit CExternalEdits(CTavrelDoc* pDoc, QObject* parent = nullptr);
    ~CExternalEdits() override;

    bool CanStart() const;
    // Writes the shown image to its working file and opens it in the editor;
    // an image already out is opened again as it is.
    void Start();
    // Stops watching and removes the working files (another file, or the end).
    void StopAll();
    // Looks at the working files now; what changed is put into the file.
    void CheckAll();
    int Count() const { return int(m_edits.size()); }
    // The working file of image index of the open file (empty when it is not out).
    QString WorkingFile(uint32_t index) const;

    // A save was written into the file: its undo record (may be null), the
    // edit's name and the status text. The window reads the file back.
    std::function<void(std::unique_ptr<CEditUndoRecord>, const std::string&, const QString&)> m_onApplied;

    // The setting that names the chosen editor's command.
    static constexpr char kEditorKey[] = "ImageEditor";
    static constexpr int kSettleMs = 200;

private:
    struct Edit {
        QString strWork;
        FileIdentity seen;  // the working file as last taken in (or written)
    };
    void OnNotified();
    void Open(const QString& work);
    // False when the document cannot take it now (try again later).
    bool Apply(uint32_t index, Edit& edit);

    CTavrelDoc* m_pDoc;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    std::string m_strFile;  // the file whose images are out
    std::map<uint32_t, Edit> m_edits;
    bool m_bBackup = false;  // the backup question's answer, until the first write
};
