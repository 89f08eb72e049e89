#pragma once
// Finding the files the program reads below folders: model files and
// compressed bitmaps, by the kind table. Other files are passed over without a
// word; links to folders are not followed and links to files are not taken
// (a file is found once, where it lies). The order is sorted, so listings and
// reports are the same on every run.
#include <string>
#include <vector>

struct FoundFile {
    std::string strPath;  // as found: the given root joined with the file's place below it
    std::string strSubfolder;  // its folder relative to the root ("a/b"); empty at the root or for a given file
};

struct FolderWalk {
    std::vector<FoundFile> files;
    std::vector<std::string> errors;  // paths that could not be searched or are not of a readable kind, and why
};

// True for the kinds a folder is searched for.
bool IsFolderFileKind(const std::string& path);
// True when the path names a folder (through links).
bool IsFolderPath(const std::string& path);
// Each path that is a folder is searched below it; a path that is a file is
// taken as it is when its kind is one the program opens.
FolderWalk FindReadableFiles(const std::vector<std::string>& paths);
