// MBOpenSerial: a serial-line master (RTU, ASCII or RTU with extended addresses) registered under
// its port name, so that MBRead, MBWrite, MBGetStatus, MBClose and the block commands reach it
// with IP="<port>" as they reach a TCP device. A serial line has no unit 255: the five commands
// address the unit the open names (unit=, default 1), and so do the block commands without /U.
#include <cctype>
#include <cstdint>
#include <cstring>

#include "extension/commands.h"
#include "extension/connection_guard.h"
#include "extension/connection_registry.h"
#include "extension/error_report.h"
#include "extension/host_name.h"
#include "extension/message_table.h"
#include "extension/number_conversion.h"
#include "extension/output_lines.h"
#include "extension/parameter_records.h"
#include "host/host_services.h"

namespace {

constexpr int kInvalidParameter = 10001;
constexpr uint32_t kMaxMilliseconds = 100000;
constexpr int kWordLength = 15;

enum class Framing { Rtu, Ascii, ExtendedRtu };

struct SerialSettings {
    Framing framing = Framing::Rtu;
    int32_t baudRate = 9600;
    int32_t dataBits = 8;
    int32_t stopBits = 1;
    int parity = MBUS_PARITY_EVEN;
    int32_t timeout = 1000;
    int32_t pollDelay = 0;
    bool rs485 = false;
    int32_t rtsDelay = 0;
    int32_t unitId = 1;
};

bool sameWord(const char *text, const char *word)
{
    for (; *text != '\0' && *word != '\0'; ++text, ++word) {
        if (std::tolower(static_cast<unsigned char>(*text)) != std::tolower(static_cast<unsigned char>(*word)))
            return false;
    }
    return *text == '\0' && *word == '\0';
}

// A short text parameter; false for a null handle or a longer text.
bool readWord(Handle handle, char (&word)[kWordLength + 1])
{
    return GetCStringFromHandle(handle, word, kWordLength) == 0;
}

bool takeMilliseconds(double given, int32_t &out)
{
    int32_t value = 0;
    if (!truncateToInt32(given, value) || static_cast<uint32_t>(value) > kMaxMilliseconds)
        return false;
    out = value;
    return true;
}

// 0, kBadSerialSettings, kBadUnitId, or 10001 for a time-out, poll delay or RTS delay out of range.
int takeSettings(const MBOpenSerialRuntimeParams &p, SerialSettings &s)
{
    char word[kWordLength + 1];
    if (p.protocolEncountered != 0) {
        if (!readWord(p.protocol, word))
            return kBadSerialSettings;
        if (sameWord(word, "RTU"))
            s.framing = Framing::Rtu;
        else if (sameWord(word, "ASCII"))
            s.framing = Framing::Ascii;
        else if (sameWord(word, "ExtRTU"))
            s.framing = Framing::ExtendedRtu;
        else
            return kBadSerialSettings;
    }
    if (p.parityEncountered != 0) {
        if (!readWord(p.parity, word))
            return kBadSerialSettings;
        if (sameWord(word, "none") || sameWord(word, "N"))
            s.parity = MBUS_PARITY_NONE;
        else if (sameWord(word, "odd") || sameWord(word, "O"))
            s.parity = MBUS_PARITY_ODD;
        else if (sameWord(word, "even") || sameWord(word, "E"))
            s.parity = MBUS_PARITY_EVEN;
        else
            return kBadSerialSettings;
    }
    if (p.baudEncountered != 0 && (!truncateToInt32(p.baudRate, s.baudRate) || s.baudRate < 1))
        return kBadSerialSettings;
    if (p.dataBitsEncountered != 0 &&
        (!truncateToInt32(p.dataBits, s.dataBits) || (s.dataBits != 7 && s.dataBits != 8)))
        return kBadSerialSettings;
    if (p.stopBitsEncountered != 0 &&
        (!truncateToInt32(p.stopBits, s.stopBits) || (s.stopBits != 1 && s.stopBits != 2)))
        return kBadSerialSettings;
    if (p.timeoutEncountered != 0 && !takeMilliseconds(p.timeOutms, s.timeout))
        return kInvalidParameter;
    if (p.delayEncountered != 0 && !takeMilliseconds(p.pollDelay, s.pollDelay))
        return kInvalidParameter;
    // The library knows which addresses its framing can carry.
    if (p.unitEncountered != 0 && (!truncateToInt32(p.unitId, s.unitId) || s.unitId < 0 || s.unitId > 0xFFFF))
        return kBadUnitId;
    if (p.rs485Encountered != 0) {
        if (!takeMilliseconds(p.rtsDelay, s.rtsDelay))
            return kInvalidParameter;
        s.rs485 = true;
    }
    return 0;
}

MbusHandle newMaster(Framing framing)
{
    switch (framing) {
    case Framing::Ascii:
        return mbusNewAsciiMaster();
    case Framing::ExtendedRtu:
        return mbusNewElamMaster();
    case Framing::Rtu:
        break;
    }
    return mbusNewRtuMaster();
}

const char *framingName(Framing framing)
{
    switch (framing) {
    case Framing::Ascii:
        return "ASCII";
    case Framing::ExtendedRtu:
        return "ExtRTU";
    case Framing::Rtu:
        break;
    }
    return "RTU";
}

// Configures and opens a new master; library result code. On failure the master is destroyed.
int openMaster(const char *portName, const SerialSettings &s, MbusHandle &master)
{
    master = newMaster(s.framing);
    if (master == nullptr)
        return MBUS_ILLEGAL_STATE;
    int result = mbusSetTimeout(master, s.timeout);
    if (result == MBUS_SUCCESS)
        result = mbusSetPollDelay(master, s.pollDelay);
    if (result == MBUS_SUCCESS && s.rs485)
        result = mbusEnableRs485Mode(master, s.rtsDelay);
    if (result == MBUS_SUCCESS)
        result = mbusOpenSerialPort(master, portName, s.baudRate, s.dataBits, s.stopBits, s.parity);
    if (result != MBUS_SUCCESS) {
        diagnosticLine("=> ExecuteMBOpenSerial: Error opening port: %s\r", mbusGetErrorText(result));
        mbusDestroy(master);
        master = nullptr;
    }
    return result;
}

} // namespace

