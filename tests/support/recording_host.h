// A host for in-process tests and fuzz runs: plays Igor's side of the I/O record and records
// every callback the module makes, byte for byte (mode, code, parameter slots), while answering
// as Igor does: the version, the switch to the call-record mode, the memory function table,
// registrations, output variables and history text. Rules the module breaks (an unknown code, a
// wrong parameter count, a malformed call record, a legacy call off the main thread, a variable
// the running command did not declare) are collected in violations(). Text handles come from the
// process's handle heap, as Igor's do.
#ifndef TESTS_SUPPORT_RECORDING_HOST_H
#define TESTS_SUPPORT_RECORDING_HOST_H

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host/igor_xop.h"

struct Registration {
    std::string cmdTemplate;
    std::string numVarList;
    std::string strVarList;
    int recordSize;
    XOPExecuteFunc execute;
    int options;
};

struct CallbackCall {
    bool callRecord;             // false: a legacy call through the I/O record
    int code;
    std::vector<int64_t> params; // the parameter slots as the module wrote them
    bool onMainThread;
};

class RecordingHost {
public:
    explicit RecordingHost(int hostVersion = 800);
    ~RecordingHost();
    RecordingHost(const RecordingHost &) = delete;
    RecordingHost &operator=(const RecordingHost &) = delete;

    // The handle to give XOPMain.
    IORecHandle ioRec() const { return ioRec_; }
    const IORec &record() const { return **ioRec_; }

    // How this host answers. GET_IGOR_VERSION: 0 = 1000 times the version, else this error.
    int versionAnswer = 0;
    int callbackMethodAnswer = 0;
    bool fillMemoryTable = true;
    // REGISTER_OPERATION number failAt (0-based) fails with failCode.
    int failAt = -1;
    int failCode = 0;

    // What the module did.
    std::vector<CallbackCall> calls;
    std::vector<Registration> registrations;
    std::vector<std::string> history;
    std::vector<std::pair<std::string, double>> variables;
    std::vector<std::string> violations;
    bool callRecordMode() const { return callRecordMode_; }

    XOPEntryProc entry() const { return record().XOPEntry; }
    // The I/O record's result as an error code.
    int result() const { return static_cast<int>(record().result); }

    // A text handle, disposed with this host.
    Handle text(const std::string &content);
    const Registration *registration(const std::string &command) const;
    // Runs the registered command of that name; its output variables are checked against its
    // list. -1 if it is not registered.
    int run(const std::string &command, void *params);
    // Delivers a message to the entry callback; returns the module's result (-1 without entry).
    int send(int message);

private:
    static void callBack(void *arg);
    int64_t answer(int code, const std::vector<int64_t> &params);
    void violation(const std::string &what);

    IORecHandle ioRec_ = nullptr;
    int hostVersion_;
    bool callRecordMode_ = false;
    std::thread::id mainThread_;
    std::mutex mutex_;
    std::vector<Handle> texts_;
};

#endif
