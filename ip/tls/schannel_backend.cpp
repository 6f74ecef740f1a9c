// The TLS backend on Windows: SChannel through SSPI. Records are moved with the socket layer's
// send and receive into buffers made once per context; the device's certificate is checked here
// (chain to the configured CAs, then its name or address), not by SChannel, so that the check is
// the same on every Windows version and an address is compared with the certificate's IP names.
#include "ip/tls_backend.h"

// winsock2.h must come before windows.h.
#include <winsock2.h>

#include <windows.h>

#define SECURITY_WIN32
#include <security.h>
#include <sspi.h>
#include <subauth.h>
#define SCHANNEL_USE_BLACKLISTS
#include <schannel.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace mbus {

namespace {

// One TLS record (16 KiB of data and its header and trailer) with room to spare; handshake
// flights longer than this (very long certificate chains) fail the handshake.
constexpr unsigned long kInputCapacity = 32 * 1024;
constexpr unsigned long kOutputCapacity = 32 * 1024;
constexpr unsigned long kPlainCapacity = 16 * 1024 + 1024;

constexpr DWORD kCertEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

constexpr ULONG kContextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                  ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;

bool readWholeFile(const std::string &path, std::vector<unsigned char> *content)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    content->clear();
    unsigned char block[4096];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        content->insert(content->end(), block, block + got);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return !failed;
}