int ExecuteMBOpenSerial(void *params)
{
    const auto *p = static_cast<const MBOpenSerialRuntimeParams *>(params);
    const bool quiet = p->QFlagEncountered != 0;
    const CommandReport &report = kMBOpenSerialReport;

    HostNameBuffer portName;
    int code = readHostName(p->portEncountered != 0, p->portName, portName, kInvalidParameter);
    if (code != 0)
        return reportFailure(report, code, quiet);
    SerialSettings settings;
    code = takeSettings(*p, settings);
    if (code != 0)
        return reportFailure(report, code, quiet);

    const ConnectionGuard guard(portName);
    MbusHandle previous = nullptr;
    getConnection(portName, &previous);
    if (previous != nullptr && mbusIsOpen(previous)) {
        diagnosticLine("=> ExecuteMBOpenSerial -> %s is open already\r", portName);
        return reportFailure(report, 10000 + MBUS_ILLEGAL_STATE, quiet);
    }
    MbusHandle master = nullptr;
    const int result = openMaster(portName, settings, master);
    if (result != MBUS_SUCCESS)
        return reportFailure(report, 10000 + result, quiet);
    // A closed master of this name (serial or TCP) gives way to the new one.
    if (!setConnection(portName, master)) {
        mbusCloseConnection(master);
        mbusDestroy(master);
        diagnosticLine("=> ExecuteMBOpenSerial: no free connection for %s\r", portName);
        return reportFailure(report, 10000 + MBUS_ILLEGAL_STATE, quiet);
    }
    setConnectionUnit(portName, settings.unitId);
    if (previous != nullptr)
        mbusDestroy(previous);

    setOutputVariable("V_MBerr", 0);
    if (!quiet)
        historyLine("=> MODBUS %s connection established on %s at %d baud, %d data bits, parity %s, %d stop "
                    "bits, timeout of %dms and poll delay of %dms\r",
                    framingName(settings.framing), portName, settings.baudRate, settings.dataBits,
                    settings.parity == MBUS_PARITY_NONE ? "none" : settings.parity == MBUS_PARITY_ODD ? "odd" : "even",
                    settings.stopBits, settings.timeout, settings.pollDelay);
    return 0;
}
