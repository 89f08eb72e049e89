#pragma once
// File > Export Folder and Import Folder: the folder jobs of the core run
// off the window's thread for a chosen folder and a chosen folder of
// textures, with a progress dialog whose Cancel stops them between files, then
// the same report the command-line tool prints.
#include <string>
#include <vector>

#include "platform/UiServices.h"

class QWidget;

// Export Folder: every texture of every file below the folder, mirrored into
// the output folder. Existing files that differ are replaced only after one question.
void RunExportFolder(QWidget* parent, const std::string& initialDir);
// Import Folder: the edited textures back into the model files below the folder.
void RunImportFolder(QWidget* parent, const std::string& initialDir);

// Platform services for a worker thread of the window: nobody can be asked
// there, so questions get No and messages are kept for the report.
class CQuietThreadUi final : public IUiServices {
public:
    CQuietThreadUi();
    ~CQuietThreadUi() override;
    CQuietThreadUi(const CQuietThreadUi&) = delete;
    CQuietThreadUi& operator=(const CQuietThreadUi&) = delete;
    int MessageBox(const std::string& text, unsigned style) override;

    std::vector<std::string> m_messages;

private:
    IUiServices* m_previous;
};
