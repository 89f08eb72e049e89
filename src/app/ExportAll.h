#pragma once
// File > Export All Textures: every image of the open file written into one
// chosen folder as PNG, BMP or Targa, named as the command-line tool's
// `extract --all` names them.
#include <cstddef>
#include <string>

class CTavrelDoc;
class QWidget;

// Asks for the folder (through a Save dialog whose name is the files' stem)
// and the type, then writes off the window's thread under a progress dialog
// (parent's) whose Cancel stops it; a failure is shown and stops the export.
void ExportAllImages(QWidget* parent, CTavrelDoc& doc);
// True when the document holds at least one image to export.
bool CanExportAllImages(const CTavrelDoc& doc);
// The one question before existing files that differ are replaced (Export All
// and Export Folder); true to replace them.
bool ConfirmOverwrite(size_t count, const std::string& folder);
