// What the tool does when the disk fails it, when it is killed, and when a
// file is hostile: every writing verb is run with the Nth file system call
// failed (every error a disk gives) or killed, for every N of its run. Each
// run must leave the target as it was or whole new, never mixed, say why it
// failed (a full disk by name), and leave no stray file.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "BmpBuilder.h"
#include "NifBuilder.h"
#include "PngFiles.h"
#include "TempDir.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Files = std::map<std::string, Bytes>;

struct Outcome {
    int status = -1;  // exit status; -1 when ended by a signal
    int signal = 0;
    std::string err;
    long calls = 0;  // counted by the fault library
    std::string failedCall;
    std::vector<std::string> callNames;  // of every counted call, in order
    long peakKiB = 0;  // the child's peak resident memory
};

// Runs the tool in dir with extra environment; standard error is kept.
Outcome RunTool(const std::string& dir, const std::vector<std::string>& args,
    const std::vector<std::pair<std::string, std::string>>& env, bool preload = true)
{
    const std::string report = dir + "/../report", errPath = dir + "/../err";
    ::unlink(report.c_str());
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(dir.c_str()) != 0)
            ::_exit(126);
        ::setenv("TMPDIR", (dir + "/../tmp").c_str(), 1);
        if (preload) {
            ::setenv("LD_PRELOAD", TAVREL_FAULTS_PATH, 1);
            ::setenv("TAVREL_FAULT_REPORT", report.c_str(), 1);
            // The sanitizers' runtime wants to come first; ours only wraps calls.
            ::setenv("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0", 1);
        }
        for (const auto& [name, value] : env)
            ::setenv(name.c_str(), value.c_str(), 1);
        ::dup2(::open("/dev/null", O_RDONLY), 0);
        ::dup2(::open("/dev/null", O_WRONLY), 1);
        ::dup2(::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        std::vector<std::string> all{TAVREL_CLI_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    Outcome o;
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    o.peakKiB = usage.ru_maxrss;
    const Bytes err = ReadFileBytes(errPath);
    o.err.assign(err.begin(), err.end());
    std::ifstream in(report);
    in >> o.calls >> o.failedCall;
    for (std::string name; in >> name;)
        o.callNames.push_back(name);
    return o;
}

Bytes ModelFile()
{
    NifBuilder nif;
    nif.Text("model\n");
    nif.Texture(8, 4, 1, 1), nif.Filler(9);
    nif.Texture(6, 5, 2, 2), nif.Filler(9);
    nif.Texture(7, 3, 2, 3), nif.Filler(9);
    return nif.Bytes();
}

Bytes TileFile()
{
    NifBuilder nif;
    for (uint8_t i = 0; i < 16; ++i)
        nif.Texture(256, 256, 1 + i % 2, i), nif.Filler(3);
    return nif.Bytes();
}

// A writing verb: its files before the run, its words, the file it writes.
struct Scenario {
    const char* name;
    Files inputs;
    std::vector<std::string> args;
    std::string target;
};

std::vector<Scenario> Scenarios()
{
    const Bytes rgba = BmpOfBlock(NifBuilder::PatternPixels(6, 5, 2, 9), 6, 5, 2);
    const Bytes picture = BmpOfBlock(NifBuilder::PatternPixels(5, 4, 1, 4), 5, 4, 1);
    return {
        {"replace", {{"m.nif", ModelFile()}, {"new.bmp", rgba}}, {"replace", "m.nif", "new.bmp", "--index", "1"},
            "m.nif"},
        {"alpha", {{"m.nif", ModelFile()}}, {"alpha", "m.nif", "9", "--index", "2"}, "m.nif"},
        {"import", {{"m.nif", ModelFile()}, {"edits/m-001.bmp", rgba}}, {"import", "m.nif", "edits"}, "m.nif"},
        {"extract", {{"m.nif", ModelFile()}}, {"extract", "m.nif", "out.png", "--index", "1"}, "out.png"},
        {"convert over a file", {{"p.bmp", picture}, {"out.tga", {'o', 'l', 'd'}}}, {"convert", "p.bmp", "out.tga"},
            "out.tga"},
        {"map", {{"tiles.nif", TileFile()}}, {"map", "tiles.nif", "map.bmp"}, "map.bmp"},
        {"bmz replace", {{"p.bmz", BuildBmz(picture, {0, 0, 0, 0, 1})}, {"new.bmp", picture}},
            {"replace", "p.bmz", "new.bmp"}, "p.bmz"},
    };
}

// A fresh root/work holding the scenario's files, and an empty root/tmp.
void Populate(const TempDir& root, const Scenario& s)
{
    std::filesystem::remove_all(root.File("work"));
    std::filesystem::remove_all(root.File("tmp"));
    std::filesystem::create_directories(root.File("tmp"));
    for (const auto& [name, bytes] : s.inputs) {
        std::filesystem::create_directories(std::filesystem::path(root.File("work/" + name)).parent_path());
        WriteFileBytes(root.File("work/" + name), bytes);
    }
}

// Every name below the folder, with the bytes of files.
Files Tree(const std::string& dir)
{
    Files tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        tree[entry.path().lexically_relative(dir)] = entry.is_regular_file() ? ReadFileBytes(entry.path()) : Bytes{};
    return tree;
}

class Sweep {
public:
    explicit Sweep(const Scenario& s, const std::string& noTmpfile = "0")
        : m_s(s)
        , m_work(m_root.File("work"))
    {
        Setup();
        m_before = Tree(m_work);
        const Outcome clean = RunTool(m_work, s.args, {{"TAVREL_FAULT_N", "0"}, {"TAVREL_NO_TMPFILE", noTmpfile}});
        EXPECT_EQ(clean.status, 0) << clean.err;
        m_calls = clean.calls;
        m_names = clean.callNames;
        m_after = Tree(m_work);
    }
    long Calls() const { return m_calls; }
    // True when call n reads or closes: a kill or a lasting failure there is one at the next call that does neither.
    bool IsRead(long n) const
    {
        return n >= 1 && size_t(n) <= m_names.size() &&
            (m_names[n - 1] == "read" || m_names[n - 1] == "pread" || m_names[n - 1] == "close");
    }
    bool IsWrite(long n) const { return n >= 1 && size_t(n) <= m_names.size() && m_names[n - 1].ends_with("write"); }

    // The clean run flushed each new version to the disk before it took the target's name: a path that
    // skipped the flush could lose the file to a power cut even though the rename made the old one unreachable.
    void ExpectFlushedBeforeNamed() const
    {
        const std::set<std::string> data = {"write", "pwrite", "writev", "pwritev", "copy_file_range"};
        bool pending = false;  // data written since the last flush
        unsigned placed = 0;
        for (const std::string& call : m_names) {
            if (data.count(call))
                pending = true;
            else if (call == "fsync" || call == "fdatasync")
                pending = false;
            else if (call.starts_with("rename") || call == "linkat") {
                EXPECT_FALSE(pending) << "a new version took its name unflushed (" << call << ")";
                ++placed;
            }
        }
        EXPECT_GT(placed, 0u) << "the target was not written through a new version";
    }

    void Setup() const { Populate(m_root, m_s); }

    // The folder holds what it held before the run, or what a clean run leaves; nothing else.
    void ExpectOldOrNew(const std::string& what) const
    {
        const Files now = Tree(m_work);
        EXPECT_TRUE(now == m_before || now == m_after) << what << ": " << Describe(now);
        EXPECT_TRUE(std::filesystem::is_empty(m_root.File("tmp"))) << what << ": the private folder stayed";
    }

    Outcome RunWith(const std::vector<std::pair<std::string, std::string>>& env) const
    {
        Setup();
        return RunTool(m_work, m_s.args, env);
    }
    const std::string& Work() const { return m_work; }

private:
    std::string Describe(const Files& now) const
    {
        std::string names;
        for (const auto& [name, bytes] : now) {
            const auto old = m_before.find(name);
            const auto fresh = m_after.find(name);
            names += " " + name +
                (old != m_before.end() && old->second == bytes             ? "(old)"
                        : fresh != m_after.end() && fresh->second == bytes ? "(new)"
                                                                           : "(MIXED OR STRAY)");
        }
        return names;
    }

    const Scenario& m_s;
    TempDir m_root;
    std::string m_work;
    Files m_before, m_after;
    long m_calls = 0;
    std::vector<std::string> m_names;
};

const char* const kErrors[] = {"EIO", "ENOSPC", "EDQUOT", "EINTR", "SHORT", "ZERO"};

// Calls whose failure must fail the run: the writes of the new version, its
// flush and its naming, and the reads of what it is made from.
bool MustFail(const std::string& call, const std::string& error)
{
    // A failed copy_file_range is not among them: the copy goes on by reading and writing.
    static const std::set<std::string> kCalls = {"write", "pwrite", "fsync", "fdatasync", "rename", "renameat",
        "renameat2", "linkat", "fchmod", "fchown", "read", "pread"};
    return kCalls.count(call) && error != "EINTR" && error != "SHORT" && !(error == "ZERO" && call == "read");
}

std::string Word(const std::vector<std::string>& args)
{
    std::string s;
    for (const std::string& a : args)
        s += a + " ";
    return s;
}

}  // namespace

