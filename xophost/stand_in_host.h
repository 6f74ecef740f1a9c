// A stand-in for the host application: loads an extension module, offers it the host services
// through the record handed to XOPMain, parses command lines against the templates the module
// registered, fills the parameter records and runs the commands. History text goes to one
// stream (carriage returns as line feeds), the host's own error lines to another.
#ifndef XOPHOST_STAND_IN_HOST_H
#define XOPHOST_STAND_IN_HOST_H

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/xop_host_record.h"
#include "xophost/command_line_parser.h"
#include "xophost/command_template.h"
#include "xophost/module_library.h"

class StandInHost {
public:
    enum class Outcome { Done, CommandFailed, SyntaxError };

    StandInHost(int hostVersion, std::FILE *history, std::FILE *errors);
    ~StandInHost();
    StandInHost(const StandInHost &) = delete;
    StandInHost &operator=(const StandInHost &) = delete;

    // Loads the module file and calls its XOPMain. On failure error says why.
    bool loadModule(const std::string &path, std::string &error);
    // Calls the XOPMain of a module already in this process.
    bool startModule(XopMainFunc xopMain, XopGetResourceFunc getResource, std::string &error);

    // Runs one line: a command, `print NAME`, a blank line or a comment. Failures are reported
    // on the error stream, prefixed with location ("script.txt:3: ").
    Outcome runLine(const std::string &line, const std::string &location = std::string());

    // Delivers a host message to the module's entry callback; returns the module's result.
    int sendMessage(int message);
    // Sends the clean-up message once.
    void cleanup();

    // Called before the host writes anything of its own (history, values, error lines).
    void setBeforeOutput(std::function<void()> hook) { beforeOutput_ = std::move(hook); }

    const XopHostRecord &record() const { return record_; }
    // The value of an output variable that a command has set.
    bool variable(const std::string &name, double &value) const;
    // The text of a command's error code: the module's message table from 10000 on.
    std::string errorText(int code) const;

private:
    struct Operation {
        CommandTemplate commandTemplate;
        std::vector<std::string> variables;
        int recordSize = 0;
        XopExecuteFunc execute = nullptr;
    };

    static StandInHost &self(void *context) { return *static_cast<StandInHost *>(context); }
    static void setXOPEntry(void *context, XopEntryFunc entry);
    static int getXOPMessage(void *context);
    static void setXOPResult(void *context, int result);
    static int registerOperation(void *context, const char *cmdTemplate, const char *numVarList,
                                 const char *strVarList, int recordSize, XopExecuteFunc execute,
                                 int options);
    static int getCStringFromHandle(void *context, XopTextHandle text, char *buffer,
                                    int maxChars);
    static int setOutputVariable(void *context, const char *name, double value);
    static void printHistoryLine(void *context, const char *text);
    static void showMessageBox(void *context, const char *text);

    bool start(XopMainFunc xopMain, const unsigned char *messageTable, uint32_t tableSize,
               std::string &error);
    void readMessageTable(const unsigned char *bytes, uint32_t size);
    void beforeOutput() const;
    const Operation *findOperation(const std::string &name) const;
    Outcome runPrint(const std::string &line, const std::string &location);
    int runCommand(const Operation &operation, const ParsedCommand &parsed);

    XopHostRecord record_{};
    std::FILE *history_;
    std::FILE *errors_;
    std::unique_ptr<ModuleLibrary> library_;
    bool started_ = false;
    bool cleanedUp_ = false;
    XopEntryFunc entry_ = nullptr;
    int message_ = 0;
    int result_ = 0;
    std::vector<Operation> operations_;
    std::vector<std::string> messages_;
    // Keyed by the lower-case name; holds the name as the module declared it.
    std::map<std::string, std::pair<std::string, double>> variables_;
    const Operation *running_ = nullptr;
    std::vector<std::unique_ptr<std::string>> texts_;
    std::function<void()> beforeOutput_;
};

#endif
