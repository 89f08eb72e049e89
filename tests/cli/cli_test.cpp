// The tool's work done right: listings, extraction, conversion, links, progress.
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "CliTestBase.h"
#include "MiniJson.h"

namespace {

std::string Row(uint32_t index, uint64_t offset, uint32_t width, uint32_t height, unsigned bits)
{
    return std::to_string(index) + "\t" + std::to_string(offset) + "\t" + std::to_string(width) + "\t" +
           std::to_string(height) + "\t" + std::to_string(bits) + "\n";
}

std::set<std::string> FilesIn(const std::string& dir)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

// Reads an output file of the tool by the format its name says.
Picture ReadOutput(const std::string& path)
{
    const std::string ext = path.substr(path.size() - 3);
    if (ext == "png" || ext == "PNG")
        return ReadPngPicture(path);
    if (ext == "tga")
        return ReadTgaPicture(ReadFileBytes(path));
    return ReadBmpPicture(ReadFileBytes(path));
}

}  // namespace

TEST_F(CliTest, ListsEveryKindAsATable)
{
    const ModelFile model = BuildModelFile(m_textures);
    const std::string modelRows = Row(0, model.offsets[0], 5, 3, 24) + Row(1, model.offsets[1], 4, 4, 32) +
                                  Row(2, model.offsets[2], 1, 1, 24);
    WritePngFile(Path("rgb.png"), MakePicture(7, 5, false, 4));
    WritePngFile(Path("rgba.png"), MakePicture(3, 9, true, 5));
    struct Case {
        std::string file;
        std::string rows;
    } cases[] = {
        {Write("model.nif", model.bytes), modelRows},
        {Write("Mixed.NiF", model.bytes), modelRows},   // the extension in any case
        {Write("rgb.bmp", BuildBmp(MakePicture(3, 2, false, 6))), Row(0, 0, 3, 2, 24)},
        {Write("argb.BMP", BuildBmp(MakePicture(2, 2, true, 7))), Row(0, 0, 2, 2, 32)},
        {Path("rgb.png"), Row(0, 0, 7, 5, 24)},
        {Path("rgba.png"), Row(0, 0, 3, 9, 24)},   // PNG alpha is not kept
        {Write("packed.bmz", BuildBmz(MakePicture(6, 4, false, 8))), Row(0, 0, 6, 4, 24)},
    };
    for (const Case& c : cases) {
        const CliRun run = Run({"list", c.file});
        EXPECT_EQ(run.status, 0) << c.file << ": " << run.err;
        EXPECT_EQ(run.out, kListHeader + c.rows) << c.file;
        EXPECT_EQ(run.err, "") << c.file;
    }
}

TEST_F(CliTest, JsonListingParsesBack)
{
    const ModelFile model = BuildModelFile(m_textures);
    const std::string nif = Write("model.nif", model.bytes);
    WritePngFile(Path("p.png"), MakePicture(7, 5, false, 4));
    struct Case {
        std::string file;
        std::string kind;
        std::vector<std::vector<double>> images;   // index, offset, width, height, bits
    } cases[] = {
        {nif, "nif",
         {{0, double(model.offsets[0]), 5, 3, 24}, {1, double(model.offsets[1]), 4, 4, 32},
          {2, double(model.offsets[2]), 1, 1, 24}}},
        {Path("p.png"), "png", {{0, 0, 7, 5, 24}}},
        {Write("b.bmp", BuildBmp(MakePicture(3, 2, false, 6))), "bmp", {{0, 0, 3, 2, 24}}},
        {Write("c.bmz", BuildBmz(MakePicture(2, 3, true, 9))), "bmz", {{0, 0, 2, 3, 32}}},
    };
    const char* keys[] = {"index", "offset", "width", "height", "bits"};
    for (const Case& c : cases) {
        const CliRun run = Run({"list", c.file, "--json"});
        EXPECT_EQ(run.status, 0) << run.err;
        const std::optional<JsonValue> json = ParseJson(run.out);
        ASSERT_TRUE(json) << "not JSON: " << run.out;
        EXPECT_EQ(json->memberOrder, (std::vector<std::string>{"file", "kind", "images"}));
        EXPECT_EQ((*json)["file"].text, c.file);
        EXPECT_EQ((*json)["kind"].text, c.kind);
        const JsonValue& images = (*json)["images"];
        ASSERT_EQ(images.type, JsonValue::Type::Array);
        ASSERT_EQ(images.items.size(), c.images.size()) << c.file;
        for (size_t i = 0; i < c.images.size(); ++i) {
            for (size_t k = 0; k < 5; ++k) {
                EXPECT_EQ(images.items[i][keys[k]].type, JsonValue::Type::Number) << keys[k];
                EXPECT_EQ(images.items[i][keys[k]].number, c.images[i][k]) << c.file << " image " << i << " " << keys[k];
            }
        }
    }
}

