#include "cli/ImageSet.h"

#include "cli/CliUiServices.h"
#include "doc/ShownRead.h"
#include "platform/UiServices.h"

namespace {

// A record counts only when it holds an image.
CDibImage* Readable(CDibImage* record)
{
    return record && record->GetBitmapInfo() ? record : nullptr;
}

}  // namespace

LoadResult CImageSet::Open(const std::string& path, bool readTextures)
{
    m_entries.clear();
    m_textures.clear();
    // The document only finds a model file's textures; the set reads them
    // itself when all are wanted, in file order, each reader saying why it fails.
    m_doc.SetReadTexturesOnDemand(true);
    m_doc.SetLinkPolicy(CTavrelDoc::LinkPolicy::Follow);  // reading follows links; only edits need --follow-link
    LoadResult result = m_doc.LoadFile(path);
    const std::vector<uint64_t>& offsets = m_doc.GetRawImageOffsets();
    const bool model = m_doc.GetFileKind() == FileKind::Nif;
    m_bOnDemand = !readTextures && model;
    if (model) {
        for (size_t i = 0; i < offsets.size(); ++i)
            m_entries.push_back({static_cast<uint32_t>(i), offsets[i], nullptr});
        if (m_bOnDemand)
            return result;
        int shown = -1;
        for (ImageEntry& entry : m_entries) {
            m_textures.push_back(ReadTexture(entry));
            entry.pImage = m_textures.back().get();
            const int percent = static_cast<int>((uint64_t{entry.nIndex} + 1) * 100 / m_entries.size());
            if (percent != shown)
                Ui().ShowProgress(shown = percent);
        }
        Ui().ShowProgress(-1);
        if (!AnyRead() && !m_entries.empty())
            result = LoadResult::kFailedAndReported;  // each reader has said why
        return result;
    }
    for (uint32_t i = 0; i < m_doc.ImageCount(); ++i)
        m_entries.push_back({i, 0, Readable(m_doc.ImageAt(i))});
    return result;
}

const char* CImageSet::KindName() const
{
    return FileKindExtension(m_doc.GetFileKind());
}

bool CImageSet::TexturesOnDemand() const
{
    return m_bOnDemand;
}

std::unique_ptr<CDibImage> CImageSet::ReadTexture(const ImageEntry& entry) const
{
    std::unique_ptr<CDibImage> image = ReadShown(m_doc.GetFilePath(), FileKind::Nif, entry.nOffset);
    if (!image->GetBitmapInfo())
        image.reset();
    return image;
}

bool CImageSet::AnyRead() const
{
    for (const ImageEntry& entry : m_entries) {
        if (entry.pImage)
            return true;
    }
    return false;
}

bool OpenImages(CImageSet& set, const std::string& path, CCliUiServices& ui, bool readTextures)
{
    ui.SetProgressLabel("Reading " + path);
    const LoadResult result = set.Open(path, readTextures);
    if (set.AnyRead() || (set.TexturesOnDemand() && !set.Entries().empty()))
        return true;
    // The document has said why, except where the window would show nothing at all.
    if (result != LoadResult::kFailedAndReported)
        ui.Report("No image could be read from " + path);
    return false;
}
