// How a TLS master proves itself and checks its device: trusted CAs, its own certificate, the
// name the device's certificate must carry and the lowest protocol version it accepts.
#ifndef MBUS_IP_TLS_SETTINGS_H
#define MBUS_IP_TLS_SETTINGS_H

#include <string>

#include "mbus.h"

namespace mbus {

struct TlsSettings {
    std::string caFile;   // PEM file of trusted CAs; with caFolder empty too, the system's
    std::string caFolder; // folder of hashed CA certificates
    std::string certFile; // client certificate chain, PEM
    std::string keyFile;  // its private key, PEM (certFile itself when empty)
    std::string pfxFile;  // or both in one PKCS#12 file
    std::string password; // of the key or the PKCS#12 file
    std::string serverName; // expected in the device's certificate; empty: the host connected to
    bool verifyServer = true;
    int minVersion = MBUS_TLS_VERSION_1_2;
};

} // namespace mbus

#endif
