#include "image/ZlibFileCodec.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/BitmapTypes.h"
#include "platform/File.h"
#include "platform/ImageLimits.h"
#include "platform/UiServices.h"

namespace {

constexpr int kShortWrite = -1;
constexpr int kUserAbort = -7;
// Deflate expands no byte of input into more than about this many bytes.
constexpr uint64_t kMaxDeflateRatio = 1032;
// A bitmap file may carry a colour profile after its pixels, which its size counts.
constexpr uint64_t kMaxTrailingBytes = 16 * 1024 * 1024;

}  // namespace

// Sets the size the headers declare: the pixels where the file header puts
// them (or right after the headers and colour table), and what the file
// header counts after them, within reason.
int CheckBitmapStreamHeaders(const unsigned char* headers, uint64_t sourceBytes, uint64_t outputLimit, uint64_t& declaredSize)
{
    BITMAPFILEHEADER file;
    BITMAPINFOHEADER info;
    std::memcpy(&file, headers, sizeof file);
    std::memcpy(&info, headers + sizeof file, sizeof info);
    if (file.bfType != kBitmapSignature || info.biSize < sizeof info || info.biSize > 1024 || info.biWidth <= 0 ||
        info.biHeight == 0 || info.biBitCount == 0 || info.biBitCount > 32)
        return Z_DATA_ERROR;
    const uint64_t width = static_cast<uint64_t>(info.biWidth);
    const uint64_t height = info.biHeight < 0 ? uint64_t{0} - static_cast<uint64_t>(int64_t{info.biHeight})
                                              : static_cast<uint64_t>(info.biHeight);
    if (!ImageWithinLimits(width, height, info.biBitCount))
        return kCodecImageTooLarge;
    const uint64_t pixelBytes = DibStride(width, info.biBitCount) * height;
    const uint64_t tableBytes = info.biBitCount <= 8 ? 4ull << info.biBitCount : 12;
    const uint64_t pixelsAt = std::max<uint64_t>(sizeof file + info.biSize + tableBytes, file.bfOffBits);
    const uint64_t end = pixelsAt + pixelBytes;
    declaredSize = std::max<uint64_t>(end, std::min<uint64_t>(file.bfSize, end + kMaxTrailingBytes));
    if (declaredSize > outputLimit)
        return kCodecImageTooLarge;
    if (end / kMaxDeflateRatio > sourceBytes + 1024)
        return Z_DATA_ERROR;
    return Z_OK;
}

int InflateBitmapStart(const std::string& source, size_t wanted, BitmapStreamStart& start)
{
    start = BitmapStreamStart{};
    CFileException error;
    std::unique_ptr<FILE, int (*)(FILE*)> in(OpenReadStream(source, &error), &std::fclose);
    struct stat status { };
    if (!in || ::fstat(fileno(in.get()), &status) != 0 || fseeko(in.get(), kBmzHeaderSize, SEEK_SET) != 0) {
        start.reason = in ? std::strerror(errno) : error.GetReason();
        return kShortWrite;
    }
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return Z_MEM_ERROR;
    start.bytes.resize(std::max<size_t>(wanted, kBitmapHeaderBytes));
    z.next_out = start.bytes.data();
    z.avail_out = static_cast<uInt>(start.bytes.size());
    unsigned char chunk[16 * 1024];
    int result = Z_OK;
    while (result == Z_OK && z.avail_out > 0) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, in.get());
        if (got == 0) {
            if (std::ferror(in.get()))
                start.reason = std::strerror(errno);
            break;
        }
        z.next_in = chunk;
        z.avail_in = static_cast<uInt>(got);
        while (result == Z_OK && z.avail_in > 0 && z.avail_out > 0)
            result = inflate(&z, Z_NO_FLUSH);
    }
    start.bytes.resize(z.total_out);
    inflateEnd(&z);
    if (!start.reason.empty())
        return kShortWrite;
    if (result != Z_OK && result != Z_STREAM_END)
        return result == Z_NEED_DICT ? Z_DATA_ERROR : result;
    if (start.bytes.size() < kBitmapHeaderBytes)
        return Z_BUF_ERROR;  // the stream ends before the headers do
    const uint64_t sourceBytes = static_cast<uint64_t>(status.st_size) > kBmzHeaderSize
        ? static_cast<uint64_t>(status.st_size) - kBmzHeaderSize
        : 0;
    return CheckBitmapStreamHeaders(
        start.bytes.data(), sourceBytes, GetImageLimits().nMaxInflatedBytes, start.declaredSize);
}

