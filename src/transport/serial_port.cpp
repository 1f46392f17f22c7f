#include "transport/serial_port.h"

namespace korvane {

TComPort::TComPort(uint32_t ncom) : fComNumber(ncom) {}

TComPort::TComPort(uint32_t ncom, uint32_t baud) : fComNumber(ncom), fBaudRate(baud) {}

TComPort::TComPort(uint32_t ncom, uint32_t baud, uint8_t data, TStopBits stop, TParity parity)
    : fComNumber(ncom), fBaudRate(baud), fDataBits(data), fStopBits(stop), fParity(parity) {}

TComPort::~TComPort() {
  if (fIsOpen) Close();
}

void TComPort::Open() {
  const std::string name = "COM" + std::to_string(fComNumber);
  int error = 0;
  const platform::SerialHandle handle = platform::OpenSerial(platform::SerialDevicePath(fComNumber), error);
  if (handle == platform::kInvalidSerialHandle) {
    if (error == platform::kSerialNotFound) throw TComPortException(name + " is not a valid COM port.");
    throw TComPortException("Cannot open " + name + " (error #" + std::to_string(error) + ").");
  }
  fComHandle = handle;
  try {
    SetLineParameters(fBaudRate, fDataBits, fStopBits, fParity);
  } catch (...) {
    // The handle is not kept for a port that could not be set up.
    platform::CloseSerial(fComHandle);
    fComHandle = platform::kInvalidSerialHandle;
    throw;
  }
  fIsOpen = true;
  fCurrentComTimeout = kNoTimeout;
  fTimeouts = {};
}

void TComPort::Close() {
  if (fIsOpen) {
    platform::PurgeSerial(fComHandle);
    // The handle is closed even when the purge failed: nothing else would.
    platform::CloseSerial(fComHandle);
    fComHandle = platform::kInvalidSerialHandle;
  }
  fIsOpen = false;
}

void TComPort::SetLineParameters(uint32_t baud, uint8_t data, TStopBits stop, TParity pty) {
  platform::SerialLineState state;
  if (fComHandle == platform::kInvalidSerialHandle || !platform::GetSerialLineState(fComHandle, state))
    throw TComPortException("GetCommState failed!");
  state.baudRate = baud;
  state.byteSize = data;
  state.stopBits = stop;
  state.parity = pty;
  if (!platform::SetSerialLineState(fComHandle, state)) throw TComPortException("SetCommState failed!");
  fBaudRate = baud;
  fDataBits = data;
  fStopBits = stop;
  fParity = pty;
}

int32_t TComPort::Read(uint8_t* buffer, uint32_t nbytes, uint32_t timeout, uint32_t& ErrorCode) {
  if (!fIsOpen) throw TComPortException("Cannot read because COM port is not open.");
  if (timeout > 0 && timeout != fCurrentComTimeout) {
    fTimeouts.interval = kIntervalTimeout;
    fTimeouts.total = timeout;
    fCurrentComTimeout = timeout;
  }
  int error = 0;
  const int32_t result = platform::ReadSerial(fComHandle, buffer, nbytes, fTimeouts, error);
  if (result < 0) {
    ErrorCode = static_cast<uint32_t>(error);
    return -1;
  }
  return result;
}

bool TComPort::WriteText(const std::string& S) {
  if (!fIsOpen) throw TComPortException("Cannot write because COM port is not open.");
  uint32_t written = 0;
  if (!platform::WriteSerial(fComHandle, reinterpret_cast<const uint8_t*>(S.data()),
                             static_cast<uint32_t>(S.size()), written))
    throw TComPortException("Write to com port failed.");
  return written == S.size();
}

int32_t TComPort::GetBytesPending() {
  uint32_t count = 0;
  if (!fIsOpen || !platform::SerialBytesPending(fComHandle, count)) return 0;
  return static_cast<int32_t>(count);
}

void TComPort::ClearBuffers() {
  if (fIsOpen && !platform::PurgeSerial(fComHandle)) throw TComPortException("PurgeComm failed!");
}

void TComPort::SetDTR(bool assert) {
  if (!fIsOpen) throw TComPortException("SetRTS failed because COM port not open.");
  platform::SetSerialLine(fComHandle, platform::SerialLine::DTR, assert);
}

void TComPort::SetRTS(bool assert) {
  if (!fIsOpen) throw TComPortException("SetRTS failed because COM port not open.");
  platform::SetSerialLine(fComHandle, platform::SerialLine::RTS, assert);
}

}  // namespace korvane