TEST_F(CliTest, JsonCarriesAnyFileNameAsValidText)
{
    // Quotes, backslashes and control characters are escaped; a byte that is
    // not UTF-8 becomes U+FFFD, while real UTF-8 passes through.
    const std::string name = "we\"ird\\na\tme \xC3\xBC\x01\xFF.bmp";
    const std::string shown = "we\"ird\\na\tme \xC3\xBC\x01\xEF\xBF\xBD.bmp";
    const std::string file = Write(name, BuildBmp(MakePicture(2, 2, false, 1)));
    const CliRun run = Run({"list", "--json", file});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::optional<JsonValue> json = ParseJson(run.out);
    ASSERT_TRUE(json) << "not JSON: " << run.out;
    EXPECT_EQ((*json)["file"].text, m_dir.Path() + "/" + shown);
}

TEST_F(CliTest, ExtractAllWritesEveryTextureInEachFormat)
{
    const std::string nif = Write("model.nif", BuildModelFile(m_textures).bytes);
    struct Case {
        std::vector<std::string> formatArgs;
        std::string ext;
        bool keepsAlpha;   // PNG output of a 32-bit record has no alpha
    } cases[] = {
        {{}, "png", false},
        {{"--format", "png"}, "png", false},
        {{"--format", "bmp"}, "bmp", true},
        {{"--format", "tga"}, "tga", true},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string dir = Path("out" + std::to_string(n++));   // made by the tool
        std::vector<std::string> args{"extract", nif, "--all", dir};
        args.insert(args.end(), c.formatArgs.begin(), c.formatArgs.end());
        const CliRun run = Run(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "");
        const std::set<std::string> expected{"model-000." + c.ext, "model-001." + c.ext, "model-002." + c.ext};
        ASSERT_EQ(FilesIn(dir), expected);
        for (size_t i = 0; i < m_textures.size(); ++i) {
            const std::string out = dir + "/model-00" + std::to_string(i) + "." + c.ext;
            ExpectSamePixels(m_textures[i], ReadOutput(out), c.keepsAlpha && m_textures[i].hasAlpha, out);
        }
    }
}

