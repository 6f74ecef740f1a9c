// The replacement random method is deprecated API, kept in OpenSSL 3 for exactly this use.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "fuzz/tls_device.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "fuzz/fuzz_check.h"

namespace {

// Two streams, so that the master draws the same bytes whether a live device or a recorded
// flight answers it.
struct RandomStream {
    std::uint64_t state = 0;
    std::uint8_t next()
    {
        // splitmix64, one byte of each output: plenty for a fuzz run, never for real keys.
        state += 0x9E3779B97F4A7C15ull;
        std::uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<std::uint8_t>(z ^ (z >> 31));
    }
};

RandomStream masterStream;
RandomStream deviceStream;
bool deviceRunning = false;

// The device's OpenSSL calls draw from the device's stream. They run inside the master's (the
// device answers a send at once), on the thread's one error queue, which the device's state
// machine may clear: the master's entries are set aside and put back afterwards, the device's
// dropped, so that the master reads its own failure as it would with a device elsewhere.
class DeviceTurn {
public:
    DeviceTurn()
    {
        deviceRunning = true;
        const char *file = nullptr;
        const char *function = nullptr;
        const char *data = nullptr;
        int line = 0;
        int flags = 0;
        while (unsigned long code = ERR_get_error_all(&file, &line, &function, &data, &flags))
            saved_.push_back(
                {code, file ? file : "", line, function ? function : "", (flags & ERR_TXT_STRING) && data ? data : ""});
    }
    ~DeviceTurn()
    {
        ERR_clear_error();
        for (const Entry &entry : saved_) {
            ERR_new();
            ERR_set_debug(entry.file.c_str(), entry.line, entry.function.c_str());
            ERR_set_error(ERR_GET_LIB(entry.code), ERR_GET_REASON(entry.code), entry.data.empty() ? nullptr : "%s",
                          entry.data.c_str());
        }
        deviceRunning = false;
    }
    DeviceTurn(const DeviceTurn &) = delete;
    DeviceTurn &operator=(const DeviceTurn &) = delete;

private:
    struct Entry {
        unsigned long code;
        std::string file; // the queue's copies go with it
        int line;
        std::string function;
        std::string data;
    };
    std::vector<Entry> saved_;
};

int randomBytes(unsigned char *buffer, int count)
{
    RandomStream &stream = deviceRunning ? deviceStream : masterStream;
    for (int i = 0; i < count; ++i)
        buffer[i] = stream.next();
    return 1;
}

int randomStatus()
{
    return 1;
}

const RAND_METHOD kRepeatable = {nullptr, randomBytes, nullptr, nullptr, randomBytes, randomStatus};

struct Material {
    TlsFiles files;
    std::string folder;
    EVP_PKEY *caKey = nullptr;
    X509 *ca = nullptr;
    EVP_PKEY *serverKey = nullptr;
    X509 *server = nullptr;
};

Material &material()
{
    static Material instance;
    return instance;
}

void addExtension(X509 *certificate, X509 *issuer, int nid, const char *value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    fuzzRequire(extension != nullptr && X509_add_ext(certificate, extension, -1) == 1, "certificate extension");
    X509_EXTENSION_free(extension);
}

// Fixed serials and dates, so that the same key makes the same certificate on every start.
X509 *makeCertificate(EVP_PKEY *key, const char *commonName, long serial, X509 *issuer, EVP_PKEY *issuerKey,
                      const char *altNames)
{
    X509 *certificate = X509_new();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial);
    ASN1_TIME_set_string(X509_getm_notBefore(certificate), "200101000000Z");
    ASN1_TIME_set_string(X509_getm_notAfter(certificate), "20991231000000Z");
    X509_set_pubkey(certificate, key);
    X509_NAME *name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char *>(commonName), -1, -1,
                               0);
    X509 *signer = issuer != nullptr ? issuer : certificate;
    X509_set_issuer_name(certificate, X509_get_subject_name(signer));
    if (issuer == nullptr) {
        addExtension(certificate, signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(certificate, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(certificate, signer, NID_basic_constraints, "critical,CA:FALSE");
    }
    if (altNames != nullptr)
        addExtension(certificate, signer, NID_subject_alt_name, altNames);
    fuzzRequire(X509_sign(certificate, issuerKey != nullptr ? issuerKey : key, EVP_sha256()) > 0, "certificate signed");
    return certificate;
}

EVP_PKEY *makeKey()
{
    EVP_PKEY *key = EVP_EC_gen("P-256");
    fuzzRequire(key != nullptr, "key made");
    return key;
}

void writePem(const std::string &path, X509 *certificate, EVP_PKEY *key)
{
    FILE *file = std::fopen(path.c_str(), "w");
    fuzzRequire(file != nullptr, "certificate file written");
    bool written = certificate != nullptr ? PEM_write_X509(file, certificate) == 1
                                          : PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    fuzzRequire(written, "certificate file written");
    std::fclose(file);
}

void removeFiles()
{
    const Material &m = material();
    for (const std::string *path : {&m.files.caFile, &m.files.rogueCaFile, &m.files.clientCert, &m.files.clientKey})
        ::unlink(path->c_str());
    ::rmdir(m.folder.c_str());
}

void makeMaterial()
{
    fuzzRequire(RAND_set_rand_method(&kRepeatable) == 1, "repeatable randomness installed");
    restartTlsRandomness();
    DeviceTurn turn;
    Material &m = material();
    m.caKey = makeKey();
    m.ca = makeCertificate(m.caKey, "Fuzz CA", 1, nullptr, nullptr, nullptr);
    m.serverKey = makeKey();
    m.server = makeCertificate(m.serverKey, "device.test", 2, m.ca, m.caKey, "IP:127.0.0.1,DNS:device.test");
    EVP_PKEY *clientKey = makeKey();
    X509 *client = makeCertificate(clientKey, "fuzz master", 3, m.ca, m.caKey, nullptr);
    EVP_PKEY *rogueKey = makeKey();
    X509 *rogue = makeCertificate(rogueKey, "Fuzz CA", 1, nullptr, nullptr, nullptr);

    char folder[] = "/tmp/mbus-tls-fuzz-XXXXXX";
    fuzzRequire(::mkdtemp(folder) != nullptr, "certificate folder made");
    m.folder = folder;
    m.files.caFile = m.folder + "/ca.pem";
    m.files.rogueCaFile = m.folder + "/rogue-ca.pem";
    m.files.clientCert = m.folder + "/client.pem";
    m.files.clientKey = m.folder + "/client-key.pem";
    writePem(m.files.caFile, m.ca, nullptr);
    writePem(m.files.rogueCaFile, rogue, nullptr);
    writePem(m.files.clientCert, client, nullptr);
    writePem(m.files.clientKey, nullptr, clientKey);
    X509_free(client);
    EVP_PKEY_free(clientKey);
    X509_free(rogue);
    EVP_PKEY_free(rogueKey);
    std::atexit(removeFiles);
}

} // namespace