// Every Nth call fails once with each error in turn, and from the Nth on with EIO (a write: with a full disk);
// every read or write also comes up short once (a loop that took part of a transfer for all of it loses data).
TEST(Faults, EveryFailedCallOfEveryWriteLeavesTheOldFileOrTheNewOneAndSaysWhy)
{
    for (const Scenario& s : Scenarios()) {
        SCOPED_TRACE(s.name);
        const Sweep sweep(s);
        ASSERT_GT(sweep.Calls(), 3);
        for (long n = 1; n <= sweep.Calls(); ++n) {
            const std::string cycled = kErrors[n % std::size(kErrors)];
            const bool transfer = sweep.IsWrite(n) || sweep.IsRead(n);
            for (const int run : {0, 1, 2}) {
                const bool persist = run == 1;
                if ((persist && sweep.IsRead(n) && sweep.IsRead(n - 1)) || (run == 2 && (!transfer || cycled == "SHORT")))
                    continue;
                const std::string error = run == 0 ? cycled : run == 2 ? "SHORT" : sweep.IsWrite(n) ? "ENOSPC" : "EIO";
                const Outcome o = sweep.RunWith({{"TAVREL_FAULT_N", std::to_string(n)}, {"TAVREL_FAULT_ERROR", error},
                    {"TAVREL_FAULT_PERSIST", persist ? "1" : "0"}});
                const std::string what = Word(s.args) + "with " + error + (persist ? " from" : " at") + " call " +
                    std::to_string(n) + " (" + o.failedCall + ")";
                ASSERT_TRUE(o.status == 0 || o.status == 1)
                    << what << ": status " << o.status << ", signal " << o.signal << "\n"
                    << o.err;
                if (o.status != 0) {
                    EXPECT_FALSE(o.err.empty()) << what << ": no reason given";
                }
                if (MustFail(o.failedCall, error)) {
                    EXPECT_EQ(o.status, 1) << what << ": a failure reported as success";
                    // A write that finds the disk full says so.
                    EXPECT_TRUE(error != "ENOSPC" || !o.failedCall.ends_with("write") ||
                        o.err.find("No space left on device") != std::string::npos)
                        << what << ": " << o.err;
                }
                sweep.ExpectOldOrNew(what);
                if (o.status == 0) {
                    EXPECT_EQ(Tree(sweep.Work()).count(s.target), 1u) << what;
                }
            }
        }
    }
}

