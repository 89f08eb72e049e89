#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliUiServices.h"
#include "cli/Commands.h"
#include "cli/ImageSet.h"
#include "cli/Json.h"
#include "image/RawTexture.h"
#include "platform/Exceptions.h"
#include "platform/File.h"
#include "platform/Format.h"
#include "platform/PathParts.h"

namespace {

struct ListRow {
    uint32_t nIndex = 0;
    uint64_t nOffset = 0;
    int64_t nWidth = 0;
    int64_t nHeight = 0;
    unsigned nBits = 0;
};

// The kind of a file that holds one image, by its name; kFileKindNone for the others.
FileKind SingleImageKind(const std::string& path)
{
    const FileKind kind = FileKindOfPath(path);
    return kind == kFileKindNif ? kFileKindNone : kind;
}

// A model file's rows from the texture fields alone, no pixel read. A texture
// that the reader would refuse is listed as found and reported as the reader
// reports it; allReadable then becomes false.
std::vector<ListRow> RowsOfTextureFields(const CImageSet& set, bool& allReadable)
{
    std::vector<ListRow> rows;
    const std::string& path = set.TextureFile();
    CFile file;
    if (!file.Open(path, CFile::modeRead)) {
        AfxMessageBox(FormatString("Error opening file.\nFile: %s", path.c_str()), MB_OK);
        allReadable = false;
        return rows;
    }
    const uint64_t length = file.GetLength();
    for (const ImageEntry& entry : set.Entries()) {
        const RawTextureShape shape = ReadRawTextureShape(file, entry.nOffset).value_or(RawTextureShape{});
        rows.push_back({entry.nIndex, entry.nOffset, shape.width, shape.height, RawRecordBitCount(shape.format)});
        if (!RawTextureReadable(shape, entry.nOffset, length)) {
            AfxMessageBox(FormatString("Error reading file.\nFile: %s", path.c_str()), MB_OK);
            allReadable = false;
        } else if (shape.format != 1 && shape.format != 2) {
            AfxMessageBox("Hmmm, somethin' ain't right!", MB_OK | MB_NOTICE);
        }
    }
    return rows;
}

void PrintTable(const std::vector<ListRow>& rows)
{
    std::fputs("index\toffset\twidth\theight\tbits\n", stdout);
    for (const ListRow& row : rows)
        std::printf("%" PRIu32 "\t%" PRIu64 "\t%" PRId64 "\t%" PRId64 "\t%u\n", row.nIndex, row.nOffset, row.nWidth,
            row.nHeight, row.nBits);
}

void PrintJson(const std::vector<ListRow>& rows, const std::string& file, const char* kind)
{
    std::string out = "{\"file\": " + JsonString(file) + ", \"kind\": " + JsonString(kind) + ", \"images\": [";
    bool first = true;
    for (const ListRow& row : rows) {
        char item[256];
        std::snprintf(item, sizeof item,
            "%s{\"index\": %" PRIu32 ", \"offset\": %" PRIu64 ", \"width\": %" PRId64 ", \"height\": %" PRId64
            ", \"bits\": %u}",
            first ? "" : ", ", row.nIndex, row.nOffset, row.nWidth, row.nHeight, row.nBits);
        out += item;
        first = false;
    }
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
}

}  // namespace

int RunList(const CliOptions& options, CCliUiServices& ui)
{
    std::vector<ListRow> rows;
    bool allRead = true;
    const char* kindName = "";
    // A file of one image is listed from its headers, model files from their texture fields.
    if (const int kind = SingleImageKind(options.strFile); kind != kFileKindNone) {
        DibShape shape;
        ui.SetProgressLabel("Reading " + options.strFile);
        if (!RunReportingFailure([&] { shape = CDibImage::ReadShape(options.strFile, kind); }))
            return kExitFailure;
        rows.push_back({0, 0, shape.width, shape.height, shape.bitCount});
        kindName = kind == kFileKindBmp ? "bmp" : kind == kFileKindBmz ? "bmz" : "png";
    } else {
        CImageSet set;
        if (!OpenImages(set, options.strFile, ui, false))
            return kExitFailure;
        rows = RowsOfTextureFields(set, allRead);
        kindName = set.KindName();
    }
    if (options.bJson)
        PrintJson(rows, options.strFile, kindName);
    else
        PrintTable(rows);
    return allRead ? kExitSuccess : kExitFailure;
}
