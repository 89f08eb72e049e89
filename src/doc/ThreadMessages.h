#pragma once
// The platform services of a worker thread: while it lives, what the readers
// and writers on this thread would show is kept, in order, for a report or to
// be shown later on the user interface's thread. Nobody can be asked here, so
// a question gets No.
#include <string>
#include <vector>

#include "platform/UiServices.h"

class CThreadMessages final : public IUiServices {
public:
    CThreadMessages()
        : CThreadMessages(m_own)
    {
    }
    // Keeps the messages in `into`, after what it holds (with what the caller adds there itself).
    explicit CThreadMessages(std::vector<std::string>& into);
    ~CThreadMessages() override;
    CThreadMessages(const CThreadMessages&) = delete;
    CThreadMessages& operator=(const CThreadMessages&) = delete;

    int MessageBox(const std::string& text, unsigned style) override;
    // The messages kept so far; none are kept after.
    std::vector<std::string> Take();

private:
    std::vector<std::string> m_own;
    std::vector<std::string>& m_into;
    IUiServices* m_previous;
};
