#include "app/ExportAll.h"

#include <vector>

#include "app/WorkerDialog.h"
#include "doc/DocExportSource.h"
#include "doc/ExportImages.h"
#include "doc/ExportTypes.h"
#include "doc/PathUtil.h"
#include "doc/TavrelDoc.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/UiServices.h"

namespace {

constexpr char kExportFilter[] =
    "Portable Network Graphics (*.png)|*.png|Windows Bitmap (*.bmp)|*.bmp|Truevision Targa (*.tga)|*.tga||";
constexpr ExportType kTypes[] = {ExportType::PngAlpha, ExportType::Bmp, ExportType::Tga};

// The progress dialog, and the one question before files that differ are
// replaced, asked on the window's thread.
class CWindowProgress final : public IExportProgress {
public:
    CWindowProgress(CDialogProgress& dialog, std::string folder)
        : m_dialog(dialog)
        , m_strFolder(std::move(folder))
    {
    }
    void Advance(uint64_t done, uint64_t total) override { m_dialog.Advance(done, total); }
    bool Cancelled() override { return m_dialog.Cancelled(); }
    bool ConfirmOverwrite(const std::vector<std::string>& paths) override
    {
        bool yes = false;
        RunOnWindowThread([&] { yes = ::ConfirmOverwrite(paths.size(), m_strFolder); });
        return yes;
    }

private:
    CDialogProgress& m_dialog;
    std::string m_strFolder;
};

// The file the user chose in Open: a followed link does not rename the export.
std::string OpenedPath(const CTavrelDoc& doc)
{
    return doc.GetOpenedPath().empty() ? doc.GetFilePath() : doc.GetOpenedPath();
}

}  // namespace

bool ConfirmOverwrite(size_t count, const std::string& folder)
{
    return AfxMessageBox(OverwriteQuestion(count, folder) + "\nOverwrite them?", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool CanExportAllImages(const CTavrelDoc& doc)
{
    if (doc.IsBusy())
        return false;
    if (const CDibImage* shown = doc.GetActiveImage(); shown && shown->GetBitmapInfo())
        return true;
    // The other textures count by their fields until they are read.
    for (uint32_t i = 0; doc.GetFileKind() == FileKind::Nif && i < doc.ImageCount(); ++i) {
        if (doc.TextureLooksReadable(i))
            return true;
    }
    return false;
}

void ExportAllImages(QWidget* parent, CTavrelDoc& doc)
{
    if (!CanExportAllImages(doc))
        return;
    const std::string opened = OpenedPath(doc);
    FileDialogRequest request;
    request.bOpen = false;
    request.strTitle = "Export All Textures";
    request.strFilter = kExportFilter;
    request.strInitialDir = doc.GetLastDir();
    // The name field holds the files' stem; the numbers and the type's extension follow it.
    const std::string sample = NumberedImageName(opened, 0, "");
    request.strInitialName = sample.substr(0, sample.size() - 5);
    request.nFlags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    request.bRetypeExtension = true;
    const std::optional<FileDialogResult> chosen = Ui().FileDialog(request);
    if (!chosen || chosen->strPath.empty())
        return;

    ExportOptions options;
    options.strFolder = DirectoryPart(chosen->strPath);
    if (options.strFolder.size() > 1 && options.strFolder.back() == '/')
        options.strFolder.pop_back();  // named in messages as the user sees it
    options.strNamePath = chosen->strPath;
    options.type = kTypes[std::clamp(chosen->nFilterIndex, 1, 3) - 1];
    // The document stays as it is while the export reads it on the worker.
    CTavrelDoc::CBusyScope busy(doc);
    CDocExportSource source(doc);
    ExportReport report;
    const std::vector<std::string> said =
        RunOffWindowThread(parent, QStringLiteral("Exporting the textures..."), [&](CDialogProgress& dialog) {
            CWindowProgress progress(dialog, options.strFolder);
            report = ExportImages(source, options, &progress);
        });
    for (const std::string& message : said)
        AfxMessageBox(message, MB_OK);
    // The first failure, or the first message of an image with nothing to show, says why.
    size_t unreadable = 0;
    for (const ExportedImage& image : report.images) {
        if (image.status == ExportStatus::Unreadable)
            ++unreadable;  // counted below; its own message is shown when the texture is
        else if (!image.messages.empty() && image.status != ExportStatus::Empty) {
            AfxMessageBox(image.messages.front(), MB_OK);
            return;
        }
    }
    if (!report.strError.empty()) {
        AfxMessageBox(report.strError, MB_OK);
        return;
    }
    if (unreadable > 0)
        AfxMessageBox(FormatString("%zu of %zu images could not be read and were not exported.", unreadable,
                          report.images.size()),
            MB_OK | MB_ICONEXCLAMATION);
}
