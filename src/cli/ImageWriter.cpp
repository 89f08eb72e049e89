#include "cli/ImageWriter.h"

#include <new>

#include "image/DibImage.h"
#include "platform/Exceptions.h"

bool WriteImage(CDibImage& image, const std::string& path, OutputFormat format)
{
    try {
        switch (format) {
        case OutputFormat::Png:
            return image.WritePng(path);   // reports its own failures
        case OutputFormat::Bmp:
            image.WriteBmp(path);
            return true;
        case OutputFormat::Tga:
            image.WriteTga(path);
            return true;
        }
    } catch (const CUserException&) {
        // The writer has shown its message.
    } catch (const CException& e) {
        e.ReportError();
    } catch (const std::bad_alloc&) {
        CMemoryException().ReportError();
    }
    return false;
}
