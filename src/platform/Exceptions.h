#pragma once
// The exceptions that readers, writers and file objects throw, and the one
// boundary that shows them. A refusal throws a CUserException holding the text
// for the user; nothing is shown until RunReportingFailure catches it.
#include <new>
#include <string>
#include <utility>

class CException {
public:
    virtual ~CException() = default;
    // The exception's standard report, shown through the message service.
    virtual void ReportError() const;
    virtual std::string GetErrorMessage() const;
};

// A refusal, with the text to show (MB_OK). Without a text, its thrower has
// shown its message already and the report shows nothing.
class CUserException : public CException {
public:
    CUserException() = default;
    explicit CUserException(std::string message)
        : m_strMessage(std::move(message))
    {
    }
    void ReportError() const override;
    std::string GetErrorMessage() const override { return m_strMessage; }

private:
    std::string m_strMessage;
};

class CMemoryException : public CException {
public:
    std::string GetErrorMessage() const override;
};

class CFileException : public CException {
public:
    enum Cause {
        none = 0,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile,
    };

    CFileException(int cause = none, int osError = 0, std::string fileName = {});

    // Builds the exception for a failed system call; errno names the cause.
    static CFileException FromErrno(int err, const std::string& fileName);
    // A refusal that no system error names; the reason ends the report.
    static CFileException Refusal(int cause, std::string reason, const std::string& fileName);

    std::string GetErrorMessage() const override;
    // Why the access failed, in a few words (the system's text for its errors).
    std::string GetReason() const;

    int m_cause;
    int m_lOsError;
    std::string m_strFileName;
    std::string m_strReason;  // when set, said instead of the system's text
};

[[noreturn]] void AfxThrowUserException(std::string message = {});
// Throws a CUserException with the text, the path put in where it has "%s".
[[noreturn]] void ThrowRefusal(const char* text, const std::string& path);
[[noreturn]] void AfxThrowMemoryException();
[[noreturn]] void AfxThrowFileException(int cause, int osError = 0, const std::string& fileName = {});

// The boundary where a failure is shown: runs work; an exception that leaves
// it (the core's own, or a failed allocation) is reported through the platform
// services and ends here. True when work ran to its end, false once the
// failure has been reported.
template <typename Work> bool RunReportingFailure(Work&& work)
{
    try {
        work();
        return true;
    } catch (const CException& e) {
        e.ReportError();
    } catch (const std::bad_alloc&) {
        CMemoryException().ReportError();
    }
    return false;
}
