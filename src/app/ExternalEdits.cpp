#include "app/ExternalEdits.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QUrl>

#include <cstdio>

#include "app/FileWatcher.h"
#include "doc/DocTexts.h"
#include "doc/EditOperations.h"
#include "doc/EditUndo.h"
#include "doc/TavrelDoc.h"
#include "platform/CoreError.h"
#include "platform/Format.h"
#include "platform/PathParts.h"
#include "platform/UiServices.h"

namespace {

FileIdentity IdentityOf(const QString& path)
{
    CFile file;
    return file.Open(QFile::encodeName(path).toStdString(), CFile::modeRead) ? file.GetIdentity() : FileIdentity{};
}

RawTextureShape ShapeOf(const CDibImage& image)
{
    const int64_t height = image.GetHeight();
    return RawTextureShape{static_cast<uint32_t>(image.GetWidth()),
        static_cast<uint32_t>(height < 0 ? -height : height), image.GetBitCount() == 24 ? 1u : 2u};
}

}  // namespace

CExternalEdits::CExternalEdits(CTavrelDoc* pDoc, QObject* parent)
    : QObject(parent)
    , m_pDoc(pDoc)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &CExternalEdits::CheckAll);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &CExternalEdits::OnNotified);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &CExternalEdits::OnNotified);
}

CExternalEdits::~CExternalEdits()
{
    StopAll();
}

bool CExternalEdits::CanStart() const
{
    const CDibImage* image = m_pDoc->GetActiveImage();
    const FileKind kind = m_pDoc->GetFileKind();
    return !m_pDoc->IsBusy() && (kind == FileKind::Nif || kind == FileKind::Bmz) && image && image->GetBitmapInfo() &&
        image->GetBitCount() >= 24;
}

QString CExternalEdits::WorkingFile(uint32_t index) const
{
    const auto edit = m_edits.find(index);
    return m_strFile == m_pDoc->GetFilePath() && edit != m_edits.end() ? edit->second.strWork : QString();
}

