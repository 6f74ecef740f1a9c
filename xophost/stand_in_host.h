// A stand-in for Igor Pro on its side of the extension interface, strict about every rule: it
// loads an extension module, reads its XOPI, XOPC and STR# resources, hands XOPMain a handle to
// an I/O record, answers the module's callbacks in the legacy and the call-record mode, keeps the
// operations the module registers, parses command lines against their templates, fills their
// runtime parameter records (strings in fresh handles without NUL) and runs them, and sends the
// clean-up message at the end. History text goes to one stream (carriage returns as line feeds),
// the host's own error lines to another.
//
// Strict: an unknown callback code, a wrong parameter count, a malformed call record, a legacy
// callback after the switch or off the main thread, a callback that is not thread-safe made from
// another thread, a variable the running command did not declare, or a registration the host
// refuses is reported on the error stream with the host's error code, and fails the command (or
// the load) even when the module carries on.
//
// Waves: the wave callbacks (destination wave, wave reference, dimensions, data in and out as
// doubles, modified) on a WaveStore; `make [/O] [/D|/T|/Y=type] NAME={v,...}` makes a wave from
// the command line and `print NAME` shows a wave as well as a variable. Wave and DataFolderAndName
// parameters (/DEST=name) are filled as Igor fills them.
//
// A command line that starts with "&" runs on the host's preemptive thread, as Igor runs a
// thread-safe operation called from a ThreadSafe function, while the following lines run on the
// main thread; the next "&" line, "&wait" and the clean-up wait for it first.
#ifndef XOPHOST_STAND_IN_HOST_H
#define XOPHOST_STAND_IN_HOST_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/igor_xop.h"
#include "xophost/command_line_parser.h"
#include "xophost/command_template.h"
#include "xophost/module_library.h"
#include "xophost/wave_store.h"

class StandInHost {
public:
    // Worst last: the order of the exit statuses.
    enum class Outcome { Done, CommandFailed, SyntaxError };

    // hostVersion: 100 times the version Igor reports (800 for 8.00).
    StandInHost(int hostVersion, std::FILE *history, std::FILE *errors);
    ~StandInHost();
    StandInHost(const StandInHost &) = delete;
    StandInHost &operator=(const StandInHost &) = delete;

    // Loads the module file and starts it. On failure error says why.
    bool loadModule(const std::string &path, std::string &error);
    // Starts a module already in this process, its resources read through resources.
    bool startModule(XOPMainFunc xopMain, ModuleResourceFunc resources, std::string &error);

    // Runs one line: a command, "&" and a command, "&wait", `print NAME`, `make ...`, a blank
    // line or a comment. Failures are reported on the error stream, prefixed with location ("script.txt:3: ").
    Outcome runLine(const std::string &line, const std::string &location = std::string());
    // Waits for the command on the preemptive thread; the worst outcome of the commands that ran
    // there since the last wait.
    Outcome waitForThread();

    // Delivers a message to the module's entry callback; returns the module's result.
    int sendMessage(int message);
    // Waits for the preemptive thread and sends the clean-up message, once.
    void cleanup();

    // Called before the host writes anything of its own (history, values, error lines).
    void setBeforeOutput(std::function<void()> hook) { beforeOutput_ = std::move(hook); }

    IORecHandle ioRecHandle() const { return ioRec_; }
    // The value of an output variable that a command has set.
    bool variable(const std::string &name, double &value) const;
    // The text of an error code: the module's message table from 10000 on, else the host's.
    std::string errorText(int code) const;
    WaveStore &waves() { return waves_; }

private:
    struct Operation {
        CommandTemplate commandTemplate;
        std::vector<std::string> variables;
        int recordSize = 0;
        XOPExecuteFunc execute = nullptr;
        bool threadSafe = false;
    };
    struct Category {
        std::string name;
        int category;
    };
    // A command running on some thread: the first rule it broke.
    struct Running {
        const Operation *operation;
        int violation;
    };

    static thread_local Running *runningHere_;

    static void callBack(void *arg);
    void legacyCall();
    void callRecordCall(XOPCallRec &rec);
    int64_t answer(int code, int count, const int64_t *params);
    int64_t notice(const int64_t *params);
    int64_t registerOperation(const int64_t *params);
    int64_t setNumericVariable(const int64_t *params);
    int64_t internalInfo(const int64_t *params);
    int64_t waveCall(int code, const int64_t *params);
    int refuseRegistration(int code, const std::string &what);
    void violation(int code, const std::string &what);

    // The bytes of a module resource of type and identifier 1100, or null.
    using ResourceReader = std::function<const unsigned char *(const char *type, std::uint32_t *size)>;
    bool start(XOPMainFunc xopMain, const ResourceReader &resource, std::string &error);
    bool readResources(const ResourceReader &resource, std::string &error);
    bool onMainThread() const { return std::this_thread::get_id() == mainThread_; }
    void beforeOutput() const;
    void errorLine(const char *format, ...);
    const Operation *findOperation(const std::string &name) const;
    Outcome runPrint(const std::string &line, const std::string &location);
    Outcome runMake(const std::string &line, const std::string &location);
    // Writes a flag's or keyword's parameters into the record; false after an error line.
    bool fillParams(unsigned char *record, const std::vector<TemplateParam> &params,
                    const std::vector<ParamValue> &values, std::size_t setOffset,
                    std::vector<Handle> &texts, const std::string &location);
    Outcome startOnThread(const std::string &line, const std::string &location);
    Outcome runCommand(const Operation &operation, const ParsedCommand &parsed,
                       const std::string &location, bool preemptive);

    int hostVersion_;
    std::FILE *history_;
    std::FILE *errors_;
    std::unique_ptr<ModuleLibrary> library_;
    IORecHandle ioRec_ = nullptr;
    std::thread::id mainThread_;
    bool callRecordMode_ = false;
    bool started_ = false;
    bool cleanedUp_ = false;
    int loadViolation_ = 0;
    std::vector<Category> categories_;
    std::vector<std::string> messages_;
    std::vector<std::unique_ptr<Operation>> operations_;
    std::thread preemptive_;
    WaveStore waves_;

    // Guards the output streams, the variables and the preemptive thread's outcome.
    mutable std::mutex outputMutex_;
    // Keyed by the lower-case name; holds the name as the module declared it.
    std::map<std::string, std::pair<std::string, double>> variables_;
    Outcome threadOutcome_ = Outcome::Done;
    std::function<void()> beforeOutput_;
};

#endif
