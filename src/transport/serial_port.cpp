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
  try {
    fComHandle = platform::OpenSerial(platform::SerialDevicePath(fComNumber));
  } catch (const platform::OsError& e) {
    if (e.Code() == platform::kSerialNotFound) throw TComPortException(name + " is not a valid COM port.");
    throw TComPortException("Cannot open " + name + " (error #" + std::to_string(e.Code()) + ").");
  }
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
    try {
      // A write only hands its bytes to the system: they are sent first, for
      // a bounded time. Once they are, purging the output as well would only
      // discard bytes still on their way (a pseudo-terminal's, to its other
      // side); what a device would not take in time is discarded, so that
      // the close does not wait for it.
      const bool sent = platform::DrainSerial(fComHandle);
      platform::PurgeSerial(fComHandle, sent ? platform::SerialQueues::Input : platform::SerialQueues::Both);
    } catch (const platform::OsError&) {
      // The handle is closed even when the purge failed: nothing else would.
    }
    platform::CloseSerial(fComHandle);
    fComHandle = platform::kInvalidSerialHandle;
  }
  fIsOpen = false;
}

void TComPort::SetLineParameters(uint32_t baud, uint8_t data, TStopBits stop, TParity pty) {
  if (fComHandle == platform::kInvalidSerialHandle) throw TComPortException("GetCommState failed!");
  platform::SerialLineState state;
  try {
    state = platform::GetSerialLineState(fComHandle);
  } catch (const platform::OsError&) {
    throw TComPortException("GetCommState failed!");
  }
  state.baudRate = baud;
  state.byteSize = data;
  state.stopBits = stop;
  state.parity = pty;
  try {
    platform::SetSerialLineState(fComHandle, state);
  } catch (const platform::OsError&) {
    throw TComPortException("SetCommState failed!");
  }
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
  try {
    return static_cast<int32_t>(platform::ReadSerial(fComHandle, buffer, nbytes, fTimeouts));
  } catch (const platform::OsError& e) {
    ErrorCode = static_cast<uint32_t>(e.Code());
    return -1;
  }
}

bool TComPort::WriteText(const std::string& S) {
  if (!fIsOpen) throw TComPortException("Cannot write because COM port is not open.");
  try {
    platform::WriteSerial(fComHandle, reinterpret_cast<const uint8_t*>(S.data()),
                          static_cast<uint32_t>(S.size()));
  } catch (const platform::OsError&) {
    throw TComPortException("Write to com port failed.");
  }
  return true;
}

int32_t TComPort::GetBytesPending() {
  if (!fIsOpen) return 0;
  return static_cast<int32_t>(platform::SerialBytesPending(fComHandle));
}

void TComPort::ClearBuffers() {
  if (!fIsOpen) return;
  try {
    platform::PurgeSerial(fComHandle);
  } catch (const platform::OsError&) {
    throw TComPortException("PurgeComm failed!");
  }
}

void TComPort::SetDTR(bool assert) {
  if (!fIsOpen) throw TComPortException("SetRTS failed because COM port not open.");
  SetLine(platform::SerialLine::DTR, assert);
}

void TComPort::SetRTS(bool assert) {
  if (!fIsOpen) throw TComPortException("SetRTS failed because COM port not open.");
  SetLine(platform::SerialLine::RTS, assert);
}

void TComPort::SetLine(platform::SerialLine aLine, bool aOn) {
  try {
    platform::SetSerialLine(fComHandle, aLine, aOn);
  } catch (const platform::OsError&) {
    // Ignored, as a device without that line (a pseudo-terminal) would have it.
  }
}

}  // namespace korvane
