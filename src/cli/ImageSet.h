#pragma once
// The images of one file, opened through the document exactly as the Open
// command opens it, numbered as the window numbers them.
#include <cstdint>
#include <string>
#include <vector>

#include "doc/TavrelDoc.h"

struct ImageEntry {
    uint32_t nIndex = 0;
    uint64_t nOffset = 0;           // texture offset in a model file; 0 for the other kinds
    CDibImage* pImage = nullptr;    // null when this image could not be read
};

class CImageSet {
public:
    CImageSet() = default;
    CImageSet(const CImageSet&) = delete;
    CImageSet& operator=(const CImageSet&) = delete;

    // Loads the file; the document shows its own messages for what fails.
    LoadResult Open(const std::string& path);

    // "nif", "bmz", "png" or "bmp"; empty when nothing was opened.
    const char* KindName() const;
    // Every image the file holds, readable or not, in index order.
    const std::vector<ImageEntry>& Entries() const { return m_entries; }
    // True when at least one image could be read.
    bool AnyRead() const;
    // True when at least one image was found and every one of them was read.
    bool AllRead() const;

private:
    CTavrelDoc m_doc;
    std::vector<ImageEntry> m_entries;
};

class CCliUiServices;

// Opens the file into the set; false, after a message, when not one image could be read.
bool OpenImages(CImageSet& set, const std::string& path, CCliUiServices& ui);
