// The report a command gives when it ends with a non-zero extension error code.
#ifndef ZORVANE_ERROR_REPORT_H
#define ZORVANE_ERROR_REPORT_H

// The lines of one command's report.
struct CommandReport {
    const char *diagnosticFormat; // "=> ExecuteMBRead -> error #%d\r"
    const char *historyFormat;    // "=> MODBUS/TCP error #%d\r"
    const char *alarmName;        // name in the range alarm lines; null: no range alarm
    // Set after the range alarm on every path of the command (V_MBstatus), or null.
    const char *extraVariable;
};

extern const CommandReport kMBOpenReport;
extern const CommandReport kMBCloseReport;
extern const CommandReport kMBGetStatusReport;
extern const CommandReport kMBReadReport;
extern const CommandReport kMBWriteReport;
// The block commands and the serial open have no range alarm: every code they give has a text.
extern const CommandReport kMBReadWaveReport;
extern const CommandReport kMBWriteWaveReport;
extern const CommandReport kMBOpenSerialReport;

// Sets V_MBerr to code - 10000, writes the diagnostic line, the range alarm and the extra
// variable (given extraValue), then returns 0 under the quiet flag, else prints the history line
// and returns code.
int reportFailure(const CommandReport &report, int code, bool quiet, double extraValue = 0.0);

#endif
