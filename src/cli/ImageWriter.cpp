#include "cli/ImageWriter.h"

#include "image/DibImage.h"
#include "platform/Exceptions.h"

bool WriteImage(const CDibImage& image, const std::string& path, OutputFormat format)
{
    return RunReportingFailure([&] {
        switch (format) {
        case OutputFormat::Png: image.WritePngFile(path); break;
        case OutputFormat::Bmp: image.WriteBmp(path); break;
        case OutputFormat::Tga: image.WriteTga(path); break;
        }
    });
}
