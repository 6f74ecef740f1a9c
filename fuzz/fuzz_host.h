// A host for the extension in a fuzz run: fills the record handed to XOPMain, keeps the execute
// functions the module registers, owns the text handles of the parameter records, and checks
// what the module does with its services (output variables of the running command only, texts
// it was given only).
#ifndef MBUS_FUZZ_FUZZ_HOST_H
#define MBUS_FUZZ_FUZZ_HOST_H

#include <memory>
#include <string>
#include <vector>

#include "host/xop_host_record.h"

class FuzzHost {
public:
    FuzzHost();
    FuzzHost(const FuzzHost &) = delete;
    FuzzHost &operator=(const FuzzHost &) = delete;

    // XOPMain on this host; false when the module refused to load.
    bool start();
    // The clean-up message; the module releases every connection.
    void cleanup();
    // The execute function registered in position index (0 MBOpen, 1 MBGetStatus, 2 MBClose,
    // 3 MBRead, 4 MBWrite), or null.
    XopExecuteFunc command(std::size_t index) const;
    XopTextHandle text(const std::string &content);
    // Runs a command; its output variables are checked as they are set.
    int run(std::size_t index, void *params);

    int variablesSet() const { return variablesSet_; }

private:
    static FuzzHost &self(void *context) { return *static_cast<FuzzHost *>(context); }
    static void setXOPEntry(void *context, XopEntryFunc entry);
    static int getXOPMessage(void *context);
    static void setXOPResult(void *context, int result);
    static int registerOperation(void *context, const char *cmdTemplate, const char *numVarList,
                                 const char *strVarList, int recordSize, XopExecuteFunc execute, int options);
    static int getCStringFromHandle(void *context, XopTextHandle text, char *buffer, int maxChars);
    static int setOutputVariable(void *context, const char *name, double value);
    static void printHistoryLine(void *context, const char *text);
    static void showMessageBox(void *context, const char *text);

    XopHostRecord record_{};
    XopEntryFunc entry_ = nullptr;
    int message_ = 0;
    int result_ = 0;
    std::vector<XopExecuteFunc> commands_;
    std::vector<std::string> variableLists_;
    std::vector<std::unique_ptr<std::string>> texts_;
    const std::string *running_ = nullptr;
    int variablesSet_ = 0;
};

#endif
