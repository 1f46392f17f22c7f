// The TCP transport.
#include "transport/tcp_handler.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "base/log_writer.h"
#include "helpers/utf.h"
#include "platform/code_page.h"

namespace korvane {
namespace {

using Clock = std::chrono::steady_clock;

// Each byte as the character of the same code (0 to 255), in UTF-8.
std::string BytesToText(std::string_view aBytes) {
  std::string text;
  text.reserve(aBytes.size());
  for (const char c : aBytes) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x80) {
      text += c;
    } else {
      text += static_cast<char>(0xC0 | (b >> 6));
      text += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return text;
}

// The bytes read as US-ASCII: every byte above 0x7F shows as U+FFFD.
std::string BytesAsAscii(std::string_view aBytes) {
  std::string text;
  text.reserve(aBytes.size());
  for (const char c : aBytes) {
    if (static_cast<uint8_t>(c) < 0x80)
      text += c;
    else
      text += "\xEF\xBF\xBD";
  }
  return text;
}

// Every UTF-16 code unit up to 0xFF as the byte of the same value, any other
// as "?".
std::string EncodeEightBit(const std::string& aText) {
  std::string bytes;
  const std::u16string units = platform::Utf8ToUtf16(aText);
  bytes.reserve(units.size());
  for (const char16_t unit : units) bytes += unit <= 0xFF ? static_cast<char>(unit) : '?';
  return bytes;
}

std::string ToBytes(const std::vector<uint8_t>& aBytes) { return std::string(aBytes.begin(), aBytes.end()); }

std::vector<uint8_t> ToVector(const std::string& aBytes) {
  return std::vector<uint8_t>(aBytes.begin(), aBytes.end());
}

int64_t MillisecondsSince(Clock::time_point aStart) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - aStart).count();
}

}  // namespace

kIOHandler_TCP::kIOHandler_TCP(const kConnection& aConnection, const std::string& aDirectory,
                               const std::string& aFileName)
    : kIOHandler(&aConnection, aDirectory, aFileName),
      fTCPClient(std::make_unique<kTCPClient>(aConnection.Address(), aConnection.Port(), ConnectTimeout())) {
  // Owners that read through the client directly never wait without bound.
  fTCPClient->SetReadTimeout(ReadTimeout());
}

kIOHandler_TCP::~kIOHandler_TCP() { fTCPClient.reset(); }

bool kIOHandler_TCP::Connected() {
  try {
    return fTCPClient->Connected();
  } catch (...) {
    return false;
  }
}

bool kIOHandler_TCP::Connect() {
  kIOHandler::Connect();
  Debug(let_info, "Host=" + fTCPClient->Host());
  Debug(let_info, "Port=" + std::to_string(fTCPClient->Port()));
  try {
    if (!fTCPClient->Connected()) fTCPClient->Connect();
    const bool connected = fTCPClient->Connected();
    if (!connected) WriteLog(let_error, "Connect Timeout", "");
    return connected;
  } catch (const std::exception& e) {
    WriteLog(let_error, "Connect Error", e.what());
    return false;
  }
}

bool kIOHandler_TCP::Disconnect() {
  if (fTCPClient->Connected()) {
    const size_t waiting = fTCPClient->InputBufferSize();
    if (waiting > 0) {
      char message[96];
      std::snprintf(message, sizeof message, "Before disconnecting the buffer contains %zu bytes", waiting);
      WriteLog(let_info, "Disconnect", message);
    }
    fTCPClient->ClearInputBuffer();
    fTCPClient->Disconnect();
  }
  return !fTCPClient->Connected();
}

void kIOHandler_TCP::ClearBuffers() { fTCPClient->ClearInputBuffer(); }

bool kIOHandler_TCP::InputBufferContainsData() { return fTCPClient->InputBufferSize() > 0; }

bool kIOHandler_TCP::Write(const std::string& aMessage) {
  WriteLog(let_info, "Write", aMessage);
  const std::string bytes =
      CodePage() == 0 ? EncodeEightBit(aMessage) : platform::EncodeCodePage(aMessage, CodePage());
  Send(bytes);
  return true;
}

bool kIOHandler_TCP::WriteBytes(const std::vector<uint8_t>& aBytes) {
  const std::string bytes = ToBytes(aBytes);
  WriteLog(let_info, "Write", BytesAsAscii(bytes));
  Send(bytes);
  return true;
}

void kIOHandler_TCP::Send(const std::string& aBytes) {
  // A peer that takes nothing for the read time-out fails the write, and the
  // client closes the connection.
  fTCPClient->SetReadTimeout(ReadTimeout());
  try {
    fTCPClient->Write(aBytes);
  } catch (const std::exception& e) {
    WriteLog(let_error, "Write Error", e.what());
    throw;
  }
}

