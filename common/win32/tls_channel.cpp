#include "common/win32/tls_channel.h"

#include <wincrypt.h>

#include <vector>

namespace tidewell {

namespace {

constexpr ULONG kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_MANUAL_CRED_VALIDATION;

// More than this of unfinished handshake is no server hello we can use
// (certificate chains of a few kilobytes are usual).
constexpr std::size_t kLongestHandshake = 256 * 1024;

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), w.data(), n);
  return w;
}

constexpr DWORD kCredentialFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;

// Chain building: URLs only from the cache. The revocation check is a chain
// of its own: with it, the SSL policy may stop at "revocation unknown" before
// it looks at the name, so the policy gets the chain without it.
constexpr DWORD kChainFlags = CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL;
constexpr DWORD kRevocationChainFlags = kChainFlags | CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;

// CERT_TRUST_IS_REVOKED when the cached revocation information says a
// certificate of the chain is revoked; 0 otherwise, also when nothing is known.
DWORD RevokedStatus(PCCERT_CONTEXT certificate, CERT_CHAIN_PARA& para) {
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &para, kRevocationChainFlags,
                               nullptr, &chain) ||
      !chain)
    return 0;
  const DWORD revoked = chain->TrustStatus.dwErrorStatus & CERT_TRUST_IS_REVOKED;
  CertFreeCertificateChain(chain);
  return revoked;
}

// Client credentials with Schannel's own certificate validation off (the
// channel checks the certificate itself) and no client certificate. TLS 1.3
// needs the newer credential structure (Windows 10 1809 and later); older
// systems, and Wine, refuse it and get the older one with TLS 1.2.
bool AcquireClientCredentials(CredHandle& out) {
  TimeStamp expiry;
  char package[] = UNISP_NAME_A;
  TLS_PARAMETERS tls = {};
  tls.grbitDisabledProtocols = ~static_cast<DWORD>(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT);
  SCH_CREDENTIALS modern = {};
  modern.dwVersion = SCH_CREDENTIALS_VERSION;
  modern.dwFlags = kCredentialFlags;
  modern.cTlsParameters = 1;
  modern.pTlsParameters = &tls;
  if (AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &modern, nullptr, nullptr, &out,
                                &expiry) == SEC_E_OK)
    return true;
  SCHANNEL_CRED cred = {};
  cred.dwVersion = SCHANNEL_CRED_VERSION;
  cred.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  cred.dwFlags = kCredentialFlags;
  return AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &cred, nullptr, nullptr, &out,
                                   &expiry) == SEC_E_OK;
}

}  // namespace

TlsFailure ClassifyCertificateCheck(DWORD chain_error_status, DWORD policy_error) {
  // Revocation is checked from what the system has at hand: no answer
  // (nothing cached, the responder out of reach) fails nothing. A revoked
  // certificate (CERT_TRUST_IS_REVOKED) still does.
  chain_error_status &= ~static_cast<DWORD>(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
  if (chain_error_status != CERT_TRUST_NO_ERROR) {
    const DWORD time_errors = CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_IS_NOT_TIME_NESTED;
    return (chain_error_status & ~time_errors) == 0 ? TlsFailure::kExpired : TlsFailure::kUntrusted;
  }
  switch (static_cast<HRESULT>(policy_error)) {
    case S_OK: return TlsFailure::kNone;
    case CERT_E_CN_NO_MATCH: return TlsFailure::kNameMismatch;
    case CERT_E_EXPIRED: return TlsFailure::kExpired;
    default: return TlsFailure::kUntrusted;
  }
}

TlsFailure CheckServerCertificate(PCCERT_CONTEXT certificate, const std::string& server_name) {
  if (!certificate) return TlsFailure::kUntrusted;
  char server_auth[] = szOID_PKIX_KP_SERVER_AUTH;
  char* usages[] = {server_auth};
  CERT_CHAIN_PARA para = {};
  para.cbSize = sizeof para;
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  // The check runs on the window thread: nothing is fetched from the network
  // (no intermediate certificate, no revocation list, no OCSP answer), so a
  // certificate that names an unreachable address cannot hold the program.
  // Revocation is checked with what the system has cached (RevokedStatus).
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &para, kChainFlags, nullptr,
                               &chain) ||
      !chain)
    return TlsFailure::kUntrusted;

  std::wstring name = Wide(server_name);
  HTTPSPolicyCallbackData ssl = {};
  ssl.cbStruct = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.pwszServerName = name.data();
  CERT_CHAIN_POLICY_PARA policy = {};
  policy.cbSize = sizeof policy;
  policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status = {};
  status.cbSize = sizeof status;
  DWORD policy_error = static_cast<DWORD>(CERT_E_UNTRUSTEDROOT);
  if (CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status)) policy_error = status.dwError;
  const DWORD chain_status = chain->TrustStatus.dwErrorStatus | RevokedStatus(certificate, para);
  const TlsFailure failure = ClassifyCertificateCheck(chain_status, policy_error);
  CertFreeCertificateChain(chain);
  return failure;
}

