// The tool's work done right: listings, extraction, conversion, links, progress.
#include <array>
#include <filesystem>
#include <tuple>

#include "CliTestBase.h"

namespace {

using Row = std::array<uint64_t, 5>;   // index, offset, width, height, bits

std::string Table(const std::vector<Row>& rows)
{
    std::string table = kListHeader;
    for (const Row& r : rows)
        table += std::to_string(r[0]) + "\t" + std::to_string(r[1]) + "\t" + std::to_string(r[2]) + "\t" +
                 std::to_string(r[3]) + "\t" + std::to_string(r[4]) + "\n";
    return table;
}

}  // namespace

TEST_F(CliTest, ListsEveryKindAsATableAndAsJson)
{
    std::vector<uint64_t> at;
    const std::vector<uint8_t> model = ModelFile(m_textures, &at);
    const std::vector<Row> modelRows{{0, at[0], 5, 3, 24}, {1, at[1], 4, 4, 32}, {2, at[2], 1, 1, 24}};
    // A model file that holds no texture but links to another one is read from that one.
    std::filesystem::create_directory(Path("textures"));
    Write("textures/target.nif", ModelFile({m_textures[1], m_textures[0]}, &at));
    // JSON escapes quotes, backslashes and control characters in the name; a byte that is
    // not UTF-8 becomes U+FFFD, while real UTF-8 passes through.
    const std::string oddName = "we\"ird\\na\tme \xC3\xBC\x01\xFF.bmp";
    const std::string oddShown = "we\"ird\\na\tme \xC3\xBC\x01\xEF\xBF\xBD.bmp";
    // File, kind, rows, standard error.
    const std::tuple<std::string, std::string, std::vector<Row>, std::string> cases[] = {
        {Write("model.nif", model), "nif", modelRows, ""},
        {Write("Mixed.NiF", model), "nif", modelRows, ""},   // the extension in any case
        {Write("link.nif", ModelFile({}, nullptr, "textures/target.nif")), "nif",
         {{0, at[0], 4, 4, 32}, {1, at[1], 5, 3, 24}},
         "No image data was found in this file but there is a link to another file that does contain image data. "
         "Would you like to open this file? textures/target.nif\n(answered Yes)\n"},
        {Write(oddName, BmpFile(Pattern(3, 2, false, 6))), "bmp", {{0, 0, 3, 2, 24}}, ""},
        {Write("argb.BMP", BmpFile(Pattern(2, 2, true, 7))), "bmp", {{0, 0, 2, 2, 32}}, ""},
        {Write("rgb.png", PngFile(Pattern(7, 5, false, 4))), "png", {{0, 0, 7, 5, 24}}, ""},
        {Write("rgba.png", PngFile(Pattern(3, 9, true, 5))), "png", {{0, 0, 3, 9, 24}}, ""},   // PNG alpha is not kept
        {Write("packed.bmz", BmzFile(Pattern(6, 4, false, 8))), "bmz", {{0, 0, 6, 4, 24}}, ""},
        {Write("argb.bmz", BmzFile(Pattern(2, 3, true, 9))), "bmz", {{0, 0, 2, 3, 32}}, ""},
    };
    for (const auto& [file, kind, rows, err] : cases) {
        const CliRun run = Run({"list", file});
        EXPECT_EQ(run.status, 0) << file << ": " << run.err;
        EXPECT_EQ(run.out, Table(rows)) << file;
        EXPECT_EQ(run.err, err) << file;

        std::string json = "{\"file\": \"\", \"kind\": \"" + kind + "\", \"images\": [";
        for (const Row& r : rows)
            json += (&r == &rows[0] ? "{\"index\": " : ", {\"index\": ") + std::to_string(r[0]) + ", \"offset\": " +
                    std::to_string(r[1]) + ", \"width\": " + std::to_string(r[2]) + ", \"height\": " +
                    std::to_string(r[3]) + ", \"bits\": " + std::to_string(r[4]) + "}";
        std::optional<std::vector<std::string>> tokens = JsonTokens(json + "]}");
        (*tokens)[3] = '"' + (file == Path(oddName) ? Path(oddShown) : file) + '"';
        const CliRun asJson = Run({"list", "--json", file});
        EXPECT_EQ(asJson.status, 0) << asJson.err;
        EXPECT_EQ(JsonTokens(asJson.out), tokens) << asJson.out;
    }
}

