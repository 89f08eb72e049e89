#include "cli/ImageWriter.h"

#include "doc/ExportTypes.h"
#include "image/DibImage.h"
#include "platform/Exceptions.h"

bool WriteImage(const CDibImage& image, const std::string& path, OutputFormat format)
{
    // The tool's PNG files keep a 32-bit image's alpha.
    const ExportType type = format == OutputFormat::Png ? ExportType::PngAlpha
        : format == OutputFormat::Bmp                   ? ExportType::Bmp
                                                        : ExportType::Tga;
    return RunReportingFailure([&] { WriteExportFile(image, path, type, {}); });
}