TlsChannel::~TlsChannel() { Release(); }

void TlsChannel::Release() {
  if (have_context_) DeleteSecurityContext(&context_);
  if (have_credentials_) FreeCredentialsHandle(&credentials_);
  have_context_ = have_credentials_ = false;
}

void TlsChannel::Fail(TlsStep& step, TlsFailure failure) {
  state_ = State::kFailed;
  step.failure = failure;
  Release();
}

TlsStep TlsChannel::Start(const std::string& server_name) {
  TlsStep step;
  server_name_ = server_name;
  if (!AcquireClientCredentials(credentials_)) {
    Fail(step, TlsFailure::kHandshake);
    return step;
  }
  have_credentials_ = true;
  state_ = State::kHandshake;
  const SECURITY_STATUS s = Continue(std::string(), step);
  if (s != SEC_I_CONTINUE_NEEDED) Fail(step, TlsFailure::kHandshake);
  return step;
}

SECURITY_STATUS TlsChannel::Continue(const std::string& input, TlsStep& step) {
  std::vector<char> in_bytes(input.begin(), input.end());
  SecBuffer in[2] = {};
  in[0].BufferType = SECBUFFER_TOKEN;
  in[0].cbBuffer = static_cast<ULONG>(in_bytes.size());
  in[0].pvBuffer = in_bytes.empty() ? nullptr : in_bytes.data();
  in[1].BufferType = SECBUFFER_EMPTY;
  SecBufferDesc in_desc = {SECBUFFER_VERSION, 2, in};
  SecBuffer out[1] = {};
  out[0].BufferType = SECBUFFER_TOKEN;
  SecBufferDesc out_desc = {SECBUFFER_VERSION, 1, out};
  ULONG attributes = 0;
  TimeStamp expiry;
  std::vector<char> name(server_name_.begin(), server_name_.end());
  name.push_back('\0');
  SECURITY_STATUS s;
  // After a server asked for a client certificate: go on without one.
  const ULONG flags = kContextFlags | (without_client_certificate_ ? ISC_REQ_USE_SUPPLIED_CREDS : 0);
  if (!have_context_) {
    s = InitializeSecurityContextA(&credentials_, nullptr, name.data(), flags, 0, 0, nullptr, 0, &context_,
                                   &out_desc, &attributes, &expiry);
    if (s == SEC_I_CONTINUE_NEEDED || s == SEC_E_OK) have_context_ = true;
  } else {
    s = InitializeSecurityContextA(&credentials_, &context_, name.data(), flags, 0, 0, &in_desc, 0, nullptr,
                                   &out_desc, &attributes, &expiry);
  }
  if (out[0].pvBuffer) {
    if (out[0].cbBuffer > 0) step.send.append(static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer);
    FreeContextBuffer(out[0].pvBuffer);
  }
  if (s == SEC_E_INCOMPLETE_MESSAGE || s == SEC_I_INCOMPLETE_CREDENTIALS) {
    reader_.PutBack(input);  // all of it again (with more behind it, or without a certificate)
  } else if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0 && in[1].cbBuffer <= input.size()) {
    reader_.PutBack(std::string_view(input).substr(input.size() - in[1].cbBuffer));
  }
  return s;
}

