// The TLS row's certificates, made at run time into a temporary folder by the script the TLS
// tests use (a CA, a device certificate for 127.0.0.1, a master certificate with a role) and
// removed with the folder.
#ifndef MBUS_BENCH_CERTIFICATE_FOLDER_H
#define MBUS_BENCH_CERTIFICATE_FOLDER_H

#include <string>

class CertificateFolder {
public:
    explicit CertificateFolder(const char *script);
    ~CertificateFolder();
    CertificateFolder(const CertificateFolder &) = delete;
    CertificateFolder &operator=(const CertificateFolder &) = delete;

    // Empty when the certificates are there, else what went wrong.
    const std::string &failure() const { return problem; }
    const std::string &path() const { return folder; }
    // path/name
    std::string file(const char *name) const { return folder + "/" + name; }

private:
    std::string folder;
    std::string problem;
};

#endif
