#pragma once
// The editing operations on a file, with explicit inputs: they ask nothing and
// show nothing, return what they did, and throw CCoreError (the text and the
// system's reason) when they did nothing. A model file is never loaded whole:
// the texture blocks are found by a scan, only the changed texture's fields are
// read, and the rest of the file streams through the block rewriter.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/DibImage.h"
#include "image/RawTexture.h"

class CDibImage;

// ---- The acceptance verdict: one rule for Replace, Import and later edits.

// What the verdict needs of a replacement image.
struct ReplacementShape {
    uint32_t width = 0;
    uint32_t height = 0;
    unsigned bitCount = 0;
    bool bTarga = false;  // a Targa file must match the texture's size
};
ReplacementShape ShapeOfReplacement(const CDibImage& image, bool bTarga);

// What becomes of a 24-bit image for an RGBA texture of its size: Replace
// asks about the change of depth; Import keeps the texture's own alpha.
enum class AlphaRule { AskOnDepthChange, KeepTextureAlpha };

enum class Verdict {
    Accept,
    ConfirmDepth,  // acceptable once the change of bit depth is accepted
    TooFewBits,  // below 24 bits per pixel
    SizeDiffers,  // a Targa file of another width or height
    UnknownDepth,  // neither 24 nor 32 bits per pixel
};

struct ReplacementCheck {
    Verdict verdict = Verdict::Accept;
    bool bKeepAlpha = false;  // the colours go in, the texture's alpha stays
    RawTextureShape written;  // the fields the texture gets

    bool Refused() const { return verdict != Verdict::Accept && verdict != Verdict::ConfirmDepth; }
    // The text of a refusal, or of a depth change that was not accepted.
    std::string Text(const RawTextureShape& texture, const ReplacementShape& image) const;
};

ReplacementCheck CheckReplacement(const RawTextureShape& texture, const ReplacementShape& image, AlphaRule rule);

// A texture's pixels as a block holds them (top to bottom, red first, unpadded)
// from a record of 24 or 32 bits per pixel in plain BGR(A) rows.
std::vector<uint8_t> BlockPixelsOf(const CDibImage& image);

// Loads a BMP, PNG or Targa file (by its extension) as a replacement, its rows
// made plain BGR(A). Throws CCoreError for a file of another kind or one its
// reader refuses (with the reader's text). PngAlpha::Keep reads a PNG's alpha.
std::unique_ptr<CDibImage> LoadReplacement(const std::string& path, PngAlpha pngAlpha = PngAlpha::Drop);

// A texture as a scan of the file finds it, with its block's pixel bytes when
// they all lie in the file.
struct ScannedTexture {
    uint64_t offset = 0;
    RawTextureShape shape;
    std::optional<uint64_t> pixelBytes;
};
// Scans a model file's texture fields (no pixels are read); `length` gets the
// file's length. Throws CFileException when the file cannot be read.
std::vector<ScannedTexture> ScanModelTextures(const std::string& path, uint64_t& length);

// ---- The operations.

struct EditOptions {
    bool bBackup = false;  // copy the file to its next free backup name just before the write
    bool bAcceptDepthChange = false;  // the answer to the bit-depth question
    // What the caller read the file as: the write is refused when a fresh scan
    // finds other texture offsets, or the texture with another size or depth.
    std::optional<std::vector<uint64_t>> expectedOffsets{};
    std::optional<RawTextureShape> expectedShape{};
    // KeepTextureAlpha: a 24-bit image over an RGBA texture of its size keeps the texture's alpha.
    AlphaRule alphaRule = AlphaRule::AskOnDepthChange;
    // Runs after every check and the backup, just before the first byte is
    // written (an undo copy is kept there); what it throws stops the edit.
    std::function<void()> beforeWrite{};
};

struct EditResult {
    std::string strPath;  // the file written
    std::string strBackupPath;  // where its backup went; empty when none was made
    uint64_t nOffset = 0;  // of the changed texture
    RawTextureShape before, after;

    // How far the textures after the changed one have moved.
    int64_t Shift() const;
};

// The image into texture index of a model file.
EditResult ReplaceTexture(
    const std::string& path, uint32_t index, const CDibImage& image, bool bTarga, const EditOptions& options);
// One alpha value for every pixel of RGBA texture index of a model file.
EditResult StampTextureAlpha(const std::string& path, uint32_t index, uint8_t alpha, const EditOptions& options);

// The image becomes the whole image of a compressed bitmap.
EditResult ReplaceCompressedBitmapImage(const std::string& path, const CDibImage& image, const EditOptions& options);

// ---- Links.

// The file that a model file without textures links to.
struct ModelFileLink {
    std::string strName;  // as written in the file
    std::string strPath;  // resolved against the model file's folder
    bool bLeavesFolder = false;  // the resolved file lies outside that folder
};
// Nothing when the file holds textures or no link. Throws CCoreError when it cannot be read.
std::optional<ModelFileLink> FindModelFileLink(const std::string& path);
// True when a link resolved to `resolved` from a model file in `folder` leaves that folder.
bool LinkLeavesFolder(const std::string& folder, const std::string& resolved);
