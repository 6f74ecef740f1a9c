// The server side of TLS for the simulated devices (OpenSSL 3): one context per device, made
// from its settings, and the sessions of its connections.
#pragma once

#include "sim/tls_session.h"
#include "sim/tls_settings.h"

#include <memory>
#include <string>

struct ssl_ctx_st;
struct bio_method_st;
struct asn1_object_st;

namespace sim {

class TlsContext {
public:
    TlsContext() = default;
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    // Loads the certificate, key and CAs; false with the reason in `error` (the context is
    // then not ready). Not while sessions of an earlier configuration live.
    bool configure(const TlsSettings& settings, std::string& error);
    bool ready() const { return ctx_ != nullptr; }

    // A session that accepts a handshake on the connected socket `fd` (the caller keeps and
    // closes it, after the session). Null when not ready or out of memory. The context must
    // outlive its sessions.
    std::unique_ptr<TlsSession> accept(int fd) const;

private:
    void release();

    TlsSettings settings_;
    ssl_ctx_st* ctx_ = nullptr;
    bio_method_st* bioMethod_ = nullptr;
    asn1_object_st* roleOid_ = nullptr;
};

} // namespace sim
