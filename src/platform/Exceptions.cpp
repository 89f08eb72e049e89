#include "platform/Exceptions.h"

#include <cerrno>
#include <cstring>

#include "platform/Format.h"
#include "platform/UiServices.h"

void CException::ReportError() const
{
    AfxMessageBox(GetErrorMessage(), MB_OK | MB_ICONEXCLAMATION);
}

std::string CException::GetErrorMessage() const
{
    return "An unknown error has occurred.";
}

void CUserException::ReportError() const
{
    if (!m_strMessage.empty())
        AfxMessageBox(m_strMessage, MB_OK);
}

std::string CMemoryException::GetErrorMessage() const
{
    return "Out of memory.";
}

CFileException::CFileException(int cause, int osError, std::string fileName)
    : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName))
{
}

CFileException CFileException::FromErrno(int err, const std::string& fileName)
{
    int cause = genericException;
    switch (err) {
    case ENOENT: cause = fileNotFound; break;
    case ENOTDIR:
    case ENAMETOOLONG: cause = badPath; break;
    case EMFILE:
    case ENFILE: cause = tooManyOpenFiles; break;
    case EACCES:
    case EPERM:
    case EROFS: cause = accessDenied; break;
    case EISDIR: cause = invalidFile; break;
    case ESPIPE:
    case EINVAL: cause = badSeek; break;
    case EIO: cause = hardIO; break;
    case ENOSPC:
    case EDQUOT: cause = diskFull; break;
    default: break;
    }
    return CFileException(cause, err, fileName);
}

std::string CFileException::GetErrorMessage() const
{
    std::string reason;
    if (m_lOsError != 0)
        reason = std::strerror(m_lOsError);
    else if (m_cause == endOfFile)
        reason = "the end of the file was reached unexpectedly";
    else
        reason = "an unexpected error occurred";
    const std::string name = m_strFileName.empty() ? std::string("an unnamed file") : m_strFileName;
    return "An error occurred while accessing " + name + ": " + reason + ".";
}

void AfxThrowUserException(std::string message)
{
    throw CUserException(std::move(message));
}

void ThrowRefusal(const char* text, const std::string& path)
{
    throw CUserException(std::strstr(text, "%s") ? FormatString(text, path.c_str()) : std::string(text));
}

void AfxThrowMemoryException()
{
    throw CMemoryException();
}

void AfxThrowFileException(int cause, int osError, const std::string& fileName)
{
    throw CFileException(cause, osError, fileName);
}
