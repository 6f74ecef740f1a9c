// Runs the built mbus program with arguments and collects what it printed and its exit status.
#pragma once

#include <string>
#include <vector>

struct MbusRun {
    int status = -1; // exit status; -1 if it did not exit by itself within the time limit
    std::string out;
    std::string err;
};

// With `terminal`, standard output is a pseudo-terminal (so line ends arrive as "\r\n").
MbusRun runMbus(const std::vector<std::string> &arguments, bool terminal = false);
