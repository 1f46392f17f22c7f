// The display driver of this build, registered as "QORD_KORVANE_10": every
// request becomes one JSON message, sent over its own TCP connection framed by
// STX and ETX, and the display's reply is read up to its ETX.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "display/display_device.h"

namespace korvane {

inline constexpr const char* kKorvaneDriverName = "QORD_KORVANE_10";

// One display message: the text that is sent and the copy for the log
// (inline image data shown as "...", loaded images as their source).
struct kKorvaneMessage {
  std::string fSend;
  std::string fLog;  // empty where it is the text sent (a message is never empty)
  std::string_view Logged() const { return fLog.empty() ? std::string_view(fSend) : std::string_view(fLog); }
};

kKorvaneMessage BuildOpenMessage(const kOpen& aOpen);
kKorvaneMessage BuildCloseMessage(const kOpen& aOpen);
kKorvaneMessage BuildCloseMessage(const kMessage& aMessage);
// "Message", "Thankyou" or "Idle".
kKorvaneMessage BuildTextMessage(const char* aName, const kMessage& aMessage);
kKorvaneMessage BuildReceiptMessage(const kCDReceipt& aReceipt);

class kCustomerDisplay_KORVANE : public kCustomerDisplayDevice {
 public:
  explicit kCustomerDisplay_KORVANE(const kCustomerDisplayHandler& aHandler);

  static std::unique_ptr<kCustomerDisplayDevice> Create(const kCustomerDisplayHandler& aHandler);

 protected:
  bool DoCloseMessage(const kMessage& aMessage, _int_CUSTOMERDISPLAY_result& aResult) override;
  bool DoMessage(const kMessage& aMessage, _int_CUSTOMERDISPLAY_result& aResult) override;
  bool DoReceipt(const kCDReceipt& aReceipt, _int_CUSTOMERDISPLAY_result& aResult) override;
  bool DoThankyou(const kThankyou& aThankyou, _int_CUSTOMERDISPLAY_result& aResult) override;
  bool DoIdle(const kIdle& aIdle, _int_CUSTOMERDISPLAY_result& aResult) override;
  bool DoOpen(const kOpen& aOpen, _int_OPEN_result& aResult) override;
  bool DoClose(const kOpen& aOpen, _int_CLOSE_result& aResult) override;

 private:
  // Logs the message, sends it and waits for the reply; the failure, if any,
  // goes into aResult.
  template <class TResult>
  bool Exchange(const kKorvaneMessage& aMessage, TResult& aResult);
  // One framed exchange on a connection of its own; aError receives the
  // failure's message.
  bool SendRequest(const std::string& aMessage, std::string& aError);
};

// Library file name to module handle. The first device pins this library in
// the process, so that no log thread ever outlives the code it runs; the
// handles are never released.
std::map<std::string, void*>& LibraryHandleCache();
void CreateLibraryHandleCache();

}  // namespace korvane
