#include "ScriptedUi.h"

#include <gtest/gtest.h>

ScriptedUi::ScriptedUi()
{
    m_previous = SetUiServices(this);
}

ScriptedUi::~ScriptedUi()
{
    SetUiServices(m_previous);
    EXPECT_TRUE(m_answers.empty()) << "scripted answers were left unused";
    EXPECT_TRUE(m_files.empty()) << "scripted file dialogs were left unused";
    EXPECT_TRUE(m_alphas.empty()) << "scripted transparency levels were left unused";
    EXPECT_EQ(m_nWaitDepth, 0) << "the wait cursor was not ended";
}

void ScriptedUi::ChooseFile(const std::string& path, int filterIndex)
{
    m_files.push_back(FileDialogResult{path, filterIndex});
}

void ScriptedUi::CancelNextDialog()
{
    m_files.push_back(std::nullopt);
}

int ScriptedUi::MessageBox(const std::string& text, unsigned style)
{
    m_messages.push_back({text, style});
    if ((style & MB_TYPEMASK) == MB_OK)
        return IDOK;
    if (m_answers.empty()) {
        Fail("unexpected question: " + text);
        return IDNO;
    }
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

std::optional<FileDialogResult> ScriptedUi::FileDialog(const FileDialogRequest& request)
{
    m_dialogs.push_back(request);
    if (m_files.empty()) {
        Fail("unexpected file dialog: " + request.strFilter);
        return std::nullopt;
    }
    auto result = m_files.front();
    m_files.pop_front();
    return result;
}

std::optional<uint8_t> ScriptedUi::AskTransparencyLevel()
{
    m_messages.push_back({"(transparency level)", MB_OK});
    if (m_alphas.empty()) {
        Fail("unexpected transparency question");
        return std::nullopt;
    }
    const std::optional<uint8_t> alpha = m_alphas.front();
    m_alphas.pop_front();
    return alpha;
}

std::optional<std::string> ScriptedUi::ChooseFolder(const std::string& title, const std::string& initialDir)
{
    FileDialogRequest request;
    request.strTitle = title;
    request.strInitialDir = initialDir;
    const std::optional<FileDialogResult> chosen = FileDialog(request);
    return chosen ? std::optional<std::string>(chosen->strPath) : std::nullopt;
}

std::vector<std::string> ScriptedUi::Texts() const
{
    std::vector<std::string> texts;
    for (const Message& m : m_messages)
        texts.push_back(m.text);
    return texts;
}

void ScriptedUi::Fail(const std::string& what)
{
    ADD_FAILURE() << what;
}
