// A server's certificate checked against a PEM file of authorities through
// the system's chain engine: the file's certificates go into a store in
// memory, the chain is built with them beside the certificates the server
// sent, and it must end at one of them; the system's SSL policy then checks
// the host name.
#include "platform/tls_trust_win32.h"

// (the checks of the SSL policy take the flags of the HTTP client; the
// addresses of hosts come from Winsock, which windows.h leaves out here)
#include <winhttp.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <memory>

#include "helpers/error.h"
#include "platform/filesystem.h"

namespace korvane::platform {
namespace {

// The largest CA file read: a bundle of every public authority is about
// 200 KiB.
constexpr size_t kMaxCaFileBytes = 16u << 20;

struct StoreCloser {
  void operator()(void* aStore) const { CertCloseStore(static_cast<HCERTSTORE>(aStore), 0); }
};
using Store = std::unique_ptr<void, StoreCloser>;

struct ChainFreer {
  void operator()(PCCERT_CHAIN_CONTEXT aChain) const { CertFreeCertificateChain(aChain); }
};
using Chain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFreer>;

// The certificates of a PEM file in a new store in memory; fails with an
// Error when the file cannot be read or holds none.
Store LoadAuthorities(const std::string& aCaFile) {
  const std::string pem = ReadFileBytes(aCaFile, kMaxCaFileBytes);
  Store store(CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr));
  if (!store) throw Error("Cannot make a certificate store");
  static const std::string kBegin = "-----BEGIN CERTIFICATE-----", kEnd = "-----END CERTIFICATE-----";
  int count = 0;
  for (size_t at = pem.find(kBegin); at != std::string::npos; at = pem.find(kBegin, at)) {
    const size_t end = pem.find(kEnd, at);
    if (end == std::string::npos) break;
    const size_t length = end + kEnd.size() - at;
    DWORD size = 0;
    if (CryptStringToBinaryA(pem.data() + at, static_cast<DWORD>(length), CRYPT_STRING_BASE64HEADER, nullptr,
                             &size, nullptr, nullptr)) {
      std::string der(size, '\0');
      if (CryptStringToBinaryA(pem.data() + at, static_cast<DWORD>(length), CRYPT_STRING_BASE64HEADER,
                               reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr) &&
          CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING,
                                           reinterpret_cast<const BYTE*>(der.data()), size,
                                           CERT_STORE_ADD_USE_EXISTING, nullptr))
        ++count;
    }
    at = end + kEnd.size();
  }
  if (count == 0) throw Error("no certificate in the CA file \"" + aCaFile + "\"");
  return store;
}

std::string Hex(DWORD aValue) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(aValue));
  return text;
}

// What is wrong with one certificate of the chain, from the chain engine's
// flags; empty when nothing is. The root being unknown to the system and
// revocation not being checked do not count: the CA file decides.
std::string ElementFault(DWORD aStatus) {
  aStatus &= ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
                                 CERT_TRUST_IS_OFFLINE_REVOCATION);
  if (aStatus == 0) return std::string();
  if (aStatus & CERT_TRUST_IS_NOT_TIME_VALID) return "a certificate of its chain is out of date";
  if (aStatus & CERT_TRUST_IS_NOT_SIGNATURE_VALID) return "a signature in its chain is not valid";
  if (aStatus & CERT_TRUST_IS_REVOKED) return "a certificate of its chain is revoked";
  if (aStatus & CERT_TRUST_IS_NOT_VALID_FOR_USAGE)
    return "a certificate of its chain is not meant for a server";
  return "its chain is not valid (status " + Hex(aStatus) + ")";
}

// The address aHost spells, as its bytes (4 or 16); empty when aHost is a
// name. An IPv6 address may come in brackets, as in a URL.
std::string AddressBytes(std::wstring aHost) {
  if (aHost.size() > 2 && aHost.front() == L'[' && aHost.back() == L']')
    aHost = aHost.substr(1, aHost.size() - 2);
  IN6_ADDR v6{};
  if (InetPtonW(AF_INET6, aHost.c_str(), &v6) == 1)
    return std::string(reinterpret_cast<const char*>(&v6), 16);
  IN_ADDR v4{};
  if (InetPtonW(AF_INET, aHost.c_str(), &v4) == 1) return std::string(reinterpret_cast<const char*>(&v4), 4);
  return std::string();
}

