// The extension's five commands with any numbers (NaN, infinities, huge and negative values, as
// raw doubles from the input) and any host names, run on parameter records the way the host
// fills them, through the real library on the in-memory network. Every command must return 0
// or an error code, /Q must turn failures into 0, and the clean-up must close every connection.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "extension/parameter_records.h"
#include "extension/xop_main.h"
#include "fuzz/fake_network.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/reply_script.h"
#include "tests/support/recording_host.h"

namespace {

constexpr int kMaxCommands = 8;
const char *const kCommandNames[] = {"MBOpen", "MBGetStatus", "MBClose", "MBRead", "MBWrite"};

std::string hostName(FuzzInput &input)
{
    static const std::string kNames[] = {
        "127.0.0.1", "localhost", "plc-7", "", " ", "255.255.255.255", "0.0.0.0", "127.1", "1.2.3",
        "127.0.0.1 ", "name;with/odd\\chars", std::string(254, 'a'), std::string(255, 'b'), std::string(300, 'c'),
    };
    const std::uint8_t choice = input.byte();
    if (choice < 0xC0)
        return kNames[choice % (sizeof kNames / sizeof kNames[0])];
    std::string raw(input.byte(), '\0');
    input.take(reinterpret_cast<std::uint8_t *>(&raw[0]), raw.size());
    return raw;
}

// Bit 0 of the flags gives the keyword; the value is any double.
double number(FuzzInput &input)
{
    return input.f64();
}

// Every failure of a command is one of the module's own codes.
bool knownCode(int code)
{
    return code == 0 || code >= 10000;
}

// Runs a command; the host checks the output variables against the command's list.
int run(RecordingHost &host, std::size_t index, void *params)
{
    const std::size_t variablesBefore = host.variables.size();
    const int code = host.run(kCommandNames[index], params);
    fuzzRequire(code != -1 || host.registration(kCommandNames[index]) != nullptr, "the five commands are registered");
    for (std::size_t i = variablesBefore; i < host.variables.size(); ++i) {
        if (host.variables[i].first == "V_MBerr") {
            const double value = host.variables[i].second;
            fuzzRequire(std::isfinite(value) && value == std::floor(value), "V_MBerr is an integer");
        }
    }
    fuzzRequire(host.violations.empty(), "the module keeps the host's rules");
    return code;
}

int runCommand(RecordingHost &host, FuzzInput &input)
{
    const std::uint8_t which = input.byte() % 5;
    const std::uint8_t flags = input.byte();
    const bool quiet = flags & 0x01;
    const std::uint8_t given = input.byte();
    Handle name = (given & 0x01) ? host.text(hostName(input)) : nullptr;
    int code = 0;
    switch (which) {
    case 0: {
        MBOpenRuntimeParams p{};
        p.QFlagEncountered = quiet;
        p.IPEncountered = given & 0x01;
        p.hostName = name;
        p.portEncountered = (given >> 1) & 1;
        p.TCPport = number(input);
        p.timeoutEncountered = (given >> 2) & 1;
        p.timeOutms = number(input);
        p.delayEncountered = (given >> 3) & 1;
        p.pollDelay = number(input);
        code = run(host, 0, &p);
        break;
    }
    case 1:
    case 2: {
        MBConnectionRuntimeParams p{};
        p.QFlagEncountered = quiet;
        p.IPEncountered = given & 0x01;
        p.hostName = name;
        code = run(host, which, &p);
        break;
    }
    case 3: {
        MBReadRuntimeParams p{};
        p.LFlagEncountered = (flags >> 1) & 1;
        p.FFlagEncountered = (flags >> 2) & 1;
        p.QFlagEncountered = quiet;
        p.IPEncountered = given & 0x01;
        p.hostName = name;
        p.CoilEncountered = (given >> 1) & 1;
        p.addressCoil = number(input);
        p.DiscreteInputEncountered = (given >> 2) & 1;
        p.addressDiscreteInput = number(input);
        p.HoldingRegisterEncountered = (given >> 3) & 1;
        p.addressHoldingRegister = number(input);
        p.InputRegisterEncountered = (given >> 4) & 1;
        p.addressInputRegister = number(input);
        code = run(host, 3, &p);
        break;
    }
    default: {
        MBWriteRuntimeParams p{};
        p.LFlagEncountered = (flags >> 1) & 1;
        p.FFlagEncountered = (flags >> 2) & 1;
        p.QFlagEncountered = quiet;
        p.IPEncountered = given & 0x01;
        p.hostName = name;
        p.CoilEncountered = (given >> 1) & 1;
        p.addressCoil = number(input);
        p.valueCoil = number(input);
        p.RegisterEncountered = (given >> 2) & 1;
        p.addressRegister = number(input);
        p.valueRegister = number(input);
        code = run(host, 4, &p);
        break;
    }
    }
    fuzzRequire(knownCode(code), "a command returns 0 or an error code");
    if (quiet)
        fuzzRequire(code == 0, "/Q turns a failure into 0");
    return code;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput input(data, size);
    ReplyScript script(input, Framing::Mbap);
    script.checkIdentifierSequence(false); // one master per host name
    FakeNetwork::attach(&script);
    {
        RecordingHost host;
        fuzzRequire(XOPMain(host.ioRec()) == 0, "the module loads");
        for (int i = 0; i < kMaxCommands && !input.exhausted(); ++i)
            runCommand(host, input);
        host.send(CLEANUP);
        fuzzRequire(host.violations.empty(), "the module keeps the host's rules");
    }
    FakeNetwork::detach();
    return 0;
}
