// The platform layer: safe replacement of files, formatting.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <tuple>

#include "ScriptedUi.h"
#include "TempDir.h"
#include "platform/File.h"
#include "platform/Format.h"
#include "platform/SignalCleanup.h"

TEST(Format, TextsOfAnyLengthAreWhole)
{
    EXPECT_EQ(FormatString("%s: %u", std::string(5000, 'x').c_str(), 3u), std::string(5000, 'x') + ": 3");
}

// What another program does to the target between Open and Commit: each is
// refused with its reason and left exactly as that program made it.
TEST(SafeFileWriter, RefusesATargetWhoseLinksModeOrContentChangedMeanwhile)
{
    const struct {
        const char* name;
        std::function<void(const TempDir&, const std::string&)> change;
        const char* reason;
    } cases[] = {
        {"hard link made", [](const TempDir& d, const std::string& t) { ::link(t.c_str(), d.File("u").c_str()); },
            "another hard link"},
        {"made read-only", [](const TempDir&, const std::string& t) { ::chmod(t.c_str(), 0444); }, "permissions"},
        {"appended to",
            [](const TempDir&, const std::string& t) {
                WriteFileBytes(t, {1, 2, 3, 4});
            },
            "changed"},
        {"replaced",
            [](const TempDir& d, const std::string& t) {
                WriteFileBytes(d.File("v"), {1, 2, 3});
                ::rename(d.File("v").c_str(), t.c_str());
            },
            "removed or renamed"},
    };
    for (const auto& c : cases) {
        for (const bool unnamed : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (unnamed ? "" : ", named new version"));
            CSafeFileWriter::SetUnnamedFilesAllowed(unnamed);
            TempDir dir;
            const std::string path = dir.File("f.bin");
            WriteFileBytes(path, {1, 2, 3});
            CFile read;
            ASSERT_TRUE(read.Open(path, CFile::modeRead));
            CSafeFileWriter writer;
            ASSERT_TRUE(writer.Open(path));
            writer.ExpectIdentity(read.GetIdentity());
            writer.Write("xyz", 3);
            c.change(dir, path);
            struct stat before { };
            ::stat(path.c_str(), &before);
            try {
                writer.Commit();
                ADD_FAILURE() << "committed";
            } catch (const CFileException& e) {
                EXPECT_NE(e.GetErrorMessage().find(c.reason), std::string::npos) << e.GetErrorMessage();
            }
            struct stat after { };
            ::stat(path.c_str(), &after);
            EXPECT_EQ(std::tie(after.st_ino, after.st_mode, after.st_nlink, after.st_size),
                std::tie(before.st_ino, before.st_mode, before.st_nlink, before.st_size));
            EXPECT_TRUE(FileNames(dir.Path(), ".").empty());
        }
    }
    CSafeFileWriter::SetUnnamedFilesAllowed(true);
}

