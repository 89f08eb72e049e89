#pragma once
// The one failure that the core's operations throw: the text for the user and
// the system's reason (strerror, libpng's or zlib's message). The user sees
// the text with the reason on the next line.
#include <string>
#include <utility>

#include "platform/Exceptions.h"

class CCoreError : public CException {
public:
    enum class Kind {
        Refused,  // the input or the file's state does not allow the work
        DepthChange,  // the work would change a texture's bit depth and that was not accepted
        LinkNotFollowed,  // the file only links to another one, which was not to be followed
        System,  // a system call failed; the reason says why
    };

    explicit CCoreError(std::string text, std::string reason = {}, Kind kind = Kind::Refused)
        : m_strText(std::move(text))
        , m_strReason(std::move(reason))
        , m_kind(kind)
    {
    }

    // The same failure as a reader or file object threw it: a file's error is
    // a System one, a refusal keeps its text.
    static CCoreError From(const CException& e);

    const std::string& Text() const { return m_strText; }
    const std::string& Reason() const { return m_strReason; }
    Kind GetKind() const { return m_kind; }
    std::string GetErrorMessage() const override
    {
        return m_strReason.empty() ? m_strText : m_strText + "\n" + m_strReason;
    }
    void ReportError() const override;

private:
    std::string m_strText;
    std::string m_strReason;
    Kind m_kind;
};
