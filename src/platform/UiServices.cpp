#include "platform/UiServices.h"

#include <atomic>

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

namespace {

std::atomic<unsigned> g_failuresShown{0};

}  // namespace

int AfxMessageBox(const std::string& text, unsigned style)
{
    const bool notice = (style & MB_NOTICE) != 0 || (style & MB_ICONMASK) == MB_ICONINFORMATION;
    if ((style & MB_TYPEMASK) == MB_OK && !notice)
        g_failuresShown.fetch_add(1, std::memory_order_relaxed);
    return Ui().MessageBox(text, style & ~MB_NOTICE);
}

unsigned FailuresShown()
{
    return g_failuresShown.load(std::memory_order_relaxed);
}
