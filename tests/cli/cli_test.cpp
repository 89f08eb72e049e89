// Runs the built tavrel-cli as a user would, in a fresh folder: one case per verb for its wiring (the readers,
// writers and edits are the core's tests), then what only the tool does: usage errors, --json, --jobs,
// partly readable model files, special files, a file-size limit and the signals that end a run.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <thread>
#include <tuple>

#include "BmpBuilder.h"
#include "NifBuilder.h"
#include "PngFiles.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "TgaBuilder.h"
#include "doc/MapMaker.h"
#include "doc/TavrelDoc.h"
#include "image/DibImage.h"

namespace {

struct CliRun {
    int status;  // -1 when not a normal exit (a crash)
    std::string out, err;
};

// Pixels as a model file's texture block holds them: top row first, R, G, B (, A).
struct Pixels {
    uint32_t width = 0, height = 0, bytesPerPixel = 0;
    std::vector<uint8_t> bytes;
};

Pixels Pattern(uint32_t width, uint32_t height, bool alpha, uint8_t seed)
{
    return {width, height, alpha ? 4u : 3u, NifBuilder::PatternPixels(width, height, alpha ? 2 : 1, seed)};
}

std::vector<uint8_t> BmpFile(const Pixels& p)
{
    return BmpOfBlock(p.bytes, p.width, p.height, p.bytesPerPixel / 2);
}

std::vector<uint8_t> BmzFile(const Pixels& p)
{
    return BuildBmz(BmpFile(p), {0, 0, 0, 0, 1});  // the u16 at 4 is the header's only field read
}

// The textures, then a link block when a name is given; offsets receives the textures' offsets.
std::vector<uint8_t> ModelFile(
    const std::vector<Pixels>& textures, std::vector<uint64_t>* offsets = nullptr, const std::string& link = "")
{
    NifBuilder nif;
    nif.Text("Model file written by a test, version 1\n");
    for (const Pixels& texture : textures)
        nif.Texture(texture.width, texture.height, texture.bytesPerPixel / 2, texture.bytes), nif.Filler(9);
    if (!link.empty())
        nif.Link(link, "\x01\x02 trailing bytes");
    if (offsets)
        *offsets = nif.TextureOffsets();
    return nif.Bytes();
}

// What the core's writer (checked byte for byte by its own tests) makes of the pixels, by path's extension; the
// tool's PNG files keep alpha.
std::vector<uint8_t> Expected(const std::string& path, const Pixels& p)
{
    const TempDir dir;
    const ScriptedUi ui;
    WriteFileBytes(dir.File("in.bmp"), BmpFile(p));
    const CDibImage image(dir.File("in.bmp"), FileKind::Bmp);
    const std::string out = dir.File("out"), kind = path.substr(path.size() - 3);
    if (kind == "tga" || kind == "TGA")
        image.WriteTga(out);
    else if (kind == "bmp" || kind == "BMP")
        image.WriteBmp(out);
    else
        image.WritePngFile(out, PngAlpha::Keep);
    return ReadFileBytes(out);
}

const std::vector<uint8_t> kSentinel{'k', 'e', 'e', 'p', ' ', 'm', 'e'};

// A ".bmz" of a 32-bit bitmap of the given size (a multiple of 256 K pixels), all zeros: long to decompress.
std::vector<uint8_t> LargeBmz(int32_t width, int32_t height)
{
    std::vector<uint8_t> head = BuildBmp({.width = width, .height = height, .bitCount = 32}), zeros(1 << 20, 0),
                         out(40 + (16 << 20), 0);
    z_stream z{};
    deflateInit(&z, 1);
    z.next_in = head.data(), z.avail_in = uInt(head.size());
    z.next_out = out.data() + 40, z.avail_out = uInt(out.size() - 40);
    deflate(&z, Z_NO_FLUSH);
    for (uint64_t left = uint64_t(width) * uint64_t(height) * 4; left > 0; left -= zeros.size()) {
        z.next_in = zeros.data(), z.avail_in = uInt(zeros.size());
        deflate(&z, Z_NO_FLUSH);
    }
    deflate(&z, Z_FINISH);
    out.resize(40 + z.total_out);
    deflateEnd(&z);
    return out;
}

// Polls every millisecond, up to 20 s, until done says so.
bool Within20s(const std::function<bool()>& done)
{
    for (int i = 0; i < 20000; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(1)))
        if (done())
            return true;
    return false;
}

// The wait status, or -1 after killing a child that hung for 20 seconds.
int Wait(pid_t pid)
{
    int status = -1;
    if (!Within20s([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }))
        ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
    return status;
}

