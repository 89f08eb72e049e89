// replace and alpha: the command line's flags become the operations' options.
#include <string>

#include "cli/CliUiServices.h"
#include "cli/Commands.h"
#include "doc/EditOperations.h"
#include "image/DibImage.h"
#include "platform/CoreError.h"
#include "platform/File.h"
#include "platform/Format.h"
#include "platform/PathParts.h"

namespace {

constexpr char kLinkNotFollowed[] =
    "%s holds no textures but links to %s.\nNothing was written: --follow-link edits the linked file.";
constexpr char kDepthHint[] = "(--yes accepts the change of bit depth)";

int Fail(const CCoreError& e, CCliUiServices& ui)
{
    ui.Report(e.GetErrorMessage());
    if (e.GetKind() == CCoreError::Kind::DepthChange)
        ui.Report(kDepthHint);
    return kExitFailure;
}

void SayBackup(const std::string& backupPath)
{
    if (!backupPath.empty())
        std::printf("backup: %s\n", backupPath.c_str());
}

}  // namespace

std::string EditTarget(const CliOptions& options)
{
    if (UpperExtension(FileNamePart(options.strFile)) != "NIF")
        return options.strFile;
    const std::optional<ModelFileLink> link = FindModelFileLink(options.strFile);
    if (!link)
        return options.strFile;
    if (!options.bFollowLink) {
        throw CCoreError(FormatString(kLinkNotFollowed, options.strFile.c_str(), link->strPath.c_str()), {},
            CCoreError::Kind::LinkNotFollowed);
    }
    return link->strPath;
}

int RunReplace(const CliOptions& options, CCliUiServices& ui)
{
    try {
        const std::string path = EditTarget(options);
        const std::unique_ptr<CDibImage> image = LoadReplacement(options.strImage);
        EditOptions edit;
        edit.bBackup = options.bBackup;
        edit.bAcceptDepthChange = options.bYes;
        ui.SetProgressLabel("Writing " + path);
        EditResult result;
        if (UpperExtension(FileNamePart(path)) == "BMZ") {
            result = ReplaceCompressedBitmapImage(path, *image, edit);
        } else {
            const bool targa = UpperExtension(FileNamePart(options.strImage)) == "TGA";
            result = ReplaceTexture(path, options.nIndex, *image, targa, edit);
        }
        SayBackup(result.strBackupPath);
        return kExitSuccess;
    } catch (const CCoreError& e) {
        return Fail(e, ui);
    }
}

int RunAlpha(const CliOptions& options, CCliUiServices& ui)
{
    try {
        const std::string path = EditTarget(options);
        EditOptions edit;
        edit.bBackup = options.bBackup;
        ui.SetProgressLabel("Writing " + path);
        SayBackup(StampTextureAlpha(path, options.nIndex, options.nAlpha, edit).strBackupPath);
        return kExitSuccess;
    } catch (const CCoreError& e) {
        return Fail(e, ui);
    }
}
