#include "cli/endpoint.h"

#include "mbus.h"

#include <cerrno>
#include <cstdlib>

namespace {

struct Scheme {
    const char *name;
    Transport transport;
    bool network;
};

constexpr Scheme kSchemes[] = {
    {"tcp", Transport::Tcp, true},
    {"tls", Transport::Tls, true},
    {"udp", Transport::Udp, true},
    {"rtu-over-tcp", Transport::RtuOverTcp, true},
    {"ascii-over-tcp", Transport::AsciiOverTcp, true},
    {"rtu", Transport::Rtu, false},
    {"ascii", Transport::Ascii, false},
    {"rtu-extended", Transport::RtuExtended, false},
};

bool parseNumber(const std::string &text, long low, long high, int &value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    const long number = std::strtol(text.c_str(), nullptr, 10);
    if (errno != 0 || number < low || number > high)
        return false;
    value = int(number);
    return true;
}

bool parseParity(const std::string &text, int &parity)
{
    if (text == "none" || text == "n")
        parity = MBUS_PARITY_NONE;
    else if (text == "odd" || text == "o")
        parity = MBUS_PARITY_ODD;
    else if (text == "even" || text == "e")
        parity = MBUS_PARITY_EVEN;
    else
        return false;
    return true;
}

// One key=value setting of the query part.
bool applySetting(const std::string &key, const std::string &value, bool network, Endpoint &endpoint)
{
    if (key == "timeout")
        return parseNumber(value, 1, 100000, endpoint.timeoutMs);
    if (network)
        return false;
    if (key == "baud")
        return parseNumber(value, 1, 4000000, endpoint.baudRate);
    if (key == "parity")
        return parseParity(value, endpoint.parity);
    if (key == "databits")
        return parseNumber(value, 7, 8, endpoint.dataBits);
    if (key == "stopbits")
        return parseNumber(value, 1, 2, endpoint.stopBits);
    if (key == "rs485")
        return parseNumber(value, 0, 100000, endpoint.rs485DelayMs);
    return false;
}

bool parseHostPort(const std::string &text, Endpoint &endpoint, std::string &error)
{
    std::string portText;
    if (!text.empty() && text[0] == '[') {
        // An IPv6 address in brackets, as in every URL.
        const std::size_t close = text.find(']');
        if (close == std::string::npos || (close + 1 < text.size() && text[close + 1] != ':')) {
            error = "unclosed '[' in the host";
            return false;
        }
        endpoint.host = text.substr(1, close - 1);
        if (close + 1 < text.size())
            portText = text.substr(close + 2);
        else
            portText.clear();
        if (close + 1 < text.size() && portText.empty()) {
            error = "empty port";
            return false;
        }
    } else {
        const std::size_t colon = text.find(':');
        endpoint.host = text.substr(0, colon);
        if (colon != std::string::npos) {
            portText = text.substr(colon + 1);
            if (portText.empty()) {
                error = "empty port";
                return false;
            }
        }
    }
    if (endpoint.host.empty()) {
        error = "no host";
        return false;
    }
    if (!portText.empty() && !parseNumber(portText, 1, 65535, endpoint.port)) {
        error = "port \"" + portText + "\" is not 1..65535";
        return false;
    }
    return true;
}

} // namespace

int Endpoint::maxUnit() const
{
    if (transport == Transport::RtuExtended)
        return 2295;
    return isSerialLine() ? 247 : 255;
}

bool Endpoint::parse(const std::string &url, Endpoint &endpoint, std::string &error)
{
    const std::size_t colon = url.find(':');
    const Scheme *scheme = nullptr;
    for (const Scheme &candidate : kSchemes)
        if (colon != std::string::npos && url.compare(0, colon, candidate.name) == 0)
            scheme = &candidate;
    if (scheme == nullptr) {
        error = "\"" + url + "\" names no transport (tcp://, tls://, udp://, rtu-over-tcp://, ascii-over-tcp://, rtu:, ascii:, rtu-extended:)";
        return false;
    }
    endpoint = Endpoint();
    endpoint.transport = scheme->transport;
    if (endpoint.transport == Transport::Ascii)
        endpoint.dataBits = 7;

    std::string rest = url.substr(colon + 1);
    std::string query;
    const std::size_t question = rest.find('?');
    if (question != std::string::npos) {
        query = rest.substr(question + 1);
        rest.resize(question);
    }
    if (scheme->network) {
        if (rest.compare(0, 2, "//") != 0) {
            error = std::string(scheme->name) + " URLs take the form " + scheme->name + "://host[:port]";
            return false;
        }
        if (!parseHostPort(rest.substr(2), endpoint, error))
            return false;
    } else {
        endpoint.device = rest;
        if (endpoint.device.empty()) {
            error = "no serial device in \"" + url + "\"";
            return false;
        }
    }

    std::size_t start = 0;
    while (start < query.size()) {
        std::size_t end = query.find('&', start);
        if (end == std::string::npos)
            end = query.size();
        const std::string setting = query.substr(start, end - start);
        const std::size_t equals = setting.find('=');
        if (equals == std::string::npos ||
            !applySetting(setting.substr(0, equals), setting.substr(equals + 1), scheme->network, endpoint)) {
            error = "setting \"" + setting + "\" is unknown for " + scheme->name + " or out of range";
            return false;
        }
        start = end + 1;
    }
    return true;
}
