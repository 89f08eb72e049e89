#pragma once
// Edit > Preferences: the image editor that Edit Externally opens, as a
// command (the image's path is added as its last word). Empty: the desktop's
// application for PNG files. TAVREL_IMAGE_EDITOR, when set, comes first.
#include <QDialog>

class QLineEdit;

class CPreferencesDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPreferencesDlg(QWidget* parent = nullptr);
    QLineEdit* EditorEdit() const { return m_pEditor; }
    void accept() override;

private:
    QLineEdit* m_pEditor;
};
