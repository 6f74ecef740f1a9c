// Where a device is and how to reach it, as named by a URL on the command line:
//   tcp://host[:port]  tls://host[:port]  udp://...  rtu-over-tcp://...  ascii-over-tcp://...
//   rtu:DEVICE  ascii:DEVICE  rtu-extended:DEVICE   each with ?key=value&... settings
#pragma once

#include <string>

enum class Transport { Tcp, Udp, RtuOverTcp, AsciiOverTcp, Rtu, Ascii, RtuExtended, Tls };

// Certificates of a tls:// endpoint, from the command-line options; empty texts are not set.
struct TlsOptions {
    std::string caFile;
    std::string caFolder;
    std::string certFile;
    std::string keyFile;
    std::string password; // of the key or the PKCS#12 file
    std::string pfxFile;
    std::string serverName;
    bool insecure = false; // no check of the device's certificate
    std::string minVersion = "1.2";
};

class Endpoint {
public:
    // False, with a reason in `error`, when the URL names no transport or has a bad setting.
    static bool parse(const std::string &url, Endpoint &endpoint, std::string &error);

    bool isSerialLine() const { return transport == Transport::Rtu || transport == Transport::Ascii || transport == Transport::RtuExtended; }
    // The highest unit identifier the transport can address.
    int maxUnit() const;

    Transport transport = Transport::Tcp;
    std::string host;   // IP transports: a name or address (IPv6 without its brackets)
    int port = 0;       // 0: the transport's usual port (502, TLS 802, UDP 502, 1100, 23)
    std::string device; // serial line: the port's device name
    int baudRate = 19200;
    int dataBits = 8; // ASCII: 7 unless given
    int stopBits = 1;
    int parity = 2;         // MBUS_PARITY_EVEN
    int timeoutMs = 0;      // 0: not given in the URL
    int rs485DelayMs = -1;  // < 0: RS-485 transmitter control off
    TlsOptions tls;
};