CZlibFileCodec::CZlibFileCodec()
    : z_stream{}
    , m_nOutputLimit(GetImageLimits().nMaxInflatedBytes)
    , m_abIn(new unsigned char[kStep])
    , m_abOut(new unsigned char[kStep])
{
    zalloc = Z_NULL;
    zfree = Z_NULL;
    opaque = Z_NULL;
}

CZlibFileCodec::~CZlibFileCodec()
{
    CloseFiles();
}

int CZlibFileCodec::CompressFile(const std::string& source, const std::string& destination, int level)
{
    return Run(Direction::Compress, source, destination, level);
}

int CZlibFileCodec::DecompressFile(const std::string& source, const std::string& destination)
{
    return Run(Direction::Decompress, source, destination, 0);
}

int CZlibFileCodec::Run(Direction direction, const std::string& source, const std::string& destination, int level)
{
    const bool compress = direction == Direction::Compress;
    Reset();
    if (!OpenFiles(source, destination, compress ? 0 : kBmzHeaderSize)) {
        OnStatus("Zlib Error");
        Ui().ShowProgress(-1);
        return kShortWrite;
    }
    const int init = compress ? deflateInit(this, level) : inflateInit(this);
    if (init != Z_OK) {
        CloseFiles();
        m_nResult = init;
        OnStatus("Zlib Error");
        Ui().ShowProgress(-1);
        return init;
    }
    const bool writeFailed = Transform(direction);
    Report(ProgressPercent());
    if (compress)
        deflateEnd(this);
    else
        inflateEnd(this);
    return Conclude(writeFailed);
}

void CZlibFileCodec::Reset()
{
    m_nResult = 0;
    m_bUserAbort = 0;
    m_bReadFailed = false;
    m_nLastShownPercent = -1;
    m_lastPump = {};
    m_strFileError.clear();
    m_nHeaderBytes = 0;
    m_bHeadersChecked = false;
    m_nDeclaredSize = 0;
    next_in = Z_NULL;
    avail_in = 0;
    next_out = m_abOut.get();
    avail_out = static_cast<uInt>(kStep);
}

bool CZlibFileCodec::Transform(Direction direction)
{
    const bool compress = direction == Direction::Compress;
    auto step = [&](int flush) { return compress ? deflate(this, flush) : inflate(this, flush); };
    bool writeFailed = false;
    while (!m_bUserAbort) {
        if (ReadInput() == 0)
            break;
        m_nResult = step(Z_NO_FLUSH);
        if (m_bBitmapStream && !compress && !m_bHeadersChecked) {
            CaptureHeaders(kStep - avail_out);
            if (m_bHeadersChecked && (m_nResult == Z_OK || m_nResult == Z_STREAM_END)) {
                const int check = CheckBitmapHeaders();
                if (check != Z_OK) {
                    m_nResult = check;  // refused before anything is written
                    break;
                }
            }
        }
        // The output of a failing step is still written before leaving.
        if (WriteOutput() == 0 && m_nResult == kShortWrite)
            writeFailed = true;
        if (!compress && (total_out > m_nOutputLimit || (m_nDeclaredSize > 0 && total_out > m_nDeclaredSize)))
            m_nResult = Z_DATA_ERROR;
        if (m_nResult != Z_OK)
            break;
        Report(ProgressPercent());
    }
    // After a complete stream the first finishing call writes nothing and
    // keeps the end result; after a cut or damaged stream it gives the error.
    while (!m_bUserAbort && !writeFailed && !m_bReadFailed && m_nResult != Z_DATA_ERROR &&
        m_nResult != kCodecImageTooLarge) {
        m_nResult = step(Z_FINISH);
        if (WriteOutput() == 0) {
            writeFailed = m_nResult == kShortWrite;
            break;
        }
        if (m_nResult != Z_OK)
            break;
    }
    return writeFailed;
}

int CZlibFileCodec::Conclude(bool writeFailed)
{
    // Data still held by stdio reaches the file here; losing it is a short write.
    if (m_pOutFile && (std::fflush(m_pOutFile) != 0 || std::ferror(m_pOutFile))) {
        if (m_strFileError.empty())
            m_strFileError = std::strerror(errno);
        writeFailed = true;
    }
    CloseFiles();
    if (m_bReadFailed || writeFailed)
        m_nResult = kShortWrite;

    if (m_bUserAbort) {
        OnStatus("User Abort");
    } else if (m_nResult == Z_OK || m_nResult == Z_STREAM_END) {
        OnStatus("Success");
        m_nResult = Z_OK;
    } else {
        OnStatus("Zlib Error");
    }
    Ui().ShowProgress(-1);
    return m_bUserAbort ? kUserAbort : m_nResult;
}

