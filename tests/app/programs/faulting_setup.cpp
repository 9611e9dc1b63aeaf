// druvex-setup with a fault in the handler of the welcome page's Next, for
// the tests of the wizard's crash handling: the variable
// DRUVEX_TEST_PAGE_FAULT chooses "segv" (a write into the unmapped first page) or
// "throw" (a C++ exception leaving the handler). Only this test program
// reads it; the shipped program has no such hook.
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "app/installer_main.h"
#include "app/wizard_page.h"

namespace {

const char* g_fault = nullptr;
// In the first page, which is never mapped: a fault, not a null pointer
// that the undefined-behaviour sanitizer would report first.
int* volatile g_nowhere = reinterpret_cast<int*>(0x10);

void faultOnWelcomeNext(druvex::WizardPageId page, druvex::PageEvent event)
{
    if (page != druvex::kPageWelcome || event != druvex::PageEvent::Next || g_fault == nullptr)
        return;
    if (std::strcmp(g_fault, "throw") == 0)
        throw std::runtime_error("thrown by the welcome page's test hook");
    *g_nowhere = 1;
}

}  // namespace

int main(int argc, char** argv)
{
    g_fault = std::getenv("DRUVEX_TEST_PAGE_FAULT");
    druvex::setPageEventObserver(faultOnWelcomeNext);
    return druvex::runInstallerProgram(argc, argv);
}
