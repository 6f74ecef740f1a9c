// The TLS backend on OpenSSL 3. The records travel through a BIO of our own that sends and
// receives with the socket layer, so a closed connection never raises SIGPIPE. OpenSSL reads
// ahead, so that a record arrives in one receive, and a read that may wait waits inside that
// receive: a transaction takes as many system calls as on a plain TCP connection.
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstring>

#include "ip/tls_backend.h"

namespace mbus {

namespace {

// What the BIO of a session works on: its socket, and how long a receive may wait for input.
struct Channel {
    net::Socket socket = net::kInvalidSocket;
    int waitMs = 0;        // 0: receives take what has arrived
    bool timedOut = false; // a waiting receive ran out
};

Channel &channelOf(BIO *bio)
{
    return *static_cast<Channel *>(BIO_get_data(bio));
}

int bioWrite(BIO *bio, const char *data, int count)
{
    BIO_clear_retry_flags(bio);
    long sent = net::sendBytes(channelOf(bio).socket, data, static_cast<std::size_t>(count));
    if (sent == net::kWouldBlock) {
        BIO_set_retry_write(bio);
        return -1;
    }
    return sent < 0 ? -1 : static_cast<int>(sent);
}

int bioRead(BIO *bio, char *buffer, int capacity)
{
    BIO_clear_retry_flags(bio);
    Channel &channel = channelOf(bio);
    std::size_t size = static_cast<std::size_t>(capacity);
    long got = channel.waitMs > 0 ? net::receiveWithin(channel.socket, buffer, size, channel.waitMs)
                                  : net::receiveBytes(channel.socket, buffer, size);
    if (got == net::kWouldBlock) {
        channel.timedOut = channel.waitMs > 0;
        BIO_set_retry_read(bio);
        return -1;
    }
    return got < 0 ? -1 : static_cast<int>(got); // 0: the peer closed
}

long bioControl(BIO *, int command, long, void *)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int bioCreate(BIO *bio)
{
    BIO_set_init(bio, 1);
    return 1;
}

int passwordOf(char *buffer, int size, int, void *userData)
{
    const char *password = static_cast<const char *>(userData);
    int length = static_cast<int>(std::strlen(password));
    if (length > size)
        return -1;
    std::memcpy(buffer, password, static_cast<std::size_t>(length));
    return length;
}

// A refusal the device sent as an alert, by the alert's reason.
int alertResult(int reason)
{
    switch (reason - SSL_AD_REASON_OFFSET) {
    case SSL_AD_BAD_CERTIFICATE:
    case SSL_AD_UNSUPPORTED_CERTIFICATE:
    case SSL_AD_CERTIFICATE_REVOKED:
    case SSL_AD_CERTIFICATE_EXPIRED:
    case SSL_AD_CERTIFICATE_UNKNOWN:
    case SSL_AD_UNKNOWN_CA:
    case SSL_AD_ACCESS_DENIED:
    case SSL_AD_CERTIFICATE_REQUIRED:
        return MBUS_TLS_CLIENT_CERT_REFUSED;
    case SSL_AD_PROTOCOL_VERSION:
        return MBUS_TLS_VERSION_REFUSED;
    default:
        return 0;
    }
}

class OpensslBackend : public TlsBackend {
public:
    ~OpensslBackend() override
    {
        end();
        SSL_SESSION_free(lastSession);
        SSL_CTX_free(context);
        BIO_meth_free(bioMethod);
    }

    int configure(const TlsSettings &settings) override
    {
        end();
        SSL_SESSION_free(lastSession);
        lastSession = nullptr;
        resumptionRefused = false;
        SSL_CTX_free(context);
        context = nullptr;
        password = settings.password;
        if (bioMethod == nullptr) {
            bioMethod = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "mbus socket");
            if (bioMethod == nullptr)
                return MBUS_TLS_CONFIG_ERROR;
            BIO_meth_set_write(bioMethod, bioWrite);
            BIO_meth_set_read(bioMethod, bioRead);
            BIO_meth_set_ctrl(bioMethod, bioControl);
            BIO_meth_set_create(bioMethod, bioCreate);
        }
        context = SSL_CTX_new(TLS_client_method());
        if (context == nullptr)
            return MBUS_TLS_CONFIG_ERROR;
        int result = loadInto(settings);
        ERR_clear_error();
        if (result != MBUS_SUCCESS) {
            SSL_CTX_free(context);
            context = nullptr;
        }
        return result;
    }

