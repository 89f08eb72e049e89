#pragma once
// The platform services of the command-line tool: the system's messages go to
// standard error, questions are answered without asking (Yes, as a user who
// wants the work done would), and progress is drawn on one line of standard
// error when that is a terminal.
#include <cstdio>
#include <functional>
#include <string>

#include "platform/UiServices.h"

class CCliUiServices final : public IUiServices {
public:
    // showProgress: draw progress at all (normally: standard error is a terminal).
    CCliUiServices(std::FILE* err, bool showProgress);
    ~CCliUiServices() override;
    CCliUiServices(const CCliUiServices&) = delete;
    CCliUiServices& operator=(const CCliUiServices&) = delete;

    int MessageBox(const std::string& text, unsigned style) override;
    std::optional<FileDialogResult> FileDialog(const FileDialogRequest& request) override;
    void ShowProgress(int percent) override;
    std::optional<uint8_t> AskTransparencyLevel() override;

    // What the command line has already said: the file the next file dialog
    // picks, the level the transparency question gets, and how each Yes/No
    // question is answered (by default Yes, said on standard error).
    void SetNextFile(std::string path) { m_strNextFile = std::move(path); }
    void SetTransparencyLevel(uint8_t alpha) { m_alpha = alpha; }
    void SetAnswerer(std::function<int(const std::string& question)> answerer) { m_answerer = std::move(answerer); }

    // Prints a text of the tool's own, as a message.
    void Report(const std::string& text);
    // Names the work that progress is shown for ("Reading a.bmz").
    void SetProgressLabel(std::string label) { m_strProgressLabel = std::move(label); }

private:
    void EndProgressLine();

    std::FILE* m_pErr;
    bool m_bShowProgress;
    bool m_bProgressShown = false;
    int m_nLastPercent = -1;
    std::string m_strProgressLabel = "Working";
    std::optional<std::string> m_strNextFile;
    std::optional<uint8_t> m_alpha;
    std::function<int(const std::string&)> m_answerer;
};
