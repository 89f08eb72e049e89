// Reading model files: finding texture and link blocks by their names, and
// turning a texture into an image record and back.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "NifBuilder.h"
#include "ScriptedUi.h"
#include "TempDir.h"
#include "doc/ShownRead.h"
#include "image/DibImage.h"
#include "image/RawTexture.h"
#include "nif/TextureScanner.h"
#include "nif/TextureWriter.h"
#include "platform/File.h"

namespace {

using Texts = std::vector<std::string>;

// A file with the given bytes, open for reading.
struct Opened {
    TempDir dir;
    CFile file;
    explicit Opened(const std::vector<uint8_t>& bytes)
    {
        WriteFileBytes(dir.File("m.nif"), bytes);
        EXPECT_TRUE(file.Open(dir.File("m.nif"), CFile::modeRead));
    }
};

// The offsets found, after checking the count and that the shapes were read for each.
std::vector<uint64_t> Scan(const std::vector<uint8_t>& bytes, std::vector<RawTextureShape>* shapes = nullptr)
{
    Opened o(bytes);
    std::vector<uint64_t> offsets = {12345};  // emptied by the scan
    std::vector<RawTextureShape> found = {{1, 2, 3}};
    const uint32_t count = ScanRawImageData(o.file, offsets, found);
    EXPECT_EQ(count, offsets.size());
    EXPECT_EQ(found.size(), offsets.size());
    if (shapes)
        *shapes = found;
    return offsets;
}

struct Loaded {
    std::string path;
    std::unique_ptr<CDibImage> image;
    Texts messages;
    std::vector<uint8_t> bits;
};

// Loads the texture at offset; a null builder loads from a file that is not there.
Loaded Load(const NifBuilder* b, uint64_t offset)
{
    TempDir dir;
    Loaded r{dir.File("m.nif"), nullptr, {}, {}};
    if (b)
        b->Save(r.path);
    ScriptedUi ui;
    r.image = ReadShown(r.path, FileKind::Nif, offset);
    r.messages = ui.Texts();
    if (r.image->GetBitmapInfo())
        r.bits.assign(r.image->GetBits(), r.image->GetBits() + uint64_t{r.image->GetStride()} * r.image->GetHeight());
    return r;
}

}  // namespace

TEST(NifScan, FindsEveryTextureAndItsFieldsSkippingPixels)
{
    // A name inside the pixels of a texture is not a texture.
    std::vector<uint8_t> hidden(3 * 8 * 8, 0x20);
    const std::string name = kRawImageDataName;
    std::copy(name.begin(), name.end(), hidden.begin() + 40);
    // A format other than 1 skips 4 bytes a pixel: skipping 3 would let the
    // last pixel's N spoil the next name.
    std::vector<uint8_t> odd(16, 'x');
    odd.back() = 'N';
    NifBuilder b;
    b.Filler(5).Text("NiRawN").Texture(8, 8, 1, hidden);  // a name begun and broken just before
    b.Filler(5).Texture(2, 2, 7, odd);
    std::vector<RawTextureShape> expected = {{8, 8, 1}, {2, 2, 7}}, shapes;
    // Many more (no limit on their number), some right after the previous pixels; the first few
    // names lie across the reader's piece boundaries, or past its largest piece.
    const size_t gaps[] = {4089, 4095, 4096, 12287, 3 * 1024 * 1024 + 5};
    for (uint32_t i = 0; i < 250; ++i) {
        expected.push_back({2, 1 + i % 3, 1 + i % 2});
        b.Filler(i < 5 ? gaps[i] : i % 5).Texture(2, 1 + i % 3, 1 + i % 2, static_cast<uint8_t>(i));
    }
    // Fields cut by the end of the file: the block counts with zero fields.
    b.Text(name).Filler(12).U32(7);
    expected.push_back({0, 0, 0});
    std::vector<uint64_t> offsets = b.TextureOffsets();
    offsets.push_back(b.Bytes().size() - 4);
    EXPECT_EQ(Scan(b.Bytes(), &shapes), offsets);
    EXPECT_EQ(shapes, expected);
}

TEST(NifLink, FindsTheFirstLinkAndTheNameUpToTheFirstNifInReach)
{
    // "NiImage", then 17 bytes, then the name.
    auto link = [](const std::string& name) { return "NiImage" + std::string(17, '\x11') + name; };
    // The file, the position after the first link's name and the linked name there.
    const std::tuple<std::string, uint64_t, std::optional<std::string>> cases[] = {
        {std::string(50, 'x') + link("first.nif") + link("second.nif"), 74, "first.nif"},
        {"no link here, NiRawImageData NImage NNiImage", 0, std::nullopt},
        {"xxNiImage" + std::string(5, 'z'), 26, std::nullopt},  // a name past the end of the file
        {link(std::string("a/b.nif\0c.nif", 13)), 24, "a/b.nif"},
        {link(std::string(39, 'a') + ".nif"), 24, std::string(39, 'a') + ".nif"},
        {link(std::string(40, 'a') + ".nif"), 24, std::nullopt},
        {link(".n.nif"), 24, std::nullopt},  // the byte that differs is passed over
    };
    for (const auto& [file, position, name] : cases) {
        SCOPED_TRACE(file);
        Opened o({file.begin(), file.end()});
        EXPECT_EQ(ScanImageLink(o.file), position);
        if (position != 0) {
            EXPECT_EQ(o.file.GetPosition(), position);
            EXPECT_EQ(ExtractLinkName(o.file, position), name);
        }
    }
}

