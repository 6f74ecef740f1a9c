// The commands of mbus: each opens a master on the URL, does its work and returns the process's
// exit status. Failures are reported on standard error with the library's text.
#pragma once

#include "cli/command_options.h"
#include "cli/endpoint.h"
#include "cli/master_session.h"
#include "cli/report_writer.h"
#include "cli/value_codec.h"

#include <string>
#include <vector>

class Commands {
public:
    explicit Commands(const CommandOptions &options) : options_(options) {}

    int read();
    int write();
    int watch();
    int scan();
    int info();

    // Exit status of a library result code: 0 success, 1 general (arguments, state), 2 I/O,
    // 3 bus protocol, 4 exception response.
    static int exitStatus(int resultCode);

private:
    // Checks the options common to the data commands and opens the master.
    int prepare(bool writing);
    // defaultTimeoutMs applies when neither the URL nor --timeout gives one; 0: the library's.
    int open(int defaultTimeoutMs = 0);
    // Reports a failure and returns its exit status.
    int fail(int resultCode, const std::string &detail = std::string());
    // Reads the configured block once into rows of address, raw registers and value.
    int readRows(std::vector<ReportWriter::Row> &rows);
    std::vector<std::string> dataColumns() const;

    const CommandOptions &options_;
    Endpoint endpoint_;
    MasterSession session_;
    OutputFormat format_ = OutputFormat::Table;
    DataTable table_ = DataTable::HoldingRegisters;
    ValueCodec codec_{ValueType::Int16, ByteOrder::Cdab};
    int wireAddress_ = 0;
    int registerCount_ = 0; // registers or bits of the block
};
