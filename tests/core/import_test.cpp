// Putting a folder of edited textures back into a model file.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "BmpBuilder.h"
#include "NifBuilder.h"
#include "PngFiles.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "doc/CommandIds.h"
#include "doc/Progress.h"
#include "doc/TavrelDoc.h"
#include "doc/TextureImport.h"
#include "image/DibImage.h"

namespace {

struct Shape {
    uint32_t width, height, format;
};
// An RGB texture, one of odd width, two RGBA ones and a small RGB one.
const Shape kShapes[] = {{8, 8, 1}, {5, 3, 1}, {4, 4, 2}, {6, 2, 2}, {2, 2, 1}};

// A 24-bit BMP of a pattern of RGB block pixels.
std::vector<uint8_t> BmpOfRgb(uint32_t width, uint32_t height, uint8_t seed)
{
    return BmpOfBlock(NifBuilder::PatternPixels(width, height, 1, seed), width, height, 1);
}

// The model file of the shapes (texture i of seed i + 1), with the edited ones' shapes and pixels instead.
NifBuilder ModelWith(const std::map<size_t, std::pair<Shape, std::vector<uint8_t>>>& edits)
{
    NifBuilder model;
    model.Filler(40);
    for (size_t i = 0; i < std::size(kShapes); ++i) {
        const auto edit = edits.find(i);
        const Shape s = edit != edits.end() ? edit->second.first : kShapes[i];
        model.Filler(9).Texture(s.width, s.height, s.format,
            edit != edits.end() ? edit->second.second
                                : NifBuilder::PatternPixels(s.width, s.height, s.format, uint8_t(i + 1)));
    }
    model.Filler(33);
    return model;
}

// A model file of the shapes, and the folder its textures were exported to as PNG files.
struct RoundTrip {
    TempDir dir;
    std::string model = dir.File("rock.nif");
    std::string folder = dir.File("out");
    NifBuilder builder = ModelWith({});
    ScriptedUi ui;

    RoundTrip()
    {
        builder.Save(model);
        ::mkdir(folder.c_str(), 0755);
        for (size_t i = 0; i < std::size(kShapes); ++i) {
            CDibImage texture(model, FileKind::Nif, builder.TextureOffsets()[i]);
            texture.WritePngFile(Name(i, "png"));
        }
    }
    std::string Name(size_t index, const char* ext) const
    {
        char name[32];
        std::snprintf(name, sizeof name, "/rock-%03zu.%s", index, ext);
        return folder + name;
    }
    // The exported PNG of texture index replaced by a file of another name.
    void Edit(size_t index, const char* ext, const std::vector<uint8_t>& bytes) const
    {
        std::remove(Name(index, "png").c_str());
        WriteFileBytes(Name(index, ext), bytes);
    }
    std::vector<std::string> Lines(const ImportReport& report) const
    {
        std::vector<std::string> lines;
        for (const ImportLine& line : report.lines)
            lines.push_back(FormatImportLine(line));
        return lines;
    }
};

}  // namespace

TEST(ImportTextures, EditedTexturesChangeExactlyTheirBlocksInOnePassOtherNamesAreIgnored)
{
    RoundTrip trip;
    // Texture 0 grows to 10 x 6; texture 1 (odd width) gets new colours; RGBA
    // texture 3 gets new colours from a 24-bit file and keeps its alpha.
    trip.Edit(0, "bmp", BmpOfRgb(10, 6, 90));
    trip.Edit(1, "BMP", BmpOfRgb(5, 3, 91));
    trip.Edit(3, "bmp", BmpOfRgb(6, 2, 92));
    for (const char* name : {"notes.txt", "stone-001.png", "rock-002.jpg"})
        WriteFileBytes(trip.folder + "/" + name, {1});

    // (A dry run and a backup: the command-line tool's test.)
    const ImportReport report = ImportTextures(trip.model, trip.folder, {});
    ASSERT_TRUE(report.Succeeded()) << report.strError;
    EXPECT_TRUE(report.bWritten);
    EXPECT_EQ(trip.Lines(report),
        (std::vector<std::string>{"0 rock-000.bmp replaced", "1 rock-001.BMP replaced", "2 rock-002.png unchanged",
            "3 rock-003.bmp replaced", "4 rock-004.png unchanged", "- notes.txt ignored", "- rock-002.jpg ignored",
            "- stone-001.png ignored"}));

    // The whole file as it must now be: the same builder with the new blocks.
    std::vector<uint8_t> alphaKept = NifBuilder::PatternPixels(6, 2, 2, 4);
    for (size_t p = 0; p < 12; ++p)
        std::copy_n(NifBuilder::PatternPixels(6, 2, 1, 92).begin() + p * 3, 3, alphaKept.begin() + p * 4);
    EXPECT_EQ(ReadFileBytes(trip.model),
        ModelWith({{0, {{10, 6, 1}, NifBuilder::PatternPixels(10, 6, 1, 90)}},
                      {1, {{5, 3, 1}, NifBuilder::PatternPixels(5, 3, 1, 91)}}, {3, {{6, 2, 2}, alphaKept}}})
            .Bytes());

    // A second import of the same folder finds nothing left to do and leaves the file untouched.
    const auto written = std::filesystem::last_write_time(trip.model);
    const ImportReport again = ImportTextures(trip.model, trip.folder, {});
    EXPECT_TRUE(again.Succeeded()) << again.strError;
    EXPECT_FALSE(again.bWritten);
    EXPECT_EQ(std::filesystem::last_write_time(trip.model), written);
}