// Killed before each call of its run, on file systems with and without
// unnamed files: the target is old or new, and the next run leaves no stray file.
// Every new version of the clean run is flushed before it is named.
TEST(Faults, FlushedBeforeNamedAndKilledAtEveryCallTheFileIsOldOrNewAndTheNextRunLeavesNoStrayFile)
{
    for (const Scenario& s : Scenarios()) {
        for (const char* noTmpfile : {"0", "1"}) {
            SCOPED_TRACE(std::string(s.name) + (noTmpfile[0] == '1' ? ", named new versions" : ""));
            const Sweep sweep(s, noTmpfile);
            sweep.ExpectFlushedBeforeNamed();
            for (long n = 1; n <= sweep.Calls(); ++n) {
                if (sweep.IsRead(n))
                    continue;
                const std::string what = Word(s.args) + "killed at call " + std::to_string(n);
                sweep.Setup();
                const Outcome killed = RunTool(sweep.Work(), s.args,
                    {{"TAVREL_FAULT_N", std::to_string(n)}, {"TAVREL_FAULT_ERROR", "KILL"},
                        {"TAVREL_NO_TMPFILE", noTmpfile}});
                ASSERT_EQ(killed.signal, SIGKILL) << what;
                const Files left = Tree(sweep.Work());
                const Outcome next = RunTool(sweep.Work(), s.args, {{"TAVREL_NO_TMPFILE", noTmpfile}}, false);
                EXPECT_EQ(next.status, 0) << what << ": the next run\n" << next.err;
                sweep.ExpectOldOrNew(what + ", then run again");
            }
        }
    }
}

