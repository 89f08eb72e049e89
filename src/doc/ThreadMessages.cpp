#include "doc/ThreadMessages.h"

#include <utility>

CThreadMessages::CThreadMessages(std::vector<std::string>& into)
    : m_into(into)
    , m_previous(SetThreadUiServices(this))
{
}

CThreadMessages::~CThreadMessages()
{
    SetThreadUiServices(m_previous);
}

int CThreadMessages::MessageBox(const std::string& text, unsigned style)
{
    m_into.push_back(text);
    return (style & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
}

std::vector<std::string> CThreadMessages::Take()
{
    return std::exchange(m_into, {});
}
