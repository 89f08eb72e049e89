#include "platform/UiServices.h"

namespace {

class SilentUiServices final : public IUiServices {
public:
    int MessageBox(const std::string&, unsigned style) override
    {
        return (style & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    }
    std::optional<FileDialogResult> FileDialog(const FileDialogRequest&) override { return std::nullopt; }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}
    void PumpMessages() override {}
    void RepaintMainWindow() override {}
};

SilentUiServices g_silent;
IUiServices* g_services = &g_silent;

}  // namespace

IUiServices& Ui()
{
    return *g_services;
}

IUiServices* SetUiServices(IUiServices* services)
{
    IUiServices* previous = g_services == &g_silent ? nullptr : g_services;
    g_services = services ? services : &g_silent;
    return previous;
}

int AfxMessageBox(const std::string& text, unsigned style)
{
    return Ui().MessageBox(text, style);
}
