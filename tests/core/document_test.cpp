// The document: opening each kind of file, the failure paths with their texts,
// titles and states, following a link, and the temporary files.
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
#include "platform/File.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

// A 2 x 2 24-bit bitmap of bytes `value`.
Bytes SmallBmp(uint8_t value)
{
    return BuildBmp({.width = 2, .height = 2, .pixels = Bytes(16, value)});
}

Bytes LinkTo(const std::string& name)
{
    NifBuilder b;
    b.Link(name);
    return b.Bytes();
}

// Questions and messages shown during a load let the user interface run: the
// commands that change the document must be held off meanwhile.
class ReentrantUi : public ScriptedUi {
public:
    int MessageBox(const std::string& text, unsigned style) override
    {
        if (doc) {
            openEnabledDuringLoad = CommandEnabled(*doc, ID_FILE_OPEN);
            busyDuringLoad = doc->IsBusy();
            doc->OnFileOpen();  // must return at once: no dialog is scripted
        }
        return ScriptedUi::MessageBox(text, style);
    }
    CTavrelDoc* doc = nullptr;
    bool openEnabledDuringLoad = true;
    bool busyDuringLoad = false;
};

class DocumentTest : public ::testing::Test {
protected:
    DocumentTest() { doc.AddObserver(&observer); }

    void Open(const std::string& path)
    {
        ui.ChooseFile(path);
        RouteCommand({&doc}, ID_FILE_OPEN);
    }

    TempDir dir;
    ReentrantUi ui;
    CTavrelDoc doc;
    CountingObserver observer;
};

