#pragma once
// Every question and message of the document's editing commands, written once.
// The window shows them; the command-line tool never sees a question.

// Questions (Yes/No).
inline constexpr char kBackupQuestion[] = "Would you like to make a backup of %s?";
inline constexpr char kDepthQuestion[] = "The bit depths of these two images differ, do you wish to continue?";
inline constexpr char kFollowLinkQuestion[] =
    "No image data was found in this file but there is a link to another file that does contain "
    "image data. Would you like to open this file? ";
// Added to the follow-link question when the linked file lies outside the model file's folder.
inline constexpr char kLinkLeavesFolder[] = "\nIt lies outside this file's folder: %s";

// Replace.
inline constexpr char kReplaceTextureTitle[] = "Replace Texture %u";
inline constexpr char kReplaceImageTitle[] = "Replace Image";
inline constexpr char kReplaceFilter[] =
    "Windows Bitmap (*.bmp)|*.bmp|Portable Network Graphics (*.png)|*.png|Truevision Targa (*.tga)|*.tga||";
inline constexpr char kUnknownReplacementKind[] =
    "Only Windows Bitmap, Portable Network Graphics and Truevision Targa files can replace an image.\nFile: %s";
inline constexpr char kBelow24Bits[] = "Only 24-bit and 32-bit images are supported";
inline constexpr char kDimensionsDiffer[] =
    "Error: The replacement image's dimensions are different from the original!";
inline constexpr char kUnknownDepth[] = "Hmmm, somethin' ain't right!";
// A depth change that was not accepted, said where no question can be asked.
inline constexpr char kDepthNotAccepted[] =
    "The bit depths of these two images differ (a %u-bit image for a %u-bit texture).";

// Make Transparent.
inline constexpr char kNotRgba[] = "Error: This image cannot be made transparent";

// Import Textures.
inline constexpr char kImportTitle[] = "Import Textures";
inline constexpr char kImportProgress[] = "Importing the textures...";  // above the progress bar
inline constexpr char kReadingImage[] = "Reading %s...";  // above the progress bar of a large image's read
inline constexpr char kWritingImage[] = "Writing %s...";  // and of a large write
inline constexpr char kImportNothingWritten[] = "Nothing was written: a file was refused.";
inline constexpr char kImportEmptyFolder[] = "The folder holds no files.";
inline constexpr char kImportReadBackFailed[] = "The import was written, but reading %s back failed.";
inline constexpr char kImportCountChanged[] = "%s no longer holds %zu images after the import.";
inline constexpr char kImportDiffers[] = "Image %u of %s does not read back as %s.";

// Every edit.
inline constexpr char kWriteError[] = "Error writing file.\nFile: %s";
inline constexpr char kReadError[] = "Error reading file: %s";
inline constexpr char kChangedMeanwhile[] = "The file was changed since it was read.";
inline constexpr char kNoSuchImage[] = "There is no image %u in %s: it holds %zu image%s.";
inline constexpr char kBackupMade[] = "Backup copy: %s";

// Undo and Redo: the names of the edits.
inline constexpr char kMakeTransparentName[] = "Make Texture %u Transparent";
inline constexpr char kEditExternallyName[] = "Edit Texture %u Externally";
inline constexpr char kEditImageExternallyName[] = "Edit Image Externally";
inline constexpr char kUndoRefused[] = "%s cannot be restored: another program has changed it since this edit.";
inline constexpr char kUndoStoreError[] = "The edit's undo copy could not be kept in %s.";
// External edits.
inline constexpr char kUpdatedFrom[] = "Texture %u updated from %s";
inline constexpr char kImageUpdatedFrom[] = "Image updated from %s";
inline constexpr char kEditorStartFailed[] = "The image editor could not be started: %s";
