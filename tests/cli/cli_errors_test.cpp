// The tool's failures: usage errors, read and write failures with the system's
// own messages, exit statuses, and OUT left alone.
#include <filesystem>

#include "CliTestBase.h"

namespace {

const std::vector<uint8_t> kSentinel{'k', 'e', 'e', 'p', ' ', 'm', 'e'};

bool Exists(const std::string& path)
{
    return std::filesystem::exists(path);
}

}  // namespace

TEST_F(CliTest, HelpAndVersionGoToStandardOutput)
{
    for (const std::string word : {"--help", "-h", "--version"}) {
        const CliRun run = Run({word});
        EXPECT_EQ(run.status, 0);
        // Help shows the usage; the version line starts with the tool's name.
        const size_t at = run.out.find(word == "--version" ? "tavrel-cli " : "\n  tavrel-cli extract FILE --all DIR [");
        EXPECT_TRUE(word == "--version" ? at == 0 : at != std::string::npos) << run.out;
        EXPECT_EQ(run.err, "");
    }
}

TEST_F(CliTest, UsageErrorsExitTwoWithTheReasonAndTheUsageText)
{
    const std::string nif = "a.nif", png = "o.png", dir = Path("d");
    const std::string badOut = ": the output must end in .bmp, .png or .tga", badIndex = "--index needs a number from 0 up";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command frobnicate"},
        {{"list"}, "list takes one FILE"},
        {{"list", "a.tga"}, "a.tga: not a file kind the tool opens (.nif, .bmz, .png or .bmp)"},
        {{"list", "noextension"}, "noextension: not a file kind the tool opens (.nif, .bmz, .png or .bmp)"},
        {{"list", nif, "--index", "1"}, "list takes no option but --json"},
        {{"list", nif, "--bogus"}, "unknown option --bogus"},
        {{"list", nif, "--json", "--json"}, "--json is given twice"},
        {{"extract", nif}, "extract takes FILE and OUT"},
        {{"extract", nif, "out.jpg"}, "out.jpg" + badOut},
        {{"extract", nif, "out"}, "out" + badOut},
        {{"extract", nif, png, "--json"}, "extract does not take --json"},
        {{"extract", nif, png, "--index"}, "--index needs a value"},
        {{"extract", nif, png, "--index", "-1"}, badIndex},
        {{"extract", nif, png, "--index", "1x"}, badIndex},
        {{"extract", nif, png, "--index", "4294967296"}, badIndex},
        {{"extract", nif, png, "--index", "1", "--index", "2"}, "--index is given twice"},
        {{"extract", nif, png, "--format", "bmp"}, "--format goes with --all; otherwise OUT's extension chooses the format"},
        {{"extract", nif, "--all", dir, "--format", "gif"}, "--format must be bmp, png or tga"},
        {{"extract", nif, "--all", dir, "--index", "0"}, "--index and --all cannot be given together"},
        {{"extract", nif, "--all", dir, png}, "extract --all takes one FILE and the folder DIR"},
        {{"convert", "a.png"}, "convert takes IN and OUT"},
        {{"convert", "a.png", "b.gif"}, "b.gif" + badOut},
        {{"convert", "a.png", "b.bmp", "--index", "0"}, "convert takes no options"},
    };
    for (const auto& [args, reason] : cases) {
        const CliRun run = Run(args);
        EXPECT_EQ(run.status, 2) << reason;
        EXPECT_EQ(run.out, "") << reason;
        EXPECT_EQ(run.err, "tavrel-cli: " + reason + "\nUsage:\n  tavrel-cli list FILE [--json]\n"
                           "  tavrel-cli extract FILE OUT [--index N]\n"
                           "  tavrel-cli extract FILE --all DIR [--format bmp|png|tga]\n"
                           "  tavrel-cli convert IN OUT\n  tavrel-cli --help | --version\n");
    }
    EXPECT_FALSE(Exists(dir)) << "a refused command made its folder";
}

