#pragma once
// The file types that Save As offers, and the rules of its dialog: the filter
// list built from the type names, the type preselected by an initial file
// name, and the rewrite of the name's extension when the user picks another type.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The types, numbered from 1 in this order; each name ends in its pattern.
// The plain PNG type drops alpha; the last one keeps a 32-bit image's alpha.
inline constexpr char kExportTypeNames[] = "Windows Bitmap (*.bmp)|Portable Network Graphics (*.png)|"
                                           "Truevision Targa (*.tga)|PNG with alpha (*.png)";
inline constexpr char kExportDialogTitle[] = "Save As Type";

// Numbered as the list above: a dialog's 1-based type index is one.
enum class ExportType : int { Bmp = 1, Png = 2, Tga = 3, PngAlpha = 4 };

// The extension of a type's files, without the dot: "bmp", "png" or "tga".
const char* ExportTypeExtension(ExportType type);

class CDibImage;
struct ImageWriteOptions;
// Writes the image as a file of the type, whatever extension
// the path has. A failure, or a type that is none of them, leaves by an exception.
void WriteExportFile(
    const CDibImage& image, const std::string& path, ExportType type, const ImageWriteOptions& options);

struct ExportTypeDef {
    std::string strName;  // "Windows Bitmap (*.bmp)"
    std::string strPattern;  // "*.bmp": between the first '(' and the next ')'
    std::string strExtension;  // ".bmp": the pattern without its first character
};

// Splits text at the separator, skipping runs of separators, at most
// maxTokens tokens; the last allowed token runs on to the end of the text.
// A token that starts with a double quote or an apostrophe runs to the same
// quote (which is dropped, as is the one character that follows it).
std::vector<std::string> SplitTokens(std::string_view text, char separator, size_t maxTokens);

// The types of a '|'-separated list of names such as kExportTypeNames.
std::vector<ExportTypeDef> ParseExportTypes(std::string_view typeNames);
// The file dialog's filter: "Name|Pattern|...||".
std::string ExportFilter(const std::vector<ExportTypeDef>& types);
// The text the name box starts with: the name, or "*" and the first type's extension.
std::string InitialExportName(const std::vector<ExportTypeDef>& types, const std::string& fileName);
// The 1-based type whose extension equals, case for case, the name's text
// from its first '.'; 1 when none does.
int PreselectedExportType(const std::vector<ExportTypeDef>& types, const std::string& fileName);
// The extension with its dot in a type's text, between its first '*' and the
// next ')' (".png" for "Portable Network Graphics (*.png)"); empty when it has none.
std::string ExtensionOfTypeText(std::string_view typeText);
// What a save dialog's answer means: the file to write and its 1-based type.
struct TypedExportName {
    std::string strPath;
    int nTypeIndex = 1;
};
// The typed name decides over the chosen type: a name ending (in any case) in
// the extension of another type gets that type (the first such, unless the
// chosen one has it too), as if it had been chosen; a name with no extension
// gets the chosen type's. A name with an extension no type has keeps it.
TypedExportName ResolveTypedName(const std::vector<ExportTypeDef>& types, const std::string& path, int chosenType);

// The name box's text after a change to a type with this extension: "*" and
// the extension for an empty name, the extension appended to a name without
// '.', else the name up to its first '.' followed by the extension. Folders
// typed before the name are kept and not searched for a '.'.
std::string RetypeFileName(const std::string& name, const std::string& extension);
