#include "cli/ImageSet.h"

#include "cli/CliUiServices.h"

namespace {

// A slot counts only when its record holds an image.
CDibImage* Readable(const std::unique_ptr<CDibImage>& record)
{
    return record && record->GetBitmapInfo() ? record.get() : nullptr;
}

}  // namespace

void CImageSet::Open(const std::string& path, bool readTextures)
{
    m_entries.clear();
    m_doc.SetReadTexturesOnDemand(!readTextures);
    m_doc.LoadFile(path);
    m_bOnDemand = !readTextures && m_doc.m_nFileKind == kFileKindNif;
    if (m_bOnDemand) {
        for (size_t i = 0; i < m_doc.m_rawImageOffsets.size(); ++i)
            m_entries.push_back({static_cast<uint32_t>(i), m_doc.m_rawImageOffsets[i], nullptr});
        return;
    }
    switch (m_doc.m_nFileKind) {
    case kFileKindNif:
        for (size_t i = 0; i < m_doc.m_pRawImages.size() && i < m_doc.m_rawImageOffsets.size(); ++i)
            m_entries.push_back({static_cast<uint32_t>(i), m_doc.m_rawImageOffsets[i], Readable(m_doc.m_pRawImages[i])});
        break;
    case kFileKindBmp: m_entries.push_back({0, 0, Readable(m_doc.m_pBmpImage)}); break;
    case kFileKindBmz: m_entries.push_back({0, 0, Readable(m_doc.m_pBmzImage)}); break;
    case kFileKindPng: m_entries.push_back({0, 0, Readable(m_doc.m_pPngImage)}); break;
    default: break;
    }
}

const char* CImageSet::KindName() const
{
    switch (m_doc.m_nFileKind) {
    case kFileKindNif: return "nif";
    case kFileKindBmz: return "bmz";
    case kFileKindPng: return "png";
    case kFileKindBmp: return "bmp";
    default: return "";
    }
}

bool CImageSet::TexturesOnDemand() const
{
    return m_bOnDemand;
}

std::unique_ptr<CDibImage> CImageSet::ReadTexture(const ImageEntry& entry) const
{
    auto image = std::make_unique<CDibImage>(m_doc.m_strFilePath, kFileKindNif, std::string(), entry.nOffset);
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

bool CImageSet::AllRead() const
{
    if (m_entries.empty())
        return false;
    for (const ImageEntry& entry : m_entries) {
        if (!entry.pImage)
            return false;
    }
    return true;
}

bool OpenImages(CImageSet& set, const std::string& path, CCliUiServices& ui, bool readTextures)
{
    const int messagesBefore = ui.MessageCount();
    ui.SetProgressLabel("Reading " + path);
    set.Open(path, readTextures);
    if (set.AnyRead() || (set.TexturesOnDemand() && !set.Entries().empty()))
        return true;
    // The document has said why, except where the window would show nothing at all.
    if (ui.MessageCount() == messagesBefore)
        ui.Report("No image could be read from " + path);
    return false;
}
