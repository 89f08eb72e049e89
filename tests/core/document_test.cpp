// The document: opening each kind of file, the failure paths with their texts,
// titles and states, following a link, navigation and the temporary files.
#include <gtest/gtest.h>

#include <filesystem>

#include "BmpBuilder.h"
#include "DocProbe.h"
#include "FileSizeLimit.h"
#include "NifBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "TgaBuilder.h"
#include "doc/CommandIds.h"
#include "doc/PathUtil.h"
#include "doc/TavrelDoc.h"

namespace {

// A 2 x 2 24-bit bitmap whose first pixel byte is `first`.
std::vector<uint8_t> SmallBmp(uint8_t first)
{
    std::vector<uint8_t> pixels(16);
    for (int i = 0; i < 16; ++i)
        pixels[i] = static_cast<uint8_t>(first + i);
    return BuildBmp({.width = 2, .height = 2, .pixels = pixels});
}

class DocumentTest : public ::testing::Test {
protected:
    DocumentTest() { doc.AddObserver(&observer); }

    void Open(const std::string& path)
    {
        ui.ChooseFile(path);
        RouteCommand({&doc}, ID_FILE_OPEN);
    }

    bool Enabled(unsigned id) { return CommandEnabled(doc, id); }

    TempDir dir;
    ScriptedUi ui;
    CTavrelDoc doc;
    CountingObserver observer;
};

TEST_F(DocumentTest, StartsEmptyAndCancellingOpenChangesOnlyTheFilter)
{
    EXPECT_EQ(doc.GetTitle(), "Untitled");
    EXPECT_EQ(doc.GetActiveImage(), nullptr);
    // Temporary files go to a folder of the process's own, not the program's.
    EXPECT_TRUE(std::filesystem::is_directory(doc.GetTempDir()));
    EXPECT_NE(doc.GetTempDir(), doc.GetModuleDir());
    EXPECT_EQ(doc.GetLastDir(), CTavrelDoc::GetCurrentDir());

    ui.CancelNextDialog();
    RouteCommand({&doc}, ID_FILE_OPEN);
    ASSERT_EQ(ui.m_dialogs.size(), 1u);
    EXPECT_EQ(ui.m_dialogs[0].strFilter,
        "Varn Raw Image Data (*.nif)|*.nif|Varn Compressed Bitmap (*.bmz)|*.bmz|"
        "Portable Network Graphics (*.png)|*.png|Windows Bitmap (*.bmp)|*.bmp|"
        "All supported files (*.nif;*.bmz;*.png;*.bmp)|*.nif;*.bmz;*.png;*.bmp||");
    EXPECT_EQ(doc.GetFilter(), ui.m_dialogs[0].strFilter);
    EXPECT_EQ(doc.GetTitle(), "Untitled");
    EXPECT_TRUE(doc.GetFilePath().empty());
    EXPECT_EQ(observer.updates, 0);
}

// Stepping through the textures, with its wrap both ways, is the window's keys and view tests'.
TEST_F(DocumentTest, OpensAModelFile)
{
    NifBuilder nif;
    nif.Texture(4, 2, 1);
    nif.Filler(6);
    nif.Texture(2, 3, 2);
    nif.Texture(8, 8, 1);
    const std::string path = dir.File("house.nif");
    nif.Save(path);

    Open(path);
    EXPECT_EQ(doc.GetFileKind(), unsigned(kFileKindNif));
    EXPECT_EQ(doc.ImageCount(), 3u);
    EXPECT_EQ(doc.GetRawImageOffsets(), nif.TextureOffsets());
    EXPECT_EQ(doc.GetTitle(), "house.nif");
    EXPECT_EQ(doc.GetBackupPath(), path + ".bak");
    EXPECT_EQ(doc.GetLastDir(), dir.Path() + "/");
    EXPECT_EQ(observer.updates, 1);
    EXPECT_EQ(ui.m_nRepaints, 1);
    EXPECT_TRUE(ui.Texts().empty());
}

TEST_F(DocumentTest, ModelFileFailuresShowTheirTextAndLeaveNoKind)
{
    const std::vector<uint8_t> noBlocks = NifBuilder().Text("nothing here NiRawImageDat NNiRawImageData").Bytes();
    NifBuilder linkOutOfReach, linkToMissing, linkToEmpty;
    linkOutOfReach.Link(std::string(40, 'a') + ".nif");
    linkToMissing.Link("missing.nif");
    linkToEmpty.Link("empty.nif");

    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        bool exists;
        int answer;  // 0: no question expected
        std::vector<std::string> texts;
        int updates;
    } rows[] = {
        {"absent.nif", {}, false, 0, {"Error reading file: absent.nif"}, 1},
        {"plain.nif", noBlocks, true, 0, {"No image data found in file: plain.nif"}, 1},
        {"far.nif", linkOutOfReach.Bytes(), true, 0, {"No image data found"}, 1},
        {"tomissing.nif", linkToMissing.Bytes(), true, IDYES,
            {"No image data was found in this file but there is a link to another file that does contain "
             "image data. Would you like to open this file? missing.nif",
                "Error reading file"},
            1},
        {"toempty.nif", linkToEmpty.Bytes(), true, IDYES, {"", "No image data found"}, 1},
        // A large file is marked even without textures.
        {"big.nif", std::vector<uint8_t>(CTavrelDoc::kLargeFileSize + 1, 0), true, 0,
            {"No image data found in file: big.nif"}, 1},
    };
    WriteFileBytes(dir.File("empty.nif"), noBlocks);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedUi rowUi;
        CTavrelDoc rowDoc;
        CountingObserver rowObserver;
        rowDoc.AddObserver(&rowObserver);
        if (row.exists)
            WriteFileBytes(dir.File(row.name), row.bytes);
        if (row.answer)
            rowUi.AnswerNext(row.answer);
        rowDoc.LoadFile(dir.File(row.name));
        const std::vector<std::string> texts = rowUi.Texts();
        ASSERT_EQ(texts.size(), row.texts.size());
        for (size_t i = 0; i < texts.size(); ++i) {
            if (!row.texts[i].empty()) {
                EXPECT_EQ(texts[i], row.texts[i]);
            }
        }
        EXPECT_EQ(rowDoc.IsLargeFile(), row.bytes.size() > CTavrelDoc::kLargeFileSize);
        EXPECT_EQ(rowDoc.GetTitle(), "Untitled");
        EXPECT_EQ(rowDoc.GetFileKind(), unsigned(kFileKindNone));
        EXPECT_EQ(rowDoc.GetActiveImage(), nullptr);
        EXPECT_EQ(rowObserver.updates, row.updates);
        EXPECT_EQ(rowUi.m_nWaitDepth, 0);
    }
}