// Stepping through the textures, with its wrap both ways, is the window's keys and view tests'.
TEST_F(DocumentTest, OpensAModelFileAndFollowsALinkOnlyWhenTheUserSaysYes)
{
    std::filesystem::create_directory(dir.File("Textures"));
    const std::string wall = dir.File("Textures/Wall.nif");
    NifBuilder target;
    target.Texture(4, 2, 1);
    target.Filler(6).Texture(2, 3, 2);
    target.Texture(8, 8, 1);
    target.Save(wall);
    // Written on another system: a backslash between folders, and another case.
    WriteFileBytes(dir.File("house.nif"), LinkTo("textures\\WALL.nif"));

    // Declined: nothing is loaded, but the linked path is kept; the views are
    // told, so they no longer show the file opened before.
    ui.AnswerNext(IDNO);
    Open(dir.File("house.nif"));
    EXPECT_EQ(doc.GetTitle(), "Untitled");
    EXPECT_EQ(doc.GetFileKind(), FileKind::None);
    EXPECT_EQ(doc.GetFilePath(), wall);
    EXPECT_EQ(observer.updates, 1);

    ui.AnswerNext(IDYES);
    Open(dir.File("house.nif"));
    EXPECT_EQ(ui.m_messages.at(1).style, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(doc.GetTitle(), "textures\\WALL.nif");
    EXPECT_EQ(doc.GetFilePath(), wall);
    EXPECT_EQ(doc.GetOpenedPath(), dir.File("house.nif"));
    EXPECT_EQ(doc.GetRawImageOffsets(), target.TextureOffsets());

    Open(wall);
    EXPECT_EQ(doc.GetFileKind(), FileKind::Nif);
    EXPECT_EQ(std::make_tuple(doc.ImageCount(), doc.GetTitle(), doc.GetOpenedPath()),
        std::make_tuple(3u, std::string("Wall.nif"), wall));
    EXPECT_EQ(doc.GetLastDir(), dir.File("Textures") + "/");
    EXPECT_EQ(observer.updates, 3);
    EXPECT_EQ(ui.m_nRepaints, 3);
    EXPECT_EQ(ui.m_messages.size(), 2u);
}

TEST_F(DocumentTest, ModelFileFailuresShowTheirTextAndLeaveNoKind)
{
    const Bytes noBlocks = NifBuilder().Text("nothing here NiRawImageDat NNiRawImageData").Bytes();
    WriteFileBytes(dir.File("empty.nif"), noBlocks);
    const std::string question = "No image data was found in this file but there is a link to another file that "
                                 "does contain image data. Would you like to open this file? ";
    // file: none if it does not exist. A question is answered Yes.
    const struct {
        const char* name;
        std::optional<Bytes> file;
        Texts texts;
    } rows[] = {
        {"absent.nif", std::nullopt, {"Error reading file: absent.nif"}},
        {"plain.nif", noBlocks, {"No image data found in file: plain.nif"}},
        {"far.nif", LinkTo(std::string(40, 'a') + ".nif"), {"No image data found"}},
        {"tomissing.nif", LinkTo("missing.nif"), {question + "missing.nif", "Error reading file"}},
        {"toempty.nif", LinkTo("empty.nif"), {question + "empty.nif", "No image data found"}},
        // A large file is marked even without textures.
        {"big.nif", Bytes(CTavrelDoc::kLargeFileSize + 1, 0), {"No image data found in file: big.nif"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.file)
            WriteFileBytes(dir.File(row.name), *row.file);
        if (row.texts.size() == 2)
            ui.AnswerNext(IDYES);
        ui.m_messages.clear();
        const int updates = observer.updates;
        std::tie(ui.doc, ui.busyDuringLoad, ui.openEnabledDuringLoad) = std::make_tuple(&doc, false, true);
        doc.LoadFile(dir.File(row.name));
        ui.doc = nullptr;
        EXPECT_EQ(ui.Texts(), row.texts);
        EXPECT_TRUE(ui.busyDuringLoad && !ui.openEnabledDuringLoad && !doc.IsBusy());
        EXPECT_EQ(doc.IsLargeFile(), row.file && row.file->size() > CTavrelDoc::kLargeFileSize);
        EXPECT_EQ(std::make_tuple(doc.GetTitle(), doc.GetFileKind(), doc.GetActiveImage(), ui.m_nWaitDepth),
            std::make_tuple(std::string("Untitled"), FileKind::None, nullptr, 0));
        EXPECT_EQ(observer.updates, updates + 1);
    }
}

TEST_F(DocumentTest, LinkNamesWithParentFoldersAndAbsoluteNamesResolveFromTheModelsFolder)
{
    const std::string models = dir.File("models") + "/";
    std::filesystem::create_directories(models + "Textures");
    std::filesystem::create_directories(dir.File("Textures"));
    WriteFileBytes(dir.File("Textures/Wall.nif"), {1});
    WriteFileBytes(models + "Textures/Wall.nif", {2});
    // An absolute name, in either system's form, never leaves the model's folder; ".." does, as a relative name may.
    const std::pair<const char*, std::string> cases[] = {
        {"..\\textures\\WALL.nif", models + "../Textures/Wall.nif"},
        {"../../Textures/Wall.nif", models + "../../Textures/Wall.nif"},
        {"/textures/wall.NIF", models + "Textures/Wall.nif"},
        {"C:\\Data\\Wall.nif", models + "C:/Data/Wall.nif"},
        {"\\\\server\\Textures\\Wall.nif", models + "server/Textures/Wall.nif"},
    };
    for (const auto& [link, path] : cases)
        EXPECT_EQ(ResolveLinkedPath(models, link), path) << link;
}

TEST_F(DocumentTest, BitmapsOfEachKindOpenAndAFailedOneLeavesThePreviousShown)
{
    const struct {
        const char* name;
        Bytes file;
        FileKind kind;
        uint8_t value;
    } opens[] = {
        {"a.bmp", SmallBmp(1), FileKind::Bmp, 1},
        {"c.bmz", BuildBmz(SmallBmp(100)), FileKind::Bmz, 100},
        {"b.BMP", SmallBmp(50), FileKind::Bmp, 50},
        {"d.TGA", BuildTga({.width = 2, .height = 2, .pixels = Bytes(12, 60)}), FileKind::Tga, 60},
    };
    for (const auto& o : opens) {
        SCOPED_TRACE(o.name);
        WriteFileBytes(dir.File(o.name), o.file);
        ui.ChooseFile(dir.File(o.name), 6);  // through "All supported files"
        RouteCommand({&doc}, ID_FILE_OPEN);
        EXPECT_EQ(doc.GetFileKind(), o.kind);
        ASSERT_NE(doc.GetActiveImage(), nullptr);
        EXPECT_EQ(doc.GetActiveImage(), doc.ImageAt(0));
        EXPECT_EQ(doc.GetActiveImage()->GetBits()[0], o.value);
    }
    EXPECT_TRUE(std::filesystem::is_empty(doc.GetTempDir()));  // nothing was written to open them
    EXPECT_TRUE(ui.Texts().empty());
    // Other kinds are refused before anything changes; the Open dialog comes back with the type chosen last.
    const CDibImage* shown = doc.GetActiveImage();
    WriteFileBytes(dir.File("picture.jpg"), {1, 2, 3});
    Open(dir.File("picture.jpg"));
    EXPECT_EQ(ui.Texts(),
        Texts{"picture.jpg cannot be opened: only model files (.nif), compressed bitmaps (.bmz), PNG, BMP and Targa "
              "files can be."});
    EXPECT_EQ(std::make_tuple(doc.GetTitle(), doc.GetActiveImage(), observer.updates),
        std::make_tuple(std::string("d.TGA"), shown, 4));
    EXPECT_EQ(ui.m_dialogs.back().nFilterIndex, 6);
    // (A failed open leaves the file shown before it: the window's reload test.) New forgets the file.
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(std::make_tuple(doc.GetActiveImage(), doc.ImageAt(0), doc.GetFilePath()),
        std::make_tuple(nullptr, nullptr, std::string()));
    // A compressed bitmap opens without writing a file anywhere, even when no file may grow.
    WriteFileBytes(
        dir.File("big.bmz"), BuildBmz(BuildBmp({.width = 512, .height = 512, .pixels = Bytes(512 * 512 * 3)})));
    ui.m_messages.clear();
    {
        FileSizeLimit limit(0);
        Open(dir.File("big.bmz"));
    }
    EXPECT_EQ(ui.Texts(), Texts{});
    EXPECT_EQ(doc.GetActiveImage()->GetWidth(), 512);
}

TEST(DocumentLifetime, TemporaryFilesAndTheirFolderGoWithTheDocument)
{
    TempDir dir;
    ScriptedUi ui;
    std::string tempDir;
    {
        CTavrelDoc doc;
        // Temporary files go to a folder of the process's own, below the temporary folder.
        tempDir = doc.GetTempDir();
        EXPECT_EQ(tempDir.rfind(TempFolderBase(), 0), 0u) << tempDir;
        WriteFileBytes(dir.File("c.bmz"), BuildBmz(SmallBmp(3)));
        doc.LoadFile(dir.File("c.bmz"));
        WriteFileBytes(tempDir + "temp.dbp", {1});  // as an earlier version left it
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
    EXPECT_EQ(ReadFileBytes(dir.File("temp.dbp")), Bytes{7});
    oldTemp ? ::setenv("TMPDIR", savedTemp.c_str(), 1) : ::unsetenv("TMPDIR");
    std::filesystem::current_path(oldDir);
}

}  // namespace