TEST_F(CliTest, ExtractAllWritesEveryTextureInEachFormat)
{
    // Indexes have three digits, more past 999.
    std::vector<Pixels> many = m_textures;
    for (uint32_t i = 3; i <= 1000; ++i)
        many.push_back(Pattern(1, 1, false, static_cast<uint8_t>(i)));
    const std::string few = Write("model.nif", ModelFile(m_textures));
    const std::string manyNif = Write("model.NIF", ModelFile(many));
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "png"}, {{"--format", "png"}, "png"}, {{"--format", "bmp"}, "bmp"}, {{"--format", "tga"}, "tga"}};
    for (const auto& [formatArgs, ext] : cases) {
        const std::vector<Pixels>& textures = ext == "bmp" ? many : m_textures;
        // Made by the tool; a trailing slash changes nothing.
        const std::string dir = Path(ext + std::to_string(formatArgs.size())) + (ext == "bmp" ? "/" : "");
        std::vector<std::string> args{"extract", ext == "bmp" ? manyNif : few, "--all", dir};
        args.insert(args.end(), formatArgs.begin(), formatArgs.end());
        const CliRun run = Run(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out + run.err, "");
        for (size_t i = 0; i < textures.size(); ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/model-%03zu.%s", i, ext.c_str());
            // A PNG of a 32-bit image has no alpha.
            ASSERT_EQ(ReadImage(dir + name), ext == "png" ? WithoutAlpha(textures[i]) : textures[i]) << name;
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), long(textures.size()));
    }
}

TEST_F(CliTest, ExtractsOrConvertsOneImageToTheFormatOfItsName)
{
    const Pixels rgb = Pattern(13, 7, false, 21);   // 13 × 3 bytes: rows need padding in a BMP
    const Pixels rgba = Pattern(6, 5, true, 22);
    const std::string nif = Write("model.nif", ModelFile(m_textures));
    const std::string png = Write("in.png", PngFile(rgb));
    const std::string bmp = Write("in.bmp", BmpFile(rgb));
    const std::string bmp32 = Write("in32.bmp", BmpFile(rgba));
    const std::string bmz = Write("in.bmz", BmzFile(rgb));
    const std::pair<std::vector<std::string>, Pixels> cases[] = {
        {{"extract", nif, Path("first.tga")}, m_textures[0]},
        {{"extract", nif, Path("second.bmp"), "--index", "1"}, m_textures[1]},
        {{"extract", nif, Path("SECOND.PNG"), "--index", "1"}, WithoutAlpha(m_textures[1])},
        {{"extract", nif, Path("third.png"), "--index", "2"}, m_textures[2]},
        {{"convert", png, Path("png.bmp")}, rgb},
        {{"convert", bmp, Path("bmp.png")}, rgb},
        {{"convert", bmp, Path("bmp.tga")}, rgb},
        {{"convert", bmp32, Path("bmp32.tga")}, rgba},
        {{"convert", bmp32, Path("bmp32.png")}, WithoutAlpha(rgba)},
        {{"convert", bmz, Path("bmz.png")}, rgb},
        {{"convert", nif, Path("nif.bmp")}, m_textures[0]},
    };
    for (const auto& [args, expected] : cases) {
        const CliRun run = Run(args);
        ASSERT_EQ(run.status, 0) << args[2] << ": " << run.err;
        EXPECT_EQ(run.out + run.err, "") << args[2];   // no progress when standard error is not a terminal
        EXPECT_EQ(ReadImage(args[2]), expected) << args[2];
    }
}

TEST_F(CliTest, ShowsProgressOnlyOnATerminal)
{
    const std::string bmz = Write("big.bmz", BmzFile(Pattern(512, 512, false, 3)));
    const std::string nif = Write("model.nif", ModelFile(m_textures));
    // Reading a large file and writing many images are both long work.
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"convert", bmz, Path("big.png")}, "Reading " + bmz + ": 100%"},
        {{"extract", nif, "--all", Path("all")}, "Writing " + Path("all") + ":  66%"},
    };
    for (const auto& [args, shown] : cases) {
        const CliRun quiet = Run(args);
        EXPECT_EQ(quiet.status, 0);
        EXPECT_EQ(quiet.err, "");
        const CliRun onTerminal = Run(args, true);
        EXPECT_EQ(onTerminal.status, 0) << onTerminal.err;
        EXPECT_NE(onTerminal.err.find(shown), std::string::npos) << onTerminal.err;
        // The progress line is erased at the end, so the prompt starts clean.
        EXPECT_TRUE(onTerminal.err.ends_with("\r\033[K")) << onTerminal.err;
    }
    EXPECT_EQ(ReadImage(Path("big.png")), Pattern(512, 512, false, 3));
}