TEST(ImportTextures, CancelledAtAnyPollBeforeTheCommitTheFileStaysAndNoBackupIsLeft)
{
    RoundTrip trip;
    trip.Edit(0, "bmp", BmpOfRgb(10, 6, 90));
    trip.Edit(3, "bmp", BmpOfRgb(6, 2, 92));
    const std::vector<uint8_t> before = ReadFileBytes(trip.model);
    const auto entries = [&] {
        size_t n = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(trip.dir.Path()))
            ++n;
        return n;
    };
    // Cancelled at the first poll, then at the second, and so on, until no poll is left to cancel.
    struct CancelAt final : IProgress {
        explicit CancelAt(size_t at)
            : nLeft(at)
        {
        }
        bool Cancelled() override { return nLeft-- == 0; }
        size_t nLeft;
    };
    for (size_t at = 0;; ++at) {
        CancelAt progress(at);
        const ImportReport report = ImportTextures(trip.model, trip.folder, {.bBackup = true, .pProgress = &progress});
        if (!report.bCancelled) {
            EXPECT_TRUE(report.bWritten && at > std::size(kShapes)) << at;  // each file and each texture written polls
            EXPECT_EQ(entries(), 3u);  // and the backup
            break;
        }
        EXPECT_FALSE(report.bWritten || report.Succeeded()) << at;
        EXPECT_EQ(ReadFileBytes(trip.model), before) << at;
        EXPECT_EQ(entries(), 2u) << at;  // the model file and the folder
    }
}

// An RGBA texture exported with its alpha, the alpha repainted in the PNG, imported: the texture
// takes the new alpha with the colours. An RGB texture takes an RGBA PNG's colours and no alpha.
TEST(ImportTextures, AnAlphaEditInAnRgbaPngLandsInTheTexture)
{
    RoundTrip trip;
    for (size_t i : {0, 3}) {
        CDibImage texture(trip.model, FileKind::Nif, trip.builder.TextureOffsets()[i]);
        texture.WritePngFile(trip.Name(i, "png"), PngAlpha::Keep);
    }
    PngImage rgba;
    ASSERT_TRUE(DecodePng(ReadFileBytes(trip.Name(3, "png")), rgba));
    ASSERT_EQ(rgba.colorType, PNG_COLOR_TYPE_RGB_ALPHA);
    // The stored texture, top row first, red first: the PNG holds it as it is.
    std::vector<uint8_t> texels = NifBuilder::PatternPixels(6, 2, 2, 4);
    EXPECT_EQ(rgba.rows[0], std::vector<uint8_t>(texels.begin(), texels.begin() + 24));
    for (size_t y = 0; y < 2; ++y)
        for (size_t x = 0; x < 6; ++x)
            rgba.rows[y][4 * x + 3] = texels[24 * y + 4 * x + 3] = uint8_t(17 * x + 100 * y);
    trip.Edit(3, "png", EncodePng(rgba));
    // Texture 0 (RGB) from an RGBA file of new colours: the colours only, no depth change.
    PngImage rgbaOverRgb{.width = 8, .height = 8, .colorType = PNG_COLOR_TYPE_RGB_ALPHA};
    std::vector<uint8_t> rgb = NifBuilder::PatternPixels(8, 8, 1, 77);
    for (size_t y = 0; y < 8; ++y) {
        auto& row = rgbaOverRgb.rows.emplace_back();
        for (size_t x = 0; x < 8; ++x)
            row.insert(row.end(), {rgb[24 * y + 3 * x], rgb[24 * y + 3 * x + 1], rgb[24 * y + 3 * x + 2], 9});
    }
    trip.Edit(0, "png", EncodePng(rgbaOverRgb));

    const ImportReport report = ImportTextures(trip.model, trip.folder, {});
    ASSERT_TRUE(report.Succeeded()) << report.strError;
    EXPECT_EQ(trip.Lines(report)[0], "0 rock-000.png replaced");
    EXPECT_EQ(trip.Lines(report)[3], "3 rock-003.png replaced");
    EXPECT_EQ(ReadFileBytes(trip.model), ModelWith({{0, {kShapes[0], rgb}}, {3, {kShapes[3], texels}}}).Bytes());
}

