#include "cli/ImageWriter.h"

#include "doc/ExportTypes.h"
#include "platform/Exceptions.h"

bool WriteImage(const CDibImage& image, const std::string& path, OutputFormat format)
{
    const ExportType type = format == OutputFormat::Png ? kExportPng
        : format == OutputFormat::Bmp                   ? kExportBmp
                                                        : kExportTga;
    return RunReportingFailure([&] { WriteExportFile(image, path, type); });
}
