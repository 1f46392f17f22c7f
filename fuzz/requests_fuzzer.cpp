// libFuzzer target: request texts through the seven request exports of the
// shared library, called as a host calls them (BSTRs made and freed with the
// library's own functions).
//
// The first byte chooses the export (its value modulo 7) and how the rest is
// passed: bit 3 clear, as UTF-8 text converted to UTF-16 (input that is not
// UTF-8 is skipped); bit 3 set, as raw UTF-16 code units (little-endian,
// unpaired surrogates and all).
//
// Every device lives on a closed loopback port, so each call ends in its
// parse, registry or connection error at once. One device (handle 1, as in
// the examples) is opened at start and stays, so that MESSAGE, RECEIPT ...
// with <Handle>1</Handle> build their whole message. OPEN requests get that
// closed port as their Connection and a fixed LogId (one log file), and a
// device they make is closed again; a CLOSE request is pointed at a device
// opened for it. Requests naming anything the library would fetch or read
// from outside (an address with "://", a path going up or starting at the
// root) are skipped: the fuzzer must not reach the network or the machine's
// files.
//
// The oracle: every call answers 0 or -1; -1 exactly when the envelope says
// <Error>True</Error> and an error message is given; the envelope is
// well-formed XML once wrapped in an element; OPEN's starts with its handle.
#include <arpa/inet.h>
#include <korvane_display.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "helpers/utf.h"

namespace {

constexpr KorvaneRequestCall kCalls[] = {OPEN, CLOSE, MESSAGE, CLOSEMESSAGE, RECEIPT, THANKYOU, IDLE};
constexpr const char* kCallNames[] = {"OPEN",    "CLOSE",    "MESSAGE", "CLOSEMESSAGE",
                                      "RECEIPT", "THANKYOU", "IDLE"};
enum CallIndex { kOpen = 0, kClose = 1 };

// The library's parse options (see device/xml_view.cpp): the same values
// and texts as the library reads.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_comments | pugi::parse_fragment;

int gClosedPort = 0;
int gDevice = 0;

[[noreturn]] void Fail(const char* aCall, const std::string& aWhat, const std::string& aEnvelope) {
  std::fprintf(stderr, "fuzz_requests: %s: %s\nenvelope: %s\n", aCall, aWhat.c_str(), aEnvelope.c_str());
  std::abort();
}

// A loopback port nothing listens on: bound once for a free number, then
// closed again.
int ClosedLoopbackPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
    std::perror("fuzz_requests: no loopback port");
    std::abort();
  }
  ::close(s);
  return ntohs(a.sin_port);
}

struct Answer {
  int16_t result = 0;
  std::string envelope;
  bool hasError = false;
};

// One call as a host makes it, with the oracle's checks.
Answer Call(int aCall, std::u16string_view aXml) {
  BSTR xml = SysAllocStringLen(aXml.data(), static_cast<uint32_t>(aXml.size()));
  BSTR output = nullptr;
  BSTR error = nullptr;
  Answer a;
  a.result = kCalls[aCall](xml, &output, &error);
  a.envelope =
      output ? korvane::platform::Utf16ToUtf8Replacing(std::u16string_view(output, SysStringLen(output)))
             : std::string();
  a.hasError = error != nullptr && SysStringLen(error) > 0;
  SysFreeString(xml);
  SysFreeString(output);
  SysFreeString(error);

  const char* name = kCallNames[aCall];
  if (a.result != 0 && a.result != -1) Fail(name, "result " + std::to_string(a.result), a.envelope);
  const bool saysError = a.envelope.find("<Error>True</Error>") != std::string::npos;
  if (saysError != (a.result == -1) || a.hasError != (a.result == -1))
    Fail(name, "result, envelope and error message disagree", a.envelope);
  pugi::xml_document envelope;
  const std::string wrapped = "<Envelope>" + a.envelope + "</Envelope>";
  if (!envelope.load_buffer(wrapped.data(), wrapped.size(), pugi::parse_default, pugi::encoding_utf8))
    Fail(name, "the envelope is not XML", a.envelope);
  if (aCall == kOpen && a.envelope.rfind("<Handle>", 0) != 0) Fail(name, "no handle first", a.envelope);
  return a;
}

int HandleOf(const Answer& aAnswer) {
  const size_t at = aAnswer.envelope.find("<Handle>");
  return at == std::string::npos ? 0 : std::atoi(aAnswer.envelope.c_str() + at + 8);
}

std::string Connection() {
  return "<Type>TCP</Type><Address>127.0.0.1</Address><Port>" + std::to_string(gClosedPort) +
         "</Port><ConnectTimeout>1000</ConnectTimeout><ReadTimeout>1000</ReadTimeout>";
}

