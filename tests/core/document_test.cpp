// The document: opening each kind of file, the failure paths with their texts,
// titles and states, following a link, navigation and the temporary files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>

#include "ScriptedUi.h"
#include "TempDir.h"
#include "doc/CommandIds.h"
#include "doc/TavrelDoc.h"

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutText(std::vector<uint8_t>& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

// A texture block whose pixel bytes are all `fill`.
void PutTexture(std::vector<uint8_t>& out, uint32_t w, uint32_t h, uint32_t format, uint8_t fill)
{
    PutText(out, "NiRawImageData");
    out.insert(out.end(), 12, 0xEE);
    Put32(out, w);
    Put32(out, h);
    Put32(out, format);
    out.insert(out.end(), size_t(w) * h * (format == 1 ? 3 : 4), fill);
    PutText(out, "filler");
}

void PutLink(std::vector<uint8_t>& out, const std::string& name)
{
    PutText(out, "header NiImage");
    out.insert(out.end(), 17, 0x01);
    PutText(out, name);
    out.insert(out.end(), 8, 0);
}

// A 2 x 2 24-bit bitmap whose first pixel byte is `first`.
std::vector<uint8_t> SmallBmp(uint8_t first)
{
    std::vector<uint8_t> out = {'B', 'M'};
    Put32(out, 70);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, 2);
    Put32(out, 2);
    out.push_back(1); out.push_back(0);
    out.push_back(24); out.push_back(0);
    for (int i = 0; i < 6; ++i)
        Put32(out, 0);
    for (int i = 0; i < 16; ++i)
        out.push_back(static_cast<uint8_t>(first + i));
    return out;
}

std::vector<uint8_t> Bmz(const std::vector<uint8_t>& bmp)
{
    std::vector<uint8_t> out(40, 0);
    uLongf size = compressBound(bmp.size());
    std::vector<uint8_t> stream(size);
    compress2(stream.data(), &size, bmp.data(), bmp.size(), 6);
    out.insert(out.end(), stream.begin(), stream.begin() + static_cast<long>(size));
    return out;
}

class CountingObserver : public IDocObserver {
public:
    void OnUpdate(void*, long, void*) override { ++updates; }
    void OnTitleChanged(const std::string& title) override { titles.push_back(title); }
    int updates = 0;
    std::vector<std::string> titles;
};

class DocumentTest : public ::testing::Test {
protected:
    DocumentTest() { doc.AddObserver(&observer); }

    void Open(const std::string& path)
    {
        ui.ChooseFile(path);
        RouteCommand({&doc}, ID_FILE_OPEN);
    }

    bool Enabled(unsigned id)
    {
        CCmdUI state(id);
        RouteCommandUI({&doc}, &state);
        return state.m_bEnabled;
    }

    TempDir dir;
    ScriptedUi ui;
    CTavrelDoc doc;
    CountingObserver observer;
};

TEST_F(DocumentTest, StartsEmptyWithAPrivateTemporaryFolder)
{
    EXPECT_EQ(doc.m_nFileKind, unsigned(kFileKindNone));
    EXPECT_EQ(doc.GetTitle(), "Untitled");
    EXPECT_EQ(doc.GetActiveImage(), nullptr);
    EXPECT_TRUE(Enabled(ID_FILE_OPEN));
    EXPECT_FALSE(Enabled(ID_VIEW_NEXT_IMAGE));
    EXPECT_FALSE(Enabled(ID_VIEW_PREVIOUS_IMAGE));
    EXPECT_TRUE(std::filesystem::is_directory(doc.m_strTempDir));
    EXPECT_NE(doc.m_strTempDir, doc.m_strModuleDir);
    EXPECT_EQ(doc.m_strTempBitmapPath, doc.m_strTempDir + "temp.dbp");
    EXPECT_EQ(doc.m_strLastDir, CTavrelDoc::GetCurrentDir());
}

