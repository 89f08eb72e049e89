#pragma once
// The open document's images as the export engine takes them: a model file's
// textures, each read when the export comes to it (the shown one, when held,
// as it is), or the one image of any other kind.
#include <cstdint>
#include <memory>

#include "doc/ExportImages.h"

class CTavrelDoc;

class CDocExportSource final : public IExportSource {
public:
    explicit CDocExportSource(const CTavrelDoc& doc);
    uint32_t Count() const override { return m_nCount; }
    // Safe on several threads: the document is only read, each texture read is
    // the call's own, and a reader's refusal goes to the image's report.
    const CDibImage* Image(uint32_t index, std::unique_ptr<CDibImage>& owned) const override;

private:
    const CTavrelDoc& m_doc;
    bool m_bModel;
    uint32_t m_nCount;
    const CDibImage* m_pShown;  // the shown record when it holds an image
};
