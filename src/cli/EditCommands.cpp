// replace and alpha: the window's Replace and Make Transparent commands, run on
// the document with the answers that the command line gives.
#include <string>

#include "cli/CliUiServices.h"
#include "cli/Commands.h"
#include "doc/TavrelDoc.h"
#include "platform/Format.h"

namespace {

constexpr char kBackupQuestionStart[] = "Would you like to make a backup of ";
constexpr char kDepthQuestion[] = "The bit depths of these two images differ, do you wish to continue?";

bool StartsWith(const std::string& text, const char* start)
{
    return text.rfind(start, 0) == 0;
}

// Opens FILE and shows texture N; false, after a message, when there is none such.
bool OpenAt(CTavrelDoc& doc, const CliOptions& options, CCliUiServices& ui)
{
    ui.SetProgressLabel("Reading " + options.strFile);
    const LoadResult result = doc.LoadFile(options.strFile);
    const uint32_t count = doc.ImageCount();
    if (count == 0) {
        if (result != LoadResult::kFailedAndReported)
            ui.Report("No image could be read from " + options.strFile);
        return false;
    }
    if (options.nIndex >= count) {
        ui.Report(FormatString("There is no image %u in %s: it holds %u image%s.", options.nIndex,
            options.strFile.c_str(), count, count == 1 ? "" : "s"));
        return false;
    }
    const CDibImage* image = doc.ImageAt(options.nIndex);
    if (!image || !image->GetBitmapInfo())
        return false;  // its reader has said why
    return doc.GetFileKind() != kFileKindNif || doc.SelectImage(options.nIndex);
}

// The backup question gets --backup's answer; any other question No, said on standard error.
int AnswerOthers(const std::string& question, const CliOptions& options, CCliUiServices& ui)
{
    if (StartsWith(question, kBackupQuestionStart))
        return options.bBackup ? IDYES : IDNO;
    ui.Report(question + "\n(answered No)");
    return IDNO;
}

}  // namespace

int RunReplace(const CliOptions& options, CCliUiServices& ui)
{
    CTavrelDoc doc;
    if (!OpenAt(doc, options, ui))
        return kExitFailure;
    ui.SetAnswerer([&](const std::string& question) {
        if (question == kDepthQuestion && options.bYes)
            return IDYES;
        if (question == kDepthQuestion) {
            ui.Report(question + "\n(answered No: --yes goes on)");
            return IDNO;
        }
        return AnswerOthers(question, options, ui);
    });
    ui.SetNextFile(options.strImage);
    ui.SetProgressLabel("Writing " + options.strFile);
    const bool written = doc.ReplaceImage();
    ui.SetAnswerer({});
    return written ? kExitSuccess : kExitFailure;
}

int RunAlpha(const CliOptions& options, CCliUiServices& ui)
{
    CTavrelDoc doc;
    if (!OpenAt(doc, options, ui))
        return kExitFailure;
    ui.SetAnswerer([&](const std::string& question) { return AnswerOthers(question, options, ui); });
    ui.SetTransparencyLevel(options.nAlpha);
    const bool written = doc.MakeTransparent();
    ui.SetAnswerer({});
    return written ? kExitSuccess : kExitFailure;
}