TEST(ImportTextures, OneRefusedFileMeansNothingIsWritten)
{
    const std::vector<uint8_t> eightBit = BuildBmp({.width = 2,
        .height = 2,
        .bitCount = 8,
        .clrUsed = 2,
        .palette = std::vector<RGBQUAD>(2),
        .pixels = PadRows({{0, 1}, {1, 0}})});
    // The file put in the folder, its name, the start of its line in the report. (A refused depth change: the
    // command-line tool's test.)
    const std::tuple<std::vector<uint8_t>, std::string, std::string> cases[] = {
        {eightBit, "rock-004.bmp", "4 rock-004.bmp refused: Only 24-bit and 32-bit images are supported"},
        {{'B', 'M', 1, 2}, "rock-003.bmp", "3 rock-003.bmp refused: "},
        {BmpOfRgb(3, 3, 7), "rock-009.bmp", "9 rock-009.bmp refused: there is no image 9: the file holds 5 images"},
        {BmpOfRgb(3, 3, 7), "rock-000.BMP", "0 rock-000.BMP refused: more than one file for image 0"},
    };
    for (const auto& [file, name, start] : cases) {
        SCOPED_TRACE(name);
        RoundTrip trip;
        // An edit that would be written if nothing were refused.
        trip.Edit(1, "bmp", BmpOfRgb(5, 3, 60));
        if (name != "rock-000.BMP")
            std::remove((trip.folder + "/" + name.substr(0, name.size() - 3) + "png").c_str());
        WriteFileBytes(trip.folder + "/" + name, file);
        const std::vector<uint8_t> before = ReadFileBytes(trip.model);

        const ImportReport report = ImportTextures(trip.model, trip.folder, {.bAcceptDepthChange = true});
        EXPECT_FALSE(report.Succeeded());
        EXPECT_FALSE(report.bWritten);
        EXPECT_EQ(ReadFileBytes(trip.model), before);
        const std::vector<std::string> lines = trip.Lines(report);
        const auto found = std::find_if(
            lines.begin(), lines.end(), [&](const std::string& line) { return line.rfind(start, 0) == 0; });
        EXPECT_NE(found, lines.end()) << ::testing::PrintToString(lines);
        // Not written, so not said to be.
        EXPECT_NE(std::find(lines.begin(), lines.end(), "1 rock-001.bmp would be replaced"), lines.end());
        EXPECT_TRUE(trip.ui.m_messages.empty());
    }
}

TEST(ImportTextures, TheDocumentCommandAsksOnceWritesAndShowsTheSameTexture)
{
    RoundTrip trip;
    const std::vector<uint8_t> colours = NifBuilder::PatternPixels(6, 2, 1, 70);
    trip.Edit(3, "bmp", BmpOfRgb(6, 2, 70));
    trip.Edit(2, "bmp", BmpOfRgb(3, 3, 71));  // 24 bits over an RGBA texture: the depth question
    CTavrelDoc doc;
    trip.ui.ChooseFile(trip.model);
    RouteCommand({&doc}, ID_FILE_OPEN);
    for (int i = 0; i < 3; ++i)
        RouteCommand({&doc}, ID_VIEW_NEXT_IMAGE);
    trip.ui.m_messages.clear();

    trip.ui.ChooseFile(trip.folder);
    trip.ui.AnswerNext(IDYES);  // the depth question
    trip.ui.AnswerNext(IDNO);  // no backup
    RouteCommand({&doc}, ID_FILE_IMPORT_TEXTURES);
    EXPECT_EQ(trip.ui.m_dialogs.back().strInitialDir, trip.dir.Path() + "/");
    EXPECT_EQ(trip.ui.Texts(),
        (std::vector<std::string>{"The bit depths of these two images differ, do you wish to continue?",
            "Would you like to make a backup of rock?",
            "0 rock-000.png unchanged\n1 rock-001.png unchanged\n2 rock-002.bmp replaced\n"
            "3 rock-003.bmp replaced\n4 rock-004.png unchanged\n"}));
    EXPECT_FALSE(std::filesystem::exists(trip.model + ".bak"));
    // The texture shown before is shown again, read back from the file.
    const CDibImage* shown = doc.GetActiveImage();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(std::make_pair(shown->GetWidth(), shown->GetHeight()), std::make_pair(6, 2));
    const uint8_t* top = shown->GetBits() + shown->GetStride();
    EXPECT_EQ(std::vector<uint8_t>(top, top + 3), (std::vector<uint8_t>{colours[2], colours[1], colours[0]}));
}
