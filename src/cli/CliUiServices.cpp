#include "cli/CliUiServices.h"

#include <utility>

CCliUiServices::CCliUiServices(std::FILE* err, bool showProgress)
    : m_pErr(err)
    , m_bShowProgress(showProgress)
{
}

CCliUiServices::~CCliUiServices()
{
    EndProgressLine();
}

int CCliUiServices::MessageBox(const std::string& text, unsigned style)
{
    EndProgressLine();
    if ((style & MB_TYPEMASK) == MB_YESNO) {
        // Nobody is there to answer, and nothing is done on a guess.
        std::fprintf(m_pErr, "%s\n(answered No)\n", text.c_str());
        std::fflush(m_pErr);
        return IDNO;
    }
    std::fprintf(m_pErr, "%s\n", text.c_str());
    std::fflush(m_pErr);
    return IDOK;
}

void CCliUiServices::Report(const std::string& text)
{
    MessageBox(text, MB_OK);
}

void CCliUiServices::ShowProgress(int percent)
{
    if (!m_bShowProgress)
        return;
    if (percent < 0) {
        EndProgressLine();
        return;
    }
    if (percent > 100)
        percent = 100;
    if (m_bProgressShown && percent == m_nLastPercent)
        return;  // redraw only what changed: the codec reports far more often
    std::fprintf(m_pErr, "\r%s: %3d%%", m_strProgressLabel.c_str(), percent);
    std::fflush(m_pErr);
    m_bProgressShown = true;
    m_nLastPercent = percent;
}

void CCliUiServices::EndProgressLine()
{
    if (!m_bProgressShown)
        return;
    // Erase the progress line so that a message or the shell prompt starts clean.
    std::fputs("\r\033[K", m_pErr);
    std::fflush(m_pErr);
    m_bProgressShown = false;
    m_nLastPercent = -1;
}