void TlsChannel::Handshake(TlsStep& step) {
  while (state_ == State::kHandshake) {
    std::string input;
    const TlsRecordReader::Status r = reader_.TakeAll(input);
    if (r == TlsRecordReader::Status::kMalformed) return Fail(step, TlsFailure::kHandshake);
    if (r == TlsRecordReader::Status::kNeedMore) return;
    const SECURITY_STATUS s = Continue(input, step);
    if (s == SEC_E_INCOMPLETE_MESSAGE) {
      // A handshake message runs on into records still to come. A server
      // hello that never completes is not waited for without bound.
      if (reader_.buffered() > kLongestHandshake) return Fail(step, TlsFailure::kHandshake);
      return;
    }
    if (s == SEC_I_CONTINUE_NEEDED) continue;
    if (s == SEC_I_INCOMPLETE_CREDENTIALS && !without_client_certificate_) {
      // The server asks for a client certificate; it is optional for the
      // servers we know, and there is none to give: the same input again,
      // answered with no certificate. A server that insists refuses then.
      without_client_certificate_ = true;
      continue;
    }
    if (s != SEC_E_OK) return Fail(step, TlsFailure::kHandshake);

    PCCERT_CONTEXT certificate = nullptr;
    if (QueryContextAttributesA(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) != SEC_E_OK)
      certificate = nullptr;
    const TlsFailure failure = CheckServerCertificate(certificate, server_name_);
    if (certificate) CertFreeCertificateContext(certificate);
    if (failure != TlsFailure::kNone) return Fail(step, failure);
    if (QueryContextAttributesA(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_) != SEC_E_OK ||
        sizes_.cbMaximumMessage == 0)
      return Fail(step, TlsFailure::kHandshake);
    SecPkgContext_ConnectionInfo info = {};
    tls13_ = QueryContextAttributesA(&context_, SECPKG_ATTR_CONNECTION_INFO, &info) == SEC_E_OK &&
             (info.dwProtocol & SP_PROT_TLS1_3_CLIENT) != 0;
    state_ = State::kOpen;
    step.secured = true;
  }
}

void TlsChannel::Decrypt(TlsStep& step) {
  std::string record;
  TlsRecordHeader header;
  while (state_ == State::kOpen) {
    const TlsRecordReader::Status r = reader_.Next(record, header);
    if (r == TlsRecordReader::Status::kMalformed) return Fail(step, TlsFailure::kChannel);
    if (r == TlsRecordReader::Status::kNeedMore) return;
    switch (ClassifyRecordAfterHandshake(header)) {
      case TlsLateRecord::kData:
      case TlsLateRecord::kAlert: break;
      case TlsLateRecord::kRenegotiation:
      case TlsLateRecord::kUnexpected: return Fail(step, TlsFailure::kChannel);
    }
    SecBuffer b[4] = {};
    b[0].BufferType = SECBUFFER_DATA;
    b[0].cbBuffer = static_cast<ULONG>(record.size());
    b[0].pvBuffer = record.data();
    for (int i = 1; i < 4; ++i) b[i].BufferType = SECBUFFER_EMPTY;
    SecBufferDesc desc = {SECBUFFER_VERSION, 4, b};
    const SECURITY_STATUS s = DecryptMessage(&context_, &desc, 0, nullptr);
    if (s == SEC_E_OK || s == SEC_I_RENEGOTIATE || s == SEC_I_CONTEXT_EXPIRED) {
      std::string extra;
      // The record now reads header, data, trailer, and maybe bytes past it.
      for (int i = 1; i < 4; ++i) {
        const SecBuffer& x = b[i];
        if (x.BufferType == SECBUFFER_DATA && x.pvBuffer && x.cbBuffer <= record.size())
          step.plain.append(static_cast<const char*>(x.pvBuffer), x.cbBuffer);
        if (x.BufferType == SECBUFFER_EXTRA && x.cbBuffer > 0 && x.cbBuffer <= record.size())
          extra.assign(record.data() + record.size() - x.cbBuffer, x.cbBuffer);
      }
      if (s == SEC_I_CONTEXT_EXPIRED || header.type == TlsContentType::kAlert) {
        // close_notify (Schannel on Windows says so; Wine decrypts it to
        // nothing), or a fatal alert: either way the server has finished.
        state_ = State::kClosed;
        step.closed = true;
        return;
      }
      if (s == SEC_I_RENEGOTIATE) {
        // A handshake message after the handshake. Under TLS 1.3 it is a
        // session ticket or a key update, which Schannel takes through
        // InitializeSecurityContext; anything older would be a new handshake
        // with a certificate never checked: refused.
        if (!tls13_) return Fail(step, TlsFailure::kChannel);
        const SECURITY_STATUS again = Continue(extra, step);
        if (again != SEC_E_OK && again != SEC_I_CONTINUE_NEEDED) return Fail(step, TlsFailure::kChannel);
        continue;
      }
      if (!extra.empty()) reader_.PutBack(extra);
      continue;
    }
    return Fail(step, TlsFailure::kChannel);
  }
}

