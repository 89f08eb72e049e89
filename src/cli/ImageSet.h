#pragma once
// The images of one file, opened through the document exactly as the Open
// command opens it, numbered as the window numbers them.
#include <cstdint>
#include <string>
#include <vector>

#include "doc/TavrelDoc.h"

struct ImageEntry {
    uint32_t nIndex = 0;
    uint64_t nOffset = 0;  // texture offset in a model file; 0 for the other kinds
    CDibImage* pImage = nullptr;  // null when this image could not be read
};

class CImageSet {
public:
    CImageSet() = default;
    CImageSet(const CImageSet&) = delete;
    CImageSet& operator=(const CImageSet&) = delete;

    // Loads the file; the document shows its own messages for what fails.
    // Without readTextures, a model file's textures are only found: entries
    // then hold no record, and ReadTexture reads one when it is wanted.
    LoadResult Open(const std::string& path, bool readTextures = true);
    // True when the textures of a model file were found but not read.
    bool TexturesOnDemand() const;
    // The model file the textures are read from (the linked one, when followed).
    const std::string& TextureFile() const { return m_doc.GetFilePath(); }
    // Reads a model file's texture into a new record; null after its reader's
    // message was shown (on the calling thread's services).
    std::unique_ptr<CDibImage> ReadTexture(const ImageEntry& entry) const;

    // "nif", "bmz", "png", "bmp" or "tga"; empty when nothing was opened.
    const char* KindName() const;
    // Every image the file holds, readable or not, in index order.
    const std::vector<ImageEntry>& Entries() const { return m_entries; }
    // True when at least one image could be read.
    bool AnyRead() const;

private:
    CTavrelDoc m_doc;
    bool m_bOnDemand = false;
    std::vector<ImageEntry> m_entries;
    std::vector<std::unique_ptr<CDibImage>> m_textures;  // a model file's, when all were read
};

class CCliUiServices;

// Opens the file into the set; false, after a message, when not one image could be read
// (or, without readTextures, when a model file holds no texture).
bool OpenImages(CImageSet& set, const std::string& path, CCliUiServices& ui, bool readTextures = true);
