// The platform layer: file object, safe replacement of files, formatting.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "ScriptedUi.h"
#include "TempDir.h"
#include "platform/File.h"
#include "platform/Format.h"

TEST(Format, FormatsTheProgramsTexts)
{
    EXPECT_EQ(FormatString("Error reading file: %s", "a.nif"), "Error reading file: a.nif");
    EXPECT_EQ(FormatString("Dimensions: %u * %u", 3u, 4u), "Dimensions: 3 * 4");
    EXPECT_EQ(FormatString("%s", std::string(5000, 'x').c_str()).size(), 5000u);
}

TEST(File, ReadsWritesSeeksAndReportsMissingFiles)
{
    TempDir dir;
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(dir.File("missing"), CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_NE(error.GetErrorMessage().find(dir.File("missing")), std::string::npos);

    ASSERT_TRUE(file.Open(dir.File("a"), CFile::modeCreate | CFile::modeWrite));
    file.Write("hello world", 11);
    file.Close();
    ASSERT_TRUE(file.Open(dir.File("a"), CFile::modeRead));
    EXPECT_EQ(file.GetLength(), 11u);
    EXPECT_EQ(file.Seek(6, CFile::begin), 6u);
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 5u);
    EXPECT_STREQ(buffer, "world");
    EXPECT_THROW(file.Seek(-100, CFile::current), CFileException);
}

TEST(SafeFileWriter, ReplacesWholeOrNotAtAllAndKeepsPermissions)
{
    TempDir dir;
    const std::string path = dir.File("f.bin");
    WriteFileBytes(path, {1, 2, 3});
    ::chmod(path.c_str(), 0640);
    {
        CSafeFileWriter writer;
        ASSERT_TRUE(writer.Open(path));
        writer.Write("abcd", 4);
        // Destroyed without Commit: the old file stays.
    }
    EXPECT_EQ(ReadFileBytes(path), (std::vector<uint8_t>{1, 2, 3}));
    {
        CSafeFileWriter writer;
        ASSERT_TRUE(writer.Open(path));
        writer.Write("abcd", 4);
        writer.Commit();
    }
    EXPECT_EQ(ReadFileBytes(path), (std::vector<uint8_t>{'a', 'b', 'c', 'd'}));
    // A copy replaces an older one whole; a missing source leaves it alone.
    WriteFileBytes(dir.File("f.bak"), std::vector<uint8_t>(100, 7));
    EXPECT_TRUE(CopyFile(path, dir.File("f.bak")));
    EXPECT_FALSE(CopyFile(dir.File("missing"), dir.File("f.bak")));
    EXPECT_EQ(ReadFileBytes(dir.File("f.bak")), ReadFileBytes(path));
    ::unlink(dir.File("f.bak").c_str());
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // No stray new versions are left in the folder.
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) { (void)e; ++entries; }
    EXPECT_EQ(entries, 1);
}

TEST(UiServices, ScriptedAnswersAndWaitCursor)
{
    ScriptedUi ui;
    ui.AnswerNext(IDYES);
    EXPECT_EQ(AfxMessageBox("Question?", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(AfxMessageBox("Note"), IDOK);
    { CWaitCursor wait; EXPECT_EQ(ui.m_nWaitDepth, 1); }
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{"Question?", "Note"}));
}
