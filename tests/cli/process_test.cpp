// The tool and the window program as child processes, where only a process
// shows the fault: special files as output or input, a file-size limit, and
// the signals that end a run. Nothing may hang, be replaced or be left behind.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "BmpBuilder.h"
#include "NifBuilder.h"
#include "PngFiles.h"
#include "TempDir.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Starts a program with its output in files, its temporary folder `tmp` and, if given, a file-size limit.
pid_t Spawn(const std::vector<std::string>& args, const std::string& dir, rlim_t fileSizeLimit = RLIM_INFINITY)
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    ::setenv("TMPDIR", (dir + "/tmp").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const int in = ::open("/dev/null", O_RDONLY),
              out = ::open((dir + "/.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
              err = ::open((dir + "/.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(in, 0), ::dup2(out, 1), ::dup2(err, 2);
    if (fileSizeLimit != RLIM_INFINITY) {
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

// The wait status, or -1 after killing a child that hung for 20 seconds.
int Wait(pid_t pid)
{
    for (int i = 0; i < 2000; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
}

// Waits (up to 20 s) until a file in the child's temporary folder holds data.
bool WaitForTemporaryData(const std::string& tmp)
{
    for (int i = 0; i < 20000; ++i) {
        std::error_code ec;
        for (const auto& folder : fs::directory_iterator(tmp, ec))
            for (const auto& file : fs::directory_iterator(folder.path(), ec))
                if (fs::file_size(file.path(), ec) > 0 && !ec)
                    return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// A ".bmz" of a 32-bit bitmap of the given size, all zeros (compressed in pieces).
Bytes LargeBmz(int32_t width, int32_t height)
{
    const Bytes head = BuildBmp({.width = width, .height = height, .bitCount = 32});
    z_stream z{};
    deflateInit(&z, 1);
    Bytes out(40, 0), zeros(1 << 20, 0), buffer(1 << 20);
    uint64_t left = uint64_t(width) * uint64_t(height) * 4;
    const auto pump = [&](const uint8_t* data, size_t size, int flush) {
        z.next_in = const_cast<uint8_t*>(data);
        z.avail_in = uInt(size);
        do {
            z.next_out = buffer.data();
            z.avail_out = uInt(buffer.size());
            deflate(&z, flush);
            out.insert(out.end(), buffer.data(), z.next_out);
        } while (z.avail_out == 0);
    };
    pump(head.data(), head.size(), Z_NO_FLUSH);
    for (; left > 0; left -= std::min<uint64_t>(left, zeros.size()))
        pump(zeros.data(), size_t(std::min<uint64_t>(left, zeros.size())), Z_NO_FLUSH);
    pump(nullptr, 0, Z_FINISH);
    deflateEnd(&z);
    return out;
}

class ProcessTest : public ::testing::Test {
protected:
    ProcessTest() { fs::create_directory(Tmp()); }
    std::string Path(const std::string& name) const { return m_dir.File(name); }
    std::string Tmp() const { return m_dir.File("tmp"); }
    std::string Err() const
    {
        const Bytes e = ReadFileBytes(Path(".err"));
        return {e.begin(), e.end()};
    }
    TempDir m_dir;
};

}  // namespace

// Output that is not a regular file is refused and kept (the other kinds are the safe writer's test); input
// that is not one is refused at once, never waited on (BMP and PNG: the readers' test); a file-size limit is a write error with its reason, leaving nothing behind.
TEST_F(ProcessTest, SpecialFilesAndAFileSizeLimitAreFailuresWithTheirReasons)
{
    WriteFileBytes(Path("a.bmp"), BuildBmp({.width = 256, .height = 256, .pixels = Bytes(256 * 256 * 3, 9)}));
    const auto fifo = [](const std::string& p) { ::mkfifo(p.c_str(), 0600); };
    const struct {
        const char* name;
        std::function<void(const std::string&)> make;  // the special file at the path given
        std::vector<std::string> args;  // "@" is that path
        const char* reason;
        rlim_t fileSizeLimit = RLIM_INFINITY;
    } cases[] = {
        {"FIFO as output", fifo, {"convert", Path("a.bmp"), "@.bmp"}, "not a regular file"},
        {"FIFO as model file", fifo, {"list", "@.nif"}, "Error reading file"},
        {"FIFO as compressed bitmap", fifo, {"list", "@.bmz"}, "not a regular file"},
        {"file-size limit", nullptr, {"convert", Path("a.bmp"), "@.bmp"}, "File too large", 64 * 1024},
        // libpng's own report stays unprinted: the tool's message says it all.
        {"PNG cut short",
            [](const std::string& p) {
                const Bytes png = EncodePng({.width = 64, .height = 64, .rows = std::vector<Bytes>(64, Bytes(192, 1))});
                WriteFileBytes(p, Bytes(png.begin(), png.end() - 20));
            },
            {"list", "@.png"}, "Error reading png file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args{TAVREL_CLI_PATH};
        std::string special;
        for (const std::string& a : c.args) {
            args.push_back(a[0] == '@' ? Path("x") + a.substr(1) : a);
            if (a[0] == '@')
                special = args.back();
        }
        struct stat before { };
        if (c.make)
            c.make(special);
        ::lstat(special.c_str(), &before);
        const int status = Wait(Spawn(args, m_dir.Path(), c.fileSizeLimit));
        ASSERT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_NE(Err().find(c.reason), std::string::npos) << Err();
        EXPECT_EQ(Err().find("libpng"), std::string::npos) << Err();
        struct stat after { };
        EXPECT_EQ(::lstat(special.c_str(), &after) == 0, c.make != nullptr);
        EXPECT_EQ(after.st_mode, before.st_mode);
        ::unlink(special.c_str());
        EXPECT_EQ(FileNames(m_dir.Path()), (std::vector<std::string>{".err", ".out", "a.bmp", "tmp"}));
        EXPECT_TRUE(FileNames(Tmp()).empty());
    }
}

// SIGINT, SIGTERM or SIGHUP in the middle of a long decompression: the tool ends by that signal and its
// private folder, with the decompressed bitmap, goes with it.
TEST_F(ProcessTest, EndingSignalsLeaveNoTemporaryFiles)
{
    WriteFileBytes(Path("big.bmz"), LargeBmz(8192, 8192));
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        const pid_t pid = Spawn({TAVREL_CLI_PATH, "convert", Path("big.bmz"), Path("out.bmp")}, m_dir.Path());
        ASSERT_TRUE(WaitForTemporaryData(Tmp()));
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
TEST_F(ProcessTest, TheWindowEndsNormallyOnSigterm)
{
    const pid_t pid = Spawn({TAVREL_EXE}, m_dir.Path());
    for (int i = 0; i < 2000 && FileNames(Tmp(), "tavrel-").empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(FileNames(Tmp(), "tavrel-").empty());
    ::kill(pid, SIGTERM);
    const int status = Wait(pid);
    ASSERT_TRUE(WIFEXITED(status)) << status << " " << Err();
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(FileNames(Tmp(), "tavrel-").empty());  // Qt's own runtime folder may stay
}
#endif
