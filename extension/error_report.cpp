#include "extension/error_report.h"

#include "extension/message_table.h"
#include "extension/output_lines.h"
#include "host/host_services.h"

const CommandReport kMBOpenReport = {"=> ExecuteMBOpen -> error #%d\r",
                                     "=> MODBUS/TCP connection error #%d\r", "MBOpen", nullptr};
const CommandReport kMBCloseReport = {"=> ExecuteMBClose -> error #%d\r",
                                      "=> MODBUS/TCP error #%d\r", nullptr, nullptr};
const CommandReport kMBGetStatusReport = {"=> ExecuteMBGetStatus -> error #%d\r",
                                          "=> MODBUS/TCP error #%d\r", "MBGetStatus",
                                          "V_MBstatus"};
const CommandReport kMBReadReport = {"=> ExecuteMBRead -> error #%d\r",
                                     "=> MODBUS/TCP error #%d\r", "MBRead", nullptr};
const CommandReport kMBWriteReport = {"=> ExecuteMBWrite -> error #%d\r",
                                      "=> MODBUS/TCP error #%d\r", "MBWrite", nullptr};

const CommandReport kMBReadWaveReport = {"=> ExecuteMBReadWave -> error #%d\r",
                                         "=> MODBUS error #%d\r", nullptr, nullptr};
const CommandReport kMBWriteWaveReport = {"=> ExecuteMBWriteWave -> error #%d\r",
                                          "=> MODBUS error #%d\r", nullptr, nullptr};
const CommandReport kMBOpenSerialReport = {"=> ExecuteMBOpenSerial -> error #%d\r",
                                           "=> MODBUS serial connection error #%d\r", nullptr, nullptr};

int reportFailure(const CommandReport &report, int code, bool quiet, double extraValue)
{
    const int number = code - FIRST_XOP_ERR;
    setOutputVariable("V_MBerr", number);
    diagnosticLine(report.diagnosticFormat, number);
    if (report.alarmName != nullptr) {
        if (code < FIRST_XOP_ERR)
            historyLine("BUG FIX REQUIRED in %s: Error code %d  < FIRST_XOP_ERR (%d)\r",
                        report.alarmName, code, FIRST_XOP_ERR);
        else if (code > FIRST_XOP_ERR + kFirstCommandsMessageCount)
            historyLine("BUG FIX REQUIRED in %s: Error code %d  > FIRST_XOP_ERR (%d) + 166\r",
                        report.alarmName, code, FIRST_XOP_ERR);
    }
    if (report.extraVariable != nullptr)
        setOutputVariable(report.extraVariable, extraValue);
    if (quiet)
        return 0;
    historyLine(report.historyFormat, number);
    return code;
}
