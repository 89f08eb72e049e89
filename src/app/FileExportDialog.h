#pragma once
// The Save As dialog: Qt's own (not the desktop's) save dialog, whose name
// box follows the chosen type: picking another type rewrites the name's
// extension by the core's rule at once. Asks before replacing a file.
#include <QFileDialog>
#include <QStringList>

#include <optional>

#include "platform/UiServices.h"

class QComboBox;
class QLineEdit;

class CFileExportDialog : public QFileDialog {
    Q_OBJECT
public:
    // The request's title, filter ("Name (*.ext)|*.ext|...||"), initial folder,
    // name and 1-based type.
    CFileExportDialog(const FileDialogRequest& request, QWidget* pParent);

    // Runs the dialog; the full path and the 1-based type, or nothing when cancelled.
    static std::optional<FileDialogResult> Run(const FileDialogRequest& request, QWidget* pParent);

    QString GetPathName() const;
    QString GetFileName() const;
    // The 1-based index of the chosen type.
    int GetTypeIndex() const;

    // The dialog's own controls: the name box and the type box.
    QLineEdit* GetNameBox() const;
    QComboBox* GetTypeBox() const;

public slots:
    // Refuses a name that is a pattern, such as the "*.bmp" the name box starts with.
    void accept() override;

private:
    void OnTypeChange(const QString& typeText);

    QStringList m_filters;
};
