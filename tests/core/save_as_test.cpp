// Save As: the export dialog's request, the file each type writes, and failed writes.
// (The name's rewrite on a type change is the dialog's own test.)
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "BmpBuilder.h"
#include "DocProbe.h"
#include "FileSizeLimit.h"
#include "NifBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "doc/CommandIds.h"
#include "doc/TavrelDoc.h"

namespace {

using Strings = std::vector<std::string>;

class SaveAsTest : public ::testing::Test {
protected:
    SaveAsTest() { doc.AddObserver(&observer); }

    void Open(const std::string& path)
    {
        ui.ChooseFile(path);
        RouteCommand({&doc}, ID_FILE_OPEN);
    }
    bool SaveAsEnabled() { return CommandEnabled(doc, ID_FILE_SAVE_AS); }

    TempDir dir;
    ScriptedUi ui;
    CTavrelDoc doc;
    CountingObserver observer;
};

TEST_F(SaveAsTest, EachTypeWritesExactlyWhatItsWriterMakes)
{
    // Nothing shown: nothing offered, no dialog.
    EXPECT_FALSE(SaveAsEnabled());
    RouteCommand({&doc}, ID_FILE_SAVE_AS);

    NifBuilder nif;
    nif.Texture(5, 3, 1, 1);
    nif.Texture(3, 4, 2, 2);
    nif.Save(dir.File("two.nif"));
    Open(dir.File("two.nif"));
    RouteCommand({&doc}, ID_VIEW_NEXT_IMAGE);
    ASSERT_TRUE(SaveAsEnabled());
    CDibImage& shown = *doc.GetActiveImage();
    const int updates = observer.updates;

    // Cancelled: nothing written, nothing changed.
    ui.CancelNextDialog();
    RouteCommand({&doc}, ID_FILE_SAVE_AS);
    ASSERT_EQ(ui.m_dialogs.size(), 2u);
    const FileDialogRequest& request = ui.m_dialogs[1];
    EXPECT_TRUE(!request.bOpen && request.bRetypeExtension && request.nFilterIndex == 1);
    EXPECT_EQ(request.strTitle + '|' + request.strInitialName, "Save As Type|*.bmp");
    EXPECT_EQ(request.strFilter,
        "Windows Bitmap (*.bmp)|*.bmp|Portable Network Graphics (*.png)|*.png|Truevision Targa (*.tga)|*.tga||");
    EXPECT_EQ(request.nFlags, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
    EXPECT_EQ(request.strInitialDir, dir.Path() + "/");  // the shown file's folder
    EXPECT_EQ(FileNames(dir.Path()), Strings{"two.nif"});
    EXPECT_EQ(observer.updates, updates);

    // A folder whose path is longer than 256 bytes; names ending in ".png"
    // whatever the type, as the type alone chooses the writer.
    std::string folder = dir.Path();
    while (folder.size() < 300)
        folder += "/folder-of-a-long-path";
    std::filesystem::create_directories(folder);
    const std::pair<int, void (*)(CDibImage&, const std::string&)> writers[] = {
        {1, [](CDibImage& image, const std::string& path) { image.WriteBmp(path); }},
        {2, [](CDibImage& image, const std::string& path) { ASSERT_TRUE(image.WritePng(path)); }},
        {3, [](CDibImage& image, const std::string& path) { image.WriteTga(path); }},
    };
    for (const auto& [type, write] : writers) {
        SCOPED_TRACE(type);
        const std::string name = "out" + std::to_string(type) + ".png";
        ui.ChooseFile(folder + "/" + name, type);
        RouteCommand({&doc}, ID_FILE_SAVE_AS);
        // After a save the dialog opens in the folder saved to.
        EXPECT_EQ(ui.m_dialogs.back().strInitialDir, type == 1 ? dir.Path() + "/" : folder + "/");
        write(shown, dir.File("alone"));
        EXPECT_EQ(ReadFileBytes(folder + "/" + name), ReadFileBytes(dir.File("alone")));
        EXPECT_EQ(doc.GetFileName(), name);
        EXPECT_EQ(doc.GetTitle(), "two.nif");
        EXPECT_EQ(observer.updates, updates + type);
    }
    EXPECT_EQ(ui.m_nWaitBegins, 4);  // the open and three saves
    EXPECT_TRUE(ui.Texts().empty());
}

TEST_F(SaveAsTest, AFailedWriteLeavesNoFileAndOnlyTheWritersReport)
{
    BmpFileParts parts;
    parts.width = parts.height = 64;
    // Noise, so that even the PNG is far larger than the room left on the disk.
    std::mt19937 noise(8);
    for (int i = 0; i < 64 * 64 * 3; ++i)
        parts.pixels.push_back(static_cast<uint8_t>(noise()));
    // A record whose load failed holds nothing to write: nothing offered, no dialog.
    WriteFileBytes(dir.File("empty.bmz"), std::vector<uint8_t>(40, 0));
    Open(dir.File("empty.bmz"));
    EXPECT_FALSE(SaveAsEnabled());
    RouteCommand({&doc}, ID_FILE_SAVE_AS);
    std::filesystem::remove(dir.File("empty.bmz"));

    WriteFileBytes(dir.File("shown.bmp"), BuildBmp(parts));
    WriteFileBytes(dir.File("keep.x"), {1, 2, 3});
    Open(dir.File("shown.bmp"));
    ASSERT_TRUE(SaveAsEnabled());
    const int updates = observer.updates;

    const std::string missing = dir.File("missing/out.bmp"), keep = dir.File("keep.x");
    const struct {
        int type;
        const std::string& path;
        bool diskFull;
        std::string message;
    } rows[] = {
        {1, missing, false, "An error occurred while accessing " + missing + ": No such file or directory."},
        {1, keep, true, "An error occurred while accessing " + keep + ": File too large."},
        {2, keep, true, "Error writing png file.\nFile: " + keep + "\nFile too large"},
        {3, keep, true, "An error occurred while accessing " + keep + ": File too large."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message);
        ui.m_messages.clear();
        ui.ChooseFile(row.path, row.type);
        {
            // Writes past 4096 bytes fail, as on a full disk.
            std::optional<FileSizeLimit> full;
            if (row.diskFull)
                full.emplace(4096);
            RouteCommand({&doc}, ID_FILE_SAVE_AS);
        }
        EXPECT_EQ(ui.Texts(), Strings{row.message});
        EXPECT_EQ(ui.m_nWaitDepth, 0);
        // The old file stays whole and no part of the new one is left.
        EXPECT_EQ(ReadFileBytes(keep), (std::vector<uint8_t>{1, 2, 3}));
        EXPECT_EQ(FileNames(dir.Path()), (Strings{"keep.x", "shown.bmp"}));
        // Nothing that looks like success.
        EXPECT_EQ(observer.updates, updates);
        EXPECT_EQ(doc.GetFileName(), "shown.bmp");
        EXPECT_EQ(ui.m_dialogs.back().strInitialDir, dir.Path() + "/");
    }
    EXPECT_TRUE(SaveAsEnabled());
}

}  // namespace