void CExternalEdits::Start()
{
    if (!CanStart())
        return;
    const std::string& path = m_pDoc->GetFilePath();
    if (path != m_strFile)
        StopAll();
    const uint32_t index = m_pDoc->GetFileKind() == FileKind::Nif ? m_pDoc->GetCurrentIndex() : 0;
    if (const auto out = m_edits.find(index); out != m_edits.end()) {
        Open(out->second.strWork);
        return;
    }
    if (m_strFile.empty()) {
        // Asked once for the file; the copy is made just before its first write.
        const std::string question = FormatString(kBackupQuestion, StemPart(path).c_str());
        m_bBackup = AfxMessageBox(question, MB_YESNO | MB_ICONQUESTION) == IDYES;
        m_strFile = path;
    }
    const CDibImage* image = m_pDoc->GetActiveImage();
    const std::string work = m_pDoc->GetTempDir() + FormatString("%s-%03u.png", StemPart(path).c_str(), index);
    try {
        image->WritePngFile(work, image->GetBitCount() == 32 ? PngAlpha::Keep : PngAlpha::Drop);
    } catch (const CException& e) {
        AfxMessageBox(e.GetErrorMessage(), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const QString qwork = QFile::decodeName(work.c_str());
    m_edits[index] = Edit{qwork, IdentityOf(qwork)};
    if (!m_watcher.directories().contains(QFileInfo(qwork).absolutePath()))
        m_watcher.addPath(QFileInfo(qwork).absolutePath());
    m_watcher.addPath(qwork);
    Open(qwork);
}

void CExternalEdits::Open(const QString& work)
{
    QString command = qEnvironmentVariable("TAVREL_IMAGE_EDITOR");
    if (command.isEmpty())
        command = QSettings().value(kEditorKey).toString();
    if (command.trimmed().isEmpty()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(work));
        return;
    }
    QStringList words = QProcess::splitCommand(command);
    const QString program = words.isEmpty() ? QString() : words.takeFirst();
    words << work;
    if (program.isEmpty() || !QProcess::startDetached(program, words))
        AfxMessageBox(FormatString(kEditorStartFailed, command.toStdString().c_str()), MB_OK | MB_ICONEXCLAMATION);
}

void CExternalEdits::StopAll()
{
    m_settle.stop();
    if (!m_watcher.files().isEmpty())
        m_watcher.removePaths(m_watcher.files());
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
    for (const auto& [index, edit] : m_edits)
        std::remove(QFile::encodeName(edit.strWork).constData());
    m_edits.clear();
    m_strFile.clear();
    m_bBackup = false;
}

void CExternalEdits::OnNotified()
{
    // A file renamed over is a new one: watch it again.
    for (const auto& [index, edit] : m_edits)
        if (!m_watcher.files().contains(edit.strWork) && QFileInfo::exists(edit.strWork))
            m_watcher.addPath(edit.strWork);
    m_settle.start();
}

void CExternalEdits::CheckAll()
{
    if (m_edits.empty())
        return;
    if (m_strFile != m_pDoc->GetFilePath()) {
        StopAll();
        return;
    }
    for (auto& [index, edit] : m_edits) {
        const FileIdentity now = IdentityOf(edit.strWork);
        if (!now.bValid || now == edit.seen)
            continue;  // missing between an editor's delete and rename, or unchanged
        if (!Apply(index, edit)) {
            m_settle.start();  // the window is busy: later
            return;
        }
        edit.seen = now;
    }
}

bool CExternalEdits::Apply(uint32_t index, Edit& edit)
{
    if (m_pDoc->IsBusy() || QApplication::activeModalWidget())
        return false;
    const FileKind kind = m_pDoc->GetFileKind();
    const CDibImage* record = kind == FileKind::Nif ? m_pDoc->ImageAt(index) : m_pDoc->GetActiveImage();
    if (!record || !record->GetBitmapInfo())
        return true;
    const RawTextureShape texture = ShapeOf(*record);
    const std::string work = QFile::encodeName(edit.strWork).toStdString();
    const std::string& path = m_strFile;
    std::unique_ptr<CDibImage> image;
    try {
        image = LoadReplacement(work, texture.BytesPerPixel() == 4 ? PngAlpha::Keep : PngAlpha::Drop);
    } catch (const CCoreError& e) {
        e.ReportError();
        return true;
    }
    // A working file stands for the image it was made of: its size must stay.
    const ReplacementShape shape = ShapeOfReplacement(*image, true);
    const ReplacementCheck check = CheckReplacement(texture, shape, AlphaRule::KeepTextureAlpha);
    EditOptions options;
    if (check.verdict == Verdict::ConfirmDepth) {
        if (AfxMessageBox(kDepthQuestion, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return true;
        options.bAcceptDepthChange = true;
    } else if (check.Refused()) {
        AfxMessageBox(check.Text(texture, shape), MB_OK | MB_ICONEXCLAMATION);
        return true;
    }
    options.bBackup = m_bBackup;
    options.alphaRule = AlphaRule::KeepTextureAlpha;
    const std::string name = FileNamePart(work);
    try {
        CEditUndoCapture capture(m_pDoc->GetTempDir(), path,
            kind == FileKind::Nif ? std::vector<uint32_t>{index} : std::vector<uint32_t>{}, kind == FileKind::Bmz);
        options.beforeWrite = capture.BeforeWrite();
        EditResult result;
        if (kind == FileKind::Nif) {
            options.expectedOffsets = m_pDoc->GetRawImageOffsets();
            options.expectedShape = texture;
            result = ReplaceTexture(path, index, *image, true, options);
        } else {
            result = ReplaceCompressedBitmapImage(path, *image, options);
        }
        m_bBackup = false;
        std::string status = kind == FileKind::Nif ? FormatString(kUpdatedFrom, index, name.c_str())
                                                   : FormatString(kImageUpdatedFrom, name.c_str());
        if (!result.strBackupPath.empty())
            status += "; " + FormatString(kBackupMade, result.strBackupPath.c_str());
        if (m_onApplied)
            m_onApplied(capture.Finish(),
                kind == FileKind::Nif ? FormatString(kEditExternallyName, index)
                                      : std::string(kEditImageExternallyName),
                QString::fromStdString(status));
    } catch (const CCoreError& e) {
        e.ReportError();
    }
    return true;
}