TEST_F(DocumentTest, CancellingTheDialogChangesOnlyTheFilter)
{
    ui.CancelNextDialog();
    RouteCommand({&doc}, ID_FILE_OPEN);
    ASSERT_EQ(ui.m_dialogs.size(), 1u);
    EXPECT_EQ(ui.m_dialogs[0].strFilter,
              "Varn Raw Image Data (*.nif)|*.nif|Varn Compressed Bitmap (*.bmz)|*.bmz|"
              "Portable Network Graphics (*.png)|*.png|Windows Bitmap (*.bmp)|*.bmp||");
    EXPECT_EQ(ui.m_dialogs[0].nFlags, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    EXPECT_EQ(doc.m_strFilter, ui.m_dialogs[0].strFilter);
    EXPECT_EQ(doc.GetTitle(), "Untitled");
    EXPECT_TRUE(doc.m_strFilePath.empty());
    EXPECT_EQ(observer.updates, 0);
}

TEST_F(DocumentTest, OpensAModelFileAndStepsThroughItsTexturesWrappingAround)
{
    std::vector<uint8_t> bytes;
    PutTexture(bytes, 4, 2, 1, 10);
    PutTexture(bytes, 2, 3, 2, 20);
    PutTexture(bytes, 8, 8, 1, 30);
    const std::string path = dir.File("house.nif");
    WriteFileBytes(path, bytes);

    Open(path);
    EXPECT_EQ(doc.m_nFileKind, unsigned(kFileKindNif));
    EXPECT_EQ(doc.m_nRawImageCount, 3u);
    ASSERT_EQ(doc.m_rawImageOffsets.size(), 3u);
    EXPECT_EQ(doc.m_rawImageOffsets[0], 26u);
    EXPECT_EQ(doc.GetTitle(), "house.nif");
    EXPECT_EQ(doc.m_strBackupPath, path + ".bak");
    EXPECT_EQ(doc.m_strFileExt, "NIF");
    EXPECT_EQ(doc.m_strLastDir, dir.Path() + "/");
    EXPECT_EQ(observer.updates, 1);
    EXPECT_EQ(ui.m_nRepaints, 1);
    EXPECT_TRUE(ui.Texts().empty());
    EXPECT_TRUE(Enabled(ID_VIEW_NEXT_IMAGE));

    const struct { unsigned command; uint32_t index; int width; } steps[] = {
        {ID_VIEW_NEXT_IMAGE, 1, 2}, {ID_VIEW_NEXT_IMAGE, 2, 8}, {ID_VIEW_NEXT_IMAGE, 0, 4},
        {ID_VIEW_PREVIOUS_IMAGE, 2, 8}, {ID_VIEW_PREVIOUS_IMAGE, 1, 2},
    };
    for (const auto& step : steps) {
        RouteCommand({&doc}, step.command);
        EXPECT_EQ(doc.m_nCurrentImage, step.index);
        ASSERT_NE(doc.GetActiveImage(), nullptr);
        ASSERT_NE(doc.GetActiveImage()->GetBitmapInfo(), nullptr);
        EXPECT_EQ(doc.GetActiveImage()->GetWidth(), step.width);
    }
    EXPECT_EQ(observer.updates, 6);
}

TEST_F(DocumentTest, ASingleTextureCannotBeStepped)
{
    std::vector<uint8_t> bytes;
    PutTexture(bytes, 2, 2, 2, 7);
    WriteFileBytes(dir.File("one.NiF"), bytes);
    Open(dir.File("one.NiF"));
    EXPECT_EQ(doc.m_nFileKind, unsigned(kFileKindNif));
    EXPECT_FALSE(Enabled(ID_VIEW_NEXT_IMAGE));
    RouteCommand({&doc}, ID_VIEW_NEXT_IMAGE);
    EXPECT_EQ(doc.m_nCurrentImage, 0u);
}

TEST_F(DocumentTest, ModelFileFailuresShowTheirTextAndLeaveNoKind)
{
    std::vector<uint8_t> noBlocks;
    PutText(noBlocks, "nothing here at all NiRawImageDat NNiRawImageData");
    std::vector<uint8_t> linkOutOfReach;
    PutLink(linkOutOfReach, std::string(40, 'a') + ".nif");
    std::vector<uint8_t> linkToMissing;
    PutLink(linkToMissing, "missing.nif");
    std::vector<uint8_t> linkToEmpty;
    PutLink(linkToEmpty, "empty.nif");

    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        bool exists;
        int answer;   // 0: no question expected
        std::vector<std::string> texts;
        int updates;
    } rows[] = {
        {"absent.nif", {}, false, 0, {"Error reading file: absent.nif"}, 0},
        {"plain.nif", noBlocks, true, 0, {"No image data found in file: plain.nif"}, 0},
        {"far.nif", linkOutOfReach, true, 0, {"No image data found"}, 1},
        {"tomissing.nif", linkToMissing, true, IDYES,
         {"No image data was found in this file but there is a link to another file that does contain "
          "image data. Would you like to open this file? missing.nif",
          "Error reading file"},
         0},
        {"toempty.nif", linkToEmpty, true, IDYES, {"", "No image data found"}, 1},
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
        EXPECT_EQ(rowDoc.GetTitle(), "Untitled");
        EXPECT_EQ(rowDoc.m_nFileKind, unsigned(kFileKindNone));
        EXPECT_EQ(rowDoc.GetActiveImage(), nullptr);
        EXPECT_EQ(rowObserver.updates, row.updates);
        EXPECT_EQ(rowUi.m_nWaitDepth, 0);
    }
}

