#include "app/ExportAll.h"

#include <vector>

#include "doc/ExportTypes.h"
#include "doc/PathUtil.h"
#include "doc/TavrelDoc.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/UiServices.h"

namespace {

constexpr char kExportFilter[] =
    "Portable Network Graphics (*.png)|*.png|Windows Bitmap (*.bmp)|*.bmp|Truevision Targa (*.tga)|*.tga||";
constexpr const char* kExtensions[] = {"png", "bmp", "tga"};
constexpr ExportType kTypes[] = {kExportPngAlpha, kExportBmp, kExportTga};

// The document's images in index order; null for one that could not be read.
std::vector<CDibImage*> ImagesOf(const CTavrelDoc& doc)
{
    std::vector<CDibImage*> images;
    if (doc.GetFileKind() == kFileKindNif) {
        for (uint32_t i = 0; i < doc.ImageCount(); ++i) {
            CDibImage* dib = doc.ImageAt(uint32_t(i));
            images.push_back(dib && dib->GetBitmapInfo() ? dib : nullptr);
        }
    } else if (CDibImage* dib = doc.GetActiveImage(); dib && dib->GetBitmapInfo()) {
        images.push_back(dib);
    }
    return images;
}

// The file the user chose in Open: a followed link does not rename the export.
std::string OpenedPath(const CTavrelDoc& doc)
{
    const std::string& backup = doc.GetBackupPath();
    const std::string suffix = ".bak";
    if (backup.size() > suffix.size() && backup.compare(backup.size() - suffix.size(), suffix.size(), suffix) == 0)
        return backup.substr(0, backup.size() - suffix.size());
    return doc.GetFilePath();
}

}  // namespace

bool CanExportAllImages(const CTavrelDoc& doc)
{
    if (doc.IsBusy())
        return false;
    for (const CDibImage* dib : ImagesOf(doc)) {
        if (dib)
            return true;
    }
    return false;
}

void ExportAllImages(CTavrelDoc& doc)
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
    const int type = std::clamp(chosen->nFilterIndex, 1, 3) - 1;
    const std::string folder = DirectoryPart(chosen->strPath);

    CWaitCursor wait;
    const std::vector<CDibImage*> images = ImagesOf(doc);
    size_t unreadable = 0;
    for (size_t i = 0; i < images.size(); ++i) {
        Ui().ShowProgress(int(i * 100 / images.size()));
        if (!images[i]) {
            ++unreadable;  // its reader said why when the file was opened
            continue;
        }
        const std::string path = folder + NumberedImageName(chosen->strPath, uint32_t(i), kExtensions[type]);
        if (!RunReportingFailure([&] { WriteExportFile(*images[i], path, kTypes[type]); })) {
            Ui().ShowProgress(-1);
            return;  // the next ones would fail the same way
        }
    }
    Ui().ShowProgress(-1);
    if (unreadable > 0)
        AfxMessageBox(
            FormatString("%zu of %zu images could not be read and were not exported.", unreadable, images.size()),
            MB_OK | MB_ICONEXCLAMATION);
}
