// Serial ports: open one exclusively, set its line parameters, read with an
// inter-byte and a total time-out, write, purge, and drive DTR and RTS.
#pragma once

#include <cstdint>
#include <string>

namespace korvane::platform {

// An open serial port; its contents belong to the platform.
struct SerialDevice;
using SerialHandle = SerialDevice*;
inline constexpr SerialHandle kInvalidSerialHandle = nullptr;

// The system's code for "no such device" (the port does not exist).
inline constexpr int kSerialNotFound = 2;

// The device of serial port aNumber (1 for COM1): the path that the
// environment variable QORD_COM<n> names when it is set and not empty, else
// the system's own device of that port (/dev/ttyS<n-1> on POSIX systems).
std::string SerialDevicePath(uint32_t aNumber);

// Opens aPath for reading and writing, for this holder only (no other open of
// it succeeds while this one lasts), in raw mode: no echo, no line editing,
// no translation of bytes, no flow control, modem lines ignored.
// Fails with an OsError carrying the system's error code: kSerialNotFound
// when the device does not exist, the system's "device busy" code while
// another holder has it.
SerialHandle OpenSerial(const std::string& aPath);
// Closes the port; kInvalidSerialHandle is ignored.
void CloseSerial(SerialHandle aHandle);

// The line parameters, in the codes of a device control block: parity
// 0 none, 1 odd, 2 even, 3 mark, 4 space; stop bits 0 one, 1 one and a half,
// 2 two.
struct SerialLineState {
  uint32_t baudRate = 0;
  uint8_t byteSize = 8;
  uint8_t parity = 0;
  uint8_t stopBits = 0;
};

// Both fail with an OsError when the port cannot be queried or does not take
// the settings (a baud rate the system has no setting for, a byte size
// outside 5 to 8, an unknown code).
SerialLineState GetSerialLineState(SerialHandle aHandle);
void SetSerialLineState(SerialHandle aHandle, const SerialLineState& aState);

// Read time-outs in milliseconds. A read returns when it has all the bytes
// asked for, when aTotal has passed since it began, or when aInterval has
// passed since the last byte once one has come. A total of 0 returns what has
// already arrived without waiting.
struct SerialTimeouts {
  uint32_t interval = 0;
  uint32_t total = 0;
};

// Reads up to aCount bytes within aTimeouts: the number read, 0 when none
// came. Fails with an OsError carrying the system's error code; a failed read
// fails only once its total time-out has run out, so that a caller looping
// on a broken port does not spin.
uint32_t ReadSerial(SerialHandle aHandle, uint8_t* aBuffer, uint32_t aCount, const SerialTimeouts& aTimeouts);

// Writes every byte; fails with an OsError when the port fails or takes
// nothing more for five seconds.
void WriteSerial(SerialHandle aHandle, const uint8_t* aData, uint32_t aCount);

// The number of received bytes waiting; 0 when the port cannot tell.
uint32_t SerialBytesPending(SerialHandle aHandle);

// Waits until the bytes written have left the port (the output queue is
// empty and, where the device tells, its transmitter too): true then. Gives
// up with false once the queue has not shrunk for as long as a write waits
// for the device (five seconds), and at the latest when the bytes queued at
// the start have had twice the time they need at the port's speed on top of
// that. A device that cannot tell its queue counts as drained.
bool DrainSerial(SerialHandle aHandle);

// The queues a purge discards.
enum class SerialQueues { Input, Both };
// Discards the received bytes not yet read and, with Both, the written bytes
// not yet sent; fails with an OsError.
void PurgeSerial(SerialHandle aHandle, SerialQueues aQueues = SerialQueues::Both);

enum class SerialLine { DTR, RTS };
// Raises (aOn) or drops a modem control line; fails with an OsError when the
// device has no such line (a pseudo-terminal, for one) or the call fails.
void SetSerialLine(SerialHandle aHandle, SerialLine aLine, bool aOn);

}  // namespace korvane::platform
