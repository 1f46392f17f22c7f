#include "transport/serial_handler.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "base/log_writer.h"
#include "platform/code_page.h"

namespace korvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kByteTimeout = 100;  // milliseconds of every one-byte read

int64_t MillisecondsSince(Clock::time_point aStart) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - aStart).count();
}

// The byte as the character of the same code (0 to 255), in UTF-8.
void AppendByte(std::string& aText, uint8_t aByte) {
  if (aByte < 0x80) {
    aText += static_cast<char>(aByte);
  } else {
    aText += static_cast<char>(0xC0 | (aByte >> 6));
    aText += static_cast<char>(0x80 | (aByte & 0x3F));
  }
}

// A decimal integer as the runtime reads one: leading blanks, an optional
// sign, digits and nothing else. Fails with "'<text>' is not a valid integer
// value".
int32_t StrToInt(const std::string& aText) {
  size_t i = 0;
  while (i < aText.size() && aText[i] == ' ') ++i;
  bool negative = false;
  if (i < aText.size() && (aText[i] == '+' || aText[i] == '-')) negative = aText[i++] == '-';
  int64_t value = 0;
  const size_t digitsFrom = i;
  for (; i < aText.size() && aText[i] >= '0' && aText[i] <= '9'; ++i) value = value * 10 + (aText[i] - '0');
  if (i == digitsFrom || i != aText.size()) throw Error("'" + aText + "' is not a valid integer value");
  return static_cast<int32_t>(negative ? -value : value);
}

TParity ToPortParity(tkParity aParity) {
  switch (aParity) {
    case tkParity::None: return ptNone;
    case tkParity::Even: return ptEven;
    case tkParity::Odd: return ptOdd;
  }
  throw Error("Parity invalid");
}

TStopBits ToPortStopBits(int32_t aStopBits) {
  if (aStopBits == 1) return sbOne;
  if (aStopBits == 2) return sbTwo;
  throw Error("Stop Bits " + std::to_string(aStopBits) + " invalid");
}

const char* ParityText(TParity aParity) {
  switch (aParity) {
    case ptNone: return "none";
    case ptOdd: return "odd";
    case ptEven: return "even";
    case ptMark: return "mark";
    case ptSpace: return "space";
  }
  return "";
}

const char* StopBitsText(TStopBits aStopBits) {
  switch (aStopBits) {
    case sbOne: return "1";
    case sbOneHalf: return "1.5";
    case sbTwo: return "2";
  }
  return "";
}

}  // namespace

kIOHandler_Serial::kIOHandler_Serial(const kConnection& aConnection, const std::string& aDirectory,
                                     const std::string& aFileName)
    : kIOHandler(&aConnection, aDirectory, aFileName) {
  const std::string& name = aConnection.SerialPort();
  const uint32_t number = static_cast<uint32_t>(StrToInt(name.size() > 3 ? name.substr(3, 3) : ""));
  const TParity parity = ToPortParity(aConnection.Parity());
  const TStopBits stopBits = ToPortStopBits(aConnection.StopBits());
  fComPort =
      std::make_unique<TComPort>(number, static_cast<uint32_t>(aConnection.Speed()),
                                 static_cast<uint8_t>(aConnection.DataBits() & 0xFF), stopBits, parity);
}

kIOHandler_Serial::~kIOHandler_Serial() { fComPort.reset(); }

bool kIOHandler_Serial::Connected() { return fComPort->ComIsOpen(); }

bool kIOHandler_Serial::Connect() {
  kIOHandler::Connect();
  Debug(let_info, "Serial Driver Version: " + TComPort::DriverVersion());
  Debug(let_info, "SerialPort=COM" + std::to_string(fComPort->ComNumber()));
  Debug(let_info, "Speed=" + std::to_string(fComPort->BaudRate()));
  Debug(let_info, std::string("Parity=") + ParityText(fComPort->Parity()));
  Debug(let_info, "DataBits=" + std::to_string(fComPort->DataBits()));
  Debug(let_info, std::string("StopBits=") + StopBitsText(fComPort->StopBits()));
  fComPort->Open();
  return fComPort->ComIsOpen();
}

bool kIOHandler_Serial::Disconnect() {
  fComPort->Close();
  return !fComPort->ComIsOpen();
}

void kIOHandler_Serial::ClearBuffers() { fComPort->ClearBuffers(); }

bool kIOHandler_Serial::Write(const std::string& aMessage) {
  WriteLog(let_info, "Write", aMessage);
  fComPort->WriteText(platform::EncodeCodePage(aMessage, platform::kAnsiCodePage));
  return true;
}

std::string kIOHandler_Serial::ReadChars(int32_t aCharsNum) {
  std::string result;
  if (aCharsNum <= 0) {
    // Nothing to wait for, and no byte taken from the port.
    WriteLog(let_info, "Read", result);
    return result;
  }
  int32_t count = 0;
  const Clock::time_point start = Clock::now();
  bool timedOut = false;
  do {
    uint8_t byte = 0;
    uint32_t errorCode = 0;
    if (fComPort->Read(&byte, 1, kByteTimeout, errorCode) > 0) {
      AppendByte(result, byte);
      ++count;
    }
    timedOut = MillisecondsSince(start) > ReadTimeout();
  } while (count < aCharsNum && !timedOut);
  if (timedOut)
    WriteLog(let_error, "Read Timeout", result);
  else
    WriteLog(let_info, "Read", result);
  return result;
}

std::string kIOHandler_Serial::ReadUpTo(std::vector<uint8_t> aChars) {
  if (tTK_LogWriter* logger = Logger()) {
    std::string chars;
    std::string dumps;
    for (const uint8_t c : aChars) {
      std::string text;
      AppendByte(text, c);
      if (!chars.empty()) {
        chars += ',';
        dumps += ',';
      }
      chars += text;
      dumps += HexDump(text);
    }
    logger->Write(let_info, "Waiting for:" + chars + (HexLog() ? " [" + dumps + "]" : ""));
  }

  std::string result;
  const Clock::time_point start = Clock::now();
  uint32_t errorCode = 0;  // written by a failed read only, never reset here
  bool found = false;
  bool timedOut = false;
  do {
    uint8_t byte = 0;
    const int32_t got = fComPort->Read(&byte, 1, kByteTimeout, errorCode);
    if (errorCode != 0) WriteLog(let_error, "Read Error", std::to_string(errorCode));
    if (got > 0) {
      AppendByte(result, byte);
      found = std::find(aChars.begin(), aChars.end(), byte) != aChars.end();
    }
    // Looked at in every pass, so that a device that keeps sending without a
    // terminator cannot hold the call.
    if (!found) timedOut = MillisecondsSince(start) > ReadTimeout();
  } while (!found && !timedOut);
  if (timedOut)
    WriteLog(let_error, "Read Timeout", result);
  else
    WriteLog(let_info, "Read", result);
  return result;
}

std::string kIOHandler_Serial::ReadAll() { throw Error("ReadAll Unsupported"); }

std::string kIOHandler_Serial::DecodeError(int32_t) { return ""; }

bool kIOHandler_Serial::InputBufferContainsData() { return fComPort->GetBytesPending() > 0; }

void kIOHandler_Serial::SetParameter(const std::string&, const std::string&) {}

}  // namespace korvane
