// The device side of the TLS targets, in-process on OpenSSL: certificates made once at start-up
// with the OpenSSL API (a CA, the device's certificate for 127.0.0.1 and device.test, a client
// certificate, a rogue CA), written as PEM files for the master's file-based settings, and a
// server session over memory buffers that the fuzz peers bridge to the in-memory network.
//
// Randomness is made repeatable: every input starts both the master's and the device's random
// streams from the same state, so a handshake with the same settings sends the same bytes each
// time and a recorded device flight can be replayed to a master (the handshake target's seeds).
#ifndef MBUS_FUZZ_TLS_DEVICE_H
#define MBUS_FUZZ_TLS_DEVICE_H

#include <openssl/ssl.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TlsFiles {
    std::string caFile;      // the CA that signed the device's and the client's certificates
    std::string rogueCaFile; // a CA that signed nothing of this
    std::string clientCert;
    std::string clientKey;
};

// Installs the repeatable randomness and makes the certificates (first call only).
const TlsFiles &tlsFiles();
// Both random streams back to their start: call before each input's master is made.
void restartTlsRandomness();

class TlsDevice {
public:
    struct Options {
        bool tls13 = true;              // highest version offered; else TLS 1.2 only
        bool requireClientCert = false; // else asked for, not required
        bool resumption = false;        // session cache and tickets
    };

    explicit TlsDevice(const Options &options);
    ~TlsDevice();
    TlsDevice(const TlsDevice &) = delete;
    TlsDevice &operator=(const TlsDevice &) = delete;

    // A new connection: a new server session.
    void accept();
    // Takes what the master sent, runs the server on it and keeps the plaintext that arrived.
    void feed(const std::uint8_t *data, std::size_t count);
    // Application data to the master (one or more records).
    bool write(const std::uint8_t *data, std::size_t count);
    // TLS 1.3: a KeyUpdate that asks the master for one too; TLS 1.2: a renegotiation request.
    void rekey();
    void closeNotify();

    bool established() const;
    bool tls13Session() const;
    // The server broke off (an alert went out) or received the master's close_notify.
    bool ended() const { return failed_ || closedByMaster_; }
    std::vector<std::uint8_t> &plaintext() { return plain_; }
    // The records the server produced since the last call.
    std::vector<std::uint8_t> takeOutput();

private:
    void pump();

    SSL_CTX *context_ = nullptr;
    SSL *session_ = nullptr;
    BIO *in_ = nullptr;
    BIO *out_ = nullptr;
    bool everEstablished_ = false;
    bool failed_ = false;
    bool closedByMaster_ = false;
    std::vector<std::uint8_t> plain_;
};

#endif
