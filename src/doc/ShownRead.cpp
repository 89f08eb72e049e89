#include "doc/ShownRead.h"

#include <new>

#include "image/DibImage.h"
#include "platform/Exceptions.h"
#include "platform/UiServices.h"

namespace {

// The reader of the kind; throws its refusal.
std::unique_ptr<CDibImage> Read(const std::string& path, FileKind kind, uint64_t offset)
{
    if (kind == FileKind::Nif || kind == FileKind::Bmz)
        return std::make_unique<CDibImage>(path, kind, offset);
    return std::make_unique<CDibImage>(path, kind);
}

}  // namespace

std::unique_ptr<CDibImage> ReadShown(const std::string& path, FileKind kind, uint64_t offset)
{
    std::unique_ptr<CDibImage> record;
    const bool read = RunReportingFailure([&] { record = Read(path, kind, offset); });
    if (read && !record->GetNotice().empty())
        AfxMessageBox(record->GetNotice(), MB_OK);
    return read ? std::move(record) : CDibImage::CreateEmpty();
}

std::unique_ptr<CDibImage> ReadQuietly(const std::string& path, FileKind kind, uint64_t offset)
{
    try {
        return Read(path, kind, offset);
    } catch (const CException&) {
    } catch (const std::bad_alloc&) {
    }
    return nullptr;
}