    int begin(net::Socket socket, const char *serverName) override
    {
        end();
        if (context == nullptr)
            return MBUS_TLS_CONFIG_ERROR;
        session = SSL_new(context);
        BIO *bio = BIO_new(bioMethod);
        if (session == nullptr || bio == nullptr) {
            BIO_free(bio);
            end();
            return MBUS_OPEN_ERROR;
        }
        channel = Channel();
        channel.socket = socket;
        BIO_set_data(bio, &channel);
        SSL_set_bio(session, bio, bio);
        SSL_set_connect_state(session);
        SSL_set_read_ahead(session, 1);
        // An address is checked against the certificate's IP names; a DNS name is also sent as
        // the server name indication.
        X509_VERIFY_PARAM *check = SSL_get0_param(session);
        if (X509_VERIFY_PARAM_set1_ip_asc(check, serverName) != 1) {
            ERR_clear_error();
            if (SSL_set1_host(session, serverName) != 1 || SSL_set_tlsext_host_name(session, serverName) != 1) {
                end();
                return MBUS_ILLEGAL_ARGUMENT;
            }
        }
        offeredSession = lastSession != nullptr && SSL_set_session(session, lastSession) == 1;
        SSL_set_cert_cb(session, noteCertificateRequest, this);
        certificateRequested = false;
        broken = false;
        return MBUS_SUCCESS;
    }

    Status handshake() override
    {
        ERR_clear_error();
        int done = SSL_connect(session);
        return done == 1 ? Status::Done : statusOf(done, true);
    }

    Status read(unsigned char *buffer, int count, int *moved, int waitMs) override
    {
        *moved = 0;
        // After a failed step OpenSSL allows no further I/O on the session: a write would first
        // finish the record it left unsent (an old request) and then send the rest of the new one.
        if (broken)
            return Status::Failed;
        ERR_clear_error();
        std::size_t got = 0;
        channel.waitMs = waitMs;
        channel.timedOut = false;
        int done = SSL_read_ex(session, buffer, static_cast<std::size_t>(count), &got);
        channel.waitMs = 0;
        *moved = static_cast<int>(got);
        if (done == 1)
            return Status::Done;
        Status status = statusOf(done, false);
        return status == Status::WantRead && channel.timedOut ? Status::TimedOut : status;
    }

    Status write(const unsigned char *data, int count, int *moved) override
    {
        *moved = 0;
        if (broken)
            return Status::Failed; // as in read
        ERR_clear_error();
        std::size_t sent = 0;
        int done = SSL_write_ex(session, data, static_cast<std::size_t>(count), &sent);
        *moved = static_cast<int>(sent);
        return done == 1 ? Status::Done : statusOf(done, false);
    }

    int failure() const override { return lastFailure; }

    bool takeFreshRetry() override
    {
        bool retry = freshRetry;
        freshRetry = false;
        return retry;
    }

    void end() override
    {
        if (session == nullptr)
            return;
        if (!broken && SSL_is_init_finished(session)) {
            SSL_SESSION *finished = SSL_get1_session(session);
            if (finished != nullptr && SSL_SESSION_is_resumable(finished) && !resumptionRefused) {
                SSL_SESSION_free(lastSession);
                lastSession = finished;
            } else {
                SSL_SESSION_free(finished);
            }
            SSL_shutdown(session); // one try at a close_notify, without waiting for the device's
        }
        SSL_free(session);
        session = nullptr;
        ERR_clear_error();
    }

private:
    // Called when the device asks for the master's certificate.
    static int noteCertificateRequest(SSL *, void *backend)
    {
        static_cast<OpensslBackend *>(backend)->certificateRequested = true;
        return 1;
    }

