// Everything the command line can say, as parsed; checked by the commands that use it.
#pragma once

#include "cli/endpoint.h"

#include <string>
#include <vector>

struct CommandOptions {
    // Every command.
    std::string url;
    int unit = 1;
    int timeoutMs = 0; // 0: from the URL, else the library's (scan: 250)
    int retries = 0;
    std::string format = "table";
    int base = 1;
    bool trace = false;
    TlsOptions tls; // tls:// URLs

    // read, write, watch.
    std::string table;
    long long address = 0;
    int count = 1;
    std::string type = "int16";
    std::string order; // empty: cdab (the library's word order)
    std::vector<std::string> values;
    bool multiple = false;
    int intervalMs = 1000;
    int polls = 0; // 0: until interrupted

    // scan.
    int from = 1;
    int to = 247;

    // info.
    std::string level = "basic";
};
