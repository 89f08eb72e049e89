#pragma once
// File-to-file zlib compression and decompression in constant memory, letting
// the user interface handle its events while a large file is worked on.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>

class CZlibFileCodec : public z_stream {
public:
    CZlibFileCodec();
    virtual ~CZlibFileCodec();
    CZlibFileCodec(const CZlibFileCodec&) = delete;
    CZlibFileCodec& operator=(const CZlibFileCodec&) = delete;

    // Deflates the whole source file into the destination as one bare zlib stream.
    // 0 on success; -1 when a file cannot be opened or a write falls short;
    // -7 when stopped by m_bUserAbort; otherwise the zlib result that ended the work.
    int CompressFile(const std::string& source, const std::string& destination, int level);
    // Inflates the zlib stream that starts at byte 40 of the source (a ".bmz" file).
    int DecompressFile(const std::string& source, const std::string& destination);

    // Percentage of the source consumed so far.
    int ProgressPercent() const;

    virtual void OnProgress(int percent);
    virtual void OnStatus(const char* text);

    int m_bUserAbort = 0;
    FILE* m_pInFile = nullptr;
    FILE* m_pOutFile = nullptr;
    int64_t m_nInLength = 0;
    int m_nResult = 0;

    static constexpr size_t kStep = 64 * 1024;

protected:
    unsigned ReadInput();
    unsigned WriteOutput();

private:
    unsigned char m_abIn[kStep];
    unsigned char m_abOut[kStep];
};

// Size of the header in front of the zlib stream of a ".bmz" file.
inline constexpr uint64_t kBmzHeaderSize = 40;
