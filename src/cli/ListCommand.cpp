#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliUiServices.h"
#include "cli/Commands.h"
#include "cli/ImageSet.h"
#include "cli/Json.h"
#include "doc/FolderWalk.h"
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

// The kind of a file that holds one image, by its name; FileKind::None for the others.
FileKind SingleImageKind(const std::string& path)
{
    const FileKind kind = FileKindOfPath(path);
    return kind == FileKind::Nif ? FileKind::None : kind;
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
            AfxMessageBox("Hmmm, somethin' ain't right!", MB_OK);
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

std::string JsonRow(const ListRow& row)
{
    char item[256];
    std::snprintf(item, sizeof item,
        "{\"index\": %" PRIu32 ", \"offset\": %" PRIu64 ", \"width\": %" PRId64 ", \"height\": %" PRId64
        ", \"bits\": %u}",
        row.nIndex, row.nOffset, row.nWidth, row.nHeight, row.nBits);
    return item;
}

void PrintJson(const std::vector<ListRow>& rows, const std::string& file, const char* kind)
{
    std::string out = "{\"file\": " + JsonString(file) + ", \"kind\": " + JsonString(kind) + ", \"images\": [";
    for (size_t i = 0; i < rows.size(); ++i)
        out += (i ? ", " : "") + JsonRow(rows[i]);
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
}

}  // namespace

namespace {

// A file's rows and kind; false when it could not be opened (its reader has said why).
bool RowsOf(
    const std::string& path, CCliUiServices& ui, std::vector<ListRow>& rows, std::string& kindName, bool& allRead)
{
    // A file of one image is listed from its headers, model files from their texture fields.
    if (const FileKind kind = SingleImageKind(path); kind != FileKind::None) {
        DibShape shape;
        ui.SetProgressLabel("Reading " + path);
        if (!RunReportingFailure([&] { shape = CDibImage::ReadShape(path, kind); }))
            return false;
        rows.push_back({0, 0, shape.width, shape.height, shape.bitCount});
        kindName = FileKindExtension(kind);
        return true;
    }
    CImageSet set;
    if (!OpenImages(set, path, ui, false))
        return false;
    rows = RowsOfTextureFields(set, allRead);
    kindName = set.KindName();
    return true;
}

}  // namespace

int RunList(const CliOptions& options, CCliUiServices& ui)
{
    if (options.bManyFiles)
        return RunListFiles(options, ui);
    std::vector<ListRow> rows;
    bool allRead = true;
    std::string kindName;
    if (!RowsOf(options.strFile, ui, rows, kindName, allRead))
        return kExitFailure;
    if (options.bJson)
        PrintJson(rows, options.strFile, kindName.c_str());
    else
        PrintTable(rows);
    return allRead ? kExitSuccess : kExitFailure;
}

int RunListFiles(const CliOptions& options, CCliUiServices& ui)
{
    const FolderWalk walk = FindReadableFiles(options.paths);
    for (const std::string& error : walk.errors)
        ui.Report(error);
    bool allRead = walk.errors.empty();
    std::string json = "{\"files\": [";
    if (!options.bJson)
        std::fputs("file\tindex\toffset\twidth\theight\tbits\n", stdout);
    bool first = true;
    for (const FoundFile& file : walk.files) {
        std::vector<ListRow> rows;
        std::string kindName;
        if (!RowsOf(file.strPath, ui, rows, kindName, allRead)) {
            allRead = false;
            continue;
        }
        if (options.bJson) {
            json += std::string(first ? "" : ", ") + "{\"file\": " + JsonString(file.strPath) +
                ", \"kind\": " + JsonString(kindName) + ", \"images\": [";
            for (size_t i = 0; i < rows.size(); ++i)
                json += (i ? ", " : "") + JsonRow(rows[i]);
            json += "]}";
            first = false;
            continue;
        }
        for (const ListRow& row : rows)
            std::printf("%s\t%" PRIu32 "\t%" PRIu64 "\t%" PRId64 "\t%" PRId64 "\t%u\n", file.strPath.c_str(),
                row.nIndex, row.nOffset, row.nWidth, row.nHeight, row.nBits);
    }
    if (options.bJson)
        std::fputs((json + "]}\n").c_str(), stdout);
    return allRead ? kExitSuccess : kExitFailure;
}
