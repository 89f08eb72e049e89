// Save As through the document: a failed write. (The request, the rename on a type change and the file each
// type writes are the window's Save As and Qt services tests'; the PNG type's writer is checked here.)
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "BmpBuilder.h"
#include "DocProbe.h"
#include "FileSizeLimit.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "doc/CommandIds.h"
#include "doc/TavrelDoc.h"

namespace {

using Strings = std::vector<std::string>;

TEST(SaveAs, AFailedWriteLeavesNoFileAndOnlyTheWritersReport)
{
    TempDir dir;
    ScriptedUi ui;
    CTavrelDoc doc;
    CountingObserver observer;
    doc.AddObserver(&observer);
    // Opens a file of these bytes; whether Save As is then offered.
    const auto openAndOffered = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        WriteFileBytes(dir.File(name), bytes);
        ui.ChooseFile(dir.File(name));
        RouteCommand({&doc}, ID_FILE_OPEN);
        return CommandEnabled(doc, ID_FILE_SAVE_AS);
    };
    // A record whose load failed holds nothing to write: nothing offered, no dialog.
    EXPECT_FALSE(openAndOffered("empty.bmz", std::vector<uint8_t>(40, 0)));
    RouteCommand({&doc}, ID_FILE_SAVE_AS);
    std::filesystem::remove(dir.File("empty.bmz"));
    // Noise, so that even the PNG is far larger than the room left on the disk.
    BmpFileParts parts{.width = 64, .height = 64};
    std::mt19937 noise(8);
    for (int i = 0; i < 64 * 64 * 3; ++i)
        parts.pixels.push_back(static_cast<uint8_t>(noise()));
    WriteFileBytes(dir.File("keep.x"), {1, 2, 3});
    ASSERT_TRUE(openAndOffered("shown.bmp", BuildBmp(parts)));
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
    EXPECT_TRUE(CommandEnabled(doc, ID_FILE_SAVE_AS));
}

}  // namespace
