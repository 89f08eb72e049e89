#include <cinttypes>
#include <cstdio>
#include <string>

#include "cli/CliUiServices.h"
#include "cli/Commands.h"
#include "cli/ImageSet.h"
#include "cli/Json.h"

namespace {

void PrintTable(const CImageSet& set)
{
    std::fputs("index\toffset\twidth\theight\tbits\n", stdout);
    for (const ImageEntry& entry : set.Entries()) {
        if (!entry.pImage)
            continue;   // its reader has said why on standard error
        std::printf("%" PRIu32 "\t%" PRIu64 "\t%" PRId32 "\t%" PRId32 "\t%u\n", entry.nIndex, entry.nOffset,
                    entry.pImage->GetWidth(), entry.pImage->GetHeight(), entry.pImage->GetBitCount());
    }
}

void PrintJson(const CImageSet& set, const std::string& file)
{
    std::string out = "{\"file\": " + JsonString(file) + ", \"kind\": " + JsonString(set.KindName()) +
                      ", \"images\": [";
    bool first = true;
    for (const ImageEntry& entry : set.Entries()) {
        if (!entry.pImage)
            continue;
        char item[256];
        std::snprintf(item, sizeof item,
                      "%s{\"index\": %" PRIu32 ", \"offset\": %" PRIu64 ", \"width\": %" PRId32
                      ", \"height\": %" PRId32 ", \"bits\": %u}",
                      first ? "" : ", ", entry.nIndex, entry.nOffset, entry.pImage->GetWidth(),
                      entry.pImage->GetHeight(), entry.pImage->GetBitCount());
        out += item;
        first = false;
    }
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
}

}  // namespace

int RunList(const CliOptions& options, CCliUiServices& ui)
{
    CImageSet set;
    if (!OpenImages(set, options.strFile, ui))
        return kExitFailure;
    if (options.bJson)
        PrintJson(set, options.strFile);
    else
        PrintTable(set);
    return set.AllRead() ? kExitSuccess : kExitFailure;
}
