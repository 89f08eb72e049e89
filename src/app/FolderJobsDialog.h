#pragma once
// File > Export Folder and Import Folder: the folder jobs of the core run
// off the window's thread for a chosen folder and a chosen folder of
// textures, with a progress dialog whose Cancel stops them between files, then
// the same report the command-line tool prints.
#include <string>

class QWidget;

// Export Folder: every texture of every file below the folder, mirrored into
// the output folder. Existing files that differ are replaced only after one question.
void RunExportFolder(QWidget* parent, const std::string& initialDir);
// Import Folder: the edited textures back into the model files below the folder.
void RunImportFolder(QWidget* parent, const std::string& initialDir);
