// The display driver of this build, registered as "QORD_KORVANE_10": every
// request becomes one JSON message, sent over its own TCP connection framed by
// STX and ETX, and the display's reply is read up to its ETX.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "display/display_device.h"
#include "display/korvane/json_writer.h"

namespace korvane {

inline constexpr const char* kKorvaneDriverName = "QORD_KORVANE_10";

// One display message: the frame that is sent (STX, the message's text,
// ETX) and the copy for the log (inline image data shown as "...", loaded
// images as their source).
struct kKorvaneMessage {
  std::string fFrame;
  std::string fLog;  // empty where it is the text sent (a message is never empty)
  std::string_view Text() const { return std::string_view(fFrame).substr(1, fFrame.size() - 2); }
  std::string_view Logged() const { return fLog.empty() ? Text() : std::string_view(fLog); }
};

// Each message is written into aBuffer, whose room is kept (its text
// dropped), so that a device sending message after message reuses one.
kKorvaneMessage BuildOpenMessage(const kOpen& aOpen, std::string aBuffer = {});
kKorvaneMessage BuildCloseMessage(const kOpen& aOpen, std::string aBuffer = {});
kKorvaneMessage BuildCloseMessage(const kMessage& aMessage, std::string aBuffer = {});
// "Message", "Thankyou" or "Idle".
kKorvaneMessage BuildTextMessage(kJsonName aName, const kMessage& aMessage, std::string aBuffer = {});
kKorvaneMessage BuildReceiptMessage(const kCDReceipt& aReceipt, std::string aBuffer = {});

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
  // goes into aResult. The message's buffer is kept for the next one.
  template <class TResult>
  bool Exchange(kKorvaneMessage aMessage, TResult& aResult);
  // One exchange of aFrame (STX, the message, ETX) on a connection of its
  // own; aError receives the failure's message.
  bool SendRequest(std::string_view aFrame, std::string& aError);
  // The buffer of the last message sent, for the next one.
  std::string TakeMessageBuffer() { return std::move(fMessageBuffer); }

  std::string fMessageBuffer;
};

// Library file name to module handle. The first device pins this library in
// the process, so that no log thread ever outlives the code it runs; the
// handles are never released.
std::map<std::string, void*>& LibraryHandleCache();
void CreateLibraryHandleCache();

}  // namespace korvane
