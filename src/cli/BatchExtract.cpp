#include "cli/BatchExtract.h"

#include "cli/CliUiServices.h"
#include "cli/ImageSet.h"
#include "image/DibImage.h"
#include "doc/ExportImages.h"
#include "platform/UiServices.h"

namespace {

// The set's images; a model file's textures are read when each is wanted.
class CSetSource final : public IExportSource {
public:
    explicit CSetSource(const CImageSet& set)
        : m_set(set)
    {
    }
    uint32_t Count() const override { return static_cast<uint32_t>(m_set.Entries().size()); }
    const CDibImage* Image(uint32_t index, std::unique_ptr<CDibImage>& owned) const override
    {
        const ImageEntry& entry = m_set.Entries()[index];
        if (!m_set.TexturesOnDemand())
            return entry.pImage;
        // Read on a worker: the export engine keeps what the reader says.
        owned = std::make_unique<CDibImage>(m_set.TextureFile(), FileKind::Nif, entry.nOffset);
        return owned.get();
    }

private:
    const CImageSet& m_set;
};

// Shows each image's messages as it is done, as if one thread had done the work.
class CCliProgress final : public IExportProgress {
public:
    explicit CCliProgress(CCliUiServices& ui)
        : m_ui(ui)
    {
    }
    void ImageDone(const ExportedImage& image, uint32_t count) override
    {
        m_ui.ShowProgress(static_cast<int>((uint64_t{image.nIndex} + 1) * 100 / count));
        for (const std::string& message : image.messages)
            m_ui.MessageBox(message, MB_OK);
    }

private:
    CCliUiServices& m_ui;
};

ExportType TypeOf(OutputFormat format)
{
    switch (format) {
    case OutputFormat::Bmp: return ExportType::Bmp;
    case OutputFormat::Tga: return ExportType::Tga;
    default: return ExportType::PngAlpha;  // the tool's PNG files keep a 32-bit image's alpha
    }
}

}  // namespace

int ExtractAllImages(const CliOptions& options, const CImageSet& set, CCliUiServices& ui)
{
    if (set.Entries().empty())
        return kExitFailure;
    ExportOptions exportOptions;
    exportOptions.strFolder = options.strAllDir;
    exportOptions.strNamePath = options.strFile;
    exportOptions.type = TypeOf(options.format);
    exportOptions.nJobs = options.nJobs;
    exportOptions.bOverwrite = options.bOverwrite;
    CSetSource source(set);
    CCliProgress progress(ui);
    ui.SetProgressLabel("Writing " + options.strAllDir);
    const ExportReport report = ExportImages(source, exportOptions, &progress);
    ui.ShowProgress(-1);
    if (report.bRefused) {
        std::string text = OverwriteQuestion(report.conflicts.size(), options.strAllDir) +
            " Nothing was written; give --overwrite to replace them:";
        for (const std::string& path : report.conflicts)
            text += "\n  " + path;
        ui.Report(text);
        return kExitFailure;
    }
    if (!report.strError.empty())
        ui.Report(report.strError);
    return report.Complete() ? kExitSuccess : kExitFailure;
}
