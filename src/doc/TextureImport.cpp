#include "doc/TextureImport.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>

#include "doc/DocTexts.h"
#include "doc/EditOperations.h"
#include "doc/PathUtil.h"
#include "doc/Progress.h"
#include "image/DibImage.h"
#include "image/DibRowConverter.h"
#include "image/PixelOrder.h"
#include "image/RawTexture.h"
#include "nif/TextureScanner.h"
#include "nif/TextureWriter.h"
#include "platform/Backup.h"
#include "platform/CoreError.h"
#include "platform/File.h"
#include "platform/Format.h"
#include "platform/UiServices.h"

namespace {

constexpr size_t kChunkPixels = 256 * 1024;

// Thrown out of the write when the progress says stop; the new version is then discarded.
struct ImportCancelled { };

FileKind KindOfExtension(const std::string& upperExt)
{
    if (upperExt == "PNG")
        return FileKind::Png;
    if (upperExt == "BMP")
        return FileKind::Bmp;
    return FileKind::Tga;
}

// The regular files of a folder, sorted by name.
std::vector<std::string> FilesIn(const std::string& folder, std::string& error)
{
    std::vector<std::string> names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) {
        error = FormatString("Cannot read the folder %s: %s.", folder.c_str(), std::strerror(errno));
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        struct stat st { };
        const std::string path = folder + "/" + entry->d_name;
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.emplace_back(entry->d_name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

using Texture = ScannedTexture;

// True when the block's stored pixels equal the given ones; with keepAlpha,
// `pixels` holds three bytes a pixel and the block four, and alpha is not compared.
bool BlockEquals(
    CFile& file, uint64_t start, const uint8_t* pixels, uint64_t pixelCount, bool keepAlpha, uint32_t bytesPerPixel)
{
    std::vector<uint8_t> chunk(kChunkPixels * bytesPerPixel);
    file.Seek(static_cast<int64_t>(start), CFile::begin);
    for (uint64_t done = 0; done < pixelCount;) {
        const uint64_t count = std::min<uint64_t>(kChunkPixels, pixelCount - done);
        const size_t bytes = static_cast<size_t>(count * bytesPerPixel);
        if (file.Read(chunk.data(), bytes) != bytes)
            return false;
        if (keepAlpha) {
            for (uint64_t p = 0; p < count; ++p) {
                if (std::memcmp(chunk.data() + p * 4, pixels + (done + p) * 3, 3) != 0)
                    return false;
            }
        } else if (std::memcmp(chunk.data(), pixels + done * bytesPerPixel, bytes) != 0) {
            return false;
        }
        done += count;
    }
    return true;
}

// The converted pixels of every accepted file wait in an unnamed scratch file,
// so that memory holds one texture at a time and each file is decoded once.
class CScratch {
public:
    // The file is made at the first Append: a dry run writes none.
    CScratch() = default;
    ~CScratch()
    {
        if (m_file)
            std::fclose(m_file);
    }
    CScratch(const CScratch&) = delete;
    CScratch& operator=(const CScratch&) = delete;

    uint64_t Append(const std::vector<uint8_t>& bytes)
    {
        if (!m_file)
            m_file = std::tmpfile();
        if (!m_file)
            throw CFileException::FromErrno(errno, "a scratch file");
        const uint64_t at = m_nSize;
        if (std::fseek(m_file, static_cast<long>(at), SEEK_SET) != 0 ||
            std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size())
            throw CFileException::FromErrno(errno, "a scratch file");
        m_nSize += bytes.size();
        return at;
    }
    void Read(uint64_t at, uint8_t* target, size_t bytes)
    {
        if (std::fflush(m_file) != 0 || std::fseek(m_file, static_cast<long>(at), SEEK_SET) != 0 ||
            std::fread(target, 1, bytes, m_file) != bytes)
            throw CFileException(CFileException::endOfFile, errno, "a scratch file");
    }

private:
    std::FILE* m_file = nullptr;
    uint64_t m_nSize = 0;
};

// One accepted replacement.
struct Planned {
    size_t nLine = 0;
    uint32_t nIndex = 0;
    RawTextureShape replacement;
    bool bKeepAlpha = false;  // a 24-bit file over an RGBA texture of its size
    uint64_t nScratchAt = 0;
    uint64_t nScratchBytes = 0;
};

class CImport {
public:
    CImport(const std::string& modelPath, const std::string& folder, const ImportOptions& options)
        : m_strModel(modelPath)
        , m_strFolder(folder)
        , m_options(options)
    {
    }

    ImportReport Run();
    // What the import found before it stopped.
    ImportReport& Report() { return m_report; }

private:
    void CollectLines(const std::vector<std::string>& names);
    void Check(ImportLine& line, size_t lineIndex, CFile& model);
    void Refuse(ImportLine& line, const std::string& reason)
    {
        line.status = ImportStatus::Refused;
        line.strReason = reason;
    }
    // True when the block at `start` holds the record's pixels (plain BGR(A)
    // rows of the texture's size); with keepAlpha the record has 24 bits and
    // the block 32, whose alpha is not compared.
    bool BlockMatches(CFile& file, uint64_t start, const CDibImage& source, bool keepAlpha, uint32_t blockBytes);
    // Shows how far the import has come; true when it is to stop.
    bool Step(int percent)
    {
        Ui().ShowProgress(percent);
        if (!m_options.pProgress)
            return false;
        m_options.pProgress->Advance(static_cast<uint64_t>(percent), 100);
        return m_options.pProgress->Cancelled();
    }
    // Nothing is written: says so of every file that would have been.
    void NothingWritten()
    {
        for (ImportLine& line : m_report.lines) {
            if (line.status == ImportStatus::Replaced)
                line.status = ImportStatus::WouldBeReplaced;
        }
    }
    void Write();
    void WritePixels(const Planned& planned, CFile& in, uint64_t oldPixels, CSafeFileWriter& out);
    void VerifyReadBack();

    std::string m_strModel;
    std::string m_strFolder;
    ImportOptions m_options;
    ImportReport m_report;
    std::vector<Texture> m_textures;
    uint64_t m_nLength = 0;
    std::vector<Planned> m_planned;
    CScratch m_scratch;
    // Reused by every comparison: the file's rows, and one record row in the block's byte order.
    std::vector<uint8_t> m_fileRows;
    std::vector<uint8_t> m_row;
};

void CImport::CollectLines(const std::vector<std::string>& names)
{
    const std::string stem = StemPart(m_strModel);
    std::vector<ImportLine> named;
    std::vector<ImportLine> ignored;
    for (const std::string& name : names) {
        ImportLine line;
        line.strFileName = name;
        line.nIndex = ImportIndexFromName(name, stem);
        (line.nIndex ? named : ignored).push_back(line);
    }
    std::stable_sort(
        named.begin(), named.end(), [](const ImportLine& a, const ImportLine& b) { return *a.nIndex < *b.nIndex; });
    // Two files for one texture: which one is meant cannot be told.
    for (size_t i = 0; i < named.size(); ++i) {
        const bool twin = (i > 0 && named[i - 1].nIndex == named[i].nIndex) ||
            (i + 1 < named.size() && named[i + 1].nIndex == named[i].nIndex);
        if (twin)
            Refuse(named[i], FormatString("more than one file for image %u", *named[i].nIndex));
    }
    m_report.lines = std::move(named);
    m_report.lines.insert(m_report.lines.end(), ignored.begin(), ignored.end());
}

void CImport::Check(ImportLine& line, size_t lineIndex, CFile& model)
{
    const uint32_t index = *line.nIndex;
    if (index >= m_textures.size()) {
        Refuse(line, FormatString("there is no image %u: the file holds %zu images", index, m_textures.size()));
        return;
    }
    const Texture& texture = m_textures[index];
    if (!texture.pixelBytes || texture.shape.width == 0 || texture.shape.height == 0) {
        Refuse(line, FormatString("image %u of the file cannot be read", index));
        return;
    }
    const std::string path = m_strFolder + "/" + line.strFileName;
    const FileKind kind = KindOfExtension(UpperExtension(line.strFileName));
    // A PNG's alpha is kept for an RGBA texture only: over an RGB one it would ask for a depth change.
    std::unique_ptr<CDibImage> read;
    try {
        read = std::make_unique<CDibImage>(path, kind, texture.shape.BytesPerPixel() == 4 ? PngAlpha::Keep : PngAlpha::Drop);
    } catch (const CException& e) {
        std::string text = e.GetErrorMessage();
        std::replace(text.begin(), text.end(), '\n', ' ');
        Refuse(line, text);
        return;
    }
    CDibImage& source = *read;
    CDibRowConverter::MakePlainBgra(source);
    const ReplacementShape shape = ShapeOfReplacement(source, kind == FileKind::Tga);
    const ReplacementCheck check = CheckReplacement(texture.shape, shape, AlphaRule::KeepTextureAlpha);
    if (check.Refused() || (check.verdict == Verdict::ConfirmDepth && !m_options.bAcceptDepthChange)) {
        Refuse(line, check.Text(texture.shape, shape));
        line.bDepthChange = check.verdict == Verdict::ConfirmDepth;
        return;
    }
    const bool keepAlpha = check.bKeepAlpha;
    const uint32_t width = shape.width, height = shape.height;
    const bool sameSize = width == texture.shape.width && height == texture.shape.height;
    const unsigned bits = shape.bitCount, textureBits = texture.shape.BytesPerPixel() == 3 ? 24 : 32;
    if (keepAlpha || (sameSize && bits == textureBits)) {
        if (BlockMatches(model, texture.offset + kRawFieldBytes, source, keepAlpha,
                static_cast<uint32_t>(texture.shape.BytesPerPixel()))) {
            line.status = ImportStatus::Unchanged;
            return;
        }
    }
    Planned planned;
    planned.nLine = lineIndex;
    planned.nIndex = index;
    planned.bKeepAlpha = keepAlpha;
    planned.replacement = check.written;
    if (!m_options.bDryRun) {
        const std::vector<uint8_t> pixels = BlockPixelsOf(source);
        planned.nScratchAt = m_scratch.Append(pixels);
        planned.nScratchBytes = pixels.size();
    }
    m_planned.push_back(planned);
    line.status = ImportStatus::Replaced;
}

bool CImport::BlockMatches(CFile& file, uint64_t start, const CDibImage& source, bool keepAlpha, uint32_t blockBytes)
{
    const uint64_t width = static_cast<uint64_t>(source.GetWidth());
    const bool topDown = source.GetHeight() < 0;
    const uint64_t height = static_cast<uint64_t>(std::abs(int64_t{source.GetHeight()}));
    const uint32_t sourceBytes = source.GetBitCount() / 8;
    const uint64_t fileRow = width * blockBytes;
    const uint64_t sourceRow = width * sourceBytes;
    if (fileRow == 0 || height == 0)
        return true;
    const uint64_t rowsPerChunk = std::max<uint64_t>(1, kChunkPixels * 4 / fileRow);
    m_fileRows.resize(static_cast<size_t>(rowsPerChunk * fileRow));
    m_row.resize(static_cast<size_t>(sourceRow));
    file.Seek(static_cast<int64_t>(start), CFile::begin);
    for (uint64_t row = 0; row < height;) {
        const uint64_t rows = std::min(rowsPerChunk, height - row);
        const size_t bytes = static_cast<size_t>(rows * fileRow);
        if (file.Read(m_fileRows.data(), bytes) != bytes)
            return false;
        for (uint64_t i = 0; i < rows; ++i, ++row) {
            const uint64_t at = topDown ? row : height - 1 - row;
            CopySwappingRedBlue(source.GetBits() + at * source.GetStride(), m_row.data(), width, sourceBytes);
            const uint8_t* stored = m_fileRows.data() + i * fileRow;
            if (!keepAlpha) {
                if (std::memcmp(stored, m_row.data(), static_cast<size_t>(fileRow)) != 0)
                    return false;
                continue;
            }
            for (uint64_t p = 0; p < width; ++p) {
                if (std::memcmp(stored + p * 4, m_row.data() + p * 3, 3) != 0)
                    return false;
            }
        }
    }
    return true;
}

void CImport::WritePixels(const Planned& planned, CFile& in, uint64_t oldPixels, CSafeFileWriter& out)
{
    const uint32_t sourceBytes = planned.bKeepAlpha ? 3 : static_cast<uint32_t>(planned.replacement.BytesPerPixel());
    std::vector<uint8_t> source(kChunkPixels * sourceBytes);
    std::vector<uint8_t> merged(kChunkPixels * 4);
    const uint64_t pixelCount = planned.replacement.PixelCount();
    in.Seek(static_cast<int64_t>(oldPixels), CFile::begin);
    for (uint64_t done = 0; done < pixelCount;) {
        const uint64_t count = std::min<uint64_t>(kChunkPixels, pixelCount - done);
        m_scratch.Read(
            planned.nScratchAt + done * sourceBytes, source.data(), static_cast<size_t>(count * sourceBytes));
        if (!planned.bKeepAlpha) {
            out.Write(source.data(), static_cast<size_t>(count * sourceBytes));
        } else {
            if (in.Read(merged.data(), static_cast<size_t>(count * 4)) != count * 4)
                throw CFileException(CFileException::endOfFile, 0, in.GetFilePath());
            for (uint64_t p = 0; p < count; ++p)
                std::memcpy(merged.data() + p * 4, source.data() + p * 3, 3);
            out.Write(merged.data(), static_cast<size_t>(count * 4));
        }
        done += count;
    }
}

void CImport::Write()
{
    std::vector<BlockRewrite> blocks;
    for (const Planned& planned : m_planned) {
        const Texture& texture = m_textures[planned.nIndex];
        blocks.push_back(BlockRewrite{texture.offset, texture.shape, planned.replacement});
    }
    try {
        RewriteRawImageBlocks(
            m_strModel, blocks,
            [this](size_t i, CFile& in, uint64_t oldPixels, CSafeFileWriter& out) {
                if (Step(static_cast<int>(50 + i * 50 / m_planned.size())))
                    throw ImportCancelled();
                WritePixels(m_planned[i], in, oldPixels, out);
            },
            [this] {
                if (Step(50))
                    throw ImportCancelled();
                if (m_options.bBackup)
                    m_report.strBackupPath = MakeBackup(m_strModel);
                if (m_options.beforeWrite)
                    m_options.beforeWrite();
            });
    } catch (const ImportCancelled&) {
        // The backup is a copy of the file as it stays.
        if (!m_report.strBackupPath.empty())
            DeleteFile(m_report.strBackupPath);
        m_report.strBackupPath.clear();
        m_report.bCancelled = true;
        NothingWritten();
        return;
    } catch (const CCoreError& e) {
        m_report.strError = e.GetErrorMessage();
        return;
    } catch (const CFileException& e) {
        m_report.strError = FormatString(kWriteError, m_strModel.c_str()) + "\n" + e.GetReason();
        return;
    }
    m_report.bWritten = true;
    VerifyReadBack();
}

// What was written is read back from the file as it now is.
void CImport::VerifyReadBack()
{
    uint64_t length = 0;
    std::vector<Texture> now;
    CFile file;
    CFileException error;
    try {
        now = ScanModelTextures(m_strModel, length);
        if (!file.Open(m_strModel, CFile::modeRead, &error))
            throw error;
    } catch (const CFileException& e) {
        m_report.strError = FormatString(kImportReadBackFailed, m_strModel.c_str()) + "\n" + e.GetReason();
        return;
    }
    if (now.size() != m_textures.size()) {
        m_report.strError = FormatString(kImportCountChanged, m_strModel.c_str(), m_textures.size());
        return;
    }
    for (const Planned& planned : m_planned) {
        const Texture& texture = now[planned.nIndex];
        std::vector<uint8_t> expected(static_cast<size_t>(planned.nScratchBytes));
        m_scratch.Read(planned.nScratchAt, expected.data(), expected.size());
        const bool same = texture.shape == planned.replacement && texture.pixelBytes &&
            BlockEquals(file, texture.offset + kRawFieldBytes, expected.data(), planned.replacement.PixelCount(),
                planned.bKeepAlpha, static_cast<uint32_t>(planned.replacement.BytesPerPixel()));
        if (!same) {
            m_report.strError = FormatString(
                kImportDiffers, planned.nIndex, m_strModel.c_str(), m_report.lines[planned.nLine].strFileName.c_str());
            return;
        }
    }
}

ImportReport CImport::Run()
{
    std::string error;
    const std::vector<std::string> names = FilesIn(m_strFolder, error);
    if (!error.empty()) {
        m_report.strError = error;
        return m_report;
    }
    m_textures = ScanModelTextures(m_strModel, m_nLength);
    if (m_textures.empty()) {
        m_report.strError = FormatString("%s holds no textures.", m_strModel.c_str());
        return m_report;
    }
    CollectLines(names);
    {
        CFile model;
        CFileException openError;
        if (!model.Open(m_strModel, CFile::modeRead, &openError))
            throw openError;
        for (size_t i = 0; i < m_report.lines.size(); ++i) {
            ImportLine& line = m_report.lines[i];
            if (Step(static_cast<int>(i * 50 / m_report.lines.size()))) {
                m_report.bCancelled = true;
                break;
            }
            if (line.nIndex && line.status != ImportStatus::Refused)
                Check(line, i, model);
        }
    }
    const bool refused = std::any_of(m_report.lines.begin(), m_report.lines.end(),
        [](const ImportLine& line) { return line.status == ImportStatus::Refused; });
    if (refused || m_options.bDryRun || m_report.bCancelled)
        NothingWritten();
    if (refused)
        m_report.strError = kImportNothingWritten;
    else if (!m_options.bDryRun && !m_planned.empty() && !m_report.bCancelled)
        Write();
    Ui().ShowProgress(-1);
    return m_report;
}

}  // namespace

std::optional<uint32_t> ImportIndexFromName(const std::string& fileName, const std::string& stem)
{
    const std::string ext = UpperExtension(fileName);
    if (ext != "PNG" && ext != "BMP" && ext != "TGA")
        return std::nullopt;
    const size_t dot = fileName.size() - ext.size() - 1;
    if (fileName.size() < stem.size() + 3 || fileName.compare(0, stem.size(), stem) != 0 ||
        fileName[stem.size()] != '-')
        return std::nullopt;
    const std::string digits = fileName.substr(stem.size() + 1, dot - stem.size() - 1);
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return static_cast<uint32_t>(std::stoul(digits));
}

std::string FormatImportLine(const ImportLine& line)
{
    const std::string index = line.nIndex ? std::to_string(*line.nIndex) : std::string("-");
    const char* status = "ignored";
    switch (line.status) {
    case ImportStatus::Replaced: status = "replaced"; break;
    case ImportStatus::WouldBeReplaced: status = "would be replaced"; break;
    case ImportStatus::Unchanged: status = "unchanged"; break;
    case ImportStatus::Ignored: status = "ignored"; break;
    case ImportStatus::Refused: return index + " " + line.strFileName + " refused: " + line.strReason;
    }
    return index + " " + line.strFileName + " " + status;
}

ImportReport ImportTextures(const std::string& modelPath, const std::string& folder, const ImportOptions& options)
{
    CImport import(modelPath, folder, options);
    try {
        return import.Run();
    } catch (const CException& e) {
        import.Report().strError = e.GetErrorMessage();
    } catch (const std::bad_alloc&) {
        import.Report().strError = "There is not enough memory for the import.";
    }
    Ui().ShowProgress(-1);
    return import.Report();
}

ImportRefusals ClassifyRefusals(const std::vector<ImportLine>& lines)
{
    ImportRefusals found = ImportRefusals::None;
    for (const ImportLine& line : lines) {
        if (line.status != ImportStatus::Refused)
            continue;
        if (!line.bDepthChange)
            return ImportRefusals::Other;
        found = ImportRefusals::OnlyDepth;
    }
    return found;
}
