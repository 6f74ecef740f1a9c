#include "sim/tls_context.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace sim {

namespace {

constexpr const char* kRoleOid = "1.3.6.1.4.1.50316.802.1";
constexpr unsigned char kSessionIdContext[] = "mbsim";

// Records go through send()/recv() of our own, so that a peer that has gone cannot raise
// SIGPIPE (a socket BIO would write()), and so that EINTR is retried here.
int socketOf(BIO* bio) { return int(reinterpret_cast<std::intptr_t>(BIO_get_data(bio))); }

int bioWrite(BIO* bio, const char* data, int len)
{
    BIO_clear_retry_flags(bio);
    for (;;) {
        const ssize_t n = ::send(socketOf(bio), data, std::size_t(len), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return int(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) BIO_set_retry_write(bio);
        return -1;
    }
}

int bioRead(BIO* bio, char* data, int len)
{
    BIO_clear_retry_flags(bio);
    for (;;) {
        const ssize_t n = ::recv(socketOf(bio), data, std::size_t(len), MSG_DONTWAIT);
        if (n >= 0) return int(n);  // 0: the peer closed
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) BIO_set_retry_read(bio);
        return -1;
    }
}

long bioCtrl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

// An encrypted key would make OpenSSL ask on the terminal; the device refuses it instead.
int noPassword(char*, int, int, void*) { return 0; }

std::string lastError(const char* what)
{
    char text[256] = "";
    const unsigned long e = ERR_get_error();
    if (e != 0) ERR_error_string_n(e, text, sizeof text);
    ERR_clear_error();
    return std::string(what) + (e != 0 ? std::string(": ") + text : std::string());
}

class OpenSslSession final : public TlsSession {
public:
    OpenSslSession(SSL* ssl, const TlsSettings& settings, const ASN1_OBJECT* roleOid)
        : ssl_(ssl), settings_(settings), roleOid_(roleOid) {}
    ~OpenSslSession() override { SSL_free(ssl_); }

    Status handshake() override
    {
        ERR_clear_error();
        const int rc = SSL_accept(ssl_);
        if (rc != 1) return status(rc);
        established_ = true;
        readOnly_ = decideReadOnly();
        return Status::Done;
    }

    Status read(std::uint8_t* buf, std::size_t size, std::size_t& got) override
    {
        ERR_clear_error();
        const int rc = SSL_read_ex(ssl_, buf, size, &got);
        return rc == 1 ? Status::Done : status(rc);
    }

    Status write(const std::uint8_t* buf, std::size_t size, std::size_t& put) override
    {
        ERR_clear_error();
        const int rc = SSL_write_ex(ssl_, buf, size, &put);
        return rc == 1 ? Status::Done : status(rc);
    }

    bool hasPending() const override { return SSL_has_pending(ssl_) == 1; }

    void shutdown() override
    {
        if (!established_ || broken_) return;
        broken_ = true;  // once
        ERR_clear_error();
        SSL_shutdown(ssl_);
        ERR_clear_error();
    }

    bool readOnly() const override { return readOnly_; }

private:
    Status status(int rc)
    {
        switch (SSL_get_error(ssl_, rc)) {
        case SSL_ERROR_WANT_READ: return Status::WantRead;
        case SSL_ERROR_WANT_WRITE: return Status::WantWrite;
        case SSL_ERROR_ZERO_RETURN: return Status::Closed;
        default:
            // No close_notify may follow a fatal error.
            broken_ = true;
            ERR_clear_error();
            return Status::Failed;
        }
    }

