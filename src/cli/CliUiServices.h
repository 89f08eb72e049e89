#pragma once
// The platform services of the command-line tool: the system's messages go to
// standard error, and progress is drawn on one line of standard error when
// that is a terminal. The tool's verbs call operations that ask nothing; a
// question that still arrives is answered No, and said so.
#include <cstdio>
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
    void ShowProgress(int percent) override;

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
};
