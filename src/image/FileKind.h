#pragma once
// The kinds of file the program opens, and the one table that maps file-name
// extensions to them: the Open dialog's filter, the document's choice of
// reader and the command-line tool's checks all come from it.
#include <string>

// File kinds, as the document numbers them.
enum FileKind : int {
    kFileKindBmp = 0,
    kFileKindBmz = 1,
    kFileKindNif = 2,
    kFileKindPng = 3,
    kFileKindNone = 4,
    kFileKindTga = 5,
};

struct FileKindEntry {
    FileKind kind;
    const char* extension;  // lower case, without the dot
    const char* description;  // for the Open dialog
};

// In the Open dialog's order.
inline constexpr FileKindEntry kFileKinds[] = {
    {kFileKindNif, "nif", "Varn Raw Image Data"},
    {kFileKindBmz, "bmz", "Varn Compressed Bitmap"},
    {kFileKindPng, "png", "Portable Network Graphics"},
    {kFileKindBmp, "bmp", "Windows Bitmap"},
    {kFileKindTga, "tga", "Truevision Targa"},
};

// The kind named by the extension of a path's file name, in any case;
// kFileKindNone for any other (or none).
FileKind FileKindOfPath(const std::string& path);
// The kind's extension without the dot ("nif"); empty for kFileKindNone.
const char* FileKindExtension(FileKind kind);
// The Open dialog's filter: one entry per kind, then all of them together,
// as "Name (*.ext)|*.ext|...||".
std::string OpenFileFilter();
