#pragma once
// Turns what a reader or writer of the older style would show into data: while
// it lives, messages are collected on this thread instead of shown, and the
// first becomes the text of a refusal. Progress and event handling pass on.
#include <string>

#include "platform/UiServices.h"

class CMessageCapture : public IUiServices {
public:
    CMessageCapture();
    ~CMessageCapture() override;
    CMessageCapture(const CMessageCapture&) = delete;
    CMessageCapture& operator=(const CMessageCapture&) = delete;

    int MessageBox(const std::string& text, unsigned style) override;
    void PumpMessages() override { m_previous->PumpMessages(); }
    void ShowProgress(int percent) override { m_previous->ShowProgress(percent); }

    // The first message, as shown; empty when there was none.
    const std::string& Text() const { return m_strText; }

private:
    IUiServices* m_previous;  // the services in force before, which progress goes to
    IUiServices* m_previousThread;  // this thread's own before, put back at the end
    std::string m_strText;
};
