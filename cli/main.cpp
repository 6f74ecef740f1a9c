// mbus: a Modbus master on the command line, for the first minutes with a device and for scripts.
#include "cli/commands.h"

#include "mbus.h"

#include <CLI/CLI.hpp>

namespace {

const char *const kFooter = R"(Options of every command (listed by mbus --help): --unit, --timeout, --retries, --format,
--base, --trace; they may stand before or after the command.

Devices are named by URL:
  tcp://HOST[:PORT]  tls://HOST[:PORT] (Modbus/TCP over TLS, port 802)  udp://HOST[:PORT]  rtu-over-tcp://HOST[:PORT]  ascii-over-tcp://HOST[:PORT]
  rtu:DEVICE  ascii:DEVICE  rtu-extended:DEVICE (RTU with unit ids up to 2295)
  IPv6 addresses go in brackets: tcp://[::1]:502. Settings follow a '?', joined by '&':
  timeout=MS (any URL); baud=N, parity=none|even|odd, databits=7|8, stopbits=1|2, rs485=RTS_DELAY_MS
  (serial lines; default 19200 baud, even parity, 8 data bits (ASCII: 7), 1 stop bit).
  tls:// takes --ca, --cert and --key (or --pfx), --password, --server-name, --insecure, --tls-min.
  Example: mbus read "rtu:/dev/ttyUSB0?baud=9600&parity=none" --unit 3 input 1 --count 4

Exit status: 0 success; 1 bad arguments or library results 1..63 (general); 2 I/O failure,
results 64..127 (cannot open, connection closed); 3 bus protocol failure, results 128..159
(time-out, checksum, invalid reply); 4 the device answered with an exception, results 160 and up.
The library's text and result code go to standard error.
--trace prints every frame to standard error: "TIME ms sent|received HEX BYTES", TIME a monotonic
millisecond count.)";

void addDataArguments(CLI::App &command, CommandOptions &options)
{
    command.add_option("table", options.table, "coils, discrete, holding or input")->required();
    command.add_option("address", options.address, "first address (one-based unless --base 0)")->required();
}

void addValueOptions(CLI::App &command, CommandOptions &options)
{
    command.add_option("--type", options.type,
                       "int16, uint16, int32, uint32, int64, uint64, float, double, mod10000 or text")
        ->capture_default_str();
    command.add_option("--order", options.order,
                       "byte order of a register value: abcd (high word first), cdab (low word first; the "
                       "default), badc, dcba; for text only the order of the two bytes in a register counts");
}

} // namespace

int main(int argc, char **argv)
{
    CommandOptions options;
    CLI::App app{std::string("mbus: a Modbus master on the command line (library ") + mbusGetPackageVersion() + ")",
                 "mbus"};
    app.footer(kFooter);
    app.set_version_flag("--version", std::string("mbus ") + mbusGetPackageVersion());
    app.require_subcommand(1);
    app.fallthrough();
    app.add_option("-u,--unit", options.unit, "unit id (slave address)")->check(CLI::Range(0, 2295))->capture_default_str();
    app.add_option("-t,--timeout", options.timeoutMs, "reply time-out in ms (default: the URL's, else 1000; scan 250)")
        ->check(CLI::Range(1, 100000));
    app.add_option("--retries", options.retries, "retries of a failed request")->check(CLI::Range(0, 10));
    app.add_option("-f,--format", options.format, "table, csv or json")
        ->check(CLI::IsMember({"table", "csv", "json"}))
        ->capture_default_str();
    app.add_option("--base", options.base, "address of the first register or bit: 1 (default) or 0")
        ->check(CLI::IsMember({0, 1}));
    app.add_flag("--trace", options.trace, "print every frame sent and received in hex on standard error");
    app.add_option("--ca", options.tls.caFile, "tls: PEM file of the CAs that sign the device's certificate");
    app.add_option("--ca-dir", options.tls.caFolder, "tls: folder of hashed CA certificates");
    app.add_option("--cert", options.tls.certFile, "tls: this master's certificate (PEM)");
    app.add_option("--key", options.tls.keyFile, "tls: its private key (PEM; default: in --cert)");
    app.add_option("--pfx", options.tls.pfxFile, "tls: certificate and key in one PKCS#12 file");
    app.add_option("--password", options.tls.password, "tls: password of the key or the PKCS#12 file");
    app.add_option("--server-name", options.tls.serverName,
                   "tls: name or address the device's certificate must carry (default: the URL's host)");
    app.add_flag("--insecure", options.tls.insecure, "tls: accept any device certificate (trials only)");
    app.add_option("--tls-min", options.tls.minVersion, "tls: lowest TLS version, 1.2 (default) or 1.3")
        ->check(CLI::IsMember({"1.2", "1.3"}));

    CLI::App *read = app.add_subcommand("read", "read coils, discrete inputs or registers");
    read->add_option("url", options.url, "the device")->required();
    addDataArguments(*read, options);
    read->add_option("-c,--count", options.count, "number of values (text: characters)")->check(CLI::Range(1, 65536));
    addValueOptions(*read, options);

    CLI::App *write = app.add_subcommand("write", "write coils or holding registers (function 5/6, several: 15/16)");
    write->add_option("url", options.url, "the device")->required();
    addDataArguments(*write, options);
    write->add_option("values", options.values, "values to write from the address on (coils: 0/1/on/off)")
        ->required();
    addValueOptions(*write, options);
    write->add_flag("--multiple", options.multiple, "use function 15/16 for a single value too");

    CLI::App *watch = app.add_subcommand("watch", "read again and again; on a terminal a live table");
    watch->add_option("url", options.url, "the device")->required();
    addDataArguments(*watch, options);
    watch->add_option("-c,--count", options.count, "number of values (text: characters)")->check(CLI::Range(1, 65536));
    addValueOptions(*watch, options);
    watch->add_option("-i,--interval", options.intervalMs, "ms from the start of one poll to the next")
        ->check(CLI::Range(10, 86400000))
        ->capture_default_str();
    watch->add_option("-n,--polls", options.polls, "stop after this many polls (default: until interrupted)")
        ->check(CLI::Range(1, 1000000000));

    CLI::App *scan = app.add_subcommand("scan", "find the unit ids that answer (a read of one holding register)");
    scan->add_option("url", options.url, "the device or line")->required();
    scan->add_option("--from", options.from, "first unit id")->check(CLI::Range(1, 2295))->capture_default_str();
    scan->add_option("--to", options.to, "last unit id")->check(CLI::Range(1, 2295))->capture_default_str();
    CLI::Option *probe = scan->add_option("--address", options.address, "holding register to read (default: the first)");

    CLI::App *info = app.add_subcommand("info", "read the device identification (function 43/14)");
    info->add_option("url", options.url, "the device")->required();
    info->add_option("--level", options.level, "basic, regular or extended")->capture_default_str();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        // Help and version exit 0; every mistake on the command line is status 1.
        return app.exit(e) == 0 ? 0 : 1;
    }
    if (scan->parsed() && probe->count() == 0)
        options.address = options.base;

    Commands commands(options);
    if (read->parsed())
        return commands.read();
    if (write->parsed())
        return commands.write();
    if (watch->parsed())
        return commands.watch();
    if (scan->parsed())
        return commands.scan();
    return commands.info();
}
