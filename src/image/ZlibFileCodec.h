#pragma once
// File-to-file zlib compression and decompression in constant memory, letting
// the user interface handle its events while a large file is worked on.
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class CZlibFileCodec : public z_stream {
public:
    CZlibFileCodec();
    virtual ~CZlibFileCodec();
    CZlibFileCodec(const CZlibFileCodec&) = delete;
    CZlibFileCodec& operator=(const CZlibFileCodec&) = delete;

    // Deflates the whole source file into the destination as one bare zlib stream.
    // 0 on success; -1 when a file cannot be opened or read, or a write falls
    // short; -7 when stopped by m_bUserAbort; otherwise the zlib result that
    // ended the work. A source that cannot be opened leaves the destination untouched.
    int CompressFile(const std::string& source, const std::string& destination, int level);
    // Inflates the zlib stream that starts at byte 40 of the source (a ".bmz" file).
    // Results as for CompressFile; -5 for a stream cut short, -3 for damaged data.
    int DecompressFile(const std::string& source, const std::string& destination);

    // Percentage of the source consumed so far.
    int ProgressPercent() const;

    // Called after every step with ProgressPercent(), and once at the end.
    virtual void OnProgress(int percent);
    // Called once at the end with "Success", "Zlib Error" or "User Abort".
    virtual void OnStatus(const char* text);

    // Decompression stops with -3 (damaged data) once it has written more than
    // this: no bitmap file is larger, and a tiny file could otherwise fill the disk.
    uint64_t m_nOutputLimit;
    // Set when the stream must hold a bitmap file (a ".bmz"): its headers are
    // read from the first bytes out, and decompression stops at once with -3
    // when they are not a bitmap's or declare more than the source can hold,
    // with kCodecImageTooLarge when they declare more than the image limits,
    // and with -3 as soon as the output passes the size they declare.
    bool m_bBitmapStream = false;
    // Why a file could not be opened, read or written (the system's words), or empty.
    std::string m_strFileError;

    int m_bUserAbort = 0;
    FILE* m_pInFile = nullptr;
    FILE* m_pOutFile = nullptr;
    int64_t m_nInLength = 0;
    int m_nResult = 0;

    // Bytes read or written per step. Each inflate call that ends before the
    // stream does copies up to 32 KiB into zlib's window, and each step costs
    // two system calls: with 1 MiB steps both are a few percent of the work
    // (with 64 KiB steps decompression took about a fifth longer).
    static constexpr size_t kStep = 1024 * 1024;
    // The user interface is given its events at most this often, not every step.
    static constexpr std::chrono::milliseconds kPumpInterval{25};

protected:
    unsigned ReadInput();
    unsigned WriteOutput();

private:
    enum class Direction { Compress, Decompress };
    int Run(Direction direction, const std::string& source, const std::string& destination, int level);
    void Reset();
    // Feeds the whole source through zlib, writing what comes out, then
    // finishes the stream; true when a write failed.
    bool Transform(Direction direction);
    // Flushes and closes the files and reports the result.
    int Conclude(bool writeFailed);
    bool OpenFiles(const std::string& source, const std::string& destination, uint64_t skip);
    void CloseFiles();
    void Report(int percent);
    void PumpIfDue();

    void CaptureHeaders(size_t filled);
    int CheckBitmapHeaders();

    unsigned char m_abHeaders[54] = {};  // kBitmapHeaderBytes
    size_t m_nHeaderBytes = 0;
    bool m_bHeadersChecked = false;
    uint64_t m_nDeclaredSize = 0;
    std::unique_ptr<unsigned char[]> m_abIn;
    std::unique_ptr<unsigned char[]> m_abOut;
    bool m_bReadFailed = false;
    int m_nLastShownPercent = -1;
    std::chrono::steady_clock::time_point m_lastPump{};
};

// The result of a decompression stopped because the bitmap is larger than the image limits.
inline constexpr int kCodecImageTooLarge = -20;

// Size of the header in front of the zlib stream of a ".bmz" file.
inline constexpr uint64_t kBmzHeaderSize = 40;

// The file header and the info header that a bitmap stream must start with.
inline constexpr size_t kBitmapHeaderBytes = 54;

// Checks the first kBitmapHeaderBytes of an inflated bitmap stream: Z_OK, with
// the size the headers declare (the pixels and what the file header counts
// after them, within reason); Z_DATA_ERROR when they are not a bitmap's or
// declare more than sourceBytes of deflated data can hold; kCodecImageTooLarge
// beyond the image limits or outputLimit.
int CheckBitmapStreamHeaders(
    const unsigned char* headers, uint64_t sourceBytes, uint64_t outputLimit, uint64_t& declaredSize);

// The start of the bitmap in a ".bmz" file, inflated without the rest.
struct BitmapStreamStart {
    std::vector<unsigned char> bytes;  // at most the bytes asked for, fewer when the stream is shorter
    uint64_t declaredSize = 0;
    std::string reason;  // why the file could not be opened or read (the system's words)
};
// Inflates at most `wanted` bytes (and at least the headers) of a ".bmz"
// file's stream and checks its headers as DecompressFile does. Results as for
// DecompressFile: 0; -1 when the file cannot be opened or read; -5 when the
// stream ends before the headers; -3 for damaged data; kCodecImageTooLarge.
int InflateBitmapStart(const std::string& source, size_t wanted, BitmapStreamStart& start);
