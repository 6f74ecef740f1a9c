// At a terminal, the module's diagnostic lines (each ending in a carriage return alone) would
// overwrite one another. While active, standard error goes through a pipe that the host drains
// before each piece of its own output, writing every carriage return as a line feed; the order
// of history and diagnostic lines stays as written. Not used when standard error is no terminal.
#ifndef XOPHOST_TERMINAL_DIAGNOSTICS_H
#define XOPHOST_TERMINAL_DIAGNOSTICS_H

class TerminalDiagnostics {
public:
    TerminalDiagnostics() = default;
    ~TerminalDiagnostics();
    TerminalDiagnostics(const TerminalDiagnostics &) = delete;
    TerminalDiagnostics &operator=(const TerminalDiagnostics &) = delete;

    // Routes standard error through the pipe; false (and nothing changed) if that fails.
    bool start();
    // Writes out what has arrived so far.
    void drain();
    // Drains and gives standard error its terminal back.
    void stop();

private:
    int terminal_ = -1;
    int pipeRead_ = -1;
};

#endif
