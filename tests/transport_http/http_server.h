// Loopback HTTP and HTTPS peers for the HTTP transport tests.
#pragma once

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace korvane::testing {

// What the server saw of one request.
struct SeenRequest {
  std::string path;
  std::string body;
  std::multimap<std::string, std::string, httplib::detail::ci> headers;
};

inline std::string Md5Hex(const std::string& aText) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(aText.data(), aText.size(), digest, &length, EVP_md5(), nullptr);
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

// The value of key="value" or key=value in a Digest authorization header.
inline std::string DigestField(const std::string& aHeader, const std::string& aKey) {
  size_t at = 0;
  while ((at = aHeader.find(aKey + "=", at)) != std::string::npos) {
    if (at == 0 || aHeader[at - 1] == ' ' || aHeader[at - 1] == ',') break;
    ++at;
  }
  if (at == std::string::npos) return "";
  at += aKey.size() + 1;
  if (at < aHeader.size() && aHeader[at] == '"') {
    const size_t end = aHeader.find('"', at + 1);
    return aHeader.substr(at + 1, end - at - 1);
  }
  const size_t end = aHeader.find(',', at);
  return aHeader.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// A self-signed certificate for 127.0.0.1 and its key, written as PEM files.
inline void MakeCertificate(const std::string& aCertPath, const std::string& aKeyPath) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"),
                             -1, -1, 0);
  X509_set_issuer_name(cert, name);
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
  for (const auto& [nid, value] : {std::pair{NID_subject_alt_name, "IP:127.0.0.1"},
                                   std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
  }
  X509_sign(cert, key, EVP_sha256());
  FILE* out = std::fopen(aCertPath.c_str(), "w");
  PEM_write_X509(out, cert);
  std::fclose(out);
  out = std::fopen(aKeyPath.c_str(), "w");
  PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr);
  std::fclose(out);
  X509_free(cert);
  EVP_PKEY_free(key);
}

// A loopback server with the routes the tests use:
//   /ok        200 "OK" (text/plain)       /missing   404 "nope"
//   /fail      500                         /redirect  302 to /ok
//   /latin     200, ISO-8859-1 body "caf\xe9"
//   /basic     401 with a Basic challenge unless user:secret comes with it
//   /digest    401 with a Digest challenge unless the digest of user:secret
//              for it comes with it
//   /slow      answers after 3 s
class TestHttpServer {
 public:
  static constexpr const char* kUser = "user";
  static constexpr const char* kPassword = "secret";
  static constexpr const char* kRealm = "korvane";
  static constexpr const char* kNonce = "dcd98b7102dd2f0e8b11d0f600bfb0c093";

  // With aCert and aKey an HTTPS server.
  explicit TestHttpServer(const std::string& aCert = "", const std::string& aKey = "") {
    if (aCert.empty())
      fServer = std::make_unique<httplib::Server>();
    else
      fServer = std::make_unique<httplib::SSLServer>(aCert.c_str(), aKey.c_str());
    Route("/ok",
          [](const httplib::Request&, httplib::Response& res) { res.set_content("OK", "text/plain"); });
    Route("/missing", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("nope", "text/plain");
    });
    Route("/fail", [](const httplib::Request&, httplib::Response& res) { res.status = 500; });
    Route("/redirect", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/ok", 302); });
    Route("/latin", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("caf\xe9", "text/plain; charset=ISO-8859-1");
    });
    Route("/basic", [](const httplib::Request& req, httplib::Response& res) {
      if (req.get_header_value("Authorization") == "Basic dXNlcjpzZWNyZXQ=") {
        res.set_content("welcome", "text/plain");
        return;
      }
      res.status = 401;
      res.set_header("WWW-Authenticate", std::string("Basic realm=\"") + kRealm + "\"");
    });
    Route("/digest", [](const httplib::Request& req, httplib::Response& res) {
      const std::string auth = req.get_header_value("Authorization");
      if (auth.rfind("Digest ", 0) == 0) {
        const std::string ha1 = Md5Hex(std::string(kUser) + ":" + kRealm + ":" + kPassword);
        const std::string ha2 = Md5Hex("POST:" + DigestField(auth, "uri"));
        const std::string expected =
            Md5Hex(ha1 + ":" + DigestField(auth, "nonce") + ":" + DigestField(auth, "nc") + ":" +
                   DigestField(auth, "cnonce") + ":" + DigestField(auth, "qop") + ":" + ha2);
        if (DigestField(auth, "username") == kUser && DigestField(auth, "response") == expected) {
          res.set_content("digest welcome", "text/plain");
          return;
        }
      }
      res.status = 401;
      res.set_header("WWW-Authenticate", std::string("Digest realm=\"") + kRealm +
                                             "\", qop=\"auth\", nonce=\"" + kNonce + "\", algorithm=MD5");
    });
    Route("/slow", [](const httplib::Request&, httplib::Response& res) {
      std::this_thread::sleep_for(std::chrono::seconds(3));
      res.set_content("late", "text/plain");
    });
    fPort = fServer->bind_to_any_port("127.0.0.1");
    if (fPort <= 0) throw std::runtime_error("cannot bind the test server");
    fThread = std::thread([this] { fServer->listen_after_bind(); });
    for (int i = 0; i < 500 && !fServer->is_running(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  ~TestHttpServer() {
    fServer->stop();
    fThread.join();
  }

  int Port() const { return fPort; }
  std::string Url(const std::string& aPath, const std::string& aScheme = "http") const {
    return aScheme + "://127.0.0.1:" + std::to_string(fPort) + aPath;
  }

  std::vector<SeenRequest> Seen() const {
    std::lock_guard lock(fLock);
    return fSeen;
  }

 private:
  void Route(const std::string& aPath,
             std::function<void(const httplib::Request&, httplib::Response&)> aHandler) {
    fServer->Post(aPath, [this, aPath, aHandler](const httplib::Request& req, httplib::Response& res) {
      {
        std::lock_guard lock(fLock);
        fSeen.push_back({aPath, req.body, {req.headers.begin(), req.headers.end()}});
      }
      aHandler(req, res);
    });
  }

  std::unique_ptr<httplib::Server> fServer;
  int fPort = 0;
  std::thread fThread;
  mutable std::mutex fLock;
  std::vector<SeenRequest> fSeen;
};

// A peer that answers one request with the bytes given and closes: for
// responses no well-behaved server sends.
class RawHttpPeer {
 public:
  explicit RawHttpPeer(std::string aReply) : fReply(std::move(aReply)) {
    fListener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fListener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fListener, 1);
    socklen_t length = sizeof address;
    getsockname(fListener, reinterpret_cast<sockaddr*>(&address), &length);
    fPort = ntohs(address.sin_port);
    fThread = std::thread([this] {
      const int peer = accept(fListener, nullptr, nullptr);
      if (peer < 0) return;
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = recv(peer, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<size_t>(n));
      }
      send(peer, fReply.data(), fReply.size(), MSG_NOSIGNAL);
      close(peer);
    });
  }
  ~RawHttpPeer() {
    shutdown(fListener, SHUT_RDWR);
    close(fListener);
    fThread.join();
  }
  int Port() const { return fPort; }

 private:
  std::string fReply;
  int fListener = -1;
  int fPort = 0;
  std::thread fThread;
};

}  // namespace korvane::testing