class CliTest : public ::testing::Test {
protected:
    CliTest() { std::filesystem::create_directory(Tmp()); }
    std::string Path(const std::string& name) const { return m_dir.File(name); }
    std::string Tmp() const { return m_dir.File("tmp"); }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        WriteFileBytes(Path(name), bytes);
        return Path(name);
    }
    std::string Text(const std::string& name) const
    {
        const std::vector<uint8_t> bytes = ReadFileBytes(Path(name));
        return {bytes.begin(), bytes.end()};
    }

    // Starts the program (the tool unless named) with standard input /dev/null, its output in .out and .err and its
    // temporary folder `tmp`.
    pid_t Start(std::vector<std::string> args) const
    {
        if (args.empty() || args[0][0] != '/')
            args.insert(args.begin(), TAVREL_CLI_PATH);
        const pid_t pid = ::fork();
        if (pid != 0)
            return pid;
        ::setenv("TMPDIR", Tmp().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::dup2(::open("/dev/null", O_RDONLY), 0);
        ::dup2(::open(Path(".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        ::dup2(::open(Path(".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }

    CliRun Run(const std::vector<std::string>& args) const
    {
        const int status = Wait(Start(args));
        const CliRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Text(".out"), Text(".err")};
        // A sanitizer's report ends the tool with status 1, like a handled failure: never let it pass for one.
        for (const char* mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"})
            EXPECT_EQ(run.err.find(mark), std::string::npos) << run.err;
        return run;
    }

    // A run: arguments, exit status, standard output and error, files with the bytes they must then hold (none:
    // absent or empty).
    struct Expect {
        std::vector<std::string> args;
        int status;
        std::string out, err;
        std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    };
    // Makes each run in turn, each on a fresh m.nif (the model file of m_textures) without a backup.
    void Check(const std::vector<Expect>& runs) const
    {
        for (const Expect& e : runs) {
            std::filesystem::remove(Write("m.nif", m_model) + ".bak");
            const CliRun run = Run(e.args);
            std::string what;
            for (const std::string& arg : e.args)
                what += arg + " ";
            EXPECT_EQ(std::tie(run.status, run.out, run.err), std::tie(e.status, e.out, e.err)) << what;
            for (const auto& [file, bytes] : e.files)
                EXPECT_EQ(ReadFileBytes(file), bytes) << what << "-> " << file;
        }
    }

    // An odd-width RGB texture (rows need padding), an RGBA one and a single pixel.
    const std::vector<Pixels> m_textures{Pattern(5, 3, false, 1), Pattern(4, 4, true, 2), Pattern(1, 1, false, 3)};
    std::vector<uint64_t> m_at;  // their offsets
    const std::vector<uint8_t> m_model = ModelFile(m_textures, &m_at);
    TempDir m_dir;
};

}  // namespace

using Row = std::array<uint64_t, 5>;  // index, offset, width, height, bits

// The listing of these rows: the table, or with a file (as JSON text) and a kind, the JSON object.
std::string Listing(const std::vector<Row>& rows, const std::string& jsonFile = "", const std::string& kind = "")
{
    std::string table = "index\toffset\twidth\theight\tbits\n";
    std::string json = "{\"file\": " + jsonFile + ", \"kind\": \"" + kind + "\", \"images\": [";
    for (const Row& r : rows) {
        const auto n = [&](size_t i) { return std::to_string(r[i]); };
        table += n(0) + "\t" + n(1) + "\t" + n(2) + "\t" + n(3) + "\t" + n(4) + "\n";
        json += (&r == &rows[0] ? "{\"index\": " : ", {\"index\": ") + n(0) + ", \"offset\": " + n(1) +
            ", \"width\": " + n(2) + ", \"height\": " + n(3) + ", \"bits\": " + n(4) + "}";
    }
    return jsonFile.empty() ? table : json + "]}\n";
}

TEST_F(CliTest, ListsAsATableAndAsJson)
{
    const std::string model = Write("model.nif", m_model);
    // JSON escapes quotes, backslashes and control characters in the name; a byte that is
    // not UTF-8 becomes U+FFFD, while real UTF-8 passes through.
    const std::string odd = Write("we\"ird\\na\tme \xC3\xBC\x01\xFF.bmp", BmpFile(Pattern(3, 2, false, 6)));
    const std::string oddShown = "\"" + m_dir.Path() + "/we\\\"ird\\\\na\\tme \xC3\xBC\\u0001\\ufffd.bmp\"";
    std::vector<uint8_t> cut = BmzFile(Pattern(6, 4, false, 8));
    cut.resize(cut.size() - 4);
    // File, kind, rows, standard error.
    const std::tuple<std::string, std::string, std::vector<Row>, std::string> cases[] = {
        {model, "nif", {{0, m_at[0], 5, 3, 24}, {1, m_at[1], 4, 4, 32}, {2, m_at[2], 1, 1, 24}}, ""},
        {odd, "bmp", {{0, 0, 3, 2, 24}}, ""},
        {Write("cut.bmz", cut), "bmz", {{0, 0, 6, 4, 24}}, ""},  // from the headers alone: the cut is not seen
    };
    for (const auto& [file, kind, rows, err] : cases) {
        const CliRun run = Run({"list", file}), asJson = Run({"list", "--json", file});
        EXPECT_EQ(std::tie(run.status, run.out, run.err), std::tuple(0, Listing(rows), err)) << file;
        const std::string shown = file == odd ? oddShown : '"' + file + '"';
        EXPECT_EQ(std::tie(asJson.status, asJson.out, asJson.err), std::tuple(0, Listing(rows, shown, kind), err));
    }
}

TEST_F(CliTest, EachVerbWritesWhatItShouldOrExitsOneLeavingTheFileAlone)
{
    const Pixels rgb = Pattern(5, 3, false, 40), rgba = Pattern(7, 2, true, 41);
    const std::string m = Path("m.nif"), bmp = Write("rgb.bmp", BmpFile(rgb)), bmp32 = Write("rgba.bmp", BmpFile(rgba));
    const auto spliced = [&](size_t i, const Pixels& p) {  // the model file with texture i holding p
        return NifBuilder::Spliced(
            m_model, m_at[i], m_textures[i].bytes.size(), p.width, p.height, p.bytesPerPixel / 2, p.bytes);
    };
    std::vector<Pixels> many = m_textures;  // indexes have three digits, more past 999
    many.resize(1001, Pattern(1, 1, false, 9));
    const std::string manyNif = Write("many.NIF", ModelFile(many)), bmz = Write("p.bmz", BmzFile(rgb));
    // A Targa must match the texture's size: this one is a row taller.
    const std::string tall =
        Write("tall.tga", BuildTga({.width = 5, .height = 4, .pixels = std::vector<uint8_t>(60, 3)}));
    std::filesystem::create_directories(Path("edits"));
    Write("edits/m-000.bmp", BmpFile(rgb));
    Write("edits/readme.txt", kSentinel);
    const std::string report = "0 m-000.bmp replaced\n- readme.txt ignored\n",
                      depth = "The bit depths of these two images differ (a 32-bit image for a 24-bit texture).\n",
                      backup = "backup: " + m + ".bak\n";
    // A model file that links out of its folder: edited only with --follow-link, which the refusal names.
    std::filesystem::create_directories(Path("mod"));
    const std::string link = Write("mod/link.nif", ModelFile({}, nullptr, "..\\m.nif"));
    Check({
        {{"extract", m, Path("first.tga")}, 0, "", "", {{Path("first.tga"), Expected("tga", m_textures[0])}}},
        {{"extract", m, Path("SECOND.PNG"), "--index", "1"}, 0, "", "",
            {{Path("SECOND.PNG"), Expected("png", m_textures[1])}}},
        {{"convert", bmp32, Path("rgba.tga")}, 0, "", "", {{Path("rgba.tga"), Expected("tga", rgba)}}},
        {{"extract", m, "--all", Path("all")}, 0, "", "",  // no progress shown: standard error is not a terminal
            {{Path("all/m-000.png"), Expected("png", m_textures[0])},
                {Path("all/m-002.png"), Expected("png", m_textures[2])}}},
        {{"extract", manyNif, "--all", Path("bmp/"), "--format", "bmp"}, 0, "", "",
            {{Path("bmp/many-000.bmp"), BmpFile(many[0])}, {Path("bmp/many-1000.bmp"), BmpFile(many[1000])}}},
        {{"replace", m, bmp, "--backup"}, 0, backup, "", {{m, spliced(0, rgb)}, {m + ".bak", m_model}}},
        {{"replace", m, bmp32, "--backup"}, 1, "", depth + "(--yes accepts the change of bit depth)\n",
            {{m, m_model}, {m + ".bak", {}}}},
        {{"replace", m, bmp32, "--yes", "--index", "2"}, 0, "", "", {{m, spliced(2, rgba)}}},
        // Refusals of the edits themselves: nothing written, no backup.
        {{"replace", m, tall, "--backup"}, 1, "",
            "Error: The replacement image's dimensions are different from the original!\n",
            {{m, m_model}, {m + ".bak", {}}}},
        {{"replace", m, bmp, "--index", "9", "--backup"}, 1, "",
            "There is no image 9 in " + m + ": it holds 3 images.\n", {{m, m_model}, {m + ".bak", {}}}},
        {{"alpha", m, "9", "--backup"}, 1, "", "Error: This image cannot be made transparent\n",
            {{m, m_model}, {m + ".bak", {}}}},
        {{"alpha", link, "9", "--index", "1"}, 1, "",
            link + " holds no textures but links to " + Path("mod/../m.nif") +
                ".\nNothing was written: --follow-link edits the linked file.\n",
            {{m, m_model}}},
        {{"alpha", link, "77", "--index", "1", "--follow-link", "--backup"}, 0, "backup: " + Path("mod/../m.nif.bak\n"),
            "", {{m, NifBuilder::Stamped(m_model, m_at[1], m_textures[1].bytes.size(), 77)}, {m + ".bak", m_model}}},
        {{"import", m, Path("edits"), "--backup"}, 0, report + backup, "",
            {{m, spliced(0, rgb)}, {m + ".bak", m_model}}},
        // A compressed bitmap takes the replacement whole, of whatever size.
        {{"replace", bmz, bmp32}, 0, "", "", {}},
        {{"list", bmz}, 0, Listing({{0, 0, 7, 2, 32}}), "", {}},
    });
}

TEST_F(CliTest, HelpAndVersionGoToStandardOutputUsageErrorsExitTwoWithTheReasonAndTheUsage)
{
    const std::string nif = "a.nif", png = "o.png", dir = Path("d");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command frobnicate"},
        {{"list", "a.gif"}, "a.gif: not a file kind the tool opens (.nif, .bmz, .png, .bmp or .tga)"},
        {{"list", nif, "--bogus"}, "unknown option --bogus"},
        {{"extract", nif}, "extract takes FILE and OUT"},
        {{"extract", nif, "out"}, "out: the output must end in .bmp, .png or .tga"},
        {{"extract", nif, png, "--index"}, "--index needs a value"},
        {{"extract", nif, png, "--index", "4294967296"}, "--index needs a number from 0 up"},
        {{"extract", nif, png, "--format", "bmp"},
            "--format goes with --all; otherwise OUT's extension chooses the format"},
        {{"extract", nif, "--all", dir, "--format", "gif"}, "--format must be bmp, png or tga"},
        {{"extract", nif, "--all", dir, "--index", "0"}, "--index and --all cannot be given together"},
        {{"extract", nif, "--all", dir, "--jobs", "0"}, "--jobs needs a number from 1 to 256"},
        {{"extract", nif, "out.png", "--overwrite"}, "--overwrite goes with --all: OUT is always written"},
        {{"list", nif, "--overwrite"}, "--overwrite goes with extract --all"},
        {{"map", "a.png", png}, "a.png: map reads a model file (.nif)"},
        {{"map", nif, png, "--cells", "0,1,2"}, "--cells needs 16 numbers divided by commas"},
        {{"import", "a.bmz", dir}, "a.bmz: import puts textures into a model file (.nif)"},
        {{"convert", "a.png", "b.bmp", "--yes"}, "convert takes no options"},
        {{"replace", "a.png", "b.bmp"}, "a.png: replace writes into a model file (.nif) or a compressed bitmap (.bmz)"},
        {{"alpha", nif, "256"}, "LEVEL must be a number from 0 (fully transparent) to 255 (opaque)"},
        {{"alpha", nif, "9", "--yes"}, "alpha asks no bit-depth question: it does not take --yes"},
    };
    // The usage text is the synopsis of --help; -h is the same; the version line starts with the tool's name.
    const CliRun help = Run({"--help"}), version = Run({"--version"});
    EXPECT_EQ(std::tie(help.status, help.err, version.status, version.err), std::tuple(0, "", 0, ""));
    EXPECT_EQ(Run({"-h"}).out, help.out);
    EXPECT_EQ(version.out.rfind("tavrel-cli ", 0), 0u) << version.out;
    std::string usage = "Usage:\n";
    for (size_t at = help.out.find("\n  tavrel-cli "); at != std::string::npos;
         at = help.out.find("\n  tavrel-cli ", at + 1))
        usage += help.out.substr(at + 1, help.out.find('\n', at + 1) - at);
    for (const auto& [args, reason] : cases) {
        const CliRun run = Run(args);
        EXPECT_EQ(std::tie(run.status, run.out, run.err), std::tuple(2, "", "tavrel-cli: " + reason + "\n" + usage));
    }
    EXPECT_FALSE(std::filesystem::exists(dir)) << "a refused command made its folder";
}

TEST_F(CliTest, ReadAndWriteFailuresExitOneWithTheMessageAndLeaveOutAlone)
{
    std::vector<uint8_t> png = EncodePng(
        {.width = 64, .height = 64, .rows = std::vector<std::vector<uint8_t>>(64, std::vector<uint8_t>(192, 1))});
    png.resize(30);  // the header cut short; libpng's own report stays unprinted: the tool's message says it all
    // A picture and a model file (read another way by the tool), with the readers' messages.
    const std::pair<std::string, std::string> cases[] = {
        {Write("cut.png", png), "Error reading png file.\nFile: " + Path("cut.png") + "\n"},
        {Write("dangling.nif", ModelFile({}, nullptr, "absent.nif")), "Error reading file\n"},
    };
    const std::string out = Write("out.tga", kSentinel), bmp = Write("in.bmp", BmpFile(m_textures[0]));
    std::vector<Expect> runs;
    for (const auto& [file, message] : cases) {
        runs.push_back({{"list", file}, 1, "", message, {}});
        runs.push_back({{"extract", file, "--all", Path("all")}, 1, "", message, {}});
        runs.push_back({{"convert", file, out}, 1, "", message, {{out, kSentinel}}});
    }
    // Writes that cannot be made name the file or the folder.
    runs.push_back({{"convert", bmp, Path("no/o.png")}, 1, "",
        "An error occurred while accessing " + Path("no/o.png") + ": No such file or directory.\n", {}});
    const std::string plain = Write("plain", kSentinel);
    runs.push_back({{"extract", bmp, "--all", plain}, 1, "",
        "Cannot create the folder " + plain + ": Not a directory.\n", {{plain, kSentinel}}});
    Check(runs);
    EXPECT_FALSE(std::filesystem::exists(Path("all")));
}

TEST_F(CliTest, APartlyReadableModelFileGivesWhatCanBeReadAndExitsOne)
{
    // The last texture's sizes overflow 32 bits and its pixels run past the end of the file: listed as found, and reported.
    std::vector<uint64_t> at;
    const std::string nif = Write("part.nif",
        ModelFile({m_textures[0], m_textures[1], {0x7FFFFFFF, 0x7FFFFFFF, 4, std::vector<uint8_t>(100, 9)}}, &at));
    const std::string message = "Error reading file.\nFile: " + nif + "\n", out = Write("bad.bmp", kSentinel);
    Check({
        {{"list", nif}, 1,
            Listing({{0, at[0], 5, 3, 24}, {1, at[1], 4, 4, 32}, {2, at[2], 0x7FFFFFFF, 0x7FFFFFFF, 32}}), message, {}},
        {{"extract", nif, "--all", Path("all"), "--format", "bmp"}, 1, "", message,
            {{Path("all/part-000.bmp"), BmpFile(m_textures[0])}, {Path("all/part-001.bmp"), BmpFile(m_textures[1])},
                {Path("all/part-002.bmp"), {}}}},
        // Asking for a readable image reads only that one and succeeds; asking for the damaged one leaves OUT alone.
        {{"extract", nif, Path("good.bmp"), "--index", "1"}, 0, "", "", {{Path("good.bmp"), BmpFile(m_textures[1])}}},
        {{"extract", nif, out, "--index", "2"}, 1, "", message, {{out, kSentinel}}},
    });
}

// Several threads: each image's messages in index order, an empty texture skipped without failing the run. (That the
// engine's files do not depend on the threads is its own test's.)
TEST_F(CliTest, AllImagesOnSeveralThreadsShowTheirMessagesInOrder)
{
    // Odd widths, RGBA, an empty texture (no width: listed, skipped with its index) and one of an unknown format, which
    // is written as read.
    std::vector<Pixels> textures;
    for (uint8_t i = 0; i < 24; ++i)
        textures.push_back(i == 5 ? Pixels{0, 9, 3, {}} : Pattern(1 + i * 7 % 37, 1 + i * 5 % 23, i % 3 == 0, i));
    NifBuilder nif;
    for (const Pixels& t : textures)
        nif.Texture(t.width, t.height, t.bytesPerPixel / 2, t.bytes), nif.Filler(3);
    nif.Texture(3, 2, 7, 1);
    nif.Save(Path("mixed.nif"));
    const CliRun list = Run({"list", Path("mixed.nif")});
    EXPECT_EQ(std::tie(list.status, list.err), std::tuple(0, "Hmmm, somethin' ain't right!\n"));
    EXPECT_NE(list.out.find("\n5\t"), std::string::npos);
    EXPECT_NE(list.out.find("\t0\t9\t24\n"), std::string::npos) << list.out;
    const CliRun run = Run({"extract", Path("mixed.nif"), "--all", Path("bmp"), "--format", "bmp", "--jobs", "4"});
    EXPECT_EQ(std::tie(run.status, run.out, run.err),
        std::tuple(0, "", "Image 5 is empty (0 x 9) and was not exported.\nHmmm, somethin' ain't right!\n"));
    EXPECT_EQ(FileNames(Path("bmp")).size(), 24u);
    EXPECT_EQ(ReadFileBytes(Path("bmp/mixed-006.bmp")), Expected("bmp", textures[6]));
}

// A second extract --all: files that hold the image are not written again; one edited since is left alone and
// nothing written unless --overwrite is given.
TEST_F(CliTest, ExtractAllNeverSilentlyReplacesAnEditedFile)
{
    const std::string m = Write("m.nif", m_model), dir = Path("all");
    ASSERT_EQ(Run({"extract", m, "--all", dir}).status, 0);
    const std::string same = dir + "/m-000.png", edited = dir + "/m-001.png", gone = dir + "/m-002.png";
    const auto past = std::filesystem::last_write_time(same) - std::chrono::hours(24);
    std::filesystem::last_write_time(same, past);
    WriteFileBytes(edited, kSentinel);
    std::filesystem::remove(gone);
    const std::string refusal = "1 file in " + dir +
        " would be overwritten: it differs from the image being exported. Nothing was written; give --overwrite "
        "to replace them:\n  " +
        edited + "\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;
        std::vector<uint8_t> editedBytes;
        bool goneBack;
    } runs[] = {
        {{"extract", m, "--all", dir}, 1, refusal, kSentinel, false},
        {{"extract", m, "--all", dir, "--overwrite"}, 0, "", Expected("png", m_textures[1]), true},
    };
    for (const auto& r : runs) {
        const CliRun run = Run(r.args);
        EXPECT_EQ(std::tie(run.status, run.err), std::tie(r.status, r.err)) << r.args.size();
        EXPECT_EQ(ReadFileBytes(edited), r.editedBytes);
        EXPECT_EQ(std::filesystem::exists(gone), r.goneBack);
        EXPECT_EQ(std::filesystem::last_write_time(same), past);  // identical: never rewritten
    }
    EXPECT_EQ(ReadFileBytes(gone), Expected("png", m_textures[2]));
}