TEST(RawImage, TurnsTopDownRgbRowsIntoBottomUpBgrAndBackForEveryShape)
{
    // Width, height, format: odd and even heights, every row padding, the vector path with and without
    // a scalar tail, rows read in two groups (the second partial), rows longer than one group.
    const uint32_t cases[][3] = {{1, 7, 1}, {2, 2, 1}, {3, 3, 1}, {4, 4, 1}, {33, 5, 1}, {7, 3, 2}, {31, 6, 2},
        {300, 300, 1}, {100000, 1, 2}, {90000, 2, 1}};
    for (const auto& [width, height, format] : cases) {
        SCOPED_TRACE(testing::Message() << width << "x" << height << " format " << format);
        NifBuilder b;
        const uint64_t offset = b.Filler(3).Texture(width, height, format, 9);
        b.Filler(5);
        Loaded r = Load(&b, offset);
        ASSERT_NE(r.image->GetBitmapInfo(), nullptr);
        EXPECT_TRUE(r.messages.empty());
        const uint32_t bitCount = format == 1 ? 24 : 32;
        const BITMAPINFOHEADER& h = r.image->GetBitmapInfo()->bmiHeader;
        EXPECT_EQ((std::vector<int64_t>{h.biSize, h.biWidth, h.biHeight, h.biPlanes, h.biBitCount, h.biCompression,
                      h.biSizeImage, r.image->GetFileHeader().bfOffBits}),
            (std::vector<int64_t>{40, width, height, 1, bitCount, BI_RGB, int64_t(r.bits.size()), 54}));
        const std::vector<uint8_t> block = NifBuilder::PatternPixels(width, height, format, 9);
        EXPECT_EQ(r.bits, NifBuilder::BlockToDib(block, width, height, format));
        // The writers turn the record back into the block, in place.
        ASSERT_EQ(ConvertDibToRawPixels(r.bits.data(), width, height, bitCount), block.size());
        r.bits.resize(block.size());
        EXPECT_EQ(r.bits, block);
    }
    // Known pixels, should the builder's conversion go wrong the same way: 2 x 2 RGB, top-left (1, 2, 3).
    NifBuilder b;
    const uint64_t rgb = b.Texture(2, 2, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    EXPECT_EQ(Load(&b, rgb).bits, (std::vector<uint8_t>{9, 8, 7, 12, 11, 10, 0, 0, 3, 2, 1, 6, 5, 4, 0, 0}));
    // An unknown format is shown as the file has it, 4 bytes a pixel, not flipped.
    const Loaded r = Load(&b, b.Texture(3, 2, 5, 7));
    EXPECT_EQ(r.messages, Texts{"Hmmm, somethin' ain't right!"});
    EXPECT_EQ(r.image->GetBitCount(), 32u);
    EXPECT_EQ(r.bits, NifBuilder::PatternPixels(3, 2, 5, 7));
}

TEST(NifScanAndRawImage, CorruptSizesEndTheScanAndAreRefused)
{
    // Width, height, format, pixel bytes, textures found: pixels one byte short of the file's end,
    // pixels running over the next block, more than 64 bits of pixel bytes, near 2 GB, a product
    // wrapping 32 bits.
    const uint32_t cases[][5] = {{10, 10, 1, 258, 1}, {20, 10, 1, 299, 1}, {0xFFFFFFFF, 0xFFFFFFFF, 2, 64, 1},
        {0x8000, 0x4000, 2, 64, 1}, {0x10000, 0x10000, 1, 64, 1}};
    for (const auto& [width, height, format, pixelBytes, found] : cases) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        NifBuilder b;
        const uint64_t offset = b.Texture(width, height, format, std::vector<uint8_t>(pixelBytes, 1));
        b.Texture(1, 1, 1);
        const std::vector<uint64_t>& all = b.TextureOffsets();
        EXPECT_EQ(Scan(b.Bytes()), std::vector<uint64_t>(all.begin(), all.begin() + found));
        const Loaded r = Load(&b, offset);
        EXPECT_EQ(r.image->GetBitmapInfo(), nullptr);
        EXPECT_EQ(r.messages, Texts{"Error reading file.\nFile: " + r.path});
    }
    // A side of 0 is an empty image, read without a message; the scan goes on to the next texture.
    for (const auto& [width, height, format] : {std::array<uint32_t, 3>{0, 4, 1}, {4, 0, 2}, {0, 0, 2}}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        NifBuilder b;
        const uint64_t offset = b.Texture(width, height, format, std::vector<uint8_t>(16, 1));
        b.Texture(1, 1, 1);
        EXPECT_EQ(Scan(b.Bytes()).size(), 2u);
        const Loaded r = Load(&b, offset);
        ASSERT_NE(r.image->GetBitmapInfo(), nullptr);
        EXPECT_EQ(std::tuple(r.image->GetWidth(), r.image->GetHeight(), r.image->GetImageSize()),
            std::tuple(int32_t(width), int32_t(height), 0u));
        EXPECT_EQ(r.messages, Texts{});
    }
    NifBuilder cut;  // fields past the end of the file
    const Loaded r = Load(&cut.Filler(20), 14);
    EXPECT_EQ(r.messages, Texts{"Error reading file.\nFile: " + r.path});
    const Loaded missing = Load(nullptr, 26);
    EXPECT_EQ(missing.messages, Texts{"Error opening file.\nFile: " + missing.path});
}
