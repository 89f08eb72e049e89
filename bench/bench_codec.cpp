// Compressed bitmaps of 64 megapixels read and written, each beside its floor
// in the same run: reading against one libdeflate inflate of the same stream
// into a fresh buffer (goal: at most 1.2x), writing against one libdeflate
// level-6 deflate into a fresh buffer, written to a file and synced (goal: at
// most 1.3x). Both sides start from what a user's command holds: the file in
// the page cache, or the image record in memory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <libdeflate.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "image/BmzCodec.h"
#include "image/DibImage.h"
#include "nif/TextureWriter.h"
#include "platform/BitmapTypes.h"
#include "platform/CoreError.h"
#include "platform/File.h"

namespace {

struct Files {
    std::string dir;
    std::string bmp;  // the bitmap
    std::string bmz;  // the same, compressed
    std::string written;  // the benchmarks' output
    std::vector<uint8_t> bmpBytes;
    std::vector<uint8_t> bmzBytes;
    std::unique_ptr<CDibImage> image;
};

Files* g_files = nullptr;

// A 64-megapixel 24-bit bitmap with picture-like content: smooth gradients with
// some noise, so it compresses about as well as a real texture.
std::vector<uint8_t> MakeBitmap()
{
    const int32_t width = 8192, height = 8192;
    const uint32_t stride = static_cast<uint32_t>(DibStride(width, 24));
    const uint32_t pixelBytes = stride * height;
    std::vector<uint8_t> bytes(54 + size_t{pixelBytes});
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

void WriteAll(const std::string& path, const void* bytes, size_t size, bool sync)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const auto* p = static_cast<const uint8_t*>(bytes);
    for (size_t done = 0; fd >= 0 && done < size;) {
        const ssize_t n = ::write(fd, p + done, size - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    if (sync)
        ::fsync(fd);
    ::close(fd);
}

void BM_FloorLibdeflateInflate(benchmark::State& state)
{
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    const std::vector<uint8_t>& bmz = g_files->bmzBytes;
    for (auto _ : state) {
        std::unique_ptr<uint8_t[]> out(new uint8_t[g_files->bmpBytes.size()]);
        if (libdeflate_zlib_decompress(d, bmz.data() + kBmzHeaderSize, bmz.size() - kBmzHeaderSize, out.get(),
                g_files->bmpBytes.size(), nullptr) != LIBDEFLATE_SUCCESS)
            state.SkipWithError("inflate failed");
        benchmark::DoNotOptimize(out.get());
    }
    libdeflate_free_decompressor(d);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_files->bmpBytes.size()));
}

void BM_BmzRead(benchmark::State& state)
{
    for (auto _ : state) {
        CDibImage image(g_files->bmz, FileKind::Bmz, 0);
        if (!image.GetBitmapInfo())
            state.SkipWithError("read failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_files->bmpBytes.size()));
}

void BM_FloorLibdeflateDeflateAndSync(benchmark::State& state)
{
    libdeflate_compressor* c = libdeflate_alloc_compressor(kBmzLevel);
    const std::vector<uint8_t>& bmp = g_files->bmpBytes;
    for (auto _ : state) {
        const size_t bound = libdeflate_zlib_compress_bound(c, bmp.size());
        std::unique_ptr<uint8_t[]> out(new uint8_t[bound]);
        const size_t size = libdeflate_zlib_compress(c, bmp.data(), bmp.size(), out.get(), bound);
        WriteAll(g_files->written, out.get(), size, true);
    }
    libdeflate_free_compressor(c);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_files->bmpBytes.size()));
}

void BM_BmzWrite(benchmark::State& state)
{
    for (auto _ : state) {
        try {
            WriteCompressedBitmapFile(g_files->written, *g_files->image);
        } catch (const CCoreError& e) {
            state.SkipWithError(e.GetErrorMessage().c_str());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_files->bmpBytes.size()));
}

// Each beside its floor; --benchmark_enable_random_interleaving=true alternates their repetitions.
BENCHMARK(BM_FloorLibdeflateInflate)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(7);
BENCHMARK(BM_BmzRead)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(7);
BENCHMARK(BM_FloorLibdeflateDeflateAndSync)->Unit(benchmark::kMillisecond)->Iterations(2)->Repetitions(3);
BENCHMARK(BM_BmzWrite)->Unit(benchmark::kMillisecond)->Iterations(2)->Repetitions(3);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Files files;
    files.dir = MakePrivateFolder("tavrel-bench-codec-");
    if (files.dir.empty())
        return 1;
    files.bmp = files.dir + "/big.bmp";
    files.bmz = files.dir + "/big.bmz";
    files.written = files.dir + "/written.bmz";
    files.bmpBytes = MakeBitmap();
    WriteAll(files.bmp, files.bmpBytes.data(), files.bmpBytes.size(), false);
    files.image = std::make_unique<CDibImage>(files.bmp, FileKind::Bmp);
    if (!files.image->GetBitmapInfo())
        return 1;
    try {
        WriteCompressedBitmapFile(files.bmz, *files.image);
    } catch (const CCoreError& e) {
        std::fprintf(stderr, "%s\n", e.GetErrorMessage().c_str());
        return 1;
    }
    CFile in;
    if (!in.Open(files.bmz, CFile::modeRead))
        return 1;
    files.bmzBytes.resize(in.GetLength());
    in.Read(files.bmzBytes.data(), files.bmzBytes.size());
    g_files = &files;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveFolderTree(files.dir);
    return 0;
}
