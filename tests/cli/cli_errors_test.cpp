// The tool's failures: usage errors, read and write failures with the
// system's own messages, exit statuses, and OUT left alone.
#include <sys/stat.h>

#include "CliTestBase.h"

namespace {

constexpr char kUsageStart[] = "Usage:\n  tavrel-cli list FILE [--json]\n";

const std::vector<uint8_t> kSentinel{'k', 'e', 'e', 'p', ' ', 'm', 'e'};

}  // namespace

TEST_F(CliTest, HelpAndVersionGoToStandardOutput)
{
    for (const char* word : {"--help", "-h"}) {
        const CliRun run = Run({word});
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.out.find("tavrel-cli extract FILE --all DIR [--format bmp|png|tga]"), std::string::npos);
        EXPECT_EQ(run.err, "");
    }
    const CliRun version = Run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("tavrel-cli ", 0), 0u) << version.out;
    EXPECT_EQ(version.err, "");
}

TEST_F(CliTest, UsageErrorsExitTwoWithTheUsageText)
{
    const std::string nif = Path("a.nif");
    const std::string png = Path("o.png");
    const std::vector<std::vector<std::string>> cases{
        {},
        {"frobnicate"},
        {"list"},
        {"list", nif, nif},
        {"list", Path("a.txt")},
        {"list", Path("a.tga")},
        {"list", Path("noextension")},
        {"list", nif, "--index", "1"},
        {"list", nif, "--bogus"},
        {"list", nif, "--json", "--json"},
        {"extract", nif},
        {"extract", nif, Path("out.jpg")},
        {"extract", nif, Path("out")},
        {"extract", nif, png, "--json"},
        {"extract", nif, png, "--index"},
        {"extract", nif, png, "--index", "x"},
        {"extract", nif, png, "--index", "-1"},
        {"extract", nif, png, "--index", "1x"},
        {"extract", nif, png, "--index", "4294967296"},
        {"extract", nif, png, "--index", "1", "--index", "2"},
        {"extract", nif, png, "--format", "bmp"},
        {"extract", nif, "--all"},
        {"extract", nif, "--all", Path("d"), "--format", "gif"},
        {"extract", nif, "--all", Path("d"), "--format", "x.png"},
        {"extract", nif, "--all", Path("d"), "--index", "0"},
        {"extract", nif, "--all", Path("d"), png},
        {"convert", Path("a.png")},
        {"convert", Path("a.png"), Path("b.bmp"), Path("c.bmp")},
        {"convert", Path("a.png"), Path("b.gif")},
        {"convert", Path("a.png"), Path("b.bmp"), "--index", "0"},
    };
    for (const auto& args : cases) {
        std::string shown;
        for (const std::string& a : args)
            shown += a + " ";
        const CliRun run = Run(args);
        EXPECT_EQ(run.status, 2) << shown;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_EQ(run.err.rfind("tavrel-cli: ", 0), 0u) << shown << ": " << run.err;
        EXPECT_NE(run.err.find(kUsageStart), std::string::npos) << shown << ": " << run.err;
    }
    EXPECT_FALSE(PathExists(Path("d"))) << "a refused command made its folder";
}

