#include "doc/FolderWalk.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "image/FileKind.h"

namespace fs = std::filesystem;

bool IsFolderFileKind(const std::string& path)
{
    const FileKind kind = FileKindOfPath(path);
    return kind == FileKind::Nif || kind == FileKind::Bmz;
}

bool IsFolderPath(const std::string& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

namespace {

void Search(const std::string& root, FolderWalk& walk)
{
    std::vector<FoundFile> found;
    std::error_code error;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
    if (error) {
        walk.errors.push_back("Cannot search " + root + ": " + error.message() + ".");
        return;
    }
    const std::string prefix = root.empty() || root.back() == '/' ? root : root + "/";
    for (const fs::recursive_directory_iterator end; it != end; it.increment(error)) {
        if (error) {
            walk.errors.push_back("Cannot search " + root + ": " + error.message() + ".");
            break;
        }
        std::error_code statError;
        // symlink_status: a link, to a folder or a file, is neither searched nor taken.
        if (!fs::is_regular_file(it->symlink_status(statError)) || statError)
            continue;
        const std::string name = it->path().filename().string();
        if (!IsFolderFileKind(name))
            continue;
        const fs::path relative = it->path().lexically_relative(root);
        const std::string subfolder = relative.parent_path().generic_string();
        found.push_back({prefix + relative.generic_string(), subfolder});
    }
    std::sort(found.begin(), found.end(), [](const FoundFile& a, const FoundFile& b) { return a.strPath < b.strPath; });
    walk.files.insert(walk.files.end(), found.begin(), found.end());
}

}  // namespace

FolderWalk FindReadableFiles(const std::vector<std::string>& paths)
{
    FolderWalk walk;
    for (const std::string& path : paths) {
        if (IsFolderPath(path))
            Search(path, walk);
        else if (FileKindOfPath(path) != FileKind::None)
            walk.files.push_back({path, {}});
        else
            walk.errors.push_back(path + ": not a folder nor a file kind the program opens.");
    }
    return walk;
}
