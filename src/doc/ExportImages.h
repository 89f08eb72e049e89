#pragma once
// Every image of a file written into one folder as <stem>-000.<ext>, ... (the
// window's Export All and the command-line tool's `extract --all`): several
// images at a time, each read, written and freed on one worker. A file that
// exists and would change is replaced only when asked; one that already holds
// what would be written is left alone.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "doc/ExportTypes.h"
#include "doc/Progress.h"

class CDibImage;

enum class ExportStatus {
    Written,
    Unchanged,  // the file already held these bytes: not written
    Unreadable,  // its reader said why
    Empty,  // no pixels (a side of 0): nothing to write
    Failed,  // its write failed; the export stopped there
    NotReached,  // stopped, cancelled or refused before this image
};

struct ExportedImage {
    uint32_t nIndex = 0;
    std::string strPath;
    ExportStatus status = ExportStatus::NotReached;
    std::vector<std::string> messages;  // what its reader or writer said, in order
};

// The images to export, read when each is wanted.
class IExportSource {
public:
    virtual ~IExportSource() = default;
    virtual uint32_t Count() const = 0;
    // Image index, or null when it cannot be read (after its reader's message,
    // shown through Ui()). An image read for the call goes into `owned`.
    // Called from several threads at once, for different images.
    virtual const CDibImage* Image(uint32_t index, std::unique_ptr<CDibImage>& owned) const = 0;
};

// The caller's part while an export runs, on the thread that called
// ExportImages. Advance counts the images; Cancelled, polled before the first
// write and while images are under way, stops the export after those.
class IExportProgress : public IProgress {
public:
    // Each image once its outcome is known, in index order (before its Advance).
    virtual void ImageDone(const ExportedImage& image, uint32_t count)
    {
        (void)image;
        (void)count;
    }
    // Asked once, before anything is written, with every existing file that
    // would change; true replaces them.
    virtual bool ConfirmOverwrite(const std::vector<std::string>& paths)
    {
        (void)paths;
        return false;
    }
};

struct ExportOptions {
    std::string strFolder;  // made when the first file is written
    std::string strNamePath;  // the file whose stem names the images
    ExportType type = ExportType::PngAlpha;
    unsigned nJobs = 0;  // images at a time; 0: one per processor
    unsigned nPngThreads = 0;  // threads one PNG may use when one image is made at a time; 0: one per processor
    bool bOverwrite = false;  // replace existing files that differ without asking
};

struct ExportReport {
    std::vector<ExportedImage> images;  // every image, in index order
    std::vector<std::string> conflicts;  // existing files that differ from what would be written
    bool bRefused = false;  // conflicts neither allowed nor confirmed: nothing was written
    bool bCancelled = false;
    std::string strError;  // a failure of the whole export (the folder), else empty

    // True when every image with pixels is in its file and nothing failed.
    bool Complete() const;
};

// The file name of image index: DIR/<stem>-<index>.<ext>.
std::string ExportPath(const ExportOptions& options, uint32_t index);
ExportReport ExportImages(
    const IExportSource& source, const ExportOptions& options, IExportProgress* progress = nullptr);
// "N files in DIR would be overwritten…": the question and the refusal's first line.
std::string OverwriteQuestion(size_t count, const std::string& folder);
