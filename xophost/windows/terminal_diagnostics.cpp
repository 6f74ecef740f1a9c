// On Windows the module's diagnostic lines go to the console as written: start() declines, and
// the host's drains have nothing to do.
#include "xophost/terminal_diagnostics.h"

TerminalDiagnostics::~TerminalDiagnostics()
{
    stop();
}

bool TerminalDiagnostics::start()
{
    return false;
}

void TerminalDiagnostics::drain() {}

void TerminalDiagnostics::stop() {}
