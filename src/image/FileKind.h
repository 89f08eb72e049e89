#pragma once
// The kinds of file the program opens, and the one table that maps file-name
// extensions to them: the Open dialog's filter, the document's choice of
// reader and the command-line tool's checks all come from it.
#include <string>

// File kinds, with the numbers the document has always given them.
enum class FileKind : int {
    Bmp = 0,
    Bmz = 1,
    Nif = 2,
    Png = 3,
    None = 4,
    Tga = 5,
};

struct FileKindEntry {
    FileKind kind;
    const char* extension;  // lower case, without the dot
    const char* description;  // for the Open dialog
};

// In the Open dialog's order.
inline constexpr FileKindEntry kFileKinds[] = {
    {FileKind::Nif, "nif", "Varn Raw Image Data"},
    {FileKind::Bmz, "bmz", "Varn Compressed Bitmap"},
    {FileKind::Png, "png", "Portable Network Graphics"},
    {FileKind::Bmp, "bmp", "Windows Bitmap"},
    {FileKind::Tga, "tga", "Truevision Targa"},
};

// The kind named by the extension of a path's file name, in any case;
// FileKind::None for any other (or none).
FileKind FileKindOfPath(const std::string& path);
// The kind's extension without the dot ("nif"); empty for FileKind::None.
const char* FileKindExtension(FileKind kind);
// The Open dialog's filter: one entry per kind, then all of them together,
// as "Name (*.ext)|*.ext|...||".
std::string OpenFileFilter();