    int loadInto(const TlsSettings &settings)
    {
        int minimum = settings.minVersion == MBUS_TLS_VERSION_1_3 ? TLS1_3_VERSION : TLS1_2_VERSION;
        SSL_CTX_set_min_proto_version(context, minimum);
        SSL_CTX_set_verify(context, settings.verifyServer ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
        SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
        const char *caFile = settings.caFile.empty() ? nullptr : settings.caFile.c_str();
        const char *caFolder = settings.caFolder.empty() ? nullptr : settings.caFolder.c_str();
        if (caFile != nullptr || caFolder != nullptr) {
            if (SSL_CTX_load_verify_locations(context, caFile, caFolder) != 1)
                return MBUS_TLS_CONFIG_ERROR;
        } else if (settings.verifyServer && SSL_CTX_set_default_verify_paths(context) != 1) {
            return MBUS_TLS_CONFIG_ERROR;
        }
        SSL_CTX_set_default_passwd_cb(context, passwordOf);
        SSL_CTX_set_default_passwd_cb_userdata(context, const_cast<char *>(password.c_str()));
        if (!settings.pfxFile.empty())
            return loadPfx(settings.pfxFile.c_str());
        if (settings.certFile.empty())
            return MBUS_SUCCESS;
        const std::string &keyFile = settings.keyFile.empty() ? settings.certFile : settings.keyFile;
        if (SSL_CTX_use_certificate_chain_file(context, settings.certFile.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(context, keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_check_private_key(context) != 1)
            return MBUS_TLS_CONFIG_ERROR;
        return MBUS_SUCCESS;
    }

    int loadPfx(const char *path)
    {
        BIO *file = BIO_new_file(path, "rb");
        PKCS12 *bundle = file ? d2i_PKCS12_bio(file, nullptr) : nullptr;
        BIO_free(file);
        EVP_PKEY *key = nullptr;
        X509 *certificate = nullptr;
        STACK_OF(X509) *chain = nullptr;
        bool loaded = bundle != nullptr && PKCS12_parse(bundle, password.c_str(), &key, &certificate, &chain) == 1 &&
                      key != nullptr && certificate != nullptr && SSL_CTX_use_certificate(context, certificate) == 1 &&
                      SSL_CTX_use_PrivateKey(context, key) == 1;
        for (int i = 0; loaded && chain != nullptr && i < sk_X509_num(chain); ++i)
            loaded = SSL_CTX_add1_chain_cert(context, sk_X509_value(chain, i)) == 1;
        PKCS12_free(bundle);
        EVP_PKEY_free(key);
        X509_free(certificate);
        sk_X509_pop_free(chain, X509_free);
        return loaded ? int{MBUS_SUCCESS} : int{MBUS_TLS_CONFIG_ERROR};
    }

    Status statusOf(int done, bool handshaking)
    {
        int error = SSL_get_error(session, done);
        if (error == SSL_ERROR_WANT_READ)
            return Status::WantRead;
        if (error == SSL_ERROR_WANT_WRITE)
            return Status::WantWrite;
        broken = true;
        lastFailure = handshaking ? int{MBUS_TLS_HANDSHAKE_FAILED} : int{MBUS_CONNECTION_CLOSED};
        if (error == SSL_ERROR_SSL) {
            int reason = ERR_GET_REASON(ERR_peek_last_error());
            long verified = SSL_get_verify_result(session);
            // A TLS 1.2 device that wants a certificate it did not get (or like) may answer with
            // a bare handshake failure.
            if (certificateRequested && reason == SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE) {
                lastFailure = MBUS_TLS_CLIENT_CERT_REFUSED;
            } else if (int refused = alertResult(reason)) {
                lastFailure = refused;
            } else if (reason == SSL_R_CERTIFICATE_VERIFY_FAILED) {
                bool wrongName = verified == X509_V_ERR_HOSTNAME_MISMATCH || verified == X509_V_ERR_IP_ADDRESS_MISMATCH;
                lastFailure = wrongName ? int{MBUS_TLS_SERVER_NAME_MISMATCH} : int{MBUS_TLS_SERVER_NOT_TRUSTED};
            } else if (reason == SSL_R_UNSUPPORTED_PROTOCOL || reason == SSL_R_NO_PROTOCOLS_AVAILABLE) {
                lastFailure = MBUS_TLS_VERSION_REFUSED;
            }
        }
        // Some devices break off a handshake that offers an earlier session instead of
        // starting a new one: the session is forgotten, the link tries once more without, and
        // no later connection offers one, which would cost two handshakes each time.
        if (handshaking && offeredSession && lastFailure == MBUS_TLS_HANDSHAKE_FAILED) {
            SSL_SESSION_free(lastSession);
            lastSession = nullptr;
            freshRetry = true;
            resumptionRefused = true;
        }
        ERR_clear_error();
        return Status::Failed;
    }

    BIO_METHOD *bioMethod = nullptr;
    SSL_CTX *context = nullptr;
    SSL *session = nullptr;
    SSL_SESSION *lastSession = nullptr;
    Channel channel;
    std::string password;
    bool broken = false;
    bool certificateRequested = false;
    bool offeredSession = false;
    bool freshRetry = false;
    bool resumptionRefused = false; // the device broke off a handshake that offered a session
    int lastFailure = MBUS_SUCCESS;
};

} // namespace

std::unique_ptr<TlsBackend> newTlsBackend()
{
    return std::unique_ptr<TlsBackend>(new OpensslBackend());
}

} // namespace mbus
