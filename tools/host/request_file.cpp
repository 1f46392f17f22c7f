#include "request_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <pugixml.hpp>
#include <sstream>

#include "helpers/utf.h"
#include "korvane_library.h"

namespace korvane::host {

std::string DisplayAddress::Text() const {
  return (fHost.find(':') != std::string::npos ? "[" + fHost + "]" : fHost) + ":" + std::to_string(fPort);
}

DisplayAddress ParseDisplayAddress(const std::string& aText) {
  const auto fail = [&]() -> DisplayAddress {
    throw HostError("--display expects HOST:PORT, not '" + aText + "'");
  };
  std::string host, port;
  if (!aText.empty() && aText[0] == '[') {
    const auto close = aText.find("]:");
    if (close == std::string::npos) return fail();
    host = aText.substr(1, close - 1);
    port = aText.substr(close + 2);
  } else {
    const auto colon = aText.rfind(':');
    if (colon == std::string::npos) return fail();
    host = aText.substr(0, colon);
    port = aText.substr(colon + 1);
  }
  if (host.empty() || port.empty() || port.size() > 5 ||
      port.find_first_not_of("0123456789") != std::string::npos)
    return fail();
  const long number = std::stol(port);
  if (number < 1 || number > 65535) return fail();
  return {host, static_cast<std::uint16_t>(number)};
}

namespace {

// A text that starts with a UTF-16 byte order mark (as a Windows editor
// saves "Unicode") as UTF-8 without the mark; any other text as it is.
std::string FromUtf16(const std::string& aBytes, const std::string& aName) {
  if (aBytes.size() < 2) return aBytes;
  const auto first = static_cast<unsigned char>(aBytes[0]);
  const auto second = static_cast<unsigned char>(aBytes[1]);
  const bool little = first == 0xFF && second == 0xFE;
  const bool big = first == 0xFE && second == 0xFF;
  if (!little && !big) return aBytes;
  if (aBytes.size() % 2 != 0) throw HostError(aName + " is UTF-16 text with an odd number of bytes");
  std::u16string units;
  units.reserve(aBytes.size() / 2 - 1);
  for (std::size_t at = 2; at < aBytes.size(); at += 2) {
    const auto low = static_cast<unsigned char>(aBytes[little ? at : at + 1]);
    const auto high = static_cast<unsigned char>(aBytes[little ? at + 1 : at]);
    units.push_back(static_cast<char16_t>(high << 8 | low));
  }
  try {
    return platform::Utf16ToUtf8(units);
  } catch (const std::exception& e) {
    throw HostError(aName + " is not UTF-16 text: " + e.what());
  }
}

}  // namespace

std::string ReadRequestFile(const std::string& aPath) {
  if (aPath == "-")
    return FromUtf16(std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()),
                     "standard input");
  std::error_code ec;
  if (std::filesystem::is_directory(aPath, ec))
    throw HostError("cannot read the request file " + aPath + ": it is a folder");
  std::ifstream in(aPath, std::ios::binary);
  if (!in) throw HostError("cannot read the request file " + aPath + ": " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw HostError("cannot read the request file " + aPath);
  return FromUtf16(text.str(), aPath);
}

std::string PrepareRequest(const std::string& aText, const std::string& aName, const RequestEdits& aEdits) {
  if (platform::InvalidUtf8Offset(aText) != std::string::npos) throw HostError(aName + " is not UTF-8 text");
  pugi::xml_document document;
  const unsigned options = pugi::parse_default | pugi::parse_comments | pugi::parse_declaration |
                           pugi::parse_pi | pugi::parse_doctype;
  const auto parsed = document.load_buffer(aText.data(), aText.size(), options, pugi::encoding_utf8);
  if (!parsed || !document.document_element())
    throw HostError(aName + " is not an XML request: " + (parsed ? "no root element" : parsed.description()) +
                    " at byte " + std::to_string(parsed.offset));
  if (!aEdits.fDisplay && !aEdits.fHandle) return aText;

  pugi::xml_node root = document.document_element();
  auto setChild = [](pugi::xml_node aParent, const char* aName, const std::string& aValue) {
    pugi::xml_node child = aParent.child(aName);
    if (!child) child = aParent.append_child(aName);
    child.text().set(aValue.c_str());
  };
  if (aEdits.fDisplay) {
    // Only OPEN reads the connection; other requests have none to change.
    if (pugi::xml_node connection = root.child("Connection")) {
      setChild(connection, "Address", aEdits.fDisplay->fHost);
      setChild(connection, "Port", std::to_string(aEdits.fDisplay->fPort));
    }
  }
  if (aEdits.fHandle && root.child("Handle")) setChild(root, "Handle", std::to_string(*aEdits.fHandle));
  std::ostringstream out;
  document.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  return out.str();
}

}  // namespace korvane::host
