// Request files: reading them, checking that they are XML, and pointing an
// OPEN request at another display.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korvane::host {

struct DisplayAddress {
  std::string fHost;
  std::uint16_t fPort = 0;
  std::string Text() const;  // "host:port", "[::1]:port"
};

// "HOST:PORT" or "[V6]:PORT"; throws HostError for anything else.
DisplayAddress ParseDisplayAddress(const std::string& aText);

// The bytes of aPath, or of standard input for "-"; throws HostError (a
// folder "is a folder"). UTF-16 text with a byte order mark is converted to
// UTF-8, without the mark.
std::string ReadRequestFile(const std::string& aPath);

struct RequestEdits {
  std::optional<DisplayAddress> fDisplay;  // sets Connection/Address and Port
  std::optional<int> fHandle;              // sets Handle
};

// Checks that aText is a UTF-8 XML document (HostError naming aName
// otherwise) and applies aEdits. Without edits the text is returned as it
// came; with edits it is written anew, comments kept.
std::string PrepareRequest(const std::string& aText, const std::string& aName,
                           const RequestEdits& aEdits = {});

}  // namespace korvane::host
