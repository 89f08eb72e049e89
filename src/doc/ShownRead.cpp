#include "doc/ShownRead.h"

#include "image/DibImage.h"
#include "platform/Exceptions.h"
#include "platform/UiServices.h"

std::unique_ptr<CDibImage> ReadShown(const std::string& path, FileKind kind, uint64_t offset)
{
    std::unique_ptr<CDibImage> record;
    const bool read = RunReportingFailure([&] {
        if (kind == FileKind::Nif || kind == FileKind::Bmz)
            record = std::make_unique<CDibImage>(path, kind, offset);
        else
            record = std::make_unique<CDibImage>(path, kind);
    });
    if (read && !record->GetNotice().empty())
        AfxMessageBox(record->GetNotice(), MB_OK);
    return read ? std::move(record) : CDibImage::CreateEmpty();
}