    // The role in the client's certificate, or false (roleless) when there is none.
    bool role(std::string& name) const
    {
        const X509* peer = SSL_get0_peer_certificate(ssl_);
        if (peer == nullptr) return false;
        const int at = X509_get_ext_by_OBJ(peer, roleOid_, -1);
        if (at < 0) return false;
        const ASN1_OCTET_STRING* value = X509_EXTENSION_get_data(X509_get_ext(peer, at));
        const unsigned char* p = ASN1_STRING_get0_data(value);
        const long length = ASN1_STRING_length(value);
        ASN1_UTF8STRING* text = d2i_ASN1_UTF8STRING(nullptr, &p, length);
        if (text == nullptr) {
            ERR_clear_error();
            return false;
        }
        // Bytes behind the string make the extension malformed: no role.
        const bool whole = p == ASN1_STRING_get0_data(value) + length;
        if (whole) name.assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(text)), std::size_t(ASN1_STRING_length(text)));
        ASN1_UTF8STRING_free(text);
        return whole;
    }

    bool decideReadOnly() const
    {
        std::string name;
        if (!role(name)) return settings_.rolelessReadOnly;
        const auto& roles = settings_.readOnlyRoles;
        return std::find(roles.begin(), roles.end(), name) != roles.end();
    }

    SSL* ssl_;
    const TlsSettings& settings_;
    const ASN1_OBJECT* roleOid_;
    bool established_ = false;
    bool broken_ = false;
    bool readOnly_ = true;
};

} // namespace

TlsContext::~TlsContext() { release(); }

void TlsContext::release()
{
    SSL_CTX_free(ctx_);
    ctx_ = nullptr;
    BIO_meth_free(bioMethod_);
    bioMethod_ = nullptr;
    ASN1_OBJECT_free(roleOid_);
    roleOid_ = nullptr;
}

bool TlsContext::configure(const TlsSettings& settings, std::string& error)
{
    release();
    ERR_clear_error();
    settings_ = settings;
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (ctx == nullptr) {
        error = lastError("cannot make a TLS context");
        return false;
    }
    ctx_ = ctx;
    SSL_CTX_set_default_passwd_cb(ctx, noPassword);
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION);
    if (settings.tls12Only) SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION);
    // Partial writes: a reply piece goes out as far as the socket takes it, like send().
    // Released buffers: an idle connection keeps no record buffers.
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER |
                              SSL_MODE_RELEASE_BUFFERS);
    // Without it a client that offers an earlier session to a verifying server is refused.
    SSL_CTX_set_session_id_context(ctx, kSessionIdContext, sizeof kSessionIdContext - 1);
    SSL_CTX_sess_set_cache_size(ctx, 256);

    bool ok = true;
    if (SSL_CTX_use_certificate_chain_file(ctx, settings.certificateFile.c_str()) != 1) {
        error = lastError(("cannot use the certificate " + settings.certificateFile).c_str());
        ok = false;
    } else if (SSL_CTX_use_PrivateKey_file(ctx, settings.keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
               SSL_CTX_check_private_key(ctx) != 1) {
        error = lastError(("cannot use the key " + settings.keyFile).c_str());
        ok = false;
    } else if (SSL_CTX_load_verify_locations(ctx, settings.caFile.c_str(), nullptr) != 1) {
        error = lastError(("cannot use the CA file " + settings.caFile).c_str());
        ok = false;
    }
    if (ok) {
        // Named in the certificate request, so that a client picks a certificate they signed.
        if (STACK_OF(X509_NAME)* names = SSL_load_client_CA_file(settings.caFile.c_str()))
            SSL_CTX_set_client_CA_list(ctx, names);
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER | (settings.requireClientCertificate ? SSL_VERIFY_FAIL_IF_NO_PEER_CERT : 0),
                           nullptr);
        roleOid_ = OBJ_txt2obj(kRoleOid, 1);
        bioMethod_ = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "mbsim socket");
        if (roleOid_ == nullptr || bioMethod_ == nullptr || BIO_meth_set_write(bioMethod_, bioWrite) != 1 ||
            BIO_meth_set_read(bioMethod_, bioRead) != 1 || BIO_meth_set_ctrl(bioMethod_, bioCtrl) != 1) {
            error = lastError("cannot set up TLS");
            ok = false;
        }
    }
    if (!ok) release();
    ERR_clear_error();
    return ok;
}

std::unique_ptr<TlsSession> TlsContext::accept(int fd) const
{
    if (ctx_ == nullptr) return nullptr;
    SSL* ssl = SSL_new(ctx_);
    BIO* bio = ssl != nullptr ? BIO_new(bioMethod_) : nullptr;
    if (bio == nullptr) {
        SSL_free(ssl);
        ERR_clear_error();
        return nullptr;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(std::intptr_t(fd)));
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl, bio, bio);  // one reference, owned by the session from now on
    return std::make_unique<OpenSslSession>(ssl, settings_, roleOid_);
}

} // namespace sim
