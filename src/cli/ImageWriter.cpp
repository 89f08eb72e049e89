#include "cli/ImageWriter.h"

#include "doc/ExportTypes.h"
#include "image/DibImage.h"
#include "platform/Exceptions.h"

bool WriteImage(const CDibImage& image, const std::string& path, OutputFormat format)
{
    // The tool's PNG files keep a 32-bit image's alpha.
    const ExportType type = format == OutputFormat::Png ? kExportPngAlpha
        : format == OutputFormat::Bmp                   ? kExportBmp
                                                        : kExportTga;
    return RunReportingFailure([&] { WriteExportFile(image, path, type, {}); });
}
