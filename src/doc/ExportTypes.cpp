#include "doc/ExportTypes.h"

#include <algorithm>
#include <cctype>

#include "image/DibImage.h"
#include "platform/Exceptions.h"

namespace {

constexpr size_t kMaxExportTypes = 20;

}  // namespace

std::vector<std::string> SplitTokens(std::string_view text, char separator, size_t maxTokens)
{
    std::vector<std::string> tokens;
    const size_t n = text.size();
    size_t pos = 0;
    for (;;) {
        while (pos < n && text[pos] == separator)
            ++pos;
        if (pos >= n || tokens.size() >= maxTokens)
            return tokens;
        char quote = 0;
        if (text[pos] == '"' || text[pos] == '\'')
            quote = text[pos++];
        const size_t start = pos;
        if (pos < n)
            ++pos;  // a token's first character is never a stop
        const char stop = quote ? quote : separator;
        while (pos < n && text[pos] != stop)
            ++pos;
        if (pos >= n) {
            tokens.emplace_back(text.substr(start));
            return tokens;
        }
        if (quote) {
            tokens.emplace_back(text.substr(start, pos - start));
            ++pos;  // past the closing quote
            if (pos < n && tokens.size() < maxTokens)
                ++pos;  // and the character after it
            continue;
        }
        if (tokens.size() + 1 < maxTokens) {
            tokens.emplace_back(text.substr(start, pos - start));
            ++pos;
        } else {
            // The last token allowed keeps the rest of the text, separators included.
            tokens.emplace_back(text.substr(start));
            return tokens;
        }
    }
}

std::vector<ExportTypeDef> ParseExportTypes(std::string_view typeNames)
{
    std::vector<ExportTypeDef> types;
    for (std::string& name : SplitTokens(typeNames, '|', kMaxExportTypes)) {
        ExportTypeDef type;
        const std::vector<std::string> halves = SplitTokens(name, '(', 2);
        if (halves.size() == 2) {
            const std::vector<std::string> inner = SplitTokens(halves[1], ')', 2);
            if (!inner.empty())
                type.strPattern = inner[0];
        }
        if (!type.strPattern.empty())
            type.strExtension = type.strPattern.substr(1);
        type.strName = std::move(name);
        types.push_back(std::move(type));
    }
    return types;
}

std::string ExportFilter(const std::vector<ExportTypeDef>& types)
{
    std::string filter;
    for (const ExportTypeDef& type : types)
        filter += type.strName + '|' + type.strPattern + '|';
    return filter + '|';
}

std::string InitialExportName(const std::vector<ExportTypeDef>& types, const std::string& fileName)
{
    if (!fileName.empty())
        return fileName;
    return '*' + (types.empty() ? std::string() : types.front().strExtension);
}

int PreselectedExportType(const std::vector<ExportTypeDef>& types, const std::string& fileName)
{
    const size_t dot = fileName.find('.');
    if (dot == std::string::npos)
        return 1;
    const std::string tail = fileName.substr(dot);
    for (size_t i = 0; i < types.size(); ++i) {
        if (tail == types[i].strExtension)
            return static_cast<int>(i) + 1;
    }
    return 1;
}

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

TypedExportName ResolveTypedName(const std::vector<ExportTypeDef>& types, const std::string& path, int chosenType)
{
    TypedExportName result{path, chosenType};
    if (chosenType < 1 || static_cast<size_t>(chosenType) > types.size())
        return result;
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    // A leading dot makes a hidden name, not an extension.
    if (dot == std::string::npos || dot <= nameStart) {
        result.strPath += types[chosenType - 1].strExtension;
        return result;
    }
    const std::string_view extension = std::string_view(path).substr(dot);
    if (SameIgnoringCase(extension, types[chosenType - 1].strExtension))
        return result;
    for (size_t i = 0; i < types.size(); ++i) {
        if (SameIgnoringCase(extension, types[i].strExtension)) {
            result.nTypeIndex = static_cast<int>(i) + 1;
            break;
        }
    }
    return result;
}

std::string ExtensionOfTypeText(std::string_view typeText)
{
    const std::vector<std::string> halves = SplitTokens(typeText, '*', 2);
    if (halves.size() < 2)
        return {};
    const std::vector<std::string> inner = SplitTokens(halves[1], ')', 2);
    return inner.empty() ? std::string() : inner[0];
}

std::string RetypeFileName(const std::string& name, const std::string& extension)
{
    if (extension.empty())
        return name;
    const size_t slash = name.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    const std::string base = name.substr(folder.size());
    if (base.empty())
        return folder + '*' + extension;
    return folder + base.substr(0, base.find('.')) + extension;
}

const char* ExportTypeExtension(ExportType type)
{
    switch (type) {
    case ExportType::Bmp: return "bmp";
    case ExportType::Tga: return "tga";
    default: return "png";
    }
}

void WriteExportFile(const CDibImage& image, const std::string& path, ExportType type, const ImageWriteOptions& options)
{
    switch (type) {
    case ExportType::Bmp: image.WriteBmp(path, options); break;
    case ExportType::Png: image.WritePngFile(path, PngAlpha::Drop, options); break;
    case ExportType::Tga: image.WriteTga(path, options); break;
    case ExportType::PngAlpha: image.WritePngFile(path, PngAlpha::Keep, options); break;
    default: AfxThrowUserException();  // no such type: nothing is written
    }
}
