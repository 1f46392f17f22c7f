// The customer display device: one per open display, addressed by its handle.
// It owns the I/O handler that carries its link and writes its log, and
// frames every driver operation with a separator line and the log's name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "display/request_holder.h"
#include "transport/io_handler.h"

namespace korvane {

// The outcome of one request call.
struct _int_CUSTOMERDISPLAY_result {
  bool Error = false;
  std::string ErrorText;
  std::string LogFileName;
};

struct _int_CLOSE_result {
  bool Error = false;
  std::string ErrorText;
  std::string LogFileName;
};

struct _int_OPEN_result {
  int32_t Handle = 0;
  bool Error = false;
  std::string ErrorText;
  std::string LogFileName;
};

class kCustomerDisplayDevice {
 public:
  virtual ~kCustomerDisplayDevice();
  kCustomerDisplayDevice(const kCustomerDisplayDevice&) = delete;
  kCustomerDisplayDevice& operator=(const kCustomerDisplayDevice&) = delete;

  // "Version " + the library's version + " - " + its release date in the
  // short date form of the regional settings.
  static std::string GetDriverVersion();
  // Where device logs go: <host executable folder>/LogFiles/CustomerDisplay.
  static std::string LogFolder();

  // The public operations: a separator line in the log, the log's name in
  // the result, then the driver operation. What the driver operation lets
  // out passes on.
  void Pub_Open(const kCustomerDisplayHandler& aHandler, _int_OPEN_result& aResult);
  void Pub_Close(const kCustomerDisplayHandler& aHandler, _int_CLOSE_result& aResult);
  void Pub_Message(const kCustomerDisplayHandler& aHandler, _int_CUSTOMERDISPLAY_result& aResult);
  void Pub_CloseMessage(const kCustomerDisplayHandler& aHandler, _int_CUSTOMERDISPLAY_result& aResult);
  void Pub_Receipt(const kCustomerDisplayHandler& aHandler, _int_CUSTOMERDISPLAY_result& aResult);
  void Pub_Thankyou(const kCustomerDisplayHandler& aHandler, _int_CUSTOMERDISPLAY_result& aResult);
  void Pub_Idle(const kCustomerDisplayHandler& aHandler, _int_CUSTOMERDISPLAY_result& aResult);

  int32_t fHandle = 0;
  std::unique_ptr<kIOHandler> fIOHandler;

 protected:
  // Makes the device's I/O handler from the request (its log in LogFolder())
  // and gives it the version text.
  explicit kCustomerDisplayDevice(const kCustomerDisplayHandler& aHandler);

  // The driver operations, in their fixed order.
  virtual bool DoCloseMessage(const kMessage& aMessage, _int_CUSTOMERDISPLAY_result& aResult) = 0;
  virtual bool DoMessage(const kMessage& aMessage, _int_CUSTOMERDISPLAY_result& aResult) = 0;
  virtual bool DoReceipt(const kCDReceipt& aReceipt, _int_CUSTOMERDISPLAY_result& aResult) = 0;
  virtual bool DoThankyou(const kThankyou& aThankyou, _int_CUSTOMERDISPLAY_result& aResult) = 0;
  virtual bool DoIdle(const kIdle& aIdle, _int_CUSTOMERDISPLAY_result& aResult) = 0;
  virtual bool DoOpen(const kOpen& aOpen, _int_OPEN_result& aResult) = 0;
  virtual bool DoClose(const kOpen& aOpen, _int_CLOSE_result& aResult) = 0;

 private:
  template <class TResult>
  void Frame(const char* aName, TResult& aResult);
  // One log line for each optional text the request left out.
  void LogLeftOutTexts(const kCustomerDisplayHandler& aHandler);
};

// A display driver type: makes devices of one driver from a request holder.
struct kCustomerDisplayClass {
  using Factory = std::unique_ptr<kCustomerDisplayDevice> (*)(const kCustomerDisplayHandler& aHandler);
  Factory Create = nullptr;
  std::string GetDriverVersion() const { return kCustomerDisplayDevice::GetDriverVersion(); }
};

}  // namespace korvane
