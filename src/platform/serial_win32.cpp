// Serial ports through the communications functions: \\.\COMn opened
// exclusively, the line set by a device control block, reads and writes
// bounded by the port's time-outs.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/error.h"
#include "platform/serial.h"
#include "platform/wide_win32.h"

namespace korvane::platform {

struct SerialDevice {
  HANDLE handle;
};

namespace {

using Clock = std::chrono::steady_clock;

// How long a write waits for a device that takes nothing more, and a drain
// for an output queue that does not shrink.
constexpr DWORD kStallMs = 5000;

[[noreturn]] void ThrowLastError() { ThrowOsError(static_cast<int>(GetLastError())); }

int64_t MsLeft(Clock::time_point aDeadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(aDeadline - Clock::now()).count();
  return left > 0 ? left : 0;
}

// A failed read fails only once its total time-out has run out.
[[noreturn]] void FailAt(Clock::time_point aDeadline, DWORD aCode) {
  std::this_thread::sleep_for(std::chrono::milliseconds(MsLeft(aDeadline)));
  ThrowOsError(static_cast<int>(aCode));
}

bool Queues(HANDLE aHandle, COMSTAT& aStatus) {
  DWORD errors = 0;
  return ClearCommError(aHandle, &errors, &aStatus) != 0;
}

}  // namespace

std::string SerialDevicePath(uint32_t aNumber) {
  const std::string name = "QORD_COM" + std::to_string(aNumber);
  const char* value = std::getenv(name.c_str());
  if (value != nullptr && *value != '\0') return value;
  return "\\\\.\\COM" + std::to_string(aNumber);
}

SerialHandle OpenSerial(const std::string& aPath) {
  // No sharing: no other open of the port succeeds while this one lasts.
  const HANDLE handle =
      CreateFileW(Widen(aPath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    ThrowOsError(error == ERROR_PATH_NOT_FOUND ? kSerialNotFound : static_cast<int>(error));
  }
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handle, &dcb)) {
    const DWORD error = GetLastError();
    CloseHandle(handle);
    ThrowOsError(static_cast<int>(error));
  }
  // Raw: binary, no flow control, no replacement of bytes, modem lines ignored.
  dcb.fBinary = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  if (!SetCommState(handle, &dcb)) {
    const DWORD error = GetLastError();
    CloseHandle(handle);
    ThrowOsError(static_cast<int>(error));
  }
  try {
    return new SerialDevice{handle};
  } catch (...) {
    CloseHandle(handle);
    throw;
  }
}

void CloseSerial(SerialHandle aHandle) {
  if (aHandle == kInvalidSerialHandle) return;
  CloseHandle(aHandle->handle);
  delete aHandle;
}

SerialLineState GetSerialLineState(SerialHandle aHandle) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(aHandle->handle, &dcb)) ThrowLastError();
  SerialLineState state;
  state.baudRate = dcb.BaudRate;
  state.byteSize = dcb.ByteSize;
  state.parity = dcb.Parity;      // the same codes
  state.stopBits = dcb.StopBits;  // the same codes
  return state;
}

void SetSerialLineState(SerialHandle aHandle, const SerialLineState& aState) {
  if (aState.baudRate == 0 || aState.byteSize < 5 || aState.byteSize > 8 || aState.parity > 4 ||
      aState.stopBits > 2)
    ThrowOsError(ERROR_INVALID_PARAMETER);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(aHandle->handle, &dcb)) ThrowLastError();
  dcb.BaudRate = aState.baudRate;
  dcb.ByteSize = aState.byteSize;
  dcb.Parity = aState.parity;
  dcb.fParity = aState.parity != 0;
  dcb.StopBits = aState.stopBits;
  if (!SetCommState(aHandle->handle, &dcb)) ThrowLastError();
}

uint32_t ReadSerial(SerialHandle aHandle, uint8_t* aBuffer, uint32_t aCount,
                    const SerialTimeouts& aTimeouts) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(aTimeouts.total);
  COMMTIMEOUTS timeouts{};
  if (aTimeouts.total == 0) {
    timeouts.ReadIntervalTimeout = MAXDWORD;  // what has arrived, at once
  } else {
    // The interval counts from the first byte on, as the header asks.
    timeouts.ReadIntervalTimeout = aTimeouts.interval;
    timeouts.ReadTotalTimeoutConstant = aTimeouts.total;
  }
  timeouts.WriteTotalTimeoutConstant = kStallMs;
  if (!SetCommTimeouts(aHandle->handle, &timeouts)) FailAt(deadline, GetLastError());
  DWORD got = 0;
  if (!ReadFile(aHandle->handle, aBuffer, aCount, &got, nullptr)) FailAt(deadline, GetLastError());
  return got;
}

void WriteSerial(SerialHandle aHandle, const uint8_t* aData, uint32_t aCount) {
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.WriteTotalTimeoutConstant = kStallMs;
  if (!SetCommTimeouts(aHandle->handle, &timeouts)) ThrowLastError();
  uint32_t written = 0;
  while (written < aCount) {
    // Each write may take five seconds more than the bytes need; one that
    // moved nothing in that time means the device takes nothing more.
    DWORD n = 0;
    if (!WriteFile(aHandle->handle, aData + written, aCount - written, &n, nullptr)) ThrowLastError();
    if (n == 0) ThrowOsError(ERROR_COUNTER_TIMEOUT);
    written += n;
  }
}

uint32_t SerialBytesPending(SerialHandle aHandle) {
  COMSTAT status{};
  return Queues(aHandle->handle, status) ? status.cbInQue : 0;
}

bool DrainSerial(SerialHandle aHandle) {
  COMSTAT status{};
  if (!Queues(aHandle->handle, status)) return true;
  int64_t queued = status.cbOutQue;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  const uint32_t baud = GetCommState(aHandle->handle, &dcb) ? dcb.BaudRate : 0;
  const int64_t sendMs = baud > 0 ? queued * 10 * 1000 / baud : 0;
  const Clock::time_point start = Clock::now();
  const Clock::time_point last = start + std::chrono::milliseconds(2 * sendMs + kStallMs);
  Clock::time_point stallDeadline = start + std::chrono::milliseconds(kStallMs);
  while (true) {
    if (queued == 0) return true;
    const Clock::time_point now = Clock::now();
    if (now >= stallDeadline || now >= last) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!Queues(aHandle->handle, status)) return true;
    if (status.cbOutQue < queued) stallDeadline = Clock::now() + std::chrono::milliseconds(kStallMs);
    queued = status.cbOutQue;
  }
}

void PurgeSerial(SerialHandle aHandle, SerialQueues aQueues) {
  DWORD flags = PURGE_RXABORT | PURGE_RXCLEAR;
  if (aQueues == SerialQueues::Both) flags |= PURGE_TXABORT | PURGE_TXCLEAR;
  if (!PurgeComm(aHandle->handle, flags)) ThrowLastError();
}

void SetSerialLine(SerialHandle aHandle, SerialLine aLine, bool aOn) {
  const DWORD function = aLine == SerialLine::DTR ? (aOn ? SETDTR : CLRDTR) : (aOn ? SETRTS : CLRRTS);
  if (!EscapeCommFunction(aHandle->handle, function)) ThrowLastError();
}

}  // namespace korvane::platform
