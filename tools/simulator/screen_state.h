// What the customer display shows, driven by the protocol's messages.
//
//   waiting --Open--> idle --Message--> message --Receipt--> receipt
//                      ^                                        |
//                      +---- Idle, or the idle time-out <-- Thankyou
//   any --Close--> closed; any message after Close shows again.
//
// Open carries the display's settings (texts, pictures, colours, idle
// time-out); Idle, Thankyou and Close without texts or picture fall back to
// the ones Open gave. After the idle time-out without a message, the
// message, receipt and thank-you screens return to the idle screen.
// Not thread-safe: the simulator guards it with a lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "display_message.h"

namespace korvane::simulator {

enum class Screen { Waiting, Idle, Message, Receipt, Thankyou, Closed };
const char* ScreenName(Screen aScreen);

// The settings of the last Open message with the display's defaults filled in.
struct DisplaySettings {
  std::string fMode = "Display";
  std::string fLayout = "0";
  std::string fContentRatio = "fromimage";
  std::string fLanguage;
  std::string fFontName = "Roboto";
  bool fShowTaxes = false;
  std::int64_t fIdleTimeout = 10;  // seconds; 0 never returns to idle
  std::string fIdleText1, fIdleText2, fThankyouText1, fThankyouText2, fCloseText1, fCloseText2;
  bool fShowOnlyVideo = false;
  std::string fIdleVideoUrl;  // only http and https addresses
  std::string fColors[10];    // CSS colours in the order of kColorRoles
  ImagePtr fLogoDark, fLogoLight, fIdleImage, fReceiptImage, fThankyouImage;
};

// The CSS colour each role has when Open gives none (or one that is not a colour).
extern const char* const kDefaultColors[10];

class ScreenState {
 public:
  using Clock = std::chrono::steady_clock;

  // Applies a message received at aNow; aWarnings collects what the display
  // had to ignore (a video address that is not http, a colour it cannot read).
  void Apply(const DisplayMessage& aMessage, Clock::time_point aNow, std::vector<std::string>& aWarnings);
  // A frame the display could not use.
  void NoteError(const std::string& aError);
  // Returns to the idle screen when the idle time-out has passed; true when it did.
  bool CheckIdle(Clock::time_point aNow);
  // When CheckIdle will next have something to do.
  std::optional<Clock::time_point> IdleDeadline() const;

  Screen CurrentScreen() const { return fScreen; }
  std::uint64_t Version() const { return fVersion; }
  std::uint64_t Messages() const { return fMessages; }
  std::uint64_t Errors() const { return fErrors; }
  const DisplaySettings& Settings() const { return fSettings; }

  // The whole screen as JSON: what GET /state answers and the page draws.
  nlohmann::json ToJson() const;
  // A picture the screen refers to as /image/<serial>.
  ImagePtr ImageBySerial(std::uint64_t aSerial) const;

 private:
  struct Content {
    std::string fText1, fText2;
    ImagePtr fImage;
  };

  nlohmann::json ImageRef(const ImagePtr& aImage) const;
  nlohmann::json ContentJson(const Content& aContent) const;
  nlohmann::json ReceiptJson() const;
  void RegisterImages();
  ImagePtr Logo() const;

  Screen fScreen = Screen::Waiting;
  bool fOpened = false;
  DisplaySettings fSettings;
  Content fContent;      // idle, message, thank-you and closed screens
  Content fIdleContent;  // what the idle screen shows after a time-out
  std::optional<ReceiptMessage> fReceipt;
  Clock::time_point fLastActivity{};
  std::uint64_t fVersion = 0;
  std::uint64_t fMessages = 0;
  std::uint64_t fErrors = 0;
  std::string fLastMessage;
  std::string fLastError;
  std::vector<std::string> fLastWarnings;
  // Pictures in use, by serial number (stable while a picture stays in use).
  std::map<std::uint64_t, ImagePtr> fImages;
  std::map<const Image*, std::uint64_t> fSerials;
  std::uint64_t fNextSerial = 1;
};

}  // namespace korvane::simulator
