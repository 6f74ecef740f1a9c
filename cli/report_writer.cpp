#include "cli/report_writer.h"

#include <algorithm>

namespace {

std::string csvField(const std::string &text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string jsonString(const std::string &text)
{
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += char(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
        } else {
            quoted += char(c);
        }
    }
    return quoted + "\"";
}

} // namespace

void ReportWriter::write(const std::vector<Row> &rows, const std::vector<bool> *highlight)
{
    switch (format_) {
    case OutputFormat::Table: writeTable(rows, highlight); break;
    case OutputFormat::Csv: writeCsv(rows); break;
    case OutputFormat::Json: writeJson(rows); break;
    }
    std::fflush(out_);
}

void ReportWriter::writeTable(const std::vector<Row> &rows, const std::vector<bool> *highlight)
{
    // Columns only ever widen, so that the lines of a watch stay aligned.
    for (std::size_t c = 0; c < columns_.size(); ++c) {
        widths_[c] = std::max(widths_[c], columns_[c].size());
        for (const Row &row : rows)
            widths_[c] = std::max(widths_[c], row[c].text.size());
    }
    const auto line = [&](const std::vector<std::string> &cells, bool marked) {
        for (std::size_t c = 0; c < cells.size(); ++c) {
            const bool last = c + 1 == cells.size();
            const std::string pad(widths_[c] - cells[c].size(), ' ');
            if (last && marked)
                std::fprintf(out_, "\x1b[7m%s\x1b[0m", cells[c].c_str());
            else
                std::fprintf(out_, "%s", last ? cells[c].c_str() : (cells[c] + pad + "  ").c_str());
        }
        std::fputc('\n', out_);
    };
    if (!headerDone_)
        line(columns_, false);
    headerDone_ = true;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::vector<std::string> cells;
        for (const DecodedValue &cell : rows[r])
            cells.push_back(cell.text);
        line(cells, highlight != nullptr && (*highlight)[r]);
    }
}

void ReportWriter::writeCsv(const std::vector<Row> &rows)
{
    if (!headerDone_) {
        for (std::size_t c = 0; c < columns_.size(); ++c)
            std::fprintf(out_, "%s%s", c ? "," : "", csvField(columns_[c]).c_str());
        std::fputc('\n', out_);
    }
    headerDone_ = true;
    for (const Row &row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c)
            std::fprintf(out_, "%s%s", c ? "," : "", csvField(row[c].text).c_str());
        std::fputc('\n', out_);
    }
}

void ReportWriter::writeJson(const std::vector<Row> &rows)
{
    std::fputc('[', out_);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::fprintf(out_, "%s{", r ? "," : "");
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            const DecodedValue &cell = rows[r][c];
            // JSON has no NaN or infinity: such a value becomes null.
            const std::string value = cell.kind == DecodedValue::Kind::Text     ? jsonString(cell.text)
                                      : cell.kind == DecodedValue::Kind::Number ? cell.text
                                                                                : "null";
            std::fprintf(out_, "%s%s:%s", c ? "," : "", jsonString(columns_[c]).c_str(), value.c_str());
        }
        std::fputc('}', out_);
    }
    std::fputs("]\n", out_);
}