// Adds every certificate of a PEM file (one or more blocks) or of a DER file to store: the count.
int addCertificates(HCERTSTORE store, const std::vector<unsigned char> &content)
{
    static const char kBegin[] = "-----BEGIN CERTIFICATE-----";
    static const char kEnd[] = "-----END CERTIFICATE-----";
    std::string text(content.begin(), content.end());
    int added = 0;
    std::size_t at = text.find(kBegin);
    if (at == std::string::npos) {
        if (!content.empty() &&
            CertAddEncodedCertificateToStore(store, kCertEncoding, content.data(), static_cast<DWORD>(content.size()),
                                             CERT_STORE_ADD_USE_EXISTING, nullptr))
            ++added;
        return added;
    }
    while (at != std::string::npos) {
        std::size_t end = text.find(kEnd, at);
        if (end == std::string::npos)
            break;
        end += sizeof kEnd - 1;
        const char *block = text.c_str() + at;
        DWORD length = static_cast<DWORD>(end - at);
        DWORD size = 0;
        if (CryptStringToBinaryA(block, length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
            std::vector<BYTE> der(size);
            if (CryptStringToBinaryA(block, length, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr) &&
                CertAddEncodedCertificateToStore(store, kCertEncoding, der.data(), size, CERT_STORE_ADD_USE_EXISTING,
                                                 nullptr))
                ++added;
        }
        at = text.find(kBegin, end);
    }
    return added;
}

std::wstring widened(const std::string &text)
{
    if (text.empty())
        return std::wstring();
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

bool isDigitsAndDots(const char *text)
{
    int dots = 0;
    for (const char *c = text; *c != '\0'; ++c) {
        if (*c == '.')
            ++dots;
        else if (*c < '0' || *c > '9')
            return false;
    }
    return dots == 3;
}

// The address bytes of an IPv4 or IPv6 text, or 0 for a DNS name.
int addressOf(const char *name, unsigned char address[16])
{
    if (isDigitsAndDots(name)) {
        std::uint32_t ipv4 = net::parseDottedAddress(name);
        if (ipv4 == net::kNoAddress && std::strcmp(name, "255.255.255.255") != 0)
            return 0;
        std::memcpy(address, &ipv4, 4); // network byte order already
        return 4;
    }
    net::Endpoint ipv6;
    if (std::strchr(name, ':') != nullptr && net::parseIpv6Address(name, &ipv6)) {
        std::memcpy(address, ipv6.address, 16);
        return 16;
    }
    return 0;
}

char lowered(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? static_cast<char>(c - L'A' + 'a') : static_cast<char>(c);
}

// A certificate's DNS name (ASCII, perhaps with a wildcard as its whole leftmost label) against
// the expected name, without regard to case.
bool dnsNameMatches(const wchar_t *pattern, const char *name)
{
    std::string wanted;
    for (const char *c = name; *c != '\0'; ++c)
        wanted += lowered(static_cast<wchar_t>(static_cast<unsigned char>(*c)));
    if (!wanted.empty() && wanted.back() == '.')
        wanted.pop_back();
    std::string given;
    for (const wchar_t *c = pattern; *c != L'\0'; ++c) {
        if (*c > 0x7E)
            return false;
        given += lowered(*c);
    }
    if (given.empty() || wanted.empty())
        return false;
    if (given.compare(0, 2, "*.") == 0) {
        // One whole label only, and never the last two labels of the name.
        std::size_t firstDot = wanted.find('.');
        if (firstDot == std::string::npos || firstDot == 0 || given.find('.', 2) == std::string::npos)
            return false;
        return wanted.compare(firstDot, std::string::npos, given, 1, std::string::npos) == 0;
    }
    return given == wanted;
}

// Whether the certificate names the device: an address among its IP names, a DNS name among its
// DNS names (or, when it has none, in its common name).
bool namesDevice(PCCERT_CONTEXT certificate, const char *name)
{
    unsigned char address[16];
    int addressLength = addressOf(name, address);
    bool matched = false;
    bool hasDnsNames = false;
    PCERT_EXTENSION extension = CertFindExtension(szOID_SUBJECT_ALT_NAME2, certificate->pCertInfo->cExtension,
                                                  certificate->pCertInfo->rgExtension);
    CERT_ALT_NAME_INFO *names = nullptr;
    DWORD size = 0;
    if (extension != nullptr &&
        CryptDecodeObjectEx(kCertEncoding, X509_ALTERNATE_NAME, extension->Value.pbData, extension->Value.cbData,
                            CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size)) {
        for (DWORD i = 0; i < names->cAltEntry && !matched; ++i) {
            const CERT_ALT_NAME_ENTRY &entry = names->rgAltEntry[i];
            if (entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && addressLength > 0)
                matched = entry.IPAddress.cbData == static_cast<DWORD>(addressLength) &&
                          std::memcmp(entry.IPAddress.pbData, address, static_cast<std::size_t>(addressLength)) == 0;
            if (entry.dwAltNameChoice == CERT_ALT_NAME_DNS_NAME) {
                hasDnsNames = true;
                if (addressLength == 0)
                    matched = dnsNameMatches(entry.pwszDNSName, name);
            }
        }
        LocalFree(names);
    }
    if (matched || addressLength > 0 || hasDnsNames)
        return matched;
    wchar_t common[256] = {};
    CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, const_cast<char *>(szOID_COMMON_NAME), common, 256);
    return common[0] != L'\0' && dnsNameMatches(common, name);
}

// Whether the result is how SChannel reports an alert that refuses the master's certificate.
bool refusesCertificate(SECURITY_STATUS status)
{
    return status == SEC_E_CERT_UNKNOWN || status == SEC_E_UNTRUSTED_ROOT || status == SEC_E_CERT_EXPIRED ||
           status == SEC_E_WRONG_PRINCIPAL || status == SEC_E_NO_CREDENTIALS || status == SEC_E_CERT_WRONG_USAGE;
}

bool refusesVersion(SECURITY_STATUS status)
{
    return status == SEC_E_UNSUPPORTED_FUNCTION || status == SEC_E_ALGORITHM_MISMATCH;
}

class SchannelBackend : public TlsBackend {
public:
    SchannelBackend()
    {
        SecInvalidateHandle(&credentials);
        SecInvalidateHandle(&context);
    }

    ~SchannelBackend() override
    {
        end();
        release();
    }

    int configure(const TlsSettings &settings) override
    {
        end();
        release();
        verifyServer = settings.verifyServer;
        minVersion = settings.minVersion;
        input.resize(kInputCapacity);
        output.resize(kOutputCapacity);
        plain.resize(kPlainCapacity);
        int result = loadCertificates(settings);
        if (result == MBUS_SUCCESS)
            result = acquireCredentials();
        if (result != MBUS_SUCCESS)
            release();
        return result;
    }

    int begin(net::Socket connection, const char *serverName) override
    {
        end();
        if (!SecIsValidHandle(&credentials))
            return MBUS_TLS_CONFIG_ERROR;
        socket = connection;
        expectedName = serverName;
        unsigned char address[16];
        // A DNS name is sent as the server name indication; an address never is.
        targetName = addressOf(serverName, address) == 0 ? widened(expectedName) : std::wstring();
        inputLength = 0;
        outputStart = outputLength = 0;
        plainStart = plainLength = 0;
        state = State::Starting;
        contextFlags = kContextRequest;
        certificateRequested = false;
        broken = false;
        established = false;
        needMoreInput = callWithoutInput = false;
        protocol = 0;
        return MBUS_SUCCESS;
    }

    Status handshake() override
    {
        Status status = step();
        if (status == Status::Done && !established) {
            established = true;
            int checked = versionAccepted();
            if (checked == MBUS_SUCCESS)
                checked = verify();
            if (checked == MBUS_SUCCESS)
                checked = streamSizes();
            if (checked != MBUS_SUCCESS)
                return fail(checked);
        }
        return status;
    }

    Status read(unsigned char *buffer, int count, int *moved, int waitMs) override
    {
        *moved = 0;
        receiveWaitMs = waitMs;
        for (;;) {
            if (plainLength > 0) {
                unsigned long taken =
                    plainLength < static_cast<unsigned long>(count) ? plainLength : static_cast<unsigned long>(count);
                std::memcpy(buffer, plain.data() + plainStart, taken);
                plainStart += taken;
                plainLength -= taken;
                *moved = static_cast<int>(taken);
                return Status::Done;
            }
            if (state != State::Established) {
                Status status = handshakeAgain();
                if (status != Status::Done)
                    return status;
                continue;
            }
            if (outputLength > 0) {
                Status flushed = flush();
                if (flushed != Status::Done)
                    return flushed;
            }
            if (inputLength > 0 && !needMoreInput) {
                Status status = decrypt();
                if (status != Status::Done)
                    return status;
                continue;
            }
            Status status = receive(false, receiveWaitMs);
            if (status != Status::Done)
                return status;
        }
    }

    Status write(const unsigned char *data, int count, int *moved) override
    {
        *moved = 0;
        if (state != State::Established) {
            // A handshake the device started during a read is finished first.
            Status status = handshakeAgain();
            if (status != Status::Done)
                return status;
        }
        if (outputLength == 0) {
            // A new record; a record whose sending was cut short is the same bytes, sent on.
            if (count <= 0 || static_cast<unsigned long>(count) > sizes.cbMaximumMessage ||
                sizes.cbHeader + static_cast<unsigned long>(count) + sizes.cbTrailer > output.size())
                return fail(MBUS_ILLEGAL_ARGUMENT);
            std::memcpy(output.data() + sizes.cbHeader, data, static_cast<std::size_t>(count));
            SecBuffer buffers[4] = {};
            buffers[0].BufferType = SECBUFFER_STREAM_HEADER;
            buffers[0].pvBuffer = output.data();
            buffers[0].cbBuffer = sizes.cbHeader;
            buffers[1].BufferType = SECBUFFER_DATA;
            buffers[1].pvBuffer = output.data() + sizes.cbHeader;
            buffers[1].cbBuffer = static_cast<unsigned long>(count);
            buffers[2].BufferType = SECBUFFER_STREAM_TRAILER;
            buffers[2].pvBuffer = output.data() + sizes.cbHeader + count;
            buffers[2].cbBuffer = sizes.cbTrailer;
            buffers[3].BufferType = SECBUFFER_EMPTY;
            SecBufferDesc message = {SECBUFFER_VERSION, 4, buffers};
            if (EncryptMessage(&context, 0, &message, 0) != SEC_E_OK)
                return fail(MBUS_CONNECTION_CLOSED);
            outputStart = 0;
            outputLength = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
        }
        Status status = flush();
        if (status == Status::Done)
            *moved = count;
        return status;
    }

    int failure() const override { return lastFailure; }

    // SChannel keeps and offers sessions by itself; a device that refuses one is not known here.
    bool takeFreshRetry() override { return false; }

    void end() override
    {
        if (!SecIsValidHandle(&context))
            return;
        if (!broken && state == State::Established && outputLength == 0) {
            // One try at a close_notify, without waiting for the device's (never behind a record
            // only partly sent).
            DWORD kind = SCHANNEL_SHUTDOWN;
            SecBuffer token = {sizeof kind, SECBUFFER_TOKEN, &kind};
            SecBufferDesc control = {SECBUFFER_VERSION, 1, &token};
            if (ApplyControlToken(&context, &control) == SEC_E_OK) {
                SecBuffer out = {0, SECBUFFER_TOKEN, nullptr};
                SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, &out};
                ULONG flags = 0;
                SECURITY_STATUS status = InitializeSecurityContextW(&credentials, &context, nullptr, contextFlags, 0, 0,
                                                                    nullptr, 0, nullptr, &outDesc, &flags, nullptr);
                if ((status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED) && out.pvBuffer != nullptr &&
                    out.cbBuffer > 0)
                    net::sendBytes(socket, out.pvBuffer, out.cbBuffer);
                if (out.pvBuffer != nullptr)
                    FreeContextBuffer(out.pvBuffer);
            }
        }
        DeleteSecurityContext(&context);
        SecInvalidateHandle(&context);
        state = State::Starting;
        inputLength = outputLength = plainLength = 0;
    }

private:
    enum class State { Starting, Handshaking, Established };

    Status fail(int result)
    {
        broken = true;
        lastFailure = result;
        return Status::Failed;
    }

    void release()
    {
        if (SecIsValidHandle(&credentials))
            FreeCredentialsHandle(&credentials);
        SecInvalidateHandle(&credentials);
        if (clientCertificate != nullptr)
            CertFreeCertificateContext(clientCertificate);
        clientCertificate = nullptr;
        if (clientStore != nullptr)
            CertCloseStore(clientStore, 0);
        clientStore = nullptr;
        if (caStore != nullptr)
            CertCloseStore(caStore, 0);
        caStore = nullptr;
    }

    int loadCertificates(const TlsSettings &settings)
    {
        if (!settings.caFile.empty() || !settings.caFolder.empty()) {
            caStore = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr);
            if (caStore == nullptr)
                return MBUS_TLS_CONFIG_ERROR;
            std::vector<unsigned char> content;
            if (!settings.caFile.empty() &&
                (!readWholeFile(settings.caFile, &content) || addCertificates(caStore, content) == 0))
                return MBUS_TLS_CONFIG_ERROR;
            if (!settings.caFolder.empty() && loadFolder(settings.caFolder, &content) == 0)
                return MBUS_TLS_CONFIG_ERROR;
        }
        if (!settings.pfxFile.empty())
            return loadPfx(settings.pfxFile, settings.password);
        // A PEM certificate and key would need the key imported by hand: a PKCS#12 file is the
        // form Windows takes.
        if (!settings.certFile.empty())
            return MBUS_TLS_CONFIG_ERROR;
        return MBUS_SUCCESS;
    }

    // Every file of the folder that holds certificates (PEM or DER, whatever its name): the count.
    int loadFolder(const std::string &folder, std::vector<unsigned char> *content)
    {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return 0;
        int added = 0;
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                readWholeFile(folder + "\\" + found.cFileName, content))
                added += addCertificates(caStore, *content);
        } while (FindNextFileA(search, &found));
        FindClose(search);
        return added;
    }

    int loadPfx(const std::string &path, const std::string &password)
    {
        std::vector<unsigned char> content;
        if (!readWholeFile(path, &content) || content.empty())
            return MBUS_TLS_CONFIG_ERROR;
        CRYPT_DATA_BLOB blob = {static_cast<DWORD>(content.size()), content.data()};
        std::wstring secret = widened(password);
        // The key stays in memory, never in the user's key containers.
        clientStore = PFXImportCertStore(&blob, secret.c_str(), PKCS12_NO_PERSIST_KEY);
        if (clientStore == nullptr && password.empty())
            clientStore = PFXImportCertStore(&blob, nullptr, PKCS12_NO_PERSIST_KEY);
        SecureZeroMemory(&secret[0], secret.size() * sizeof(wchar_t));
        if (clientStore == nullptr)
            return MBUS_TLS_CONFIG_ERROR;
        // The certificate that comes with its private key; the others are its chain.
        PCCERT_CONTEXT candidate = nullptr;
        while ((candidate = CertEnumCertificatesInStore(clientStore, candidate)) != nullptr) {
            DWORD size = 0;
            if (CertGetCertificateContextProperty(candidate, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size) ||
                CertGetCertificateContextProperty(candidate, CERT_KEY_CONTEXT_PROP_ID, nullptr, &size) ||
                CertGetCertificateContextProperty(candidate, CERT_NCRYPT_KEY_HANDLE_PROP_ID, nullptr, &size)) {
                clientCertificate = CertDuplicateCertificateContext(candidate);
                CertFreeCertificateContext(candidate);
                return MBUS_SUCCESS;
            }
        }
        return MBUS_TLS_CONFIG_ERROR;
    }

    int acquireCredentials()
    {
        DWORD flags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
        DWORD enabled = minVersion == MBUS_TLS_VERSION_1_3 ? DWORD{SP_PROT_TLS1_3_CLIENT}
                                                           : DWORD{SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT};
        PCCERT_CONTEXT certificates[1] = {clientCertificate};
        DWORD certificateCount = clientCertificate != nullptr ? 1 : 0;
        TimeStamp expiry;
        // The newer structure first (TLS 1.3 needs it on the Windows versions that have it), then
        // the older one, which every version and Wine take.
        TLS_PARAMETERS parameters = {};
        parameters.grbitDisabledProtocols = static_cast<DWORD>(SP_PROT_X_CLIENTS) & ~enabled;
        SCH_CREDENTIALS current = {};
        current.dwVersion = SCH_CREDENTIALS_VERSION;
        current.cCreds = certificateCount;
        current.paCred = certificates;
        current.dwFlags = flags;
        current.cTlsParameters = 1;
        current.pTlsParameters = &parameters;
        SECURITY_STATUS status =
            AcquireCredentialsHandleW(nullptr, const_cast<wchar_t *>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                      &current, nullptr, nullptr, &credentials, &expiry);
        if (status == SEC_E_OK)
            return MBUS_SUCCESS;
        SecInvalidateHandle(&credentials);
        SCHANNEL_CRED older = {};
        older.dwVersion = SCHANNEL_CRED_VERSION;
        older.cCreds = certificateCount;
        older.paCred = certificates;
        older.grbitEnabledProtocols = enabled;
        older.dwFlags = flags;
        status = AcquireCredentialsHandleW(nullptr, const_cast<wchar_t *>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                           &older, nullptr, nullptr, &credentials, &expiry);
        if (status == SEC_E_OK)
            return MBUS_SUCCESS;
        SecInvalidateHandle(&credentials);
        // No protocol left that this system can speak.
        if (refusesVersion(status))
            return MBUS_TLS_VERSION_REFUSED;
        return MBUS_TLS_CONFIG_ERROR;
    }

    // Sends what waits in the output buffer.
    Status flush()
    {
        while (outputLength > 0) {
            long sent = net::sendBytes(socket, output.data() + outputStart, outputLength);
            if (sent == net::kWouldBlock)
                return Status::WantWrite;
            if (sent <= 0)
                return fail(state == State::Established ? int{MBUS_CONNECTION_CLOSED} : int{MBUS_TLS_HANDSHAKE_FAILED});
            outputStart += static_cast<unsigned long>(sent);
            outputLength -= static_cast<unsigned long>(sent);
        }
        outputStart = 0;
        return Status::Done;
    }

    // Receives more of the device's records behind those kept; with waitMs above 0 the receive
    // waits that long for them (the link has armed the socket so).
    Status receive(bool handshaking, int waitMs = 0)
    {
        int closed = handshaking ? int{MBUS_TLS_HANDSHAKE_FAILED} : int{MBUS_CONNECTION_CLOSED};
        if (inputLength == input.size())
            return fail(closed); // a record or flight larger than any this master takes
        unsigned char *into = input.data() + inputLength;
        std::size_t room = input.size() - inputLength;
        long got = waitMs > 0 ? net::receiveWithin(socket, into, room, waitMs) : net::receiveBytes(socket, into, room);
        if (got == net::kWouldBlock)
            return waitMs > 0 ? Status::TimedOut : Status::WantRead;
        if (got <= 0)
            return fail(closed);
        inputLength += static_cast<unsigned long>(got);
        needMoreInput = false;
        return Status::Done;
    }

    // Keeps the last count bytes of the input (a record that follows the one just used).
    void keepExtra(unsigned long count)
    {
        if (count > 0 && count <= inputLength)
            std::memmove(input.data(), input.data() + (inputLength - count), count);
        inputLength = count <= inputLength ? count : 0;
    }

    // Takes over a token SChannel made for the device.
    bool queue(SecBuffer &token)
    {
        bool fits = token.pvBuffer == nullptr || token.cbBuffer <= output.size() - outputLength;
        if (token.pvBuffer != nullptr) {
            if (fits && token.cbBuffer > 0) {
                std::memcpy(output.data() + outputLength, token.pvBuffer, token.cbBuffer);
                outputLength += token.cbBuffer;
            }
            FreeContextBuffer(token.pvBuffer);
            token.pvBuffer = nullptr;
        }
        return fits;
    }

    // The handshake, as far as the socket lets it go without waiting.
    Status step()
    {
        for (;;) {
            if (outputLength > 0) {
                Status flushed = flush();
                if (flushed != Status::Done)
                    return flushed;
            }
            if (state == State::Established)
                return Status::Done;
            if (state == State::Handshaking && !callWithoutInput && (inputLength == 0 || needMoreInput)) {
                Status got = receive(true);
                if (got != Status::Done)
                    return got;
            }
            SecBuffer in[2] = {};
            in[0].BufferType = SECBUFFER_TOKEN;
            in[0].pvBuffer = input.data();
            in[0].cbBuffer = inputLength;
            in[1].BufferType = SECBUFFER_EMPTY;
            SecBufferDesc inDesc = {SECBUFFER_VERSION, 2, in};
            SecBuffer out = {0, SECBUFFER_TOKEN, nullptr};
            SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, &out};
            ULONG granted = 0;
            callWithoutInput = false;
            bool first = state == State::Starting;
            SECURITY_STATUS status = InitializeSecurityContextW(
                &credentials, first ? nullptr : &context, targetName.empty() ? nullptr : &targetName[0], contextFlags,
                0, 0, first ? nullptr : &inDesc, 0, first ? &context : nullptr, &outDesc, &granted, nullptr);
            if (first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED))
                state = State::Handshaking;
            if (!queue(out))
                return fail(MBUS_TLS_HANDSHAKE_FAILED);
            if (status == SEC_E_INCOMPLETE_MESSAGE) {
                needMoreInput = true;
                continue;
            }
            if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
                // The device asks for a certificate this master has not got: on without one,
                // with the same input, and let the device decide.
                certificateRequested = true;
                if ((contextFlags & ISC_REQ_USE_SUPPLIED_CREDS) != 0)
                    return fail(MBUS_TLS_CLIENT_CERT_REFUSED);
                contextFlags |= ISC_REQ_USE_SUPPLIED_CREDS;
                continue;
            }
            if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED)
                return fail(handshakeFailure(status));
            if (!first)
                keepExtra(in[1].BufferType == SECBUFFER_EXTRA ? in[1].cbBuffer : 0);
            needMoreInput = false;
            if (status == SEC_E_OK) {
                state = State::Established;
                // A flight of the device after the handshake's end stays for the record reader.
            }
        }
    }

    // Handshake messages after the first handshake. Under TLS 1.3 these are session tickets or
    // key updates, which keep the device's certificate; a TLS 1.2 renegotiation may bring
    // another, checked again.
    Status handshakeAgain()
    {
        Status status = step();
        if (status != Status::Done)
            return status;
        int checked = (protocol & SP_PROT_TLS1_3) != 0 ? int{MBUS_SUCCESS} : verify();
        return checked == MBUS_SUCCESS ? Status::Done : fail(checked);
    }

    int handshakeFailure(SECURITY_STATUS status)
    {
        if (refusesVersion(status))
            return MBUS_TLS_VERSION_REFUSED;
        if (refusesCertificate(status))
            return MBUS_TLS_CLIENT_CERT_REFUSED;
        // Windows reports most other alerts as an illegal message: after a certificate request
        // that the master could not meet, taken as the certificate refused. Wine reports every
        // alert as an internal error and no certificate request at all: there it stays 80.
        if (certificateRequested && (status == SEC_E_ILLEGAL_MESSAGE || status == SEC_E_INTERNAL_ERROR))
            return MBUS_TLS_CLIENT_CERT_REFUSED;
        return MBUS_TLS_HANDSHAKE_FAILED;
    }

    // Decrypts the first record of the input into the plain buffer.
    Status decrypt()
    {
        SecBuffer buffers[4] = {};
        buffers[0].BufferType = SECBUFFER_DATA;
        buffers[0].pvBuffer = input.data();
        buffers[0].cbBuffer = inputLength;
        for (int i = 1; i < 4; ++i)
            buffers[i].BufferType = SECBUFFER_EMPTY;
        SecBufferDesc message = {SECBUFFER_VERSION, 4, buffers};
        SECURITY_STATUS status = DecryptMessage(&context, &message, 0, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            needMoreInput = true;
            return Status::Done;
        }
        if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) {
            if (status == SEC_I_CONTEXT_EXPIRED)
                return fail(MBUS_CONNECTION_CLOSED); // the device's close_notify
            // A refusal of the master's certificate that comes after the handshake (TLS 1.3).
            bool refused =
                refusesCertificate(status) ||
                (certificateRequested && (status == SEC_E_ILLEGAL_MESSAGE || status == SEC_E_INTERNAL_ERROR));
            return fail(refused ? int{MBUS_TLS_CLIENT_CERT_REFUSED} : int{MBUS_CONNECTION_CLOSED});
        }
        unsigned long extra = 0;
        for (const SecBuffer &buffer : buffers) {
            if (buffer.BufferType == SECBUFFER_DATA && buffer.cbBuffer > 0 && status == SEC_E_OK) {
                if (buffer.cbBuffer > plain.size())
                    return fail(MBUS_CONNECTION_CLOSED);
                // The plain text lies inside the input buffer, which the next record overwrites.
                std::memmove(plain.data(), buffer.pvBuffer, buffer.cbBuffer);
                plainStart = 0;
                plainLength = buffer.cbBuffer;
            }
            if (buffer.BufferType == SECBUFFER_EXTRA)
                extra = buffer.cbBuffer;
        }
        keepExtra(extra);
        // Handshake messages after the handshake (a TLS 1.3 session ticket or key update, or a
        // new handshake under TLS 1.2): SChannel takes them through the handshake call.
        if (status == SEC_I_RENEGOTIATE) {
            state = State::Handshaking;
            callWithoutInput = true;
        }
        return Status::Done;
    }

    // The device's certificate chain against the configured CAs (or the system's), then its
    // name or address.
    int verify()
    {
        if (!verifyServer)
            return MBUS_SUCCESS;
        PCCERT_CONTEXT remote = nullptr;
        if (QueryContextAttributesW(&context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &remote) != SEC_E_OK ||
            remote == nullptr)
            return MBUS_TLS_SERVER_NOT_TRUSTED;
        int result = chainTrusted(remote) ? int{MBUS_SUCCESS} : int{MBUS_TLS_SERVER_NOT_TRUSTED};
        if (result == MBUS_SUCCESS && !namesDevice(remote, expectedName.c_str()))
            result = MBUS_TLS_SERVER_NAME_MISMATCH;
        CertFreeCertificateContext(remote);
        return result;
    }

    bool chainTrusted(PCCERT_CONTEXT remote)
    {
        // The device's own intermediates and our CAs both serve to build the chain.
        HCERTSTORE extra = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
        if (extra == nullptr)
            return false;
        if (remote->hCertStore != nullptr)
            CertAddStoreToCollection(extra, remote->hCertStore, 0, 0);
        if (caStore != nullptr)
            CertAddStoreToCollection(extra, caStore, 0, 1);
        static const char *const kServerUsage[] = {szOID_PKIX_KP_SERVER_AUTH};
        CERT_CHAIN_PARA para = {};
        para.cbSize = sizeof para;
        para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
        para.RequestedUsage.Usage.cUsageIdentifier = 1;
        para.RequestedUsage.Usage.rgpszUsageIdentifier = const_cast<char **>(kServerUsage);
        PCCERT_CHAIN_CONTEXT chain = nullptr;
        bool trusted = false;
        if (CertGetCertificateChain(nullptr, remote, nullptr, extra, &para, 0, nullptr, &chain) && chain != nullptr &&
            chain->cChain > 0 && chain->rgpChain[0]->cElement > 0) {
            DWORD errors = chain->TrustStatus.dwErrorStatus &
                           ~static_cast<DWORD>(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
            if (caStore == nullptr) {
                trusted = errors == CERT_TRUST_NO_ERROR;
            } else {
                // A root of the system's that is not among our CAs does not count.
                const CERT_SIMPLE_CHAIN *simple = chain->rgpChain[0];
                PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
                PCCERT_CONTEXT ours =
                    CertFindCertificateInStore(caStore, kCertEncoding, 0, CERT_FIND_EXISTING, root, nullptr);
                trusted = ours != nullptr && (errors & ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT)) == 0;
                if (ours != nullptr)
                    CertFreeCertificateContext(ours);
            }
        }
        if (chain != nullptr)
            CertFreeCertificateChain(chain);
        CertCloseStore(extra, 0);
        return trusted;
    }

    // The version agreed on, checked again: Wine's SChannel takes the TLS 1.2 client bit
    // whatever the credentials ask for.
    int versionAccepted()
    {
        SecPkgContext_ConnectionInfo info = {};
        if (QueryContextAttributesW(&context, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK)
            return MBUS_TLS_HANDSHAKE_FAILED;
        DWORD accepted =
            minVersion == MBUS_TLS_VERSION_1_3 ? DWORD{SP_PROT_TLS1_3} : DWORD{SP_PROT_TLS1_2 | SP_PROT_TLS1_3};
        protocol = info.dwProtocol;
        return (protocol & accepted) != 0 ? int{MBUS_SUCCESS} : int{MBUS_TLS_VERSION_REFUSED};
    }

    int streamSizes()
    {
        if (QueryContextAttributesW(&context, SECPKG_ATTR_STREAM_SIZES, &sizes) != SEC_E_OK)
            return MBUS_TLS_HANDSHAKE_FAILED;
        return MBUS_SUCCESS;
    }

    CredHandle credentials;
    CtxtHandle context;
    HCERTSTORE caStore = nullptr;
    HCERTSTORE clientStore = nullptr;
    PCCERT_CONTEXT clientCertificate = nullptr;
    bool verifyServer = true;
    int minVersion = MBUS_TLS_VERSION_1_2;

    net::Socket socket = net::kInvalidSocket;
    std::string expectedName;
    std::wstring targetName;
    ULONG contextFlags = kContextRequest;
    SecPkgContext_StreamSizes sizes = {};
    DWORD protocol = 0; // the version agreed on, as SP_PROT_* bits
    State state = State::Starting;
    bool established = false;
    bool certificateRequested = false;
    bool broken = false;
    bool needMoreInput = false;
    bool callWithoutInput = false; // the handshake call comes first, even with no input
    int lastFailure = MBUS_SUCCESS;
    int receiveWaitMs = 0; // how long the receives of the current read may wait

    // Records from the device not yet decrypted; records for it not yet sent; decrypted data
    // not yet read.
    std::vector<unsigned char> input;
    unsigned long inputLength = 0;
    std::vector<unsigned char> output;
    unsigned long outputStart = 0;
    unsigned long outputLength = 0;
    std::vector<unsigned char> plain;
    unsigned long plainStart = 0;
    unsigned long plainLength = 0;
};

} // namespace

std::unique_ptr<TlsBackend> newTlsBackend()
{
    return std::unique_ptr<TlsBackend>(new SchannelBackend());
}

} // namespace mbus
