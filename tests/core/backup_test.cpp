// Backup copies: never over anything that exists, always of the file's bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TempDir.h"
#include "platform/Backup.h"
#include "platform/CoreError.h"

namespace {

using Bytes = std::vector<uint8_t>;
const Bytes kFile{1, 2, 3, 4}, kOther{9, 9};

// What stands at house.nif.bak before the backup, and where the backup must go.
struct Occupant {
    const char* name;
    void (*make)(const TempDir& dir, const std::string& bak);
    const char* expected;  // the backup's name
};

const Occupant kOccupants[] = {
    {"Nothing", [](const TempDir&, const std::string&) {}, "house.nif.bak"},
    {"AnOlderBackup", [](const TempDir&, const std::string& bak) { WriteFileBytes(bak, kOther); }, "house.nif.2.bak"},
    {"AFolder", [](const TempDir&, const std::string& bak) { ::mkdir(bak.c_str(), 0755); }, "house.nif.2.bak"},
    {"AReadOnlyFile",
        [](const TempDir&, const std::string& bak) {
            WriteFileBytes(bak, kOther);
            ::chmod(bak.c_str(), 0444);
        },
        "house.nif.2.bak"},
    {"AHardLinkedFile",
        [](const TempDir& dir, const std::string& bak) {
            WriteFileBytes(dir.File("other"), kOther);
            ::link(dir.File("other").c_str(), bak.c_str());
        },
        "house.nif.2.bak"},
    {"AFifo", [](const TempDir&, const std::string& bak) { ::mkfifo(bak.c_str(), 0644); }, "house.nif.2.bak"},
    {"ALinkToElsewhere",
        [](const TempDir& dir, const std::string& bak) {
            WriteFileBytes(dir.File("other"), kOther);
            ::symlink(dir.File("other").c_str(), bak.c_str());
        },
        "house.nif.2.bak"},
    {"ADanglingLink",
        [](const TempDir& dir, const std::string& bak) { ::symlink(dir.File("gone").c_str(), bak.c_str()); },
        "house.nif.2.bak"},
    {"TwoTakenNames",
        [](const TempDir&, const std::string& bak) {
            WriteFileBytes(bak, kOther);
            WriteFileBytes(BackupName(bak.substr(0, bak.size() - 4), 2), kOther);
        },
        "house.nif.3.bak"},
};

void PrintTo(const Occupant& o, std::ostream* os)
{
    *os << o.name;
}

struct BackupTest : ::testing::TestWithParam<Occupant> { };

}  // namespace

TEST_P(BackupTest, GoesToTheNextFreeNameAndLeavesWhatStoodThere)
{
    TempDir dir;
    const std::string path = dir.File("house.nif"), bak = path + ".bak";
    WriteFileBytes(path, kFile);
    GetParam().make(dir, bak);
    struct stat before { };
    const bool occupied = ::lstat(bak.c_str(), &before) == 0;
    const Bytes other = std::filesystem::exists(dir.File("other")) ? ReadFileBytes(dir.File("other")) : Bytes{};

    EXPECT_EQ(MakeBackup(path), dir.File(GetParam().expected));
    EXPECT_EQ(ReadFileBytes(dir.File(GetParam().expected)), kFile);
    struct stat after { };
    if (occupied) {
        ASSERT_EQ(::lstat(bak.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
        if (S_ISREG(after.st_mode)) {
            EXPECT_EQ(ReadFileBytes(bak), kOther);
        }
    }
    if (!other.empty()) {
        EXPECT_EQ(ReadFileBytes(dir.File("other")), other);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("gone")));
}

INSTANTIATE_TEST_SUITE_P(Backup, BackupTest, ::testing::ValuesIn(kOccupants),
    [](const ::testing::TestParamInfo<Occupant>& info) { return std::string(info.param.name); });

TEST(Backup, AReadOnlyFolderOrAMissingFileIsRefusedWithTheReasonAndLeavesNothing)
{
    TempDir dir;
    const std::string path = dir.File("a.nif");
    WriteFileBytes(path, kFile);
    ::chmod(dir.Path().c_str(), 0555);  // also refused for the administrator
    try {
        MakeBackup(path);
        ADD_FAILURE() << "no refusal";
    } catch (const CCoreError& e) {
        EXPECT_EQ(
            e.GetErrorMessage(), "Cannot make the backup copy " + path + ".bak.\nThe folder is marked read-only.");
    }
    ::chmod(dir.Path().c_str(), 0755);
    try {
        MakeBackup(dir.File("missing.nif"));
        ADD_FAILURE() << "no refusal";
    } catch (const CCoreError& e) {
        EXPECT_EQ(e.Reason(), "No such file or directory");
    }
    EXPECT_EQ(FileNames(dir.Path()), std::vector<std::string>{"a.nif"});
}
