#include "platform/UiServices.h"


namespace {

class SilentUiServices final : public IUiServices {
public:
    int MessageBox(const std::string&, unsigned style) override
    {
        return (style & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    }
};

SilentUiServices g_silent;
IUiServices* g_services = &g_silent;
thread_local IUiServices* t_threadServices = nullptr;

}  // namespace

IUiServices& Ui()
{
    return t_threadServices ? *t_threadServices : *g_services;
}

IUiServices* SetThreadUiServices(IUiServices* services)
{
    IUiServices* previous = t_threadServices;
    t_threadServices = services;
    return previous;
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
