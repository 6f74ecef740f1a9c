// A host for in-process tests: fills the record handed to XOPMain with recorders. It keeps the
// registrations, history lines and output variables, owns the text handles a test puts into
// parameter records, and captures the module's diagnostic lines from standard error.
#ifndef TESTS_EXTENSION_RECORDING_HOST_H
#define TESTS_EXTENSION_RECORDING_HOST_H

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/xop_host_record.h"

struct Registration {
    std::string cmdTemplate;
    std::string numVarList;
    std::string strVarList;
    int recordSize;
    XopExecuteFunc execute;
    int options;
};

// What one command execution produced.
struct Execution {
    int code;
    std::string diagnostics;              // standard error, as written
    std::vector<std::string> history;     // history lines of this execution
    std::vector<std::pair<std::string, double>> variables; // set in this order
};

class RecordingHost {
public:
    explicit RecordingHost(int hostVersion = 800);

    XopHostRecord record{};
    std::vector<Registration> registrations;
    std::vector<std::string> history;
    std::vector<std::pair<std::string, double>> variables;
    std::vector<std::string> messageBoxes;
    XopEntryFunc entry = nullptr;
    int message = 0;
    int result = -1;
    // RegisterOperation number failAt (0-based) fails with failCode.
    int failAt = -1;
    int failCode = 0;

    // A text handle owned by this host.
    XopTextHandle text(const std::string &content);

    // Runs the registered command of that name on the record, capturing what it produced.
    Execution run(const std::string &command, void *params);
    // Delivers a host message; returns the module's result.
    int send(int hostMessage);
    // History and diagnostics of a clean-up message.
    Execution cleanup();

    const Registration *registration(const std::string &command) const;

private:
    std::vector<std::unique_ptr<std::string>> texts_;
};

#endif
