#include "app/FileExportDialog.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>

#include "app/FileFilter.h"
#include "doc/ExportTypes.h"

CFileExportDialog::CFileExportDialog(const FileDialogRequest& request, QWidget* pParent)
    : QFileDialog(pParent)
{
    setObjectName("FileExportDialog");
    // The desktop's dialog may not let the name follow the type.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    if (!(request.nFlags & OFN_OVERWRITEPROMPT))
        setOption(QFileDialog::DontConfirmOverwrite);
    if (!request.strTitle.empty())
        setWindowTitle(QString::fromStdString(request.strTitle));
    m_filters = NameFiltersFromFilter(request.strFilter);
    setNameFilters(m_filters);
    if (request.nFilterIndex >= 1 && request.nFilterIndex <= m_filters.size())
        selectNameFilter(m_filters[request.nFilterIndex - 1]);
    if (!request.strInitialDir.empty())
        setDirectory(QFile::decodeName(request.strInitialDir.c_str()));
    if (QLineEdit* nameBox = GetNameBox())
        nameBox->setText(QFile::decodeName(request.strInitialName.c_str()));
    connect(this, &QFileDialog::filterSelected, this, &CFileExportDialog::OnTypeChange);
}

std::optional<FileDialogResult> CFileExportDialog::Run(const FileDialogRequest& request, QWidget* pParent)
{
    CFileExportDialog dialog(request, pParent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QString path = dialog.GetPathName();
    if (path.isEmpty())
        return std::nullopt;
    return FileDialogResult{QFile::encodeName(path).toStdString(), dialog.GetTypeIndex()};
}

QString CFileExportDialog::GetPathName() const
{
    const QStringList chosen = selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.front();
}

QString CFileExportDialog::GetFileName() const
{
    return QFileInfo(GetPathName()).fileName();
}

int CFileExportDialog::GetTypeIndex() const
{
    const qsizetype index = m_filters.indexOf(selectedNameFilter());
    return index < 0 ? 1 : int(index) + 1;
}

void CFileExportDialog::accept()
{
    QLineEdit* nameBox = GetNameBox();
    const QString name = nameBox ? QFileInfo(nameBox->text()).fileName() : QString();
    if (name.contains('*') || name.contains('?')) {
        nameBox->setFocus();
        nameBox->selectAll();
        return;
    }
    // The typed extension chooses the type, or the type gives the name its
    // extension, before the dialog checks for a file to replace.
    if (nameBox && !name.isEmpty()) {
        std::vector<ExportTypeDef> types;
        for (const QString& filter : m_filters)
            types.push_back({filter.toStdString(), {}, ExtensionOfTypeText(filter.toStdString())});
        const int chosen = GetTypeIndex();
        const TypedExportName target = ResolveTypedName(types, nameBox->text().toStdString(), chosen);
        nameBox->setText(QString::fromStdString(target.strPath));
        if (target.nTypeIndex != chosen)
            selectNameFilter(m_filters[target.nTypeIndex - 1]);
    }
    QFileDialog::accept();
}

QLineEdit* CFileExportDialog::GetNameBox() const
{
    return findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

QComboBox* CFileExportDialog::GetTypeBox() const
{
    return findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
}

void CFileExportDialog::OnTypeChange(const QString& typeText)
{
    QLineEdit* nameBox = GetNameBox();
    if (!nameBox)
        return;
    const std::string extension = ExtensionOfTypeText(typeText.toStdString());
    nameBox->setText(QString::fromStdString(RetypeFileName(nameBox->text().toStdString(), extension)));
}