TEST_F(CliTest, ReadFailuresExitOneWithTheSystemsMessageAndLeaveOutAlone)
{
    Write("notbmp.bmp", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', ' ', 'n', 'o', 't', ' ', 'B', 'M'});
    Write("notpng.png", std::vector<uint8_t>(20, 'x'));
    Write("empty.nif", std::vector<uint8_t>(100, 'N'));
    std::vector<uint8_t> broken(40, 0);   // a header, then no zlib stream
    broken.resize(104, 0x55);
    Write("broken.bmz", broken);
    Write("dangling.nif", ModelFile({}, nullptr, "absent.nif"));
    // Damaged model files: pixels that run past the end, and sizes whose product overflows.
    Write("cut.nif", ModelFile({{64, 64, 4, Pattern(64, 63, true, 1).bytes}}));
    Write("huge.nif", ModelFile({{0x7FFFFFFF, 0x7FFFFFFF, 3, Pattern(2, 2, false, 1).bytes}}));
    const std::pair<std::string, std::string> cases[] = {
        {"missing.bmp", "Error opening bitmap file.\nFile: " + Path("missing.bmp") + "\n"},
        {"notbmp.bmp", "Not a recognised BMP format file.\nFile: " + Path("notbmp.bmp") + "\n"},
        {"missing.png", "Error opening png file.\nFile: " + Path("missing.png") + "\n"},
        {"notpng.png", "Not a recognised PNG format file.\nFile: " + Path("notpng.png") + "\n"},
        {"missing.nif", "Error reading file: missing.nif\n"},
        {"empty.nif", "No image data found in file: empty.nif\n"},
        {"broken.bmz", "Error decompressing file\n"},
        {"dangling.nif", "No image data was found in this file but there is a link to another file that does "
                         "contain image data. Would you like to open this file? absent.nif\n(answered Yes)\n"
                         "Error reading file\n"},
        {"cut.nif", "Error reading file.\nFile: " + Path("cut.nif") + "\n"},
        {"huge.nif", "Error reading file.\nFile: " + Path("huge.nif") + "\n"},
    };
    const std::string outs[] = {Write("out.png", kSentinel), Write("out.bmp", kSentinel), Write("out.tga", kSentinel)};
    for (const auto& [name, message] : cases) {
        const std::vector<std::string> runs[] = {{"list", Path(name)}, {"extract", Path(name), "--all", Path("all")},
                                                 {"extract", Path(name), outs[0]}, {"convert", Path(name), outs[1]},
                                                 {"extract", Path(name), outs[2], "--index", "0"}};
        for (const auto& args : runs) {
            const CliRun run = Run(args);
            EXPECT_EQ(run.status, 1) << name;
            EXPECT_EQ(run.out, "") << name;
            EXPECT_EQ(run.err, message) << args[0] << " " << name;
        }
        for (const std::string& out : outs)
            EXPECT_EQ(ReadFileBytes(out), kSentinel) << name << " changed " << out;
        EXPECT_FALSE(Exists(Path("all"))) << "folder made for " << name;
    }
}

TEST_F(CliTest, WriteFailuresExitOneAndNameTheFile)
{
    const std::string bmp = Write("in.bmp", BmpFile(Pattern(4, 4, false, 1)));
    for (const char* out : {"nodir/out.png", "nodir/out.bmp", "nodir/out.tga"}) {
        const CliRun run = Run({"convert", bmp, Path(out)});
        EXPECT_EQ(run.status, 1) << out;
        EXPECT_EQ(run.out, "") << out;
        EXPECT_NE(run.err.find(Path(out)), std::string::npos) << out << ": " << run.err;
    }
    EXPECT_FALSE(Exists(Path("nodir")));
    // --all into a folder that cannot be made, because a file has its name.
    Write("plain", kSentinel);
    const CliRun all = Run({"extract", bmp, "--all", Path("plain")});
    EXPECT_EQ(all.status, 1);
    EXPECT_EQ(all.err.rfind("Cannot create the folder " + Path("plain") + ": ", 0), 0u) << all.err;
    EXPECT_EQ(ReadFileBytes(Path("plain")), kSentinel);
}

TEST_F(CliTest, APartlyReadableModelFileGivesWhatCanBeReadAndExitsOne)
{
    // The last texture's pixels run past the end of the file.
    std::vector<uint64_t> at;
    const std::string nif =
        Write("part.nif", ModelFile({m_textures[0], m_textures[1], {64, 64, 4, std::vector<uint8_t>(100, 9)}}, &at));
    const std::string message = "Error reading file.\nFile: " + nif + "\n";

    const CliRun list = Run({"list", nif});
    EXPECT_EQ(list.status, 1);
    EXPECT_EQ(list.out, std::string(kListHeader) + "0\t" + std::to_string(at[0]) + "\t5\t3\t24\n1\t" +
                            std::to_string(at[1]) + "\t4\t4\t32\n");
    EXPECT_EQ(list.err, message);

    const CliRun all = Run({"extract", nif, "--all", Path("all"), "--format", "bmp"});
    EXPECT_EQ(all.status, 1);
    EXPECT_EQ(all.err, message);
    EXPECT_EQ(ReadImage(Path("all/part-000.bmp")), m_textures[0]);
    EXPECT_EQ(ReadImage(Path("all/part-001.bmp")), m_textures[1]);
    EXPECT_FALSE(Exists(Path("all/part-002.bmp")));

    // Asking for a readable image succeeds; asking for the damaged one leaves OUT alone.
    EXPECT_EQ(Run({"extract", nif, Path("good.bmp"), "--index", "1"}).status, 0);
    EXPECT_EQ(ReadImage(Path("good.bmp")), m_textures[1]);
    const std::string out = Write("bad.bmp", kSentinel);
    const std::pair<std::string, std::string> bad[] = {
        {"2", message}, {"3", message + "There is no image 3 in " + nif + ": it holds 3 images.\n"}};
    for (const auto& [index, error] : bad) {
        const CliRun run = Run({"extract", nif, out, "--index", index});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, error);
        EXPECT_EQ(ReadFileBytes(out), kSentinel);
    }
}
