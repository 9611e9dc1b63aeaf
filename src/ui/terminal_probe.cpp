// The terminal check, apart from the backend: the terminal database's header
// defines a macro for every capability name ("columns", "lines", ...), so it
// comes after every header of ours.
#include "ui/curses_backend.h"

#include <unistd.h>

#include <cstdlib>

#include "core/translate_text.h"

#define NCURSES_WIDECHAR 1
#define NCURSES_NOMACROS 1
#include <curses.h>
#include <term.h>

namespace druvex {
namespace {

bool hasString(const char* capability)
{
    const char* value = tigetstr(capability);
    return value != nullptr && value != reinterpret_cast<const char*>(-1) && *value != '\0';
}

}  // namespace

TerminalFacts probeTerminal()
{
    TerminalFacts facts;
    facts.inputIsTerminal = ::isatty(STDIN_FILENO) == 1;
    facts.outputIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    if (const char* term = std::getenv("TERM"))
        facts.term = term;
    if (facts.term.empty() || !facts.outputIsTerminal)
        return facts;
    // Only reads the database: the terminal's modes stay untouched.
    int status = 0;
    if (setupterm(facts.term.c_str(), STDOUT_FILENO, &status) != OK || status != 1)
        return facts;
    facts.termKnown = true;
    facts.addressesCursor = hasString("cup") && hasString("clear");
    del_curterm(cur_term);
    return facts;
}

SharedString terminalUnusableReason(const TerminalFacts& facts)
{
    if (!facts.inputIsTerminal)
        return translateText("standard input is not a terminal");
    if (!facts.outputIsTerminal)
        return translateText("standard output is not a terminal");
    if (facts.term.empty())
        return translateText("the variable TERM is not set");
    const SharedString term = fromUtf8(facts.term);
    if (!facts.termKnown)
        return formatTranslated("the terminal type \"{1}\" is unknown", term);
    if (!facts.addressesCursor)
        return formatTranslated("the terminal type \"{1}\" cannot place the cursor", term);
    return SharedString();
}

SharedString terminalRefusalMessage(const SharedString& reason)
{
    return formatTranslated(
        "The installer cannot show its wizard: {1}.\nRun it in a terminal, or run it unattended with the option "
        "silent_mode.",
        reason);
}

}  // namespace druvex