TEST_F(CliTest, ReadFailuresExitOneWithTheSystemsMessageAndLeaveOutAlone)
{
    Write("notbmp.bmp", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', ' ', 'n', 'o', 't', ' ', 'B', 'M'});
    Write("notpng.png", std::vector<uint8_t>(20, 'x'));
    Write("empty.nif", std::vector<uint8_t>(100, 'N'));
    std::vector<uint8_t> broken(40, 0);
    broken.insert(broken.end(), 64, 0x55);
    Write("broken.bmz", broken);
    Write("dangling.nif", BuildLinkModelFile("absent.nif"));
    Write("two.nif", BuildModelFile({m_textures[0], m_textures[1]}).bytes);
    const std::string linkQuestion =
        "No image data was found in this file but there is a link to another file that does contain image "
        "data. Would you like to open this file? absent.nif\n(answered Yes)\n";
    struct Case {
        std::string file;
        std::vector<std::string> extra;
        std::string message;
    } cases[] = {
        {Path("missing.bmp"), {}, "Error opening bitmap file.\nFile: " + Path("missing.bmp") + "\n"},
        {Path("notbmp.bmp"), {}, "Not a recognised BMP format file.\nFile: " + Path("notbmp.bmp") + "\n"},
        {Path("missing.png"), {}, "Error opening png file.\nFile: " + Path("missing.png") + "\n"},
        {Path("notpng.png"), {}, "Not a recognised PNG format file.\nFile: " + Path("notpng.png") + "\n"},
        {Path("missing.nif"), {}, "Error reading file: missing.nif\n"},
        {Path("empty.nif"), {}, "No image data found in file: empty.nif\n"},
        {Path("broken.bmz"), {}, "Error decompressing file\n"},
        {Path("dangling.nif"), {}, linkQuestion + "Error reading file\n"},
        {Path("two.nif"), {"--index", "2"}, "There is no image 2 in " + Path("two.nif") + ": it holds 2 images.\n"},
    };
    for (const char* outName : {"out.png", "out.bmp", "out.tga"}) {
        const std::string out = Write(outName, kSentinel);
        for (const Case& c : cases) {
            std::vector<std::string> args{"extract", c.file, out};
            args.insert(args.end(), c.extra.begin(), c.extra.end());
            const CliRun run = Run(args);
            EXPECT_EQ(run.status, 1) << c.file;
            EXPECT_EQ(run.out, "") << c.file;
            EXPECT_EQ(run.err, c.message) << c.file;
            EXPECT_EQ(ReadFileBytes(out), kSentinel) << c.file << " changed " << outName;
        }
    }
    for (const Case& c : cases) {
        if (!c.extra.empty())
            continue;
        const CliRun list = Run({"list", c.file});
        EXPECT_EQ(list.status, 1) << c.file;
        EXPECT_EQ(list.out, "") << c.file;
        EXPECT_EQ(list.err, c.message) << c.file;

        const CliRun all = Run({"extract", c.file, "--all", Path("all")});
        EXPECT_EQ(all.status, 1) << c.file;
        EXPECT_FALSE(PathExists(Path("all"))) << "folder made for " << c.file;
    }
}

TEST_F(CliTest, DamagedModelFilesFailWithoutACrash)
{
    // Sizes that run past the end of the file, or that overflow 32 bits.
    ModelFile cut = BuildModelFile({MakePicture(64, 64, true, 1)});
    cut.bytes.resize(cut.bytes.size() - 1000);
    ModelFile huge = BuildModelFile({MakePicture(2, 2, false, 1)});
    const uint8_t big[] = {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F};
    std::copy(std::begin(big), std::end(big), huge.bytes.begin() + static_cast<long>(huge.offsets[0]));
    for (const auto& [name, bytes] : {std::pair{"cut.nif", cut.bytes}, std::pair{"huge.nif", huge.bytes}}) {
        const std::string out = Write(std::string(name) + ".png", kSentinel);
        const CliRun run = Run({"extract", Write(name, bytes), out});
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_NE(run.err, "") << name;
        EXPECT_EQ(ReadFileBytes(out), kSentinel) << name;
    }
}

TEST_F(CliTest, WriteFailuresExitOne)
{
    const std::string bmp = Write("in.bmp", BuildBmp(MakePicture(4, 4, false, 1)));
    for (const char* out : {"nodir/out.png", "nodir/out.bmp", "nodir/out.tga"}) {
        const CliRun run = Run({"convert", bmp, Path(out)});
        EXPECT_EQ(run.status, 1) << out;
        EXPECT_EQ(run.out, "") << out;
        EXPECT_NE(run.err.find(Path(out)), std::string::npos) << out << ": " << run.err;
    }
    EXPECT_FALSE(PathExists(Path("nodir")));

    // --all into a folder that cannot be made.
    Write("plain", kSentinel);
    const CliRun all = Run({"extract", bmp, "--all", Path("plain")});
    EXPECT_EQ(all.status, 1);
    EXPECT_EQ(all.err.rfind("Cannot create the folder " + Path("plain") + ": ", 0), 0u) << all.err;
    EXPECT_EQ(ReadFileBytes(Path("plain")), kSentinel);
}

TEST_F(CliTest, APartlyReadableModelFileGivesWhatCanBeReadAndExitsOne)
{
    // The last texture's pixels run past the end of the file.
    ModelFile model = BuildModelFile({m_textures[0], m_textures[1], MakePicture(64, 64, true, 9)});
    model.bytes.resize(model.offsets[2] + 12 + 100);
    const std::string nif = Write("part.nif", model.bytes);
    const std::string message = "Error reading file.\nFile: " + nif + "\n";

    const CliRun list = Run({"list", nif});
    EXPECT_EQ(list.status, 1);
    EXPECT_EQ(list.out, std::string(kListHeader) + "0\t" + std::to_string(model.offsets[0]) + "\t5\t3\t24\n1\t" +
                            std::to_string(model.offsets[1]) + "\t4\t4\t32\n");
    EXPECT_EQ(list.err, message);

    const CliRun all = Run({"extract", nif, "--all", Path("all"), "--format", "bmp"});
    EXPECT_EQ(all.status, 1);
    EXPECT_EQ(all.err, message);
    EXPECT_TRUE(PathExists(Path("all/part-000.bmp")));
    EXPECT_TRUE(PathExists(Path("all/part-001.bmp")));
    EXPECT_FALSE(PathExists(Path("all/part-002.bmp")));

    // Asking for a readable image succeeds; asking for the damaged one leaves OUT alone.
    const CliRun good = Run({"extract", nif, Path("good.bmp"), "--index", "1"});
    EXPECT_EQ(good.status, 0);
    ExpectSamePixels(m_textures[1], ReadBmpPicture(ReadFileBytes(Path("good.bmp"))), true, "readable texture");
    const std::string out = Write("bad.bmp", kSentinel);
    const CliRun bad = Run({"extract", nif, out, "--index", "2"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, message);
    EXPECT_EQ(ReadFileBytes(out), kSentinel);
}