// Whether the certificate's subject alternative names hold the address
// aAddress (its bytes).
bool NamesAddress(PCCERT_CONTEXT aCert, const std::string& aAddress) {
  const CERT_INFO& info = *aCert->pCertInfo;
  PCERT_EXTENSION extension = CertFindExtension(szOID_SUBJECT_ALT_NAME2, info.cExtension, info.rgExtension);
  if (extension == nullptr) return false;
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                           extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size))
    return false;
  bool found = false;
  for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
    const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
    found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
            std::string(reinterpret_cast<const char*>(entry.IPAddress.pbData), entry.IPAddress.cbData) ==
                aAddress;
  }
  LocalFree(names);
  return found;
}

}  // namespace

std::string UntrustedReason(PCCERT_CONTEXT aServer, const std::string& aCaFile, const std::wstring& aHost) {
  const Store authorities = LoadAuthorities(aCaFile);
  // The chain may use the CA file's certificates and the ones the server
  // sent (its intermediate authorities).
  Store candidates(CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr));
  if (!candidates || !CertAddStoreToCollection(candidates.get(), authorities.get(), 0, 0) ||
      (aServer->hCertStore != nullptr &&
       !CertAddStoreToCollection(candidates.get(), aServer->hCertStore, 0, 0)))
    throw Error("Cannot make a certificate store");

  LPSTR serverAuth = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = &serverAuth;
  PCCERT_CHAIN_CONTEXT built = nullptr;
  if (!CertGetCertificateChain(nullptr, aServer, nullptr, candidates.get(), &para, 0, nullptr, &built))
    return "its chain cannot be built (error " + Hex(GetLastError()) + ")";
  const Chain chain(built);
  if (chain->cChain == 0 || chain->rgpChain[0]->cElement == 0) return "its chain is empty";

  // From the server's certificate up to the first one the CA file holds,
  // every certificate must be sound.
  const CERT_SIMPLE_CHAIN& simple = *chain->rgpChain[0];
  bool anchored = false;
  for (DWORD i = 0; i < simple.cElement && !anchored; ++i) {
    const CERT_CHAIN_ELEMENT& element = *simple.rgpElement[i];
    const std::string fault = ElementFault(element.TrustStatus.dwErrorStatus);
    if (!fault.empty()) return fault;
    PCCERT_CONTEXT found = CertFindCertificateInStore(authorities.get(), X509_ASN_ENCODING, 0,
                                                      CERT_FIND_EXISTING, element.pCertContext, nullptr);
    if (found != nullptr) {
      CertFreeCertificateContext(found);
      anchored = true;
    }
  }
  if (!anchored) return "its chain does not lead to an authority of the CA file \"" + aCaFile + "\"";

  // The host: an address must be one of the certificate's alternative
  // names (not every system's SSL policy compares addresses), a name is
  // left to the system's SSL policy. The root is known to be one of the CA
  // file's, which the system does not know.
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.fdwChecks = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
  if (const std::string address = AddressBytes(aHost); !address.empty()) {
    if (!NamesAddress(aServer, address)) return "it does not name the host";
    ssl.fdwChecks |= SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
  }
  std::wstring host = aHost;
  ssl.pwszServerName = host.data();
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.dwFlags = CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG | CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status))
    return "its policy cannot be checked (error " + Hex(GetLastError()) + ")";
  switch (static_cast<DWORD>(status.dwError)) {
    case 0:
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT): return std::string();
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH): return "it does not name the host";
    case static_cast<DWORD>(CERT_E_EXPIRED): return "a certificate of its chain is out of date";
    case static_cast<DWORD>(CERT_E_WRONG_USAGE): return "it is not meant for a server";
    default: return "the system's SSL policy refuses it (error " + Hex(status.dwError) + ")";
  }
}

}  // namespace korvane::platform
