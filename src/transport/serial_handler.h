// The serial transport: a TComPort made from the connection settings, with
// byte-by-byte reads bounded by the handler's read time-out.
#pragma once

#include <memory>

#include "transport/io_handler.h"
#include "transport/serial_port.h"

namespace korvane {

class kIOHandler_Serial : public kIOHandler {
 public:
  // The port number is the integer of characters 4 to 6 of the port name
  // (COM12 is 12); fails with "'<text>' is not a valid integer value" when
  // they hold none, with "Parity invalid" and with "Stop Bits <n> invalid"
  // (only 1 and 2 are taken). The port is not opened.
  kIOHandler_Serial(const kConnection& aConnection, const std::string& aDirectory,
                    const std::string& aFileName);
  ~kIOHandler_Serial() override;

  bool Connected() override;
  // Banner, the line settings, then opens the port; its failures reach the
  // caller. True when the port is open.
  bool Connect() override;
  bool Disconnect() override;
  void ClearBuffers() override;
  // Logs "Write:<message>" and sends the message in the ANSI code page.
  bool Write(const std::string& aMessage) override;
  // Reads until one of aChars has come (it ends the result) or, in a pass in
  // which no byte came, the read time-out has run out.
  std::string ReadUpTo(std::vector<uint8_t> aChars) override;
  // Reads aCharsNum bytes or until the read time-out has run out; with 0
  // (or less) returns an empty text at once and leaves the port's bytes.
  std::string ReadChars(int32_t aCharsNum) override;
  std::string ReadAll() override;                        // fails: "ReadAll Unsupported"
  std::string DecodeError(int32_t aErrorCode) override;  // empty
  bool InputBufferContainsData() override;
  void SetParameter(const std::string& aName, const std::string& aValue) override;  // nothing

  TComPort& ComPort() { return *fComPort; }

 private:
  std::unique_ptr<TComPort> fComPort;
};

}  // namespace korvane
