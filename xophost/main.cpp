// xophost: runs host commands of an extension module from the command line, a script or a
// terminal, with an optional simulated Modbus/TCP device in the same process.
#include <algorithm>
#include <climits>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "xophost/host_platform.h"
#include "xophost/simulated_device.h"
#include "xophost/stand_in_host.h"
#include "xophost/terminal_diagnostics.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitSyntax = 2;
constexpr int kDefaultSimPort = 5020;

const char kUsage[] =
    "usage: xophost [--module PATH] [--host-version N] [--keep-going] [--sim[=PORT]]\n"
    "               [-c LINE]... [SCRIPT]\n"
    "Loads the extension module (default: Zorvane.xop beside xophost), runs each -c LINE, then\n"
    "the lines of SCRIPT; with neither, reads standard input. `print NAME` shows an output\n"
    "variable or a wave; `make [/O] [/D|/T|/Y=type] NAME={v,...}` makes a wave; `&COMMAND` runs a\n"
    "command on a second thread while the next lines go on, and `&wait` waits for it. History\n"
    "goes to standard output, errors to standard error.\n"
    "  --module PATH      the module to load\n"
    "  --host-version N   host version number reported to the module (default 800)\n"
    "  --keep-going       run on after a failing line\n"
    "  --sim[=PORT]       serve a simulated Modbus/TCP device on 127.0.0.1:PORT (default 5020)\n"
    "Exit status: 0, 1 when a command failed, 2 for a syntax or usage error.\n";

struct Options {
    std::string modulePath;
    int hostVersion = 800;
    bool keepGoing = false;
    int simPort = -1; // -1: no simulated device
    std::vector<std::string> lines;
    std::string script;
};

bool parseInt(const std::string &text, long min, long max, int &out)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || value < min || value > max)
        return false;
    out = static_cast<int>(value);
    return true;
}

// false after a message on standard error.
bool parseOptions(int argc, char **argv, Options &options)
{
    // A bare --sim means the default port; --sim=PORT names one. The port never comes as the
    // next argument, which stays a SCRIPT. CLI11 takes the arguments last first.
    std::vector<std::string> args;
    for (int i = argc - 1; i > 0; --i)
        args.push_back(std::strcmp(argv[i], "--sim") == 0 ? "--sim=" + std::to_string(kDefaultSimPort) : argv[i]);

    CLI::App app("xophost");
    app.set_help_flag();
    app.allow_extras();
    bool help = false;
    std::string hostVersion;
    std::string simPort;
    std::vector<std::string> scripts;
    app.add_flag("-h,--help", help);
    app.add_option("--module", options.modulePath);
    app.add_option("--host-version", hostVersion);
    app.add_flag("--keep-going", options.keepGoing);
    app.add_option("--sim", simPort);
    // One line per -c, in order.
    app.add_option("-c", options.lines)->allow_extra_args(false);
    app.add_option("SCRIPT", scripts);
    try {
        app.parse(args);
    } catch (const CLI::ParseError &e) {
        std::fprintf(stderr, "xophost: %s\n%s", e.what(), kUsage);
        return false;
    }
    if (help) {
        std::fputs(kUsage, stdout);
        std::exit(0);
    }
    const std::vector<std::string> unknown = app.remaining();
    if (!unknown.empty()) {
        std::fprintf(stderr, "xophost: unknown option '%s'\n%s", unknown.front().c_str(), kUsage);
        return false;
    }
    if (app.count("--host-version") != 0 && !parseInt(hostVersion, 0, INT_MAX, options.hostVersion)) {
        std::fprintf(stderr, "xophost: invalid host version '%s'\n", hostVersion.c_str());
        return false;
    }
    if (app.count("--sim") != 0 && !parseInt(simPort, 0, 65535, options.simPort)) {
        std::fprintf(stderr, "xophost: invalid port in '--sim=%s'\n", simPort.c_str());
        return false;
    }
    if (scripts.size() > 1) {
        std::fprintf(stderr, "xophost: only one SCRIPT may be given\n%s", kUsage);
        return false;
    }
    if (!scripts.empty())
        options.script = scripts.front();
    return true;
}

