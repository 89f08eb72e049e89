#include "platform/CoreError.h"

#include "platform/UiServices.h"

void CCoreError::ReportError() const
{
    AfxMessageBox(GetErrorMessage(), MB_OK);
}
