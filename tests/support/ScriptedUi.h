#pragma once
// Platform services for tests: records every message shown, answers each
// question and file dialog from a script, and fails the test on a question
// or dialog that the script did not expect. Installs itself for its lifetime.
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/UiServices.h"

class ScriptedUi : public IUiServices {
public:
    struct Message {
        std::string text;
        unsigned style;
    };

    ScriptedUi();
    ~ScriptedUi() override;

    // Script: the next Yes/No question is answered with IDYES or IDNO.
    void AnswerNext(int answer) { m_answers.push_back(answer); }
    // Script: the next file dialog returns this path (and type), or is cancelled.
    void ChooseFile(const std::string& path, int filterIndex = 1);
    void CancelNextDialog();
    // Script: the next transparency question gets this alpha, or is cancelled (nothing).
    void ChooseAlpha(std::optional<uint8_t> alpha) { m_alphas.push_back(alpha); }

    int MessageBox(const std::string& text, unsigned style) override;
    std::optional<FileDialogResult> FileDialog(const FileDialogRequest& request) override;
    // Answered from the same script as file dialogs; recorded as a request with its title and folder.
    std::optional<std::string> ChooseFolder(const std::string& title, const std::string& initialDir) override;
    void BeginWaitCursor() override { ++m_nWaitDepth; }
    void EndWaitCursor() override { --m_nWaitDepth; }
    void RepaintMainWindow() override { ++m_nRepaints; }
    void ShowStatus(const std::string& text) override { m_status.push_back(text); }
    std::optional<uint8_t> AskTransparencyLevel() override;

    // The texts shown, in order.
    std::vector<std::string> Texts() const;
    // Reports a question or dialog that the script did not expect.
    virtual void Fail(const std::string& what);

    std::vector<Message> m_messages;
    std::vector<FileDialogRequest> m_dialogs;
    std::vector<std::string> m_status;
    int m_nWaitDepth = 0;
    int m_nRepaints = 0;

private:
    std::deque<int> m_answers;
    std::deque<std::optional<FileDialogResult>> m_files;
    std::deque<std::optional<uint8_t>> m_alphas;
    IUiServices* m_previous = nullptr;
};
