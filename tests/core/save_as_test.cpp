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

// A typed extension of an offered type decides the type; no extension gets the chosen type's; the alpha type
// writes RGBA for a 32-bit image.
TEST(SaveAs, TheTypedExtensionDecidesTheType)
{
    TempDir dir;
    ScriptedUi ui;
    CTavrelDoc doc;
    WriteFileBytes(dir.File("shown.bmp"), BuildBmp({.width = 2, .bitCount = 32, .pixels = {1, 2, 3, 4, 5, 6, 7, 8}}));
    ui.ChooseFile(dir.File("shown.bmp"));
    RouteCommand({&doc}, ID_FILE_OPEN);
    // What a file's first bytes say it is: BMP, PNG with its colour type, or Targa (by its footer).
    const auto kindOf = [](const std::vector<uint8_t>& b) -> std::string {
        if (b.size() > 25 && b[0] == 0x89 && b[1] == 'P')
            return b[25] == 6 ? "rgba png" : "rgb png";
        if (b.size() > 2 && b[0] == 'B' && b[1] == 'M')
            return "bmp";
        return b.size() > 18 && std::string(b.end() - 18, b.end() - 2) == "TRUEVISION-XFILE" ? "tga" : "?";
    };
    const struct {
        const char* typed;
        int type;
        const char* written;
        const char* kind;
    } rows[] = {
        // (Another type's extension, or none, typed in the window's dialog: the window's Save As test.)
        {"c", 4, "c.png", "rgba png"},
        {"d.PNG", 3, "d.PNG", "rgb png"},  // the first type with the extension: PNG without alpha
        {"f.png", 4, "f.png", "rgba png"},  // the chosen type has the extension too
        {"g.x", 1, "g.x", "bmp"},  // no type's extension: the chosen type
        {"h.tga.bmp", 3, "h.tga.bmp", "bmp"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typed);
        ui.ChooseFile(dir.File(row.typed), row.type);
        RouteCommand({&doc}, ID_FILE_SAVE_AS);
        EXPECT_EQ(kindOf(ReadFileBytes(dir.File(row.written))), row.kind);
        EXPECT_EQ(doc.GetFileName(), row.written);
    }
    EXPECT_TRUE(ui.Texts().empty());
}

}  // namespace