void kIOHandler_TCP::LogWaitingFor(const std::vector<uint8_t>& aChars) {
  tTK_LogWriter* logger = Logger();
  if (logger == nullptr) return;
  std::string chars;
  std::string dumps;
  for (const uint8_t c : aChars) {
    const std::string text = BytesToText(std::string(1, static_cast<char>(c)));
    if (!chars.empty()) {
      chars += ',';
      dumps += ',';
    }
    chars += text;
    dumps += HexDump(text);
  }
  std::string line = "Waiting for:" + chars;
  if (HexLog()) line += " [" + dumps + "]";
  logger->Write(let_info, line);
}

bool kIOHandler_TCP::ReadUpToTerminator(const std::vector<uint8_t>& aChars, std::string& aRead) {
  const int32_t timeout = ReadTimeout();
  const auto start = Clock::now();
  for (;;) {
    const uint8_t b = fTCPClient->ReadByte();
    aRead += static_cast<char>(b);
    const bool timedOut = MillisecondsSince(start) > timeout;
    const bool found = std::find(aChars.begin(), aChars.end(), b) != aChars.end();
    if (timedOut) return true;
    if (found) return false;
  }
}

std::string kIOHandler_TCP::ReadUpTo(std::vector<uint8_t> aChars) {
  fTCPClient->SetReadTimeout(ReadTimeout());
  LogWaitingFor(aChars);
  std::string bytes;
  std::string text;
  try {
    const bool timedOut = ReadUpToTerminator(aChars, bytes);
    text = BytesToText(bytes);
    if (timedOut)
      WriteLog(let_error, "Read Timeout", text);
    else
      WriteLog(let_info, "Read", text);
  } catch (const std::exception& e) {
    text = BytesToText(bytes);
    WriteLog(let_error, "ReadUpTo Unexpected error", e.what());
  }
  return text;
}

std::vector<uint8_t> kIOHandler_TCP::ReadBytesUpTo(std::vector<uint8_t> aChars) {
  fTCPClient->SetReadTimeout(ReadTimeout());
  LogWaitingFor(aChars);
  std::string bytes;
  try {
    if (ReadUpToTerminator(aChars, bytes))
      WriteLog(let_error, "Read Timeout", BytesAsAscii(bytes));
    else
      WriteLog(let_info, "Read", BytesAsAscii(bytes));
  } catch (const std::exception& e) {
    WriteLog(let_error, "ReadUpTo Unexpected error", e.what());
    throw;
  }
  return ToVector(bytes);
}

std::string kIOHandler_TCP::ReadChars(int32_t aCharsNum) {
  fTCPClient->SetReadTimeout(ReadTimeout());
  try {
    const size_t count = aCharsNum > 0 ? static_cast<size_t>(aCharsNum) : 0;
    const std::string bytes = fTCPClient->ReadBytes(count);
    const std::string text = BytesToText(bytes);
    if (bytes.size() < count)
      WriteLog(let_error, "Read Timeout", text);
    else
      WriteLog(let_info, "Read", text);
    return text;
  } catch (const std::exception& e) {
    WriteLog(let_error, "ReadChars Unexpected error", e.what());
    return "";
  }
}

std::string kIOHandler_TCP::ReadUntilClosed(ReadForm aForm) {
  // The text form logs each byte as the character of the same code, the byte
  // form as US-ASCII.
  const auto logText = aForm == ReadForm::Text ? BytesToText : BytesAsAscii;
  fTCPClient->SetReadTimeout(ReadTimeout());
  const int32_t timeout = ReadTimeout();
  std::string bytes;
  const auto start = Clock::now();
  try {
    for (;;) {
      bytes += static_cast<char>(fTCPClient->ReadByte());
      if (MillisecondsSince(start) > timeout) {
        WriteLog(let_error, "Read Timeout", logText(bytes));
        break;
      }
    }
  } catch (const kTCPClosedGracefully&) {
    WriteLog(let_info, "Read", logText(bytes));
  } catch (const std::exception& e) {
    if (aForm == ReadForm::Bytes)
      WriteLog(let_error, "lTimeoutExpired", std::to_string(MillisecondsSince(start)));
    WriteLog(let_error, "ReadAll Unexpected error", e.what());
    if (aForm == ReadForm::Bytes) bytes.clear();
  }
  return bytes;
}

std::string kIOHandler_TCP::ReadAll() { return BytesToText(ReadUntilClosed(ReadForm::Text)); }

std::vector<uint8_t> kIOHandler_TCP::ReadAllBytes() { return ToVector(ReadUntilClosed(ReadForm::Bytes)); }

std::vector<uint8_t> kIOHandler_TCP::ReadBytes(int32_t aCount) {
  return ToVector(fTCPClient->ReadBytes(aCount > 0 ? static_cast<size_t>(aCount) : 0));
}

std::string kIOHandler_TCP::DecodeError(int32_t) { return ""; }

void kIOHandler_TCP::SetParameter(const std::string&, const std::string&) {}

}  // namespace korvane
