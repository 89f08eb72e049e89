#include "app/PreferencesDlg.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

#include "app/ExternalEdits.h"

CPreferencesDlg::CPreferencesDlg(QWidget* parent)
    : QDialog(parent)
    , m_pEditor(new QLineEdit(this))
{
    setObjectName("PreferencesDlg");
    setWindowTitle(QStringLiteral("Preferences"));
    m_pEditor->setObjectName("EditorCommand");
    m_pEditor->setText(QSettings().value(CExternalEdits::kEditorKey).toString());
    m_pEditor->setPlaceholderText(QStringLiteral("the desktop's application for PNG files"));
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString program = QFileDialog::getOpenFileName(this, QStringLiteral("Image Editor"));
        if (!program.isEmpty())
            m_pEditor->setText(QStringLiteral("\"%1\"").arg(program));
    });
    auto* row = new QHBoxLayout;
    row->addWidget(m_pEditor, 1);
    row->addWidget(browse);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("&Image editor:"), row);
    form->addRow(new QLabel(QStringLiteral("Edit Externally adds the image's path as the command's last word."), this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

void CPreferencesDlg::accept()
{
    QSettings().setValue(CExternalEdits::kEditorKey, m_pEditor->text().trimmed());
    QDialog::accept();
}
