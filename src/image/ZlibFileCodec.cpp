#include "image/ZlibFileCodec.h"

#include <sys/stat.h>

#include "platform/UiServices.h"

namespace {

constexpr int kShortWrite = -1;
constexpr int kUserAbort = -7;

}  // namespace

CZlibFileCodec::CZlibFileCodec()
    : z_stream{},
      m_abIn(new unsigned char[kStep]),
      m_abOut(new unsigned char[kStep])
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
    if (compress)
        deflateInit(this, level);
    else
        inflateInit(this);
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
        // The output of a failing step is still written before leaving.
        if (WriteOutput() == 0 && m_nResult == kShortWrite)
            writeFailed = true;
        if (!compress && total_out > m_nOutputLimit)
            m_nResult = Z_DATA_ERROR;
        if (m_nResult != Z_OK)
            break;
        Report(ProgressPercent());
    }
    // After a complete stream the first finishing call writes nothing and
    // keeps the end result; after a cut or damaged stream it gives the error.
    while (!m_bUserAbort && !writeFailed && !m_bReadFailed && m_nResult != Z_DATA_ERROR) {
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
    if (m_pOutFile && (std::fflush(m_pOutFile) != 0 || std::ferror(m_pOutFile)))
        writeFailed = true;
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
    m_pInFile = std::fopen(source.c_str(), "rb");
    if (!m_pInFile)
        return false;
    struct stat in {};
    struct stat out {};
    if (::fstat(fileno(m_pInFile), &in) != 0 || !S_ISREG(in.st_mode)) {
        CloseFiles();
        return false;
    }
    // Opening the destination empties it: never when it is the source itself.
    if (::stat(destination.c_str(), &out) == 0 && out.st_dev == in.st_dev && out.st_ino == in.st_ino) {
        CloseFiles();
        return false;
    }
    const int64_t length = static_cast<int64_t>(in.st_size);
    m_nInLength = length > static_cast<int64_t>(skip) ? length - static_cast<int64_t>(skip) : 0;
    if (skip > 0 && fseeko(m_pInFile, static_cast<off_t>(skip), SEEK_SET) != 0) {
        CloseFiles();
        return false;
    }
    m_pOutFile = std::fopen(destination.c_str(), "wb");
    if (!m_pOutFile) {
        CloseFiles();
        return false;
    }
    return true;
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

void CZlibFileCodec::OnProgress(int) {}

void CZlibFileCodec::OnStatus(const char*) {}

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
        m_nResult = kShortWrite;
        return 0;
    }
    next_out = m_abOut.get();
    avail_out = static_cast<uInt>(kStep);
    return static_cast<unsigned>(filled);
}