// Where the file system has no unnamed files the new version is a hidden file
// named after the target, locked while written. The first write into a folder
// removes the ones whose writer is gone and no other file.
TEST(SafeFileWriter, NamedNewVersionsAreRecognisableAndStaleOnesAreSwept)
{
    CSafeFileWriter::SetUnnamedFilesAllowed(false);
    TempDir dir;
    const std::string stale = dir.File(".f.bin.tavrel-abc123");
    const std::string live = dir.File(".g.bin.tavrel-def456");
    WriteFileBytes(stale, {1});
    WriteFileBytes(live, {2});
    for (const char* kept : {".f.bin.tavrel-ab", ".f.bin.tavrel-abc12_", "f.bin.tavrel-abc123", ".x"})
        WriteFileBytes(dir.File(kept), {3});
    std::filesystem::create_directory(dir.File(".d.tavrel-aaaaaa"));
    const int liveFd = ::open(live.c_str(), O_RDONLY);  // its writer is still at work
    ASSERT_EQ(::flock(liveFd, LOCK_EX), 0);

    const std::string target = dir.File(std::string(40, '\xC3') + "f.bin");
    CSafeFileWriter writer;
    ASSERT_TRUE(writer.Open(target));
    writer.Write("new", 3);
    const std::vector<std::string> names = FileNames(dir.Path(), ".");
    EXPECT_EQ(names.size(), 6u);  // the stale one went, the new version came
    EXPECT_FALSE(FileExists(stale));
    EXPECT_TRUE(FileExists(live));
    std::string temp;
    for (const std::string& name : names) {
        if (CSafeFileWriter::IsTemporaryName(name) && name.rfind(".\xC3", 0) == 0)
            temp = name;
    }
    ASSERT_FALSE(temp.empty());
    EXPECT_LE(temp.size(), 47u);
    // Locked by its writer: another write's sweep leaves it alone.
    const int fd = ::open(dir.File(temp).c_str(), O_RDONLY);
    EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
    writer.Commit();
    EXPECT_EQ(ReadFileBytes(target), (std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_EQ(FileNames(dir.Path(), ".").size(), 5u);
    ::close(liveFd);
    CSafeFileWriter::SetUnnamedFilesAllowed(true);
}

// Every kind of target: what is refused (with its reason) stays exactly as it was,
// what is written keeps its links, owner and mode, and nothing else is left in the folder.
TEST(SafeFileWriter, RefusesSpecialUnwritableAndLinkedTargetsAndKeepsWhatItReplaces)
{
    const struct {
        const char* name;
        std::function<void(const TempDir&, const std::string&)> make;  // makes the target "t" (or the link)
        const char* refusal;  // nullptr: written
        int entries;  // in the folder afterwards
    } cases[] = {
        {"FIFO", [](const TempDir&, const std::string& t) { ::mkfifo(t.c_str(), 0666); }, "not a regular file", 1},
        {"read-only file",
            [](const TempDir&, const std::string& t) {
                WriteFileBytes(t, {1});
                ::chmod(t.c_str(), 0444);
            },
            "not writable", 1},
        {"hard-linked file",
            [](const TempDir& d, const std::string& t) {
                WriteFileBytes(t, {1});
                ::link(t.c_str(), d.File("u").c_str());
            },
            "hard links", 2},
        {"link to a missing file", [](const TempDir&, const std::string& t) { ::symlink("made", t.c_str()); }, nullptr,
            2},
        {"link to a file",
            [](const TempDir& d, const std::string& t) {
                WriteFileBytes(d.File("made"), {1});
                ::symlink("made", t.c_str());
            },
            nullptr, 2},
        {"set-id file of another owner",
            [](const TempDir&, const std::string& t) {
                WriteFileBytes(t, {1});
                if (::geteuid() == 0)
                    ::chown(t.c_str(), 1234, 5678);
                ::chmod(t.c_str(), 06754);
            },
            nullptr, 1},
        {"name of 255 bytes", nullptr, nullptr, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string target = dir.File(c.make ? "t" : std::string(255, 'n'));
        if (c.make)
            c.make(dir, target);
        struct stat before { };
        ::lstat(target.c_str(), &before);
        CSafeFileWriter writer;
        CFileException error;
        const bool opened = writer.Open(target, &error);
        EXPECT_EQ(opened, c.refusal == nullptr) << error.GetErrorMessage();
        if (c.refusal) {
            EXPECT_NE(error.GetErrorMessage().find(c.refusal), std::string::npos) << error.GetErrorMessage();
            struct stat after { };
            ::lstat(target.c_str(), &after);
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(after.st_ino, before.st_ino);
        } else {
            writer.Write("new", 3);
            // The new version has no name until it is committed: a crash now leaves nothing.
            EXPECT_EQ(int(FileNames(dir.Path()).size()), c.entries - (FileExists(target) ? 0 : 1));
            writer.Commit();
            EXPECT_EQ(ReadFileBytes(target), (std::vector<uint8_t>{'n', 'e', 'w'}));
            struct stat after { };
            ::lstat(target.c_str(), &after);
            if (S_ISLNK(before.st_mode)) {
                EXPECT_TRUE(S_ISLNK(after.st_mode));  // the link is kept; the file it names is written
                EXPECT_EQ(ReadFileBytes(dir.File("made")), (std::vector<uint8_t>{'n', 'e', 'w'}));
            } else if (before.st_mode != 0) {
                EXPECT_EQ(after.st_mode, before.st_mode);
                EXPECT_EQ(after.st_uid, before.st_uid);
                EXPECT_EQ(after.st_gid, before.st_gid);
            }
        }
        EXPECT_EQ(int(FileNames(dir.Path()).size()), c.entries);
    }
}

// Every path registered is removed when a signal ends the process, however
// many are registered at once (a batch with many jobs has many new files).
TEST(SignalCleanup, RemovesEveryRegisteredPathOnAnEndingSignal)
{
    TempDir dir;
    std::vector<std::string> files;
    for (int i = 0; i < 40; ++i) {
        files.push_back(dir.File("new-" + std::to_string(i)));
        WriteFileBytes(files.back(), {1});
    }
    const std::string kept = dir.File("kept");
    WriteFileBytes(kept, {2});
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        InstallSignalCleanup();
        RegisterCleanupPath(kept);
        for (const std::string& file : files)
            RegisterCleanupPath(file);
        UnregisterCleanupPath(kept);
        ::raise(SIGTERM);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(FileNames(dir.Path()), std::vector<std::string>{"kept"});
}
