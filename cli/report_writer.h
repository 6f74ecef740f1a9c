// Writes rows of named columns as an aligned table, CSV or JSON. Calls may come one after
// another (a watch): the table and CSV header goes out once, JSON writes one array per call.
#pragma once

#include "cli/value_codec.h"

#include <cstdio>
#include <string>
#include <vector>

enum class OutputFormat { Table, Csv, Json };

class ReportWriter {
public:
    using Row = std::vector<DecodedValue>;

    ReportWriter(OutputFormat format, std::vector<std::string> columns, std::FILE *out)
        : format_(format), columns_(std::move(columns)), out_(out), widths_(columns_.size(), 0)
    {
    }

    // `highlight`, when given, marks the rows whose last cell shows in reverse video (tables only).
    void write(const std::vector<Row> &rows, const std::vector<bool> *highlight = nullptr);
    // The next table or CSV write repeats the header (a redrawn screen).
    void repeatHeader() { headerDone_ = false; }

private:
    void writeTable(const std::vector<Row> &rows, const std::vector<bool> *highlight);
    void writeCsv(const std::vector<Row> &rows);
    void writeJson(const std::vector<Row> &rows);

    OutputFormat format_;
    std::vector<std::string> columns_;
    std::FILE *out_;
    std::vector<std::size_t> widths_;
    bool headerDone_ = false;
};
