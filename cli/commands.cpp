#include "cli/commands.h"

#include "cli/console.h"
#include "cli/device_identification.h"

#include <cstdio>

namespace {

constexpr int kScanTimeoutMs = 250;

bool tableFromName(const std::string &name, DataTable &table)
{
    if (name == "coils" || name == "coil")
        table = DataTable::Coils;
    else if (name == "discrete" || name == "discrete-inputs")
        table = DataTable::DiscreteInputs;
    else if (name == "holding" || name == "holding-registers")
        table = DataTable::HoldingRegisters;
    else if (name == "input" || name == "input-registers")
        table = DataTable::InputRegisters;
    else
        return false;
    return true;
}

bool isBitTable(DataTable table) { return table == DataTable::Coils || table == DataTable::DiscreteInputs; }

DecodedValue number(long long value) { return {std::to_string(value), DecodedValue::Kind::Number}; }
DecodedValue text(const std::string &value) { return {value, DecodedValue::Kind::Text}; }

std::string hexWords(const std::uint16_t *words, int count)
{
    std::string text;
    char word[8];
    for (int i = 0; i < count; ++i) {
        std::snprintf(word, sizeof word, "%s%04X", i ? " " : "", unsigned(words[i]));
        text += word;
    }
    return text;
}

bool bitFromText(const std::string &value, int &bit)
{
    if (value == "1" || value == "on" || value == "true")
        bit = 1;
    else if (value == "0" || value == "off" || value == "false")
        bit = 0;
    else
        return false;
    return true;
}

} // namespace

int Commands::exitStatus(int resultCode)
{
    if (resultCode == MBUS_SUCCESS)
        return 0;
    if (resultCode >= MBUS_EXCEPTION_RESPONSE)
        return 4;
    if (resultCode >= MBUS_BUS_PROTOCOL_ERROR_CLASS)
        return 3;
    if (resultCode >= MBUS_IO_ERROR_CLASS)
        return 2;
    return 1;
}

int Commands::fail(int resultCode, const std::string &detail)
{
    std::fprintf(stderr, "mbus: %s%s%s (result %d)\n", detail.c_str(), detail.empty() ? "" : ": ",
                 mbusGetErrorText(resultCode), resultCode);
    return exitStatus(resultCode);
}

int Commands::open(int defaultTimeoutMs)
{
    if (options_.format == "csv")
        format_ = OutputFormat::Csv;
    else if (options_.format == "json")
        format_ = OutputFormat::Json;
    std::string error;
    if (!Endpoint::parse(options_.url, endpoint_, error))
        return fail(MBUS_ILLEGAL_ARGUMENT, error);
    endpoint_.tls = options_.tls;
    if (options_.unit > endpoint_.maxUnit())
        return fail(MBUS_ILLEGAL_ARGUMENT, "unit " + std::to_string(options_.unit) + " is beyond " +
                                               std::to_string(endpoint_.maxUnit()) + " on this transport");
    int timeoutMs = options_.timeoutMs > 0 ? options_.timeoutMs : endpoint_.timeoutMs;
    if (timeoutMs == 0)
        timeoutMs = defaultTimeoutMs;
    const int result = session_.open(endpoint_, timeoutMs, options_.retries, options_.trace);
    return result == MBUS_SUCCESS ? 0 : fail(result, "cannot open " + options_.url);
}

int Commands::prepare(bool writing)
{
    if (!tableFromName(options_.table, table_))
        return fail(MBUS_ILLEGAL_ARGUMENT, "\"" + options_.table + "\" is no table (coils, discrete, holding, input)");
    ValueType type = ValueType::Int16;
    ByteOrder order = ByteOrder::Cdab;
    if (!ValueCodec::typeFromName(options_.type, type))
        return fail(MBUS_ILLEGAL_ARGUMENT, "\"" + options_.type + "\" is no value type");
    if (!options_.order.empty() && !ValueCodec::orderFromName(options_.order, order))
        return fail(MBUS_ILLEGAL_ARGUMENT, "\"" + options_.order + "\" is no byte order (abcd, cdab, badc, dcba)");
    if (isBitTable(table_) && (type != ValueType::Int16 || !options_.order.empty()))
        return fail(MBUS_ILLEGAL_ARGUMENT, "coils and discrete inputs take no --type or --order");
    // The library fixes the layout of modulo-10000 pairs: the first register holds the high part.
    if (type == ValueType::Mod10000 && !options_.order.empty())
        return fail(MBUS_ILLEGAL_ARGUMENT, "mod10000 pairs have a fixed layout and take no --order");
    codec_ = ValueCodec(type, order);
    if (isBitTable(table_))
        registerCount_ = options_.count;
    else
        registerCount_ = type == ValueType::Text ? ValueCodec::textRegisters(options_.count)
                                                 : options_.count * codec_.registersPerValue();
    const long long wire = options_.address - options_.base;
    if (wire < 0 || wire + registerCount_ - 1 > 65535)
        return fail(MBUS_ILLEGAL_ARGUMENT, "addresses " + std::to_string(options_.address) + " to " +
                                               std::to_string(options_.address + registerCount_ - 1) +
                                               " lie outside " + std::to_string(options_.base) + ".." +
                                               std::to_string(65535 + options_.base));
    wireAddress_ = int(wire);
    if (options_.unit == 0 && !writing)
        return fail(MBUS_ILLEGAL_ARGUMENT, "unit 0 is the broadcast address, which only writes can use");
    return open();
}

