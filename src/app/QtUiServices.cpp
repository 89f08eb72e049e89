#include "app/QtUiServices.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/CommandTable.h"
#include "app/DialogFolders.h"
#include "app/FileExportDialog.h"
#include "app/FileFilter.h"
#include "app/MainFrame.h"
#include "app/TransparencyDlg.h"

namespace {

QMessageBox::Icon IconFor(unsigned style)
{
    switch (style & MB_ICONMASK) {
    case MB_ICONERROR: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONINFORMATION: return QMessageBox::Information;
    default:
        // A box without an icon of its own gets the usual one for its buttons.
        return (style & MB_TYPEMASK) == MB_YESNO ? QMessageBox::Question : QMessageBox::Warning;
    }
}

}  // namespace

void QtUiServices::SetMainFrame(CMainFrame* pFrame)
{
    m_pFrame = pFrame;
}

int QtUiServices::MessageBox(const std::string& text, unsigned style)
{
    QMessageBox box(
        IconFor(style), QString::fromLatin1(kAppName), QString::fromStdString(text), QMessageBox::NoButton, m_pFrame);
    box.setTextFormat(Qt::PlainText);
    switch (style & MB_TYPEMASK) {
    case MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    // The message may come in the middle of a wait: show the normal pointer.
    const bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box.exec();
    if (waiting)
        QApplication::restoreOverrideCursor();
    switch (answer) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Cancel: return IDCANCEL;
    default: return (style & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    }
}

std::optional<FileDialogResult> QtUiServices::FileDialog(const FileDialogRequest& request)
{
    // A save dialog whose name follows the chosen type is the export dialog.
    if (!request.bOpen && request.bRetypeExtension)
        return CFileExportDialog::Run(request, m_pFrame);
    QFileDialog dialog(m_pFrame);
    dialog.setAcceptMode(request.bOpen ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(
        request.bOpen && (request.nFlags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!request.strTitle.empty())
        dialog.setWindowTitle(QString::fromStdString(request.strTitle));
    const QStringList filters = NameFiltersFromFilter(request.strFilter);
    dialog.setNameFilters(filters);
    if (request.nFilterIndex >= 1 && request.nFilterIndex <= filters.size())
        dialog.selectNameFilter(filters[request.nFilterIndex - 1]);
    if (!request.strDefExt.empty())
        dialog.setDefaultSuffix(QString::fromStdString(request.strDefExt));
    if (!request.bOpen && !(request.nFlags & OFN_OVERWRITEPROMPT))
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QString remembered = RememberedFolder(request.strRememberAs);
    if (!remembered.isEmpty())
        dialog.setDirectory(remembered);
    else if (!request.strInitialDir.empty())
        dialog.setDirectory(QFile::decodeName(request.strInitialDir.c_str()));
    if (!request.strInitialName.empty())
        dialog.selectFile(QFile::decodeName(request.strInitialName.c_str()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    FileDialogResult result;
    result.strPath = QFile::encodeName(dialog.selectedFiles().front()).toStdString();
    RememberFolder(request.strRememberAs, QFileInfo(dialog.selectedFiles().front()).absolutePath());
    result.nFilterIndex = int(filters.indexOf(dialog.selectedNameFilter())) + 1;
    if (result.nFilterIndex < 1)
        result.nFilterIndex = 1;
    return result;
}

void QtUiServices::BeginWaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtUiServices::EndWaitCursor()
{
    QApplication::restoreOverrideCursor();
}

void QtUiServices::PumpMessages()
{
    QCoreApplication::processEvents();
}

void QtUiServices::RepaintMainWindow()
{
    if (!m_pFrame)
        return;
    // Let the window system take the closed dialog away and ask for the
    // uncovered part, then paint it all before the long work starts. The
    // document is busy by now, so no command can run in between.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_pFrame->repaint();
}

void QtUiServices::ShowProgress(int percent)
{
    if (m_pFrame)
        m_pFrame->ShowProgress(percent);
}

void QtUiServices::ShowStatus(const std::string& text)
{
    if (m_pFrame)
        m_pFrame->statusBar()->showMessage(QString::fromStdString(text));
}

std::optional<uint8_t> QtUiServices::AskTransparencyLevel()
{
    CTransparencyDlg dialog(m_pFrame);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.GetAlpha();
}

bool QtUiServices::RunPrintDialog(QPrinter& printer, QWidget* parent)
{
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

void QtUiServices::RunPrintPreview(QPrinter& printer, QWidget* parent, const std::function<void(QPrinter*)>& paintPages)
{
    QPrintPreviewDialog dialog(&printer, parent);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, paintPages);
    dialog.exec();
}

bool QtUiServices::RunPageSetup(QPrinter& printer, QWidget* parent)
{
    QPageSetupDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

std::optional<std::string> QtUiServices::ChooseFolder(const std::string& title, const std::string& initialDir)
{
    const QString chosen = QFileDialog::getExistingDirectory(
        m_pFrame, QString::fromStdString(title), QFile::decodeName(initialDir.c_str()));
    if (chosen.isEmpty())
        return std::nullopt;
    return QFile::encodeName(chosen).toStdString();
}

void QtUiServices::ShowReport(const std::string& title, const std::string& text)
{
    // A report may hold a line for every texture: it scrolls, and can be copied.
    QDialog dialog(m_pFrame);
    dialog.setWindowTitle(QString::fromStdString(title));
    auto* layout = new QVBoxLayout(&dialog);
    auto* view = new QPlainTextEdit(QString::fromStdString(text), &dialog);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(view);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.resize(560, 360);
    dialog.exec();
}
