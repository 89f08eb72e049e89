// Writes the fuzz targets' seed corpus with the tests' own file builders:
// make_fuzz_seeds DIR writes DIR/<target>/<name> for every target. The corpus
// kept in fuzz/corpus is this program's output; run it again after a builder
// or a format changes.
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BmpBuilder.h"
#include "NifBuilder.h"
#include "PngFiles.h"
#include "TempDir.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Bmz(const Bytes& bmp)
{
    uLongf size = compressBound(bmp.size());
    Bytes out(40 + size, 0);
    out[4] = 1;
    compress2(&out[40], &size, bmp.data(), bmp.size(), 6);
    out.resize(40 + size);
    return out;
}

Bytes Model(bool link)
{
    NifBuilder nif;
    nif.Text("Model file of the seed corpus\n");
    nif.Texture(4, 2, 1, 1);
    nif.Text("NamedSource").Filler(9);
    nif.Texture(2, 3, 2, 2);
    if (link)
        nif.Link("textures\\other.nif", "\x01\x02");
    return nif.Bytes();
}

Bytes Rows(size_t bytes, uint8_t seed)
{
    Bytes out(bytes);
    for (size_t i = 0; i < bytes; ++i)
        out[i] = uint8_t(seed + i * 37);
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
        return 2;
    }
    const std::string root = argv[1];
    const auto put = [&](const std::string& target, const std::string& name, const Bytes& bytes) {
        std::filesystem::create_directories(root + "/" + target);
        WriteFileBytes(root + "/" + target + "/" + name, bytes);
    };

    const std::vector<std::pair<std::string, Bytes>> bmps = {
        {"rgb24", BuildBmp({.width = 3, .height = 2, .pixels = Rows(24, 1)})},
        {"top-down", BuildBmp({.width = 3, .height = -2, .pixels = Rows(24, 2)})},
        {"palette8",
            BuildBmp({.width = 2,
                .height = 2,
                .bitCount = 8,
                .clrUsed = 2,
                .palette = {{1, 2, 3, 0}, {4, 5, 6, 0}},
                .pixels = Rows(8, 3)})},
        {"mono",
            BuildBmp({.width = 9,
                .height = 2,
                .bitCount = 1,
                .palette = {{0, 0, 0, 0}, {255, 255, 255, 0}},
                .pixels = Rows(8, 4)})},
        {"565",
            BuildBmp({.width = 2,
                .height = 2,
                .bitCount = 16,
                .compression = BI_BITFIELDS,
                .masks = {0xF800, 0x7E0, 0x1F},
                .pixels = Rows(8, 5)})},
        {"bgra32", BuildBmp({.width = 2, .height = 2, .bitCount = 32, .pixels = Rows(16, 6)})},
        {"v5-header", BuildBmp({.width = 2, .height = 1, .headerSize = 124, .pixels = Rows(8, 7)})},
    };
    for (const auto& [name, bytes] : bmps) {
        put("bmp", name + ".bmp", bytes);
        put("bmz", name + ".bmz", Bmz(bytes));
    }

    const std::vector<std::pair<std::string, PngImage>> pngs = {
        {"rgb", {.width = 3, .height = 2, .rows = {Rows(9, 1), Rows(9, 2)}}},
        {"rgba-interlaced",
            {.width = 3,
                .height = 2,
                .colorType = PNG_COLOR_TYPE_RGB_ALPHA,
                .interlaced = true,
                .rows = {Rows(12, 3), Rows(12, 4)}}},
        {"grey1",
            {.width = 9,
                .height = 2,
                .bitDepth = 1,
                .colorType = PNG_COLOR_TYPE_GRAY,
                .rows = {Rows(2, 5), Rows(2, 6)}}},
        {"grey16",
            {.width = 2,
                .height = 2,
                .bitDepth = 16,
                .colorType = PNG_COLOR_TYPE_GRAY,
                .rows = {Rows(4, 7), Rows(4, 8)}}},
        {"grey-alpha", {.width = 2, .height = 1, .colorType = PNG_COLOR_TYPE_GRAY_ALPHA, .rows = {Rows(4, 9)}}},
        {"palette2",
            {.width = 5,
                .height = 2,
                .bitDepth = 2,
                .colorType = PNG_COLOR_TYPE_PALETTE,
                .rows = {{0x1B, 0x40}, {0xE4, 0x00}},
                .palette = Rows(12, 10)}},
        {"palette8-phys",
            {.width = 2,
                .height = 2,
                .colorType = PNG_COLOR_TYPE_PALETTE,
                .rows = {{0, 1}, {2, 3}},
                .palette = Rows(12, 11),
                .hasPhysicalSize = true,
                .xPerUnit = 2835,
                .yPerUnit = 2835,
                .unit = PNG_RESOLUTION_METER}},
        {"rgb16-sbit",
            {.width = 1,
                .height = 2,
                .bitDepth = 16,
                .rows = {Rows(6, 12), Rows(6, 13)},
                .significantBits = {5, 6, 5}}},
    };
    for (const auto& [name, image] : pngs)
        put("png", name + ".png", EncodePng(image));

    put("nif", "two-textures.nif", Model(false));
    put("nif", "link.nif", [] {
        NifBuilder n;
        n.Text("head");
        n.Link("other.nif");
        return n.Bytes();
    }());
    put("writers", "two-textures.nif", Model(false));
    put("writers", "rgba-first.nif", [] {
        NifBuilder n;
        n.Filler(7);
        n.Texture(3, 2, 2, 4);
        n.Filler(5);
        return n.Bytes();
    }());
    return 0;
}