std::vector<std::string> Commands::dataColumns() const
{
    if (isBitTable(table_))
        return {"address", "value"};
    return {"address", "raw", "value"};
}

int Commands::readRows(std::vector<ReportWriter::Row> &rows)
{
    rows.clear();
    const long long first = wireAddress_ + options_.base;
    if (isBitTable(table_)) {
        std::vector<int> bits;
        const int result = session_.readBits(table_, options_.unit, wireAddress_, registerCount_, bits);
        for (std::size_t i = 0; result == MBUS_SUCCESS && i < bits.size(); ++i)
            rows.push_back({number(first + (long long)i), number(bits[i])});
        return result;
    }
    const int step = codec_.registersPerValue();
    std::vector<std::uint16_t> registers;
    const int result = session_.readRegisters(table_, options_.unit, wireAddress_, registerCount_, step, registers);
    if (result != MBUS_SUCCESS)
        return result;
    if (options_.type == "text") {
        rows.push_back({number(first), text(hexWords(registers.data(), registerCount_)),
                        codec_.decode(registers.data(), registerCount_)});
        return result;
    }
    for (int at = 0; at + step <= registerCount_; at += step)
        rows.push_back({number(first + at), text(hexWords(&registers[std::size_t(at)], step)),
                        codec_.decode(&registers[std::size_t(at)], step)});
    return result;
}

int Commands::read()
{
    if (int status = prepare(false))
        return status;
    std::vector<ReportWriter::Row> rows;
    const int result = readRows(rows);
    if (result != MBUS_SUCCESS)
        return fail(result);
    ReportWriter(format_, dataColumns(), stdout).write(rows);
    return 0;
}

int Commands::write()
{
    if (!tableFromName(options_.table, table_) ||
        (table_ != DataTable::Coils && table_ != DataTable::HoldingRegisters))
        return fail(MBUS_ILLEGAL_ARGUMENT, "only coils and holding registers can be written");
    if (options_.values.empty())
        return fail(MBUS_ILLEGAL_ARGUMENT, "no value to write");
    if (options_.type == "text" && options_.values.size() != 1)
        return fail(MBUS_ILLEGAL_ARGUMENT, "a text is one value; quote it");
    if (int status = prepare(true))
        return status;

    int result = MBUS_SUCCESS;
    std::string error;
    if (table_ == DataTable::Coils) {
        std::vector<int> bits(options_.values.size());
        for (std::size_t i = 0; i < bits.size(); ++i)
            if (!bitFromText(options_.values[i], bits[i]))
                return fail(MBUS_ILLEGAL_ARGUMENT, "\"" + options_.values[i] + "\" is no coil value (0, 1, off, on)");
        registerCount_ = int(bits.size());
        if (wireAddress_ + registerCount_ - 1 > 65535)
            return fail(MBUS_ILLEGAL_ARGUMENT, "the coils run past the last address");
        result = session_.writeBits(options_.unit, wireAddress_, bits, options_.multiple);
    } else {
        std::vector<std::uint16_t> registers;
        for (const std::string &value : options_.values)
            if (!codec_.encode(value, registers, error))
                return fail(MBUS_ILLEGAL_ARGUMENT, error);
        if (wireAddress_ + int(registers.size()) - 1 > 65535)
            return fail(MBUS_ILLEGAL_ARGUMENT, "the registers run past the last address");
        if (registers.size() > 123)
            return fail(MBUS_ILLEGAL_ARGUMENT, "more than 123 registers do not fit one write");
        result = session_.writeRegisters(options_.unit, wireAddress_, registers, options_.multiple);
    }
    return result == MBUS_SUCCESS ? 0 : fail(result);
}

