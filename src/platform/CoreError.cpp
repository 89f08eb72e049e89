#include "platform/CoreError.h"

#include "platform/UiServices.h"

void CCoreError::ReportError() const
{
    AfxMessageBox(GetErrorMessage(), MB_OK);
}

CCoreError CCoreError::From(const CException& e)
{
    if (const auto* core = dynamic_cast<const CCoreError*>(&e))
        return *core;
    if (const auto* file = dynamic_cast<const CFileException*>(&e))
        return CCoreError(file->GetErrorMessage(), {}, Kind::System);
    return CCoreError(e.GetErrorMessage());
}
