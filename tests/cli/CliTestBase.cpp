#include "CliTestBase.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "BmpBuilder.h"
#include "NifBuilder.h"
#include "PngFiles.h"

CliRun RunCli(const std::vector<std::string>& args, const std::string& workDir, bool terminal)
{
    CliRun run;
    int master = -1;
    int slave = -1;
    EXPECT_TRUE(!terminal || ::openpty(&master, &slave, nullptr, nullptr, nullptr) == 0) << "no pseudo-terminal";
    const std::string outPath = workDir + "/.stdout";
    const std::string errPath = workDir + "/.stderr";
    std::vector<char*> argv{const_cast<char*>(TAVREL_CLI_PATH)};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(::open("/dev/null", O_RDONLY), 0);
        ::dup2(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        ::dup2(terminal ? slave : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (terminal) {
        ::close(slave);
        // Read until the child's exit closes the terminal (EIO on Linux).
        char buffer[4096];
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR);)
            run.err.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
        ::close(master);
    }
    int status = -1;
    while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const std::vector<uint8_t> out = ReadFileBytes(outPath), err = ReadFileBytes(errPath);
    run.out.assign(out.begin(), out.end());
    if (!terminal)
        run.err.assign(err.begin(), err.end());
    // A sanitizer's report ends the tool with status 1, like a handled failure: never let it pass for one.
    for (const char* mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"})
        EXPECT_EQ(run.err.find(mark), std::string::npos) << run.err;
    return run;
}

Pixels Pattern(uint32_t width, uint32_t height, bool alpha, uint8_t seed)
{
    return {width, height, alpha ? 4u : 3u, NifBuilder::PatternPixels(width, height, alpha ? 2 : 1, seed)};
}

Pixels WithoutAlpha(const Pixels& pixels)
{
    Pixels out{pixels.width, pixels.height, 3, {}};
    for (size_t i = 0; i < pixels.bytes.size(); i += pixels.bytesPerPixel)
        out.bytes.insert(out.bytes.end(), &pixels.bytes[i], &pixels.bytes[i] + 3);
    return out;
}

std::vector<uint8_t> BmpFile(const Pixels& pixels)
{
    BmpSpec spec{.width = int32_t(pixels.width), .height = int32_t(pixels.height),
                 .bitCount = uint16_t(pixels.bytesPerPixel * 8)};
    spec.pixels = NifBuilder::BlockToDib(pixels.bytes, pixels.width, pixels.height, pixels.bytesPerPixel / 2);
    return BuildBmp(spec);
}

std::vector<uint8_t> BmzFile(const Pixels& pixels)
{
    const std::vector<uint8_t> bmp = BmpFile(pixels);
    uLongf packedSize = compressBound(bmp.size());
    std::vector<uint8_t> out(40 + packedSize, 0);
    out[4] = 1;   // a 40-byte header whose only field read is this u16
    EXPECT_EQ(compress2(&out[40], &packedSize, bmp.data(), bmp.size(), 6), Z_OK);
    out.resize(40 + packedSize);
    return out;
}

std::vector<uint8_t> PngFile(const Pixels& pixels)
{
    PngImage png{.width = pixels.width, .height = pixels.height,
                 .colorType = pixels.bytesPerPixel == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB};
    for (auto row = pixels.bytes.begin(); row != pixels.bytes.end(); row += pixels.width * pixels.bytesPerPixel)
        png.rows.emplace_back(row, row + pixels.width * pixels.bytesPerPixel);
    return EncodePng(png);
}

std::vector<uint8_t> ModelFile(const std::vector<Pixels>& textures, std::vector<uint64_t>* offsets,
                               const std::string& link)
{
    NifBuilder nif;
    nif.Text("Model file written by a test, version 1\n");
    for (const Pixels& texture : textures) {
        nif.Texture(texture.width, texture.height, texture.bytesPerPixel / 2, texture.bytes);
        nif.Text("NamedSource").Filler(9);
    }
    if (!link.empty())
        nif.Link(link, "\x01\x02 trailing bytes");
    if (offsets)
        *offsets = nif.TextureOffsets();
    return nif.Bytes();
}

Pixels ReadImage(const std::string& path)
{
    const std::vector<uint8_t> in = ReadFileBytes(path);
    const char kind = static_cast<char>(std::tolower(static_cast<unsigned char>(path[path.size() - 3])));
    if (kind == 'p') {
        PngImage png;
        if (!DecodePng(in, png))
            return {};   // other depths and colour types show as wrong bytes
        Pixels pixels{png.width, png.height, png.colorType == PNG_COLOR_TYPE_RGB ? 3u : 4u, {}};
        for (const auto& row : png.rows)
            pixels.bytes.insert(pixels.bytes.end(), row.begin(), row.end());
        return pixels;
    }
    // BMP and TGA as the tool writes them: B, G, R (, A), bottom row first; BMP rows padded to 4 bytes.
    const bool bmp = kind == 'b';
    const auto u16 = [&](size_t at) { return uint32_t(in[at] | in[at + 1] << 8); };
    const auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    if (in.size() < (bmp ? 54u : 18u) || (bmp ? in[0] != 'B' || in[1] != 'M' || u32(30) != 0 : in[2] != 2))
        return {};
    Pixels pixels{bmp ? u32(18) : u16(12), bmp ? u32(22) : u16(14), (bmp ? u16(28) : in[16]) / 8u, {}};
    const size_t start = bmp ? u32(10) : 18u + in[0];
    const size_t rowBytes = size_t(pixels.width) * pixels.bytesPerPixel;
    const size_t stride = bmp ? (rowBytes + 3) / 4 * 4 : rowBytes;
    if ((pixels.bytesPerPixel != 3 && pixels.bytesPerPixel != 4) || in.size() < start + stride * pixels.height)
        return {};
    for (uint32_t y = pixels.height; y-- > 0;) {
        for (const uint8_t* p = &in[start + stride * y]; p < &in[start + stride * y + rowBytes]; p += pixels.bytesPerPixel) {
            pixels.bytes.insert(pixels.bytes.end(), {p[2], p[1], p[0]});
            if (pixels.bytesPerPixel == 4)
                pixels.bytes.push_back(p[3]);
        }
    }
    return pixels;
}

std::optional<std::vector<std::string>> JsonTokens(const std::string& s)
{
    std::vector<std::string> tokens;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')
            continue;
        if (s[i] && std::strchr("{}[]:,", s[i])) {
            tokens.emplace_back(1, s[i]);
        } else if (std::isdigit(static_cast<unsigned char>(s[i]))) {
            const size_t end = std::min(s.find_first_not_of("0123456789", i), s.size());
            tokens.push_back(s.substr(i, end - i));
            i = end - 1;
        } else if (s[i] == '"') {
            std::string text = "\"";
            const char* const escapes = "\"\\/bfnrt";
            for (++i; i < s.size() && s[i] != '"'; ++i) {
                unsigned code = 0;
                if (static_cast<uint8_t>(s[i]) < 0x20) {
                    return std::nullopt;   // control characters must be escaped
                } else if (s[i] != '\\') {
                    text += s[i];
                } else if (++i < s.size() && s[i] && std::strchr(escapes, s[i])) {
                    text += "\"\\/\b\f\n\r\t"[std::strchr(escapes, s[i]) - escapes];
                } else if (i + 5 <= s.size() && s[i] == 'u' &&
                           std::from_chars(&s[i + 1], &s[i + 5], code, 16).ptr == &s[i + 5]) {
                    i += 4;   // a code point up to U+FFFF, in UTF-8
                    text += code < 0x80    ? std::string{char(code)}
                            : code < 0x800 ? std::string{char(0xC0 | code >> 6), char(0x80 | (code & 0x3F))}
                                           : std::string{char(0xE0 | code >> 12), char(0x80 | (code >> 6 & 0x3F)),
                                                         char(0x80 | (code & 0x3F))};
                } else {
                    return std::nullopt;
                }
            }
            if (i == s.size())
                return std::nullopt;
            tokens.push_back(text + '"');
        } else {
            return std::nullopt;
        }
    }
    return tokens;
}