int OpenDevice() {
  const std::string request =
      "<Request><Type>CustomerDisplay</Type><Driver>QORD_KORVANE_10</Driver>"
      "<Method>OPEN</Method><LogId>fuzz</LogId><Connection>" +
      Connection() + "</Connection><Parameters/></Request>";
  return HandleOf(Call(kOpen, korvane::platform::Utf8ToUtf16(request)));
}

void CloseDevice(int aHandle) {
  const std::string request = "<Request><Driver>QORD_KORVANE_10</Driver><Handle>" + std::to_string(aHandle) +
                              "</Handle><Parameters/></Request>";
  Call(kClose, korvane::platform::Utf8ToUtf16(request));
}

// Whether a text the library reads could make it fetch or read something
// outside: an address, or a file path beyond the working folder.
bool ReachesOutside(std::string_view aValue) {
  return aValue.find("://") != std::string_view::npos || aValue.find("..") != std::string_view::npos ||
         aValue.find('\\') != std::string_view::npos || aValue.find(":/") != std::string_view::npos ||
         (!aValue.empty() && (aValue.front() == '/' || aValue.front() == '~'));
}

bool AnyValueReachesOutside(const pugi::xml_document& aDocument) {
  for (pugi::xml_node node = aDocument.first_child(); node;) {
    if (ReachesOutside(node.value())) return true;
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
      if (ReachesOutside(a.value())) return true;
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node && !node.next_sibling()) node = node.parent();
    if (node) node = node.next_sibling();
  }
  return false;
}

bool NamedLike(pugi::xml_node aNode, std::string_view aName) {
  const std::string_view name = aNode.name();
  return name == aName || (name.size() > aName.size() && name.substr(name.size() - aName.size()) == aName &&
                           name[name.size() - aName.size() - 1] == ':');
}

// Replaces every child of the document element named aName (or "x:aName")
// by one child aName holding aContent (parsed as XML).
void ReplaceChild(pugi::xml_document& aDocument, std::string_view aName, const std::string& aContent) {
  pugi::xml_node root = aDocument.document_element();
  for (pugi::xml_node child = root.first_child(); child;) {
    const pugi::xml_node next = child.next_sibling();
    if (child.type() == pugi::node_element && NamedLike(child, aName)) root.remove_child(child);
    child = next;
  }
  pugi::xml_node added = root.prepend_child(std::string(aName).c_str());
  added.append_buffer(aContent.data(), aContent.size());
}

std::u16string Serialized(const pugi::xml_document& aDocument) {
  struct Writer : pugi::xml_writer {
    std::string text;
    void write(const void* aData, size_t aSize) override {
      text.append(static_cast<const char*>(aData), aSize);
    }
  } writer;
  aDocument.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  return korvane::platform::Utf8ToUtf16(writer.text);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gClosedPort = ClosedLoopbackPort();
  gDevice = OpenDevice();
  if (gDevice <= 0) {
    std::fprintf(stderr, "fuzz_requests: the standing device did not open\n");
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  if (aSize == 0) return 0;
  const int call = aData[0] % 7;
  const bool rawUtf16 = (aData[0] & 0x08) != 0;
  const std::string_view bytes(reinterpret_cast<const char*>(aData + 1), aSize - 1);

  std::u16string units;
  std::string text;  // as UTF-8 when the units are valid UTF-16
  bool valid = true;
  if (rawUtf16) {
    units.resize(bytes.size() / 2);
    for (size_t i = 0; i < units.size(); ++i)
      units[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                       static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    try {
      text = korvane::platform::Utf16ToUtf8(units);
    } catch (const std::exception&) {
      valid = false;  // the library refuses it before anything else
    }
  } else {
    if (korvane::platform::InvalidUtf8Offset(bytes) != std::string_view::npos) return 0;
    text = std::string(bytes);
    units = korvane::platform::Utf8ToUtf16(text);
  }

  pugi::xml_document doc;
  if (valid && doc.load_buffer(text.data(), text.size(), kParseOptions, pugi::encoding_utf8)) {
    // The library parses as leniently at most: what it reads is here.
    if (AnyValueReachesOutside(doc)) return -1;  // not kept in the corpus
    if (doc.document_element() && (call == kOpen || call == kClose)) {
      if (call == kOpen) {
        ReplaceChild(doc, "Connection", Connection());
        ReplaceChild(doc, "LogId", "fuzz");
        const int handle = HandleOf(Call(kOpen, Serialized(doc)));
        if (handle > 0 && handle != gDevice) CloseDevice(handle);
      } else {
        const int device = OpenDevice();
        ReplaceChild(doc, "Handle", std::to_string(device));
        Call(kClose, Serialized(doc));
        CloseDevice(device);  // when that request did not reach it
      }
      return 0;
    }
  }
  const Answer a = Call(call, units);
  if (call == kOpen && HandleOf(a) > 0 && HandleOf(a) != gDevice) CloseDevice(HandleOf(a));
  return 0;
}
