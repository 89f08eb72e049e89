// The compressed-bitmap codec against one plain in-memory zlib pass over the
// same 64 MB bitmap at the same level. Goal: the codec within 15% of plain zlib.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "image/ZlibFileCodec.h"
#include "platform/BitmapTypes.h"
#include "platform/File.h"

namespace {

constexpr int kLevel = 6;

struct Files {
    std::string dir;
    std::string bmp;
    std::string stream;
    std::string bmz;
    std::string expanded;
    std::vector<uint8_t> bmpBytes;
    std::vector<uint8_t> streamBytes;
};

Files* g_files = nullptr;

// A 64 MB 24-bit bitmap with picture-like content: smooth gradients with
// some noise, so it compresses about as well as a real texture.
std::vector<uint8_t> MakeBitmap()
{
    const int32_t width = 4736, height = 4736;  // 4736 × 3 × 4736 ≈ 64 MiB
    const uint32_t stride = static_cast<uint32_t>(DibStride(width, 24));
    const uint32_t pixelBytes = stride * height;
    std::vector<uint8_t> bytes(54 + pixelBytes);
    BITMAPFILEHEADER fh{kBitmapSignature, static_cast<uint32_t>(bytes.size()), 0, 0, 54};
    BITMAPINFOHEADER ih{40, width, height, 1, 24, BI_RGB, pixelBytes, 0, 0, 0, 0};
    std::memcpy(bytes.data(), &fh, 14);
    std::memcpy(bytes.data() + 14, &ih, 40);
    uint32_t noise = 12345;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = bytes.data() + 54 + static_cast<size_t>(y) * stride;
        for (int32_t x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int n = static_cast<int>(noise >> 29);  // 0..7
            row[3 * x + 0] = static_cast<uint8_t>((x / 7 + n) & 0xFF);
            row[3 * x + 1] = static_cast<uint8_t>((y / 5 + x / 11) & 0xFF);
            row[3 * x + 2] = static_cast<uint8_t>(((x ^ y) / 64 + n / 2) & 0xFF);
        }
    }
    return bytes;
}

void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes, size_t skip = 0)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    std::vector<uint8_t> header(skip, 0);
    std::fwrite(header.data(), 1, header.size(), f);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

void BM_CodecCompressFile(benchmark::State& state)
{
    for (auto _ : state) {
        CZlibFileCodec codec;
        if (codec.CompressFile(g_files->bmp, g_files->stream, kLevel) != 0)
            state.SkipWithError("compression failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_files->bmpBytes.size()));
}

void BM_PlainDeflateInMemory(benchmark::State& state)
{
    std::vector<uint8_t> out(compressBound(static_cast<uLong>(g_files->bmpBytes.size())));
    for (auto _ : state) {
        z_stream z{};
        deflateInit(&z, kLevel);
        z.next_in = g_files->bmpBytes.data();
        z.avail_in = static_cast<uInt>(g_files->bmpBytes.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        if (deflate(&z, Z_FINISH) != Z_STREAM_END)
            state.SkipWithError("deflate failed");
        deflateEnd(&z);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_files->bmpBytes.size()));
}

void BM_CodecDecompressFile(benchmark::State& state)
{
    for (auto _ : state) {
        CZlibFileCodec codec;
        if (codec.DecompressFile(g_files->bmz, g_files->expanded) != 0)
            state.SkipWithError("decompression failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_files->bmpBytes.size()));
}

void BM_PlainInflateInMemory(benchmark::State& state)
{
    std::vector<uint8_t> out(g_files->bmpBytes.size());
    for (auto _ : state) {
        z_stream z{};
        inflateInit(&z);
        z.next_in = g_files->streamBytes.data();
        z.avail_in = static_cast<uInt>(g_files->streamBytes.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        if (inflate(&z, Z_FINISH) != Z_STREAM_END)
            state.SkipWithError("inflate failed");
        inflateEnd(&z);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_files->bmpBytes.size()));
}

BENCHMARK(BM_PlainDeflateInMemory)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_CodecCompressFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlainInflateInMemory)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_CodecDecompressFile)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const std::string pattern = MakePrivateFolder("tavrel-bench-codec-");
    if (pattern.empty())
        return 1;
    Files files;
    files.dir = pattern;
    files.bmp = files.dir + "/big.bmp";
    files.stream = files.dir + "/temp.dbz";
    files.bmz = files.dir + "/big.bmz";
    files.expanded = files.dir + "/temp.dbp";
    files.bmpBytes = MakeBitmap();
    WriteAll(files.bmp, files.bmpBytes);
    {
        CZlibFileCodec codec;
        codec.CompressFile(files.bmp, files.stream, kLevel);
    }
    FILE* f = std::fopen(files.stream.c_str(), "rb");
    files.streamBytes.resize(std::filesystem::file_size(files.stream));
    if (std::fread(files.streamBytes.data(), 1, files.streamBytes.size(), f) != files.streamBytes.size())
        return 1;
    std::fclose(f);
    WriteAll(files.bmz, files.streamBytes, kBmzHeaderSize);
    g_files = &files;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveFolderTree(files.dir);
    return 0;
}