TEST_F(DocumentTest, FollowsALinkWhenTheUserSaysYes)
{
    std::filesystem::create_directory(dir.File("Textures"));
    std::vector<uint8_t> target;
    PutTexture(target, 4, 4, 1, 99);
    WriteFileBytes(dir.File("Textures/Wall.nif"), target);
    std::vector<uint8_t> linking;
    // Written on another system: a backslash between folders, and another case.
    PutLink(linking, "textures\\WALL.nif");
    WriteFileBytes(dir.File("house.nif"), linking);

    ui.AnswerNext(IDYES);
    Open(dir.File("house.nif"));
    ASSERT_EQ(ui.m_messages.size(), 1u);
    EXPECT_EQ(ui.m_messages[0].style, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(doc.m_nFileKind, unsigned(kFileKindNif));
    EXPECT_EQ(doc.m_nRawImageCount, 1u);
    EXPECT_EQ(doc.GetTitle(), "textures\\WALL.nif");
    EXPECT_EQ(doc.m_strFilePath, dir.File("Textures/Wall.nif"));
    EXPECT_EQ(doc.m_strBackupPath, dir.File("house.nif") + ".bak");
    ASSERT_NE(doc.GetActiveImage(), nullptr);
    EXPECT_EQ(doc.GetActiveImage()->GetWidth(), 4);
}

TEST_F(DocumentTest, DecliningALinkKeepsTheLinkedPath)
{
    std::vector<uint8_t> linking;
    PutLink(linking, "other.nif");
    WriteFileBytes(dir.File("house.nif"), linking);
    ui.AnswerNext(IDNO);
    Open(dir.File("house.nif"));
    EXPECT_EQ(doc.GetTitle(), "Untitled");
    EXPECT_EQ(doc.m_nFileKind, unsigned(kFileKindNone));
    EXPECT_EQ(doc.m_strFilePath, dir.File("other.nif"));
    EXPECT_EQ(observer.updates, 0);
}

TEST_F(DocumentTest, ALargeModelFileIsMarkedEvenWithoutTextures)
{
    std::vector<uint8_t> bytes(CTavrelDoc::kLargeFileSize + 1, 0);
    WriteFileBytes(dir.File("big.nif"), bytes);
    Open(dir.File("big.nif"));
    EXPECT_TRUE(doc.m_bLargeFile);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"No image data found in file: big.nif"});
}

TEST_F(DocumentTest, OtherSlotsSurviveAndAReopenedSlotIsReplaced)
{
    WriteFileBytes(dir.File("a.bmp"), SmallBmp(1));
    WriteFileBytes(dir.File("b.BMP"), SmallBmp(50));
    WriteFileBytes(dir.File("c.bmz"), Bmz(SmallBmp(100)));

    Open(dir.File("a.bmp"));
    ASSERT_NE(doc.GetActiveImage(), nullptr);
    ASSERT_NE(doc.GetActiveImage()->GetBitmapInfo(), nullptr);
    CDibImage* first = doc.m_pBmpImage.get();

    Open(dir.File("c.bmz"));
    EXPECT_EQ(doc.m_nFileKind, unsigned(kFileKindBmz));
    EXPECT_EQ(doc.m_pBmpImage.get(), first);
    ASSERT_NE(doc.GetActiveImage(), nullptr);
    ASSERT_NE(doc.GetActiveImage()->GetBitmapInfo(), nullptr);
    EXPECT_EQ(doc.GetActiveImage()->GetBits()[0], 100);
    EXPECT_TRUE(std::filesystem::exists(doc.m_strTempBitmapPath));

    Open(dir.File("b.BMP"));
    EXPECT_EQ(doc.m_nFileKind, unsigned(kFileKindBmp));
    ASSERT_NE(doc.GetActiveImage(), nullptr);
    EXPECT_EQ(doc.GetActiveImage()->GetBits()[0], 50);
    EXPECT_NE(doc.m_pBmzImage, nullptr);
    EXPECT_TRUE(ui.Texts().empty());
}

TEST_F(DocumentTest, UnknownOrMissingExtensionsAreIgnoredAfterTheDialog)
{
    for (const char* name : {"notes.txt", "README"}) {
        WriteFileBytes(dir.File(name), {1, 2, 3});
        Open(dir.File(name));
        EXPECT_EQ(doc.GetTitle(), name);
        EXPECT_EQ(doc.m_nFileKind, unsigned(kFileKindNone));
    }
    EXPECT_EQ(observer.updates, 0);
    EXPECT_TRUE(ui.Texts().empty());
}

TEST_F(DocumentTest, AFailedBitmapLeavesItsKindWithAnEmptyRecord)
{
    WriteFileBytes(dir.File("bad.bmz"), std::vector<uint8_t>(40, 0));
    Open(dir.File("bad.bmz"));
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Error decompressing file"});
    EXPECT_EQ(doc.m_nFileKind, unsigned(kFileKindBmz));
    ASSERT_NE(doc.GetActiveImage(), nullptr);
    EXPECT_EQ(doc.GetActiveImage()->GetBitmapInfo(), nullptr);
    EXPECT_EQ(doc.GetTitle(), "bad.bmz");
    EXPECT_EQ(observer.updates, 1);
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
        doc->OnFileOpen();   // must return at once: no dialog is scripted
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
        tempDir = doc.m_strTempDir;
        WriteFileBytes(dir.File("c.bmz"), Bmz(SmallBmp(3)));
        doc.LoadFile(dir.File("c.bmz"));
        WriteFileBytes(doc.m_strTempCompressedPath, {1});
        EXPECT_TRUE(std::filesystem::exists(doc.m_strTempBitmapPath));
    }
    EXPECT_FALSE(std::filesystem::exists(tempDir));
}

}  // namespace
