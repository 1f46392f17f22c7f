// The TCP transport: a client connection to a device, with logged writes and
// reads bounded by the handler's read time-out. Its client object,
// kTCPClient, is in tcp_client.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "transport/io_handler.h"
#include "transport/tcp_client.h"

namespace korvane {

class kIOHandler_TCP : public kIOHandler {
 public:
  kIOHandler_TCP(const kConnection& aConnection, const std::string& aDirectory, const std::string& aFileName);
  ~kIOHandler_TCP() override;

  bool Connected() override;
  bool Connect() override;
  bool Disconnect() override;
  void ClearBuffers() override;
  bool Write(const std::string& aMessage) override;
  std::string ReadUpTo(std::vector<uint8_t> aChars) override;
  std::string ReadChars(int32_t aCharsNum) override;
  std::string ReadAll() override;
  std::string DecodeError(int32_t aErrorCode) override;
  bool InputBufferContainsData() override;
  void SetParameter(const std::string& aName, const std::string& aValue) override;

  bool WriteBytes(const std::vector<uint8_t>& aBytes);
  std::vector<uint8_t> ReadBytes(int32_t aCount);
  std::vector<uint8_t> ReadBytesUpTo(std::vector<uint8_t> aChars);
  std::vector<uint8_t> ReadAllBytes();

  // The client object, for owners that run their own exchange on it.
  kTCPClient& TCPClient() { return *fTCPClient; }

 private:
  // The loop of ReadUpTo and ReadBytesUpTo: reads byte by byte into aRead
  // until a terminator has arrived (false) or the overall time-out has run
  // out (true). A failure leaves what was read before it in aRead.
  bool ReadUpToTerminator(const std::vector<uint8_t>& aChars, std::string& aRead);
  void LogWaitingFor(const std::vector<uint8_t>& aChars);
  // The loop of ReadAll and ReadAllBytes: reads byte by byte until the peer
  // closes the connection or ReadTimeout has passed, and logs what was read,
  // in the form of the caller's answer. Any other failure is logged; what was
  // read before it is kept for the text form and dropped for the byte form.
  enum class ReadForm { Text, Bytes };
  std::string ReadUntilClosed(ReadForm aForm);
  // Writes every byte; a failure is logged as "Write Error" and passes on.
  void Send(const std::string& aBytes);

  std::unique_ptr<kTCPClient> fTCPClient;
};

}  // namespace korvane
