// The HTTP transport: one POST request per message to a fixed URL. The
// response text and status code of the last request are kept for the caller;
// a failed request is logged and left in the error slot.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "transport/io_handler.h"

namespace korvane {

class kHTTPClient;

class kIOHandler_HTTP : public kIOHandler {
 public:
  // The URL is aConnection.URL() when it is set, else its address followed
  // by ":" and the port when the port is above 0 (no scheme is added).
  kIOHandler_HTTP(const kConnection& aConnection, const std::string& aDirectory,
                  const std::string& aFileName);
  // Without connection settings: empty URL, no authentication, time-outs 0.
  kIOHandler_HTTP(const std::string& aDirectory, const std::string& aFileName);
  ~kIOHandler_HTTP() override;

  // True while the connection of the last request is kept alive.
  bool Connected() override;
  // Banner and "URL=<url>"; no network traffic. True.
  bool Connect() override;
  // Closes a kept-alive connection; true when none is left.
  bool Disconnect() override;
  void ClearBuffers() override {}
  // POSTs aMessage (UTF-8) to the URL. True for a status from 200 to 299.
  // Failures are logged ("Post Error") and recorded with SetCustomError:
  // the status code (-1 without response) and the client's message with the
  // status text, or 999 for a failure that came with a success status.
  bool Write(const std::string& aMessage) override;
  std::string ReadUpTo(std::vector<uint8_t> aChars) override;  // empty
  std::string ReadChars(int32_t aCharsNum) override;           // empty
  std::string ReadAll() override;                              // fails: "ReadAll Unsupported"
  // The text of an HTTP status code; "Unknown" for a code not in the table.
  std::string DecodeError(int32_t aErrorCode) override;
  bool InputBufferContainsData() override;  // fails: "InputBufferContainsData Unsupported"
  // Sets the custom header aName (replacing the value of one of that name,
  // letter case ignored) for this and every later request.
  void SetParameter(const std::string& aName, const std::string& aValue) override;

  const std::string& URL() const { return fURL; }
  void SetURL(const std::string& aValue) { fURL = aValue; }
  tkHTTPAuthType AuthType() const { return fAuthType; }
  void SetAuthType(tkHTTPAuthType aValue) { fAuthType = aValue; }
  const std::string& User() const { return fUser; }
  void SetUser(const std::string& aValue) { fUser = aValue; }
  const std::string& Password() const { return fPassword; }
  void SetPassword(const std::string& aValue) { fPassword = aValue; }
  const std::string& ContentType() const { return fContentType; }
  void SetContentType(const std::string& aValue) { fContentType = aValue; }
  const std::string& Response() const { return fResponse; }
  void SetResponse(const std::string& aValue) { fResponse = aValue; }
  int32_t ResponseCode() const { return fResponseCode; }
  void SetResponseCode(int32_t aValue) { fResponseCode = aValue; }

  // A file of trusted certificates (PEM) for https URLs, used instead of the
  // system's store; empty (the default) means the system's store.
  const std::string& CAFile() const { return fCAFile; }
  void SetCAFile(const std::string& aValue) { fCAFile = aValue; }

  // The custom headers in the order they were first set.
  const std::vector<std::pair<std::string, std::string>>& CustomHeaders() const { return fCustomHeaders; }

 private:
  // The authentication the client keeps between requests: at_None and
  // at_Bearer leave what an earlier request set.
  enum class StickyAuth { None, Basic, Digest };

  std::unique_ptr<kHTTPClient> fHttpClient;
  std::string fContentType;
  std::string fURL;
  tkHTTPAuthType fAuthType = at_None;
  std::string fUser;
  std::string fPassword;
  std::string fResponse;
  int32_t fResponseCode = 0;

  StickyAuth fStickyAuth = StickyAuth::None;
  std::vector<std::pair<std::string, std::string>> fCustomHeaders;
  std::string fCAFile;
};

}  // namespace korvane