bool CZlibFileCodec::OpenFiles(const std::string& source, const std::string& destination, uint64_t skip)
{
    CFileException error;
    m_pInFile = OpenReadStream(source, &error);
    if (!m_pInFile) {
        m_strFileError = error.GetReason();
        return false;
    }
    struct stat in { };
    struct stat out { };
    if (::fstat(fileno(m_pInFile), &in) != 0) {
        m_strFileError = std::strerror(errno);
        CloseFiles();
        return false;
    }
    // Opening the destination empties it: never when it is the source itself.
    if (::stat(destination.c_str(), &out) == 0 && out.st_dev == in.st_dev && out.st_ino == in.st_ino) {
        m_strFileError = "the destination is the source itself";
        CloseFiles();
        return false;
    }
    const int64_t length = static_cast<int64_t>(in.st_size);
    m_nInLength = length > static_cast<int64_t>(skip) ? length - static_cast<int64_t>(skip) : 0;
    if (skip > 0 && fseeko(m_pInFile, static_cast<off_t>(skip), SEEK_SET) != 0) {
        m_strFileError = std::strerror(errno);
        CloseFiles();
        return false;
    }
    m_pOutFile = std::fopen(destination.c_str(), "wb");
    if (!m_pOutFile) {
        m_strFileError = std::strerror(errno);
        CloseFiles();
        return false;
    }
    return true;
}

// Keeps the first bytes that come out, until both bitmap headers are there.
void CZlibFileCodec::CaptureHeaders(size_t filled)
{
    const size_t take = std::min(filled, sizeof m_abHeaders - m_nHeaderBytes);
    std::memcpy(m_abHeaders + m_nHeaderBytes, m_abOut.get(), take);
    m_nHeaderBytes += take;
    m_bHeadersChecked = m_nHeaderBytes == sizeof m_abHeaders;
}

int CZlibFileCodec::CheckBitmapHeaders()
{
    return CheckBitmapStreamHeaders(
        m_abHeaders, static_cast<uint64_t>(std::max<int64_t>(m_nInLength, 0)), m_nOutputLimit, m_nDeclaredSize);
}

void CZlibFileCodec::CloseFiles()
{
    if (m_pInFile)
        std::fclose(m_pInFile);
    if (m_pOutFile)
        std::fclose(m_pOutFile);
    m_pInFile = nullptr;
    m_pOutFile = nullptr;
}

int CZlibFileCodec::ProgressPercent() const
{
    if (m_nInLength <= 0)
        return 100;
    const uint64_t consumed = total_in;
    const uint64_t length = static_cast<uint64_t>(m_nInLength);
    // Large sources divide the length first, as the percentage always has.
    if (length > 10000000)
        return static_cast<int>(consumed / (length / 100));
    return static_cast<int>(consumed * 100 / length);
}

void CZlibFileCodec::OnProgress(int)
{
}

void CZlibFileCodec::OnStatus(const char*)
{
}

void CZlibFileCodec::Report(int percent)
{
    OnProgress(percent);
    if (percent != m_nLastShownPercent) {
        m_nLastShownPercent = percent;
        Ui().ShowProgress(percent);
    }
}

void CZlibFileCodec::PumpIfDue()
{
    const auto now = std::chrono::steady_clock::now();
    if (m_lastPump == std::chrono::steady_clock::time_point{} || now - m_lastPump >= kPumpInterval) {
        m_lastPump = now;
        Ui().PumpMessages();
    }
}

unsigned CZlibFileCodec::ReadInput()
{
    PumpIfDue();
    if (avail_in == 0) {
        next_in = m_abIn.get();
        size_t n = std::fread(m_abIn.get(), 1, kStep, m_pInFile);
        if (n < kStep && std::ferror(m_pInFile)) {
            m_strFileError = std::strerror(errno);
            m_bReadFailed = true;
            n = 0;
        }
        avail_in = static_cast<uInt>(n);
    }
    return avail_in;
}

unsigned CZlibFileCodec::WriteOutput()
{
    PumpIfDue();
    const size_t filled = kStep - avail_out;
    if (filled == 0)
        return 0;
    if (std::fwrite(m_abOut.get(), 1, filled, m_pOutFile) != filled) {
        if (m_strFileError.empty())
            m_strFileError = std::strerror(errno);
        m_nResult = kShortWrite;
        return 0;
    }
    next_out = m_abOut.get();
    avail_out = static_cast<uInt>(kStep);
    return static_cast<unsigned>(filled);
}