// Runs lines until one fails (unless keepGoing); tracks the worst outcome in status.
class LineRunner {
public:
    LineRunner(StandInHost &host, bool keepGoing) : host_(host), keepGoing_(keepGoing) {}

    // false when the session must stop.
    bool run(std::string line, const std::string &location)
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const StandInHost::Outcome outcome = host_.runLine(line, location);
        int status = 0;
        if (outcome == StandInHost::Outcome::CommandFailed)
            status = kExitFailure;
        else if (outcome == StandInHost::Outcome::SyntaxError)
            status = kExitSyntax;
        if (status > status_)
            status_ = status;
        return status == 0 || keepGoing_;
    }
    // Folds in the outcome of the commands that ran on the preemptive thread.
    void finish(StandInHost::Outcome outcome)
    {
        if (outcome == StandInHost::Outcome::CommandFailed)
            status_ = std::max(status_, kExitFailure);
        else if (outcome == StandInHost::Outcome::SyntaxError)
            status_ = kExitSyntax;
    }
    int status() const { return status_; }

private:
    StandInHost &host_;
    bool keepGoing_;
    int status_ = 0;
};

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parseOptions(argc, argv, options))
        return kExitSyntax;
    if (options.modulePath.empty())
        options.modulePath = defaultModulePath();

    std::ifstream scriptFile;
    if (!options.script.empty()) {
        scriptFile.open(options.script);
        if (!scriptFile) {
            std::fprintf(stderr, "xophost: cannot open script %s\n", options.script.c_str());
            return kExitFailure;
        }
    }
    const bool fromStdin = options.lines.empty() && options.script.empty();
    const bool interactive = fromStdin && isTerminal(stdin);

    std::unique_ptr<SimulatedDevice> device;
    if (options.simPort >= 0) {
        if (!SimulatedDevice::available()) {
            std::fprintf(stderr, "xophost: this build has no simulated device; leave out --sim\n");
            return kExitFailure;
        }
        device = std::make_unique<SimulatedDevice>();
        const int port = device->start(options.simPort);
        if (port < 0) {
            std::fprintf(stderr, "xophost: cannot serve the simulated device on 127.0.0.1:%d\n",
                         options.simPort);
            return kExitFailure;
        }
        std::fprintf(stderr, "xophost: simulated Modbus/TCP device on 127.0.0.1:%d\n", port);
    }

    TerminalDiagnostics terminal;
    if (isTerminal(stderr))
        terminal.start();
    StandInHost host(options.hostVersion, stdout, stderr);
    host.setBeforeOutput([&terminal] { terminal.drain(); });
    std::string error;
    if (!host.loadModule(options.modulePath, error)) {
        std::fprintf(stderr, "xophost: %s\n", error.c_str());
        return kExitFailure;
    }

    // At a terminal a person corrects a mistake and goes on.
    LineRunner runner(host, options.keepGoing || interactive);
    bool going = true;
    for (std::size_t i = 0; going && i < options.lines.size(); ++i)
        going = runner.run(options.lines[i], "-c " + std::to_string(i + 1) + ": ");
    if (!options.script.empty()) {
        std::string line;
        for (int number = 1; going && std::getline(scriptFile, line); ++number)
            going = runner.run(line, options.script + ":" + std::to_string(number) + ": ");
    }
    if (fromStdin) {
        std::string line;
        for (int number = 1; going; ++number) {
            if (interactive) {
                terminal.drain();
                std::fputs("xophost> ", stdout);
                std::fflush(stdout);
            }
            if (!std::getline(std::cin, line))
                break;
            going = runner.run(line, interactive ? std::string()
                                                 : "stdin:" + std::to_string(number) + ": ");
        }
        if (interactive)
            std::fputs("\n", stdout);
    }

    runner.finish(host.waitForThread());
    host.cleanup();
    terminal.stop();
    // A person at a terminal has seen every error already.
    return interactive ? 0 : runner.status();
}