TEST_F(CliTest, MapComposesSixteenTilesInTheChosenCellsOrRefusesLeavingOutAlone)
{
    // 17 tiles, RGB and RGBA, after an image of another size. (Which images are tiles is the core's test.)
    std::vector<Pixels> textures = {Pattern(256, 128, false, 1)}, tiles;
    for (int i = 0; i < 17; ++i)
        textures.push_back(tiles.emplace_back(Pattern(256, 256, i % 2 == 1, uint8_t(30 + 11 * i))));
    const std::string nif = Write("tiles.nif", ModelFile(textures));
    // The map the core's writer (checked pixel for pixel by its own test) makes of the chosen cells.
    const ScriptedUi ui;
    CTavrelDoc doc;
    doc.LoadFile(nif);
    const MapCandidates candidates = CollectMapCandidates(doc);
    CMapCells cells(candidates.images);
    for (int n = 0; n < 16; ++n)
        cells.SetCell(n, std::array{15, 3, 3, 0, 7, 6, 5, 4, 11, 10, 9, 8, 1, 1, 2, 12}[size_t(n)]);
    ASSERT_TRUE(SaveMapBitmap(cells, Path("core.bmp")));
    // Too few tiles, or a cell past them: the message names the count, OUT stays as it was.
    const std::string few = Write("few.nif", ModelFile({tiles[0], Pattern(128, 256, false, 1), tiles[1]}));
    const std::string out = Write("kept.bmp", kSentinel);
    Check({
        {{"map", "--cells", "15,3,3,0,7,6,5,4,11,10,9,8,1,1,2,12", nif, Path("map.BMP")}, 0, "", "",
            {{Path("map.BMP"), ReadFileBytes(Path("core.bmp"))}}},
        {{"map", few, out}, 1, "", few + " holds 2 images of 256 * 256; a map needs 16.\n", {{out, kSentinel}}},
        {{"map", nif, out, "--cells", "0,1,2,16,4,5,6,7,8,9,10,11,12,13,14,15"}, 1, "",
            "Cell 3 asks for image 16, but there are 16 images of 256 * 256 to choose from (0 to 15).\n",
            {{out, kSentinel}}},
    });
}