const TlsFiles &tlsFiles()
{
    static bool made = (makeMaterial(), true);
    (void)made;
    return material().files;
}

void restartTlsRandomness()
{
    masterStream.state = 0x6D627573;
    deviceStream.state = 0x64657669;
}

TlsDevice::TlsDevice(const Options &options)
{
    tlsFiles();
    DeviceTurn turn;
    const Material &m = material();
    context_ = SSL_CTX_new(TLS_server_method());
    fuzzRequire(context_ != nullptr, "device context made");
    SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(context_, options.tls13 ? TLS1_3_VERSION : TLS1_2_VERSION);
    fuzzRequire(SSL_CTX_use_certificate(context_, m.server) == 1 && SSL_CTX_use_PrivateKey(context_, m.serverKey) == 1,
                "device certificate in use");
    X509_STORE_add_cert(SSL_CTX_get_cert_store(context_), m.ca);
    SSL_CTX_add_client_CA(context_, m.ca);
    SSL_CTX_set_verify(context_, SSL_VERIFY_PEER | (options.requireClientCert ? SSL_VERIFY_FAIL_IF_NO_PEER_CERT : 0),
                       nullptr);
    static const unsigned char kContext[] = "mbus-fuzz";
    SSL_CTX_set_session_id_context(context_, kContext, sizeof kContext - 1);
    if (!options.resumption) {
        SSL_CTX_set_session_cache_mode(context_, SSL_SESS_CACHE_OFF);
        SSL_CTX_set_options(context_, SSL_OP_NO_TICKET);
        SSL_CTX_set_num_tickets(context_, 0);
    }
}