int Commands::watch()
{
    if (int status = prepare(false))
        return status;
    Console console;
    const bool live = format_ == OutputFormat::Table && Console::isTerminal(stdout);
    std::vector<std::string> columns = dataColumns();
    if (!live)
        columns.insert(columns.begin(), "time");
    ReportWriter writer(format_, columns, stdout);
    std::vector<ReportWriter::Row> rows, previous;
    int result = MBUS_SUCCESS;
    for (int poll = 1;; ++poll) {
        const long long started = Console::nowMs();
        const std::string time = Console::timestamp();
        result = readRows(rows);
        if (live) {
            // Redrawn in place; values that changed since the last good poll show in reverse video.
            std::printf("\x1b[H\x1b[2J%s  unit %d  poll %d  %s\n", options_.url.c_str(), options_.unit, poll,
                        time.c_str());
            if (result != MBUS_SUCCESS) {
                std::printf("%s (result %d)\n", mbusGetErrorText(result), result);
                rows = previous;
            }
            std::vector<bool> changed(rows.size(), false);
            for (std::size_t i = 0; i < rows.size() && i < previous.size() && result == MBUS_SUCCESS; ++i)
                changed[i] = rows[i].back().text != previous[i].back().text;
            writer.repeatHeader();
            writer.write(rows, &changed);
            previous = rows;
        } else if (result == MBUS_SUCCESS) {
            for (ReportWriter::Row &row : rows)
                row.insert(row.begin(), text(time));
            writer.write(rows);
        } else {
            std::fflush(stdout);
            fail(result, time);
        }
        if (options_.polls > 0 && poll >= options_.polls)
            break;
        if (!console.waitUnlessInterrupted(int(options_.intervalMs - (Console::nowMs() - started))))
            break;
    }
    return exitStatus(result);
}

int Commands::scan()
{
    const long long wire = options_.address - options_.base;
    if (wire < 0 || wire > 65535)
        return fail(MBUS_ILLEGAL_ARGUMENT, "the probe address lies outside the address range");
    if (int status = open(kScanTimeoutMs))
        return status;
    if (options_.from > options_.to || options_.to > endpoint_.maxUnit())
        return fail(MBUS_ILLEGAL_ARGUMENT, "units " + std::to_string(options_.from) + ".." +
                                               std::to_string(options_.to) + " are no range on this transport (1.." +
                                               std::to_string(endpoint_.maxUnit()) + ")");
    ReportWriter writer(format_, {"unit", "reply"}, stdout);
    std::vector<ReportWriter::Row> found;
    int lastFailure = MBUS_SUCCESS;
    std::vector<std::uint16_t> registers;
    for (int unit = options_.from; unit <= options_.to; ++unit) {
        const int result = session_.readRegisters(DataTable::HoldingRegisters, unit, int(wire), 1, 1, registers);
        // An exception reply is an answer too: the unit is there, it just lacks that register.
        if (result != MBUS_SUCCESS && result < MBUS_EXCEPTION_RESPONSE) {
            lastFailure = result;
            continue;
        }
        ReportWriter::Row row{number(unit), text(result == MBUS_SUCCESS ? "ok" : mbusGetErrorText(result))};
        found.push_back(row);
        if (format_ != OutputFormat::Json)
            writer.write({row}); // shown as found: a scan of a serial line takes a while
    }
    if (format_ == OutputFormat::Json)
        writer.write(found);
    if (found.empty())
        return fail(lastFailure, "no unit answered; the last failure");
    return 0;
}

int Commands::info()
{
    static const char *const kLevels[] = {"basic", "regular", "extended"};
    int level = 0;
    for (int i = 0; i < 3; ++i)
        if (options_.level == kLevels[i])
            level = i + 1;
    if (level == 0)
        return fail(MBUS_ILLEGAL_ARGUMENT, "\"" + options_.level + "\" is no level (basic, regular, extended)");
    if (options_.unit == 0)
        return fail(MBUS_ILLEGAL_ARGUMENT, "unit 0 is the broadcast address, which only writes can use");
    if (int status = open())
        return status;

    std::vector<MasterSession::IdentificationObject> objects;
    const int result = session_.readDeviceIdentification(options_.unit, level, objects);
    if (result != MBUS_SUCCESS)
        return fail(result);
    std::vector<ReportWriter::Row> rows;
    for (const MasterSession::IdentificationObject &object : objects)
        rows.push_back({number(object.id), text(DeviceIdentification::objectName(object.id)),
                        text(ValueCodec::printable(object.value))});
    ReportWriter(format_, {"id", "name", "value"}, stdout).write(rows);
    return 0;
}
