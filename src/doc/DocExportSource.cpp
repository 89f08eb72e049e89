#include "doc/DocExportSource.h"

#include "doc/TavrelDoc.h"
#include "image/DibImage.h"

CDocExportSource::CDocExportSource(const CTavrelDoc& doc)
    : m_doc(doc)
    , m_bModel(doc.GetFileKind() == FileKind::Nif)
    , m_pShown(doc.GetActiveImage())
{
    if (m_pShown && !m_pShown->GetBitmapInfo())
        m_pShown = nullptr;
    m_nCount = m_bModel ? static_cast<uint32_t>(doc.GetRawImageOffsets().size()) : (m_pShown ? 1 : 0);
}

const CDibImage* CDocExportSource::Image(uint32_t index, std::unique_ptr<CDibImage>& owned) const
{
    if (!m_bModel || (m_pShown && index == m_doc.GetCurrentIndex()))
        return m_pShown;
    owned = std::make_unique<CDibImage>(m_doc.GetFilePath(), FileKind::Nif, m_doc.GetRawImageOffsets()[index]);
    return owned.get();
}