TEST_F(CliTest, ExtractAllPadsIndexesToThreeDigitsAndWidensPastThem)
{
    std::vector<Picture> many;
    for (uint32_t i = 0; i < 1001; ++i)
        many.push_back(MakePicture(1, 1, false, i));
    const std::string nif = Write("many.nif", BuildModelFile(many).bytes);
    const CliRun run = Run({"extract", nif, "--all", Path("all/"), "--format", "bmp"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::set<std::string> files = FilesIn(Path("all"));
    EXPECT_EQ(files.size(), 1001u);
    EXPECT_TRUE(files.count("many-000.bmp"));
    EXPECT_TRUE(files.count("many-999.bmp"));
    EXPECT_TRUE(files.count("many-1000.bmp"));
    ExpectSamePixels(many[1000], ReadBmpPicture(ReadFileBytes(Path("all/many-1000.bmp"))), false, "texture 1000");
}

TEST_F(CliTest, ExtractsOneImageByIndexToTheFormatOfItsName)
{
    const std::string nif = Write("model.nif", BuildModelFile(m_textures).bytes);
    struct Case {
        std::vector<std::string> indexArgs;
        std::string out;
        size_t texture;
        bool keepsAlpha;
    } cases[] = {
        {{}, "first.tga", 0, true},
        {{"--index", "0"}, "zero.bmp", 0, true},
        {{"--index", "1"}, "second.bmp", 1, true},
        {{"--index", "1"}, "second.tga", 1, true},
        {{"--index", "1"}, "SECOND.PNG", 1, false},
        {{"--index", "2"}, "third.png", 2, false},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"extract", nif, Path(c.out)};
        args.insert(args.end(), c.indexArgs.begin(), c.indexArgs.end());
        const CliRun run = Run(args);
        ASSERT_EQ(run.status, 0) << c.out << ": " << run.err;
        EXPECT_EQ(run.out + run.err, "");
        ExpectSamePixels(m_textures[c.texture], ReadOutput(Path(c.out)), c.keepsAlpha && m_textures[c.texture].hasAlpha,
                         c.out);
    }
}

TEST_F(CliTest, ConvertsEachKindIntoEachFormat)
{
    const Picture rgb = MakePicture(13, 7, false, 21);   // 13 × 3 bytes: rows need padding in a BMP
    const Picture rgba = MakePicture(6, 5, true, 22);
    WritePngFile(Path("in.png"), rgb);
    Write("in.bmp", BuildBmp(rgb));
    Write("in32.bmp", BuildBmp(rgba));
    Write("in.bmz", BuildBmz(rgb));
    Write("in.nif", BuildModelFile({rgba, rgb}).bytes);
    struct Case {
        std::string in;
        std::string out;
        const Picture& expected;
        bool compareAlpha;
    } cases[] = {
        {"in.png", "png.bmp", rgb, false},  {"in.png", "png.tga", rgb, false},
        {"in.bmp", "bmp.png", rgb, false},  {"in.bmp", "bmp.tga", rgb, false},
        {"in32.bmp", "bmp32.tga", rgba, true}, {"in32.bmp", "bmp32.png", rgba, false},
        {"in.bmz", "bmz.png", rgb, false},  {"in.bmz", "bmz.bmp", rgb, false},
        {"in.nif", "nif.bmp", rgba, true},  // image 0
    };
    for (const Case& c : cases) {
        const CliRun run = Run({"convert", Path(c.in), Path(c.out)});
        ASSERT_EQ(run.status, 0) << c.in << " -> " << c.out << ": " << run.err;
        EXPECT_EQ(run.out + run.err, "") << c.out;   // no progress when standard error is not a terminal
        ExpectSamePixels(c.expected, ReadOutput(Path(c.out)), c.compareAlpha, c.in + " -> " + c.out);
    }
}

TEST_F(CliTest, FollowsTheLinkOfAModelFileThatHoldsNoTexture)
{
    ::mkdir(Path("textures").c_str(), 0755);
    const ModelFile target = BuildModelFile({m_textures[1], m_textures[0]});
    Write("textures/target.nif", target.bytes);
    const std::string link = Write("link.nif", BuildLinkModelFile("textures/target.nif"));
    const std::string question =
        "No image data was found in this file but there is a link to another file that does contain image "
        "data. Would you like to open this file? textures/target.nif\n(answered Yes)\n";

    const CliRun list = Run({"list", link});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, kListHeader + Row(0, target.offsets[0], 4, 4, 32) + Row(1, target.offsets[1], 5, 3, 24));
    EXPECT_EQ(list.err, question);

    const CliRun extract = Run({"extract", link, Path("linked.bmp"), "--index", "1"});
    EXPECT_EQ(extract.status, 0) << extract.err;
    ExpectSamePixels(m_textures[0], ReadOutput(Path("linked.bmp")), false, "linked texture");
}

TEST_F(CliTest, ShowsProgressOnlyOnATerminal)
{
    const std::string bmz = Write("big.bmz", BuildBmz(MakePicture(512, 512, false, 3)));
    const CliRun quiet = Run({"convert", bmz, Path("quiet.png")});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");

    const CliRun shown = RunCliOnTerminal({"convert", bmz, Path("shown.png")}, m_dir.Path());
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.err.find("Reading " + bmz + ": 100%"), std::string::npos) << shown.err;
    // The progress line is erased at the end, so the prompt starts clean.
    EXPECT_EQ(shown.err.substr(shown.err.size() - 4), "\r\033[K");
    ExpectSamePixels(ReadPngPicture(Path("quiet.png")), ReadPngPicture(Path("shown.png")), true, "same output");

    // Writing many images is long work too.
    const std::string nif = Write("model.nif", BuildModelFile(m_textures).bytes);
    const CliRun all = RunCliOnTerminal({"extract", nif, "--all", Path("all")}, m_dir.Path());
    EXPECT_EQ(all.status, 0) << all.err;
    EXPECT_NE(all.err.find("Writing " + Path("all") + ":  66%"), std::string::npos) << all.err;
    EXPECT_EQ(all.err.substr(all.err.size() - 4), "\r\033[K");
    const CliRun allQuiet = Run({"extract", nif, "--all", Path("all")});
    EXPECT_EQ(allQuiet.status, 0);
    EXPECT_EQ(allQuiet.err, "");
}
