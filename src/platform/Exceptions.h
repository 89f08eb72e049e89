#pragma once
// The exceptions that readers, writers and file objects throw. A reader shows
// its own message first and then throws CUserException, which carries no report.
#include <string>

class CException {
public:
    virtual ~CException() = default;
    // The exception's standard report, shown through the message service.
    virtual void ReportError() const;
    virtual std::string GetErrorMessage() const;
};

class CUserException : public CException {
public:
    void ReportError() const override {}
    std::string GetErrorMessage() const override { return {}; }
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
    std::string m_strReason;   // when set, said instead of the system's text
};

[[noreturn]] void AfxThrowUserException();
[[noreturn]] void AfxThrowMemoryException();
[[noreturn]] void AfxThrowFileException(int cause, int osError = 0, const std::string& fileName = {});