TlsStep TlsChannel::Receive(std::string_view bytes) {
  TlsStep step;
  if (state_ != State::kHandshake && state_ != State::kOpen) return step;
  reader_.Append(bytes);
  if (state_ == State::kHandshake) Handshake(step);
  // Records that came with the end of the handshake are read at once.
  if (state_ == State::kOpen) Decrypt(step);
  return step;
}

bool TlsChannel::Encrypt(std::string_view plain, std::string& out) {
  if (state_ != State::kOpen) return false;
  while (!plain.empty()) {
    const std::size_t n = plain.size() < sizes_.cbMaximumMessage ? plain.size() : sizes_.cbMaximumMessage;
    std::vector<char> message(sizes_.cbHeader + n + sizes_.cbTrailer);
    std::copy(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(n), message.begin() + sizes_.cbHeader);
    SecBuffer b[4] = {};
    b[0] = {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, message.data()};
    b[1] = {static_cast<ULONG>(n), SECBUFFER_DATA, message.data() + sizes_.cbHeader};
    b[2] = {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, message.data() + sizes_.cbHeader + n};
    b[3].BufferType = SECBUFFER_EMPTY;
    SecBufferDesc desc = {SECBUFFER_VERSION, 4, b};
    if (EncryptMessage(&context_, 0, &desc, 0) != SEC_E_OK) return false;
    // The trailer may come out shorter than its room: take what was written.
    out.append(message.data(), b[0].cbBuffer + b[1].cbBuffer);
    out.append(message.data() + sizes_.cbHeader + n, b[2].cbBuffer);
    plain.remove_prefix(n);
  }
  return true;
}

std::string TlsChannel::Shutdown() {
  std::string token;
  if (state_ != State::kOpen && state_ != State::kClosed) return token;
  DWORD kind = SCHANNEL_SHUTDOWN;
  SecBuffer b = {sizeof kind, SECBUFFER_TOKEN, &kind};
  SecBufferDesc desc = {SECBUFFER_VERSION, 1, &b};
  if (ApplyControlToken(&context_, &desc) == SEC_E_OK) {
    TlsStep step;
    Continue(std::string(), step);
    token = step.send;
  }
  state_ = State::kClosed;
  return token;
}

bool TlsChannel::PeerCertificate(std::string& subject, SYSTEMTIME& not_after) {
  if (state_ != State::kOpen || !have_context_) return false;
  PCCERT_CONTEXT certificate = nullptr;
  if (QueryContextAttributesA(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) != SEC_E_OK ||
      !certificate)
    return false;
  char name[512] = "";
  CertNameToStrA(X509_ASN_ENCODING, &certificate->pCertInfo->Subject, CERT_X500_NAME_STR, name, sizeof name);
  subject = name;
  const bool ok = FileTimeToSystemTime(&certificate->pCertInfo->NotAfter, &not_after) != FALSE;
  CertFreeCertificateContext(certificate);
  return ok;
}

}  // namespace tidewell