// Files that declare more than the budget, and link names that point anywhere:
// refused or read without a crash, in a small part of the memory they declare.
TEST(Faults, HostileFilesAreRefusedWithinTheBudgetAndHostileLinksReadWithoutACrash)
{
    TempDir dir;
    const std::string work = dir.File("work");
    std::filesystem::create_directories(work);
    std::filesystem::create_directories(dir.File("tmp"));
    // A model file of a small texture and one of 30000 x 30000 RGBA, its 3.4 GB of pixels a hole in the file.
    NifBuilder sparse;
    sparse.Texture(4, 4, 1, 1);
    sparse.Texture(30000, 30000, 2, Bytes{});
    sparse.Save(work + "/sparse.nif");
    const bool holes = ::truncate((work + "/sparse.nif").c_str(), off_t(sparse.Bytes().size()) + 3600000000) == 0;
    WriteFileBytes(work + "/huge.png",
        WithDeclaredSides(EncodePng({.width = 1, .height = 1, .rows = {Bytes(3, 7)}}), 30000, 30000));
    WriteFileBytes(
        work + "/huge.bmz", BuildBmz(BuildBmp({.width = 30000, .height = 30000, .bitCount = 32}), {0, 0, 0, 0, 1}));
    const std::string tooLarge = "The image is too large to open";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;  // the start of standard error
    } cases[] = {
        {{"convert", "huge.png", "out.bmp"}, 1, tooLarge + " (30000 x 30000, 2575 MiB; the limit is 1024 MiB)"},
        {{"replace", "sparse.nif", "huge.png", "--index", "0"}, 1, tooLarge},
        {{"convert", "huge.bmz", "out.bmp"}, 1, tooLarge},
        {{"extract", "sparse.nif", "out.bmp", "--index", "1"}, 1, tooLarge + " (30000 x 30000, 3434 MiB"},
        {{"extract", "sparse.nif", "out.bmp", "--index", "0"}, 0, ""},
        {{"list", "sparse.nif"}, 0, ""},
        {{"convert", "huge.png", "out.bmp", "--max-image-mib", "0"}, 2, "tavrel-cli: --max-image-mib needs a number"},
    };
    long budgetKiB = 100 * 1024;
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' runtime takes its own few hundred MiB before the tool does anything.
    budgetKiB += RunTool(work, {"--version"}, {}, false).peakKiB;
#endif
    for (const auto& c : cases) {
        if (!holes && c.args[1] == "sparse.nif")
            continue;  // the file system keeps no holes
        const Outcome o = RunTool(work, c.args, {}, false);
        SCOPED_TRACE(Word(c.args));
        EXPECT_EQ(o.status, c.status) << o.err;
        EXPECT_EQ(o.err.substr(0, c.err.size()), c.err);
        EXPECT_LT(o.peakKiB, budgetKiB);
    }
    // Link names from inside a file: up and out, absolute, backslashes, a zero byte, not UTF-8.
    for (const std::string& link : std::vector<std::string>{"../../victim.nif", "/etc/victim.nif", "..\\..\\victim.nif",
             std::string("a\0b.nif", 7), "\xff\xfe\x80.nif", std::string(300, '/') + "x.nif"}) {
        NifBuilder nif;
        nif.Text("links only\n");
        nif.Link(link);
        nif.Save(work + "/link.nif");
        for (const char* verb : {"list", "extract"}) {
            const Outcome o = verb[0] == 'l' ? RunTool(work, {"list", "link.nif"}, {}, false)
                                             : RunTool(work, {"extract", "link.nif", "l.png"}, {}, false);
            EXPECT_TRUE(o.status == 0 || (o.status == 1 && !o.err.empty())) << verb << " " << link << ": " << o.status;
        }
    }
}
