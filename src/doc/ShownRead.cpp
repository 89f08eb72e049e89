#include "doc/ShownRead.h"

#include "image/DibImage.h"
#include "platform/Exceptions.h"

std::unique_ptr<CDibImage> ReadShown(const std::string& path, int nKind, uint64_t offset)
{
    std::unique_ptr<CDibImage> record;
    const bool read = RunReportingFailure([&] {
        if (nKind == kFileKindNif || nKind == kFileKindBmz)
            record = std::make_unique<CDibImage>(path, nKind, offset);
        else
            record = std::make_unique<CDibImage>(path, nKind);
    });
    if (read && !record->GetNotice().empty())
        CNotice(record->GetNotice()).ReportError();
    return read ? std::move(record) : CDibImage::CreateEmpty();
}
