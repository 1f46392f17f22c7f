#include "support/http_server.h"

#ifndef _WIN32
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#endif

#include <cstdio>
#include <stdexcept>

#include "support/loopback.h"

namespace korvane::testing {

// ---- TestCertificate ----------------------------------------------------

#ifndef _WIN32
namespace {

void WritePem(const std::string& aPath, const std::function<int(FILE*)>& aWrite) {
  FILE* out = std::fopen(aPath.c_str(), "w");
  if (out == nullptr) throw std::runtime_error("cannot write " + aPath);
  const int written = aWrite(out);
  std::fclose(out);
  if (written != 1) throw std::runtime_error("cannot write " + aPath);
}

}  // namespace
#endif

#ifdef _WIN32
TestCertificate::TestCertificate() {
  throw std::runtime_error("no test certificates on Windows (no OpenSSL)");
}
#else
TestCertificate::TestCertificate() {
  std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  std::unique_ptr<X509, void (*)(X509*)> cert(X509_new(), X509_free);
  if (!key || !cert) throw std::runtime_error("cannot make a test certificate");
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"),
                             -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, cert.get(), cert.get(), nullptr, nullptr, 0);
  for (const auto& [nid, value] : {std::pair{NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"},
                                   std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (ext == nullptr) throw std::runtime_error("cannot make a test certificate");
    X509_add_ext(cert.get(), ext, -1);
    X509_EXTENSION_free(ext);
  }
  if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0)
    throw std::runtime_error("cannot sign the test certificate");
  WritePem(CertFile(), [&](FILE* aOut) { return PEM_write_X509(aOut, cert.get()); });
  WritePem(KeyFile(), [&](FILE* aOut) {
    return PEM_write_PrivateKey(aOut, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
  });
}
#endif

// ---- TestHttpServer -----------------------------------------------------

TestHttpServer::TestHttpServer() : fServer(std::make_unique<httplib::Server>()) {}

#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
TestHttpServer::TestHttpServer(const TestCertificate& aCert)
    : fServer(std::make_unique<httplib::SSLServer>(aCert.CertFile().c_str(), aCert.KeyFile().c_str())),
      fTls(true) {}
#else
TestHttpServer::TestHttpServer(const TestCertificate&) {
  throw std::runtime_error("no HTTPS test server in this build (no OpenSSL)");
}
#endif

TestHttpServer::~TestHttpServer() { Stop(); }

void TestHttpServer::RecordedPost(const std::string& aPath, Handler aHandler) {
  fServer->Post(aPath, [this, aPath, aHandler](const httplib::Request& req, httplib::Response& res) {
    {
      std::lock_guard lock(fLock);
      fSeen.push_back({aPath, req.body, {req.headers.begin(), req.headers.end()}});
    }
    aHandler(req, res);
  });
}

void TestHttpServer::Start() {
  fPort = fServer->bind_to_any_port("127.0.0.1");
  if (fPort <= 0) throw std::runtime_error("test server cannot bind");
  fThread = std::thread([this] { fServer->listen_after_bind(); });
  WaitFor([this] { return fServer->is_running(); });
}

void TestHttpServer::Stop() {
  if (!fThread.joinable()) return;
  fServer->stop();
  fThread.join();
}

std::string TestHttpServer::Url(const std::string& aPath) const {
  return std::string(fTls ? "https" : "http") + "://127.0.0.1:" + std::to_string(fPort) + aPath;
}

std::vector<SeenRequest> TestHttpServer::Seen() const {
  std::lock_guard lock(fLock);
  return fSeen;
}

// ---- RawHttpPeer --------------------------------------------------------

RawHttpPeer::RawHttpPeer(std::string aReply) : fReply(std::move(aReply)) {
  fListener = ListenOnLoopback(1, fPort);
  fThread = std::thread([this] {
    const NativeSocket peer = ::accept(fListener, nullptr, nullptr);
    if (peer == kNoSocket) return;
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const auto n = ::recv(peer, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request.append(buffer, static_cast<size_t>(n));
    }
#ifdef _WIN32
    ::send(peer, fReply.data(), static_cast<int>(fReply.size()), 0);
#else
    ::send(peer, fReply.data(), fReply.size(), MSG_NOSIGNAL);
#endif
    CloseSocket(peer);
  });
}

RawHttpPeer::~RawHttpPeer() {
#ifdef _WIN32
  // Closing the listener ends a waiting accept.
  CloseSocket(fListener);
#else
  ::shutdown(fListener, SHUT_RDWR);
  CloseSocket(fListener);
#endif
  fThread.join();
}

}  // namespace korvane::testing
