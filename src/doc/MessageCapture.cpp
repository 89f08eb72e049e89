#include "doc/MessageCapture.h"

CMessageCapture::CMessageCapture()
    : m_previous(&Ui())
    , m_previousThread(SetThreadUiServices(this))
{
}

CMessageCapture::~CMessageCapture()
{
    SetThreadUiServices(m_previousThread);
}

int CMessageCapture::MessageBox(const std::string& text, unsigned)
{
    if (m_strText.empty())
        m_strText = text;
    return IDNO;
}