TlsDevice::~TlsDevice()
{
    DeviceTurn turn;
    if (session_ != nullptr)
        SSL_free(session_);
    SSL_CTX_free(context_);
}

void TlsDevice::accept()
{
    DeviceTurn turn;
    if (session_ != nullptr)
        SSL_free(session_);
    session_ = SSL_new(context_);
    in_ = BIO_new(BIO_s_mem());
    out_ = BIO_new(BIO_s_mem());
    fuzzRequire(session_ != nullptr && in_ != nullptr && out_ != nullptr, "device session made");
    SSL_set_bio(session_, in_, out_);
    SSL_set_accept_state(session_);
    everEstablished_ = false;
    failed_ = false;
    closedByMaster_ = false;
    plain_.clear();
}

void TlsDevice::feed(const std::uint8_t *data, std::size_t count)
{
    if (session_ == nullptr || count == 0)
        return;
    DeviceTurn turn;
    BIO_write(in_, data, static_cast<int>(count));
    pump();
}

void TlsDevice::pump()
{
    // Runs the handshake too, and any renegotiation or KeyUpdate the master answers.
    while (!ended()) {
        std::uint8_t buffer[512];
        std::size_t got = 0;
        int done = SSL_read_ex(session_, buffer, sizeof buffer, &got);
        if (done == 1) {
            plain_.insert(plain_.end(), buffer, buffer + got);
            continue;
        }
        everEstablished_ = everEstablished_ || SSL_is_init_finished(session_);
        int error = SSL_get_error(session_, done);
        if (error == SSL_ERROR_ZERO_RETURN)
            closedByMaster_ = true;
        else if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
            failed_ = true;
        break;
    }
}

bool TlsDevice::write(const std::uint8_t *data, std::size_t count)
{
    // During a renegotiation too: the records go out between its messages.
    if (session_ == nullptr || ended() || !everEstablished_ || count == 0)
        return false;
    DeviceTurn turn;
    std::size_t written = 0;
    return SSL_write_ex(session_, data, count, &written) == 1;
}

void TlsDevice::rekey()
{
    if (session_ == nullptr || ended() || !established())
        return;
    DeviceTurn turn;
    if (tls13Session()) {
        SSL_key_update(session_, SSL_KEY_UPDATE_REQUESTED);
    } else if (SSL_renegotiate(session_) == 1) {
        SSL_do_handshake(session_); // the request goes out; the master's answer arrives with its next bytes
    }
}

void TlsDevice::closeNotify()
{
    if (session_ == nullptr || ended())
        return;
    DeviceTurn turn;
    SSL_shutdown(session_);
}

bool TlsDevice::established() const
{
    return session_ != nullptr && SSL_is_init_finished(session_);
}

bool TlsDevice::tls13Session() const
{
    return session_ != nullptr && SSL_version(session_) == TLS1_3_VERSION;
}

std::vector<std::uint8_t> TlsDevice::takeOutput()
{
    std::vector<std::uint8_t> output;
    if (session_ == nullptr)
        return output;
    std::size_t pending = BIO_ctrl_pending(out_);
    output.resize(pending);
    if (pending > 0)
        BIO_read(out_, output.data(), static_cast<int>(pending));
    return output;
}
