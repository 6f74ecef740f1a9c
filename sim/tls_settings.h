// What a TLS device is made of: its certificate, the CAs of its clients, versions and roles.
#pragma once

#include <string>
#include <vector>

namespace sim {

struct TlsSettings {
    // PEM files: the device's certificate (chain), its unencrypted key, the CAs that sign
    // client certificates.
    std::string certificateFile;
    std::string keyFile;
    std::string caFile;
    // A client without a certificate is refused in the handshake; false: such a client is
    // served (without a role). A certificate that is shown is checked either way.
    bool requireClientCertificate = true;
    // TLS 1.2 is the lowest version; true: also the highest.
    bool tls12Only = false;
    // Clients whose role (certificate extension 1.3.6.1.4.1.50316.802.1, a UTF8String) is
    // one of these may only read: writing requests get exception 01. Other roles may write.
    std::vector<std::string> readOnlyRoles;
    // A client that shows no role (no certificate, no extension, or not a UTF8String).
    bool rolelessReadOnly = true;
};

} // namespace sim