// SIGINT, SIGTERM or SIGHUP in the middle of a long conversion: the tool ends by that signal and its
// private folder goes with it. (After SIGKILL the next run removes it: the fault tests' kill sweep.)
TEST_F(CliTest, EndingSignalsLeaveNoTemporaryFiles)
{
    WriteFileBytes(Path("big.bmz"), LargeBmz(8192, 8192));
    pid_t pid = 0;
    const auto resident = [&]() -> std::optional<uint64_t> {
        std::ifstream statm("/proc/" + std::to_string(pid) + "/statm");
        uint64_t size = 0, pages = 0;
        if (!(statm >> size >> pages))
            return std::nullopt;
        return pages * uint64_t(::sysconf(_SC_PAGESIZE));
    };
    const auto started = [&] {  // the tool itself runs, not the copy of this test before exec
        std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
        const std::string words((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
        return words.find("convert") != std::string::npos;
    };
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        pid = Start({"convert", Path("big.bmz"), Path("out.bmp")});
        ASSERT_TRUE(Within20s(started));
        const uint64_t base = resident().value_or(0);
        // The child holds a good part of the bitmap in memory (on top of what a sanitizer's runtime takes).
        ASSERT_TRUE(Within20s([&] { return resident().value_or(0) > base + (64u << 20); }));
        ::kill(pid, signal);
        const int status = Wait(pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WTERMSIG(status), signal);
        EXPECT_TRUE(FileNames(Tmp()).empty());
        EXPECT_EQ(FileNames(m_dir.Path()), (std::vector<std::string>{".err", ".out", "big.bmz", "tmp"}));
    }
}

#ifdef TAVREL_EXE
// The window program ends the normal way on SIGTERM: exit status 0 and no private folder left.
TEST_F(CliTest, TheWindowEndsNormallyOnSigterm)
{
    const pid_t pid = Start({TAVREL_EXE});
    ASSERT_TRUE(Within20s([&] { return !FileNames(Tmp(), "tavrel-").empty(); }));
    ::kill(pid, SIGTERM);
    const int status = Wait(pid);
    ASSERT_TRUE(WIFEXITED(status)) << status << " " << Text(".err");
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(FileNames(Tmp(), "tavrel-").empty());  // Qt's own runtime folder may stay
}
#endif

// A game folder: nested model files, a link, a compressed bitmap, a PNG and a text file (passed over in folders), a
// file that fails to read and a link to a folder (not followed).
class FolderCliTest : public CliTest {
protected:
    FolderCliTest()
    {
        std::filesystem::create_directories(Path("game/sub/deep"));
        Write("game/a.nif", ModelFile({m_textures[0], m_textures[1]}));
        Write("game/sub/deep/b.nif", ModelFile({m_b}));
        Write("game/sub/link.nif", ModelFile({}, nullptr, "deep/b.nif"));
        Write("game/sub/c.bmz", BmzFile(Pattern(6, 4, false, 8)));
        Write("game/pic.png", Expected("png", Pattern(3, 3, false, 9)));
        Write("game/notes.txt", {'h', 'i'});
        Write("game/bad.nif", {'n', 'o', 't', ' ', 'a', ' ', 'm', 'o', 'd', 'e', 'l'});
        std::filesystem::create_directory_symlink("sub", Path("game/again"));
    }
    std::string Game(const std::string& name) const { return Path("game/" + name); }
    std::string Out(const std::string& name) const { return Path("out/" + name); }
    const Pixels m_b = Pattern(8, 6, false, 4);
};

TEST_F(FolderCliTest, ListFindsEachReadableFileOnceInSortedOrder)
{
    const CliRun run = Run({"list", Path("game")});
    EXPECT_EQ(run.status, 1);  // bad.nif
    std::vector<std::string> files;
    for (size_t at = run.out.find('\n') + 1; at < run.out.size(); at = run.out.find('\n', at) + 1) {
        const std::string file = run.out.substr(at, run.out.find('\t', at) - at);
        if (files.empty() || files.back() != file)
            files.push_back(file);
    }
    EXPECT_EQ(files,
        (std::vector<std::string>{Game("a.nif"), Game("sub/c.bmz"), Game("sub/deep/b.nif"), Game("sub/link.nif")}));
    EXPECT_NE(run.err.find("bad.nif"), std::string::npos);
    // Several files: their objects in a list.
    const CliRun json = Run({"list", "--json", Game("sub/c.bmz"), Game("pic.png")});
    const std::string bmz = Listing({{0, 0, 6, 4, 24}}, '"' + Game("sub/c.bmz") + '"', "bmz"),
                      png = Listing({{0, 0, 3, 3, 24}}, '"' + Game("pic.png") + '"', "png");
    EXPECT_EQ(std::tie(json.status, json.out),
        std::tuple(0, "{\"files\": [" + bmz.substr(0, bmz.size() - 1) + ", " + png.substr(0, png.size() - 1) + "]}\n"));
}

TEST_F(FolderCliTest, ExtractMirrorsTheTreeAndImportWritesExactlyTheEditedFilesOrNothing)
{
    const CliRun extract = Run({"extract", Path("game"), "--all", Path("out"), "--jobs", "3"});
    EXPECT_EQ(extract.status, 1) << extract.err;  // bad.nif; the others are still done
    for (const auto& [file, pixels] : std::vector<std::pair<std::string, Pixels>>{{Out("a-000.png"), m_textures[0]},
             {Out("a-001.png"), m_textures[1]}, {Out("sub/deep/b-000.png"), m_b}, {Out("sub/link-000.png"), m_b},
             {Out("sub/c-000.png"), Pattern(6, 4, false, 8)}})
        EXPECT_EQ(ReadFileBytes(file), Expected("png", pixels)) << file;
    EXPECT_FALSE(std::filesystem::exists(Out("again")));
    EXPECT_FALSE(std::filesystem::exists(Out("pic-000.png")));
    EXPECT_NE(extract.out.find("5 files: 4 exported, 1 failed; 5 textures"), std::string::npos) << extract.out;

    // Two PNGs edited: exactly those two model files change; the others keep their bytes and time.
    const std::vector<std::string> models{
        Game("a.nif"), Game("sub/deep/b.nif"), Game("sub/link.nif"), Game("sub/c.bmz"), Game("bad.nif")};
    std::map<std::string, std::pair<std::vector<uint8_t>, std::filesystem::file_time_type>> before;
    for (const std::string& m : models)
        before[m] = {ReadFileBytes(m), std::filesystem::last_write_time(m)};
    const Pixels newA = Pattern(5, 3, false, 21), newB = Pattern(8, 6, false, 22);
    Write("out/a-000.png", Expected("png", newA));
    Write("out/sub/deep/b-000.png", Expected("png", newB));
    const CliRun import = Run({"import", Path("game"), Path("out")});
    EXPECT_EQ(import.status, 0) << import.err << import.out;
    EXPECT_EQ(ReadFileBytes(Game("a.nif")), ModelFile({newA, m_textures[1]}));
    EXPECT_EQ(ReadFileBytes(Game("sub/deep/b.nif")), ModelFile({newB}));
    for (const std::string& m : {models[2], models[3], models[4]}) {
        EXPECT_EQ(ReadFileBytes(m), before[m].first) << m;
        EXPECT_EQ(std::filesystem::last_write_time(m), before[m].second) << m;
    }
    EXPECT_NE(import.out.find(Game("a.nif") + ": 1 texture imported, written"), std::string::npos) << import.out;

    // One refused file (32 bits into an RGB texture, without --yes) and nothing is written, not even the accepted
    // edit.
    Write("out/sub/deep/b-000.png", Expected("png", Pattern(8, 6, false, 23)));
    std::filesystem::remove(Out("a-000.png"));
    Write("out/a-000.bmp", BmpFile(Pattern(5, 3, true, 24)));
    const std::vector<uint8_t> a = ReadFileBytes(Game("a.nif")), b = ReadFileBytes(Game("sub/deep/b.nif"));
    const CliRun refused = Run({"import", Path("game"), Path("out")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("Nothing was written"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFileBytes(Game("a.nif")), a);
    EXPECT_EQ(ReadFileBytes(Game("sub/deep/b.nif")), b);
}

TEST_F(FolderCliTest, ThumbnailFitsTheSizeKeepsAlphaAndShowsTheFirstTexture)
{
    // 8 x 4 RGBA of 2 x 2 blocks of one colour each: at size 4 each block becomes one pixel.
    Pixels blocks{8, 4, 4, std::vector<uint8_t>(8 * 4 * 4)};
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 8; ++x)
            for (uint32_t c = 0; c < 4; ++c)
                blocks.bytes[(y * 8 + x) * 4 + c] = uint8_t((x / 2) * 40 + (y / 2) * 100 + c * 7 + 1);
    Write("t.nif", ModelFile({blocks, m_b}));
    // File, size, expected width x height, RGBA.
    const std::tuple<std::string, std::string, uint32_t, uint32_t, bool> cases[] = {
        {Path("t.nif"), "4", 4, 2, true},
        {Path("t.nif"), "128", 8, 4, true},  // never enlarged
        {Game("sub/c.bmz"), "3", 3, 2, false},
        {Game("pic.png"), "1", 1, 1, false},
    };
    for (const auto& [file, size, width, height, alpha] : cases) {
        const CliRun run = Run({"thumbnail", file, Path("th.png"), "--size", size});
        PngImage png;
        ASSERT_EQ(run.status, 0) << run.err;
        ASSERT_TRUE(DecodePng(ReadFileBytes(Path("th.png")), png)) << file;
        EXPECT_EQ(std::tie(png.width, png.height), std::tie(width, height)) << file << " " << size;
        EXPECT_EQ(png.colorType == PNG_COLOR_TYPE_RGBA, alpha) << file;
        for (uint32_t y = 0; size == "4" && y < 2; ++y)
            for (uint32_t x = 0; x < 16; ++x)
                EXPECT_EQ(png.rows[y][x], blocks.bytes[(y * 16 + x / 4 * 2) * 4 + x % 4]) << x << y;
    }
    EXPECT_EQ(Run({"thumbnail", Path("t.nif"), Path("th.bmp")}).status, 2);
}