TEST_F(DocumentTest, FollowsALinkOnlyWhenTheUserSaysYes)
{
    std::filesystem::create_directory(dir.File("Textures"));
    NifBuilder target;
    target.Texture(4, 4, 1);
    target.Save(dir.File("Textures/Wall.nif"));
    NifBuilder linking;
    // Written on another system: a backslash between folders, and another case.
    linking.Link("textures\\WALL.nif");
    linking.Save(dir.File("house.nif"));

    // Declined: nothing is loaded, but the linked path is kept; the views are
    // told, so they no longer show the file opened before.
    ui.AnswerNext(IDNO);
    Open(dir.File("house.nif"));
    EXPECT_EQ(doc.GetTitle(), "Untitled");
    EXPECT_EQ(doc.GetFileKind(), unsigned(kFileKindNone));
    EXPECT_EQ(doc.GetFilePath(), dir.File("Textures/Wall.nif"));
    EXPECT_EQ(observer.updates, 1);

    ui.AnswerNext(IDYES);
    Open(dir.File("house.nif"));
    ASSERT_EQ(ui.m_messages.size(), 2u);
    EXPECT_EQ(ui.m_messages[1].style, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(doc.GetFileKind(), unsigned(kFileKindNif));
    EXPECT_EQ(doc.ImageCount(), 1u);
    EXPECT_EQ(doc.GetTitle(), "textures\\WALL.nif");
    EXPECT_EQ(doc.GetFilePath(), dir.File("Textures/Wall.nif"));
    EXPECT_EQ(doc.GetBackupPath(), dir.File("house.nif") + ".bak");
    ASSERT_NE(doc.GetActiveImage(), nullptr);
    EXPECT_EQ(doc.GetActiveImage()->GetWidth(), 4);
}

TEST_F(DocumentTest, LinkNamesWithParentFoldersAndAbsoluteNamesResolveFromTheModelsFolder)
{
    std::filesystem::create_directories(dir.File("Textures"));
    std::filesystem::create_directories(dir.File("models/Textures"));
    WriteFileBytes(dir.File("Textures/Wall.nif"), {1});
    WriteFileBytes(dir.File("models/Textures/Wall.nif"), {2});
    const std::string models = dir.File("models") + "/";
    // An absolute name, in either system's form, never leaves the model's folder; ".." does, as a relative name may.
    const struct {
        const char* link;
        std::string path;
    } cases[] = {
        {"..\\textures\\WALL.nif", models + "../Textures/Wall.nif"},
        {"../../Textures/Wall.nif", models + "../../Textures/Wall.nif"},
        {"/textures/wall.NIF", models + "Textures/Wall.nif"},
        {"C:\\Data\\Wall.nif", models + "C:/Data/Wall.nif"},
        {"\\\\server\\Textures\\Wall.nif", models + "server/Textures/Wall.nif"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ResolveLinkedPath(models, c.link), c.path) << c.link;
}

TEST_F(DocumentTest, OtherSlotsSurviveAndAReopenedSlotIsReplaced)
{
    WriteFileBytes(dir.File("a.bmp"), SmallBmp(1));
    WriteFileBytes(dir.File("b.BMP"), SmallBmp(50));
    WriteFileBytes(dir.File("c.bmz"), BuildBmz(SmallBmp(100)));

    Open(dir.File("a.bmp"));
    ASSERT_NE(doc.GetActiveImage(), nullptr);
    ASSERT_NE(doc.GetActiveImage()->GetBitmapInfo(), nullptr);
    CDibImage* first = doc.GetSlotImage(kFileKindBmp);

    Open(dir.File("c.bmz"));
    EXPECT_EQ(doc.GetFileKind(), unsigned(kFileKindBmz));
    EXPECT_EQ(doc.GetSlotImage(kFileKindBmp), first);
    ASSERT_NE(doc.GetActiveImage(), nullptr);
    ASSERT_NE(doc.GetActiveImage()->GetBitmapInfo(), nullptr);
    EXPECT_EQ(doc.GetActiveImage()->GetBits()[0], 100);
    EXPECT_TRUE(std::filesystem::exists(doc.GetTempBitmapPath()));

    Open(dir.File("b.BMP"));
    EXPECT_EQ(doc.GetFileKind(), unsigned(kFileKindBmp));
    ASSERT_NE(doc.GetActiveImage(), nullptr);
    EXPECT_EQ(doc.GetActiveImage()->GetBits()[0], 50);
    EXPECT_NE(doc.GetSlotImage(kFileKindBmz), nullptr);
    WriteFileBytes(dir.File("d.TGA"), BuildTga({.width = 2, .height = 2, .pixels = std::vector<uint8_t>(12, 60)}));
    Open(dir.File("d.TGA"));
    ASSERT_NE(doc.GetActiveImage(), nullptr);
    ASSERT_NE(doc.GetActiveImage()->GetBitmapInfo(), nullptr);
    EXPECT_EQ(doc.GetActiveImage()->GetBits()[0], 60);
    EXPECT_TRUE(ui.Texts().empty());
}

TEST_F(DocumentTest, UnsupportedKindsAreRefusedBeforeAnythingChanges)
{
    WriteFileBytes(dir.File("a.bmp"), SmallBmp(1));
    ui.ChooseFile(dir.File("a.bmp"), 5);  // through "All supported files"
    RouteCommand({&doc}, ID_FILE_OPEN);
    const CDibImage* shown = doc.GetActiveImage();
    for (const char* name : {"notes.txt", "README", "picture.jpg"}) {
        WriteFileBytes(dir.File(name), {1, 2, 3});
        Open(dir.File(name));
        EXPECT_EQ(ui.Texts().back(),
            std::string(name) +
                " cannot be opened: only model files (.nif), compressed "
                "bitmaps (.bmz), PNG, BMP and Targa files can be.");
        EXPECT_EQ(doc.GetTitle(), "a.bmp");
        EXPECT_EQ(doc.GetActiveImage(), shown);
        EXPECT_EQ(doc.GetFilePath(), dir.File("a.bmp"));
    }
    EXPECT_EQ(observer.updates, 1);
    // The Open dialog comes back with the type chosen last.
    EXPECT_EQ(ui.m_dialogs[1].nFilterIndex, 5);
}

TEST_F(DocumentTest, AFailedBitmapLeavesAnEmptyUntitledDocumentAndNewEmptiesIt)
{
    WriteFileBytes(dir.File("a.bmp"), SmallBmp(1));
    WriteFileBytes(dir.File("bad.bmz"), std::vector<uint8_t>(40, 0));
    Open(dir.File("a.bmp"));
    Open(dir.File("bad.bmz"));
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Error decompressing file"});
    EXPECT_EQ(doc.GetFileKind(), unsigned(kFileKindNone));
    EXPECT_EQ(doc.GetActiveImage(), nullptr);
    EXPECT_EQ(doc.GetTitle(), "Untitled");
    EXPECT_EQ(observer.updates, 2);

    Open(dir.File("a.bmp"));
    ASSERT_NE(doc.GetActiveImage(), nullptr);
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.GetActiveImage(), nullptr);
    EXPECT_EQ(doc.GetSlotImage(kFileKindBmp), nullptr);
    EXPECT_EQ(doc.GetSlotImage(kFileKindBmz), nullptr);
    EXPECT_EQ(doc.GetFileKind(), unsigned(kFileKindNone));
    EXPECT_TRUE(doc.GetFilePath().empty());
    EXPECT_EQ(doc.GetTitle(), "Untitled");
    EXPECT_EQ(observer.updates, 4);
    // A sound file that the temporary folder cannot take: the text says why, on its next line.
    WriteFileBytes(dir.File("big.bmz"),
        BuildBmz(BuildBmp({.width = 512, .height = 512, .pixels = std::vector<uint8_t>(512 * 512 * 3)})));
    ui.m_messages.clear();
    {
        FileSizeLimit limit(4096);
        Open(dir.File("big.bmz"));
    }
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Error decompressing file\nFile too large"});
}

// Questions and messages shown during a load let the user interface run: the
// commands that change the document must be held off meanwhile.
class ReentrantUi : public ScriptedUi {
public:
    int MessageBox(const std::string& text, unsigned style) override
    {
        CCmdUI open(ID_FILE_OPEN);
        RouteCommandUI({doc}, &open);
        openEnabledDuringLoad = open.m_bEnabled;
        busyDuringLoad = doc->IsBusy();
        doc->OnFileOpen();  // must return at once: no dialog is scripted
        return ScriptedUi::MessageBox(text, style);
    }
    CTavrelDoc* doc = nullptr;
    bool openEnabledDuringLoad = true;
    bool busyDuringLoad = false;
};

TEST(DocumentBusy, CommandsAreHeldOffWhileALoadRuns)
{
    TempDir dir;
    ReentrantUi ui;
    CTavrelDoc doc;
    ui.doc = &doc;
    WriteFileBytes(dir.File("plain.nif"), {'x'});
    doc.LoadFile(dir.File("plain.nif"));
    EXPECT_TRUE(ui.busyDuringLoad);
    EXPECT_FALSE(ui.openEnabledDuringLoad);
    EXPECT_FALSE(doc.IsBusy());
}

TEST(DocumentLifetime, TemporaryFilesAndTheirFolderGoWithTheDocument)
{
    TempDir dir;
    ScriptedUi ui;
    std::string tempDir;
    {
        CTavrelDoc doc;
        tempDir = doc.GetTempDir();
        WriteFileBytes(dir.File("c.bmz"), BuildBmz(SmallBmp(3)));
        doc.LoadFile(dir.File("c.bmz"));
        WriteFileBytes(doc.GetTempCompressedPath(), {1});
        EXPECT_TRUE(std::filesystem::exists(doc.GetTempBitmapPath()));
    }
    EXPECT_FALSE(std::filesystem::exists(tempDir));

    // Without its private folder the document loads nothing, and never uses the current folder's files.
    const std::string oldDir = std::filesystem::current_path();
    const char* oldTemp = std::getenv("TMPDIR");
    const std::string savedTemp = oldTemp ? oldTemp : "";
    std::filesystem::current_path(dir.Path());
    WriteFileBytes("temp.dbp", {7});
    ::setenv("TMPDIR", dir.File("missing").c_str(), 1);
    {
        CTavrelDoc doc;
        doc.LoadFile(dir.File("c.bmz"));
        ASSERT_EQ(ui.Texts().size(), 1u);
        EXPECT_EQ(ui.Texts()[0].rfind("Cannot create a folder for temporary files in " + dir.File("missing"), 0), 0u);
        EXPECT_EQ(doc.GetActiveImage(), nullptr);
    }
    EXPECT_EQ(ReadFileBytes(dir.File("temp.dbp")), std::vector<uint8_t>{7});
    oldTemp ? ::setenv("TMPDIR", savedTemp.c_str(), 1) : ::unsetenv("TMPDIR");
    std::filesystem::current_path(oldDir);
}

}  // namespace
