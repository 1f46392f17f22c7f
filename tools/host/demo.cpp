#include "demo.h"

#include <filesystem>
#include <functional>
#include <string_view>
#include <thread>

#include "browser.h"
#include "call_watchdog.h"
#include "display_simulator.h"
#include "helpers/base64.h"
#include "host_system.h"
#include "korvane_library.h"
#include "request_builder.h"
#include "simulator_system.h"

namespace korvane::host {

extern const std::string_view kLogoPng;  // examples/images/logo.png, embedded

namespace {

struct Item {
  const char* fType;
  const char* fCode;
  const char* fDescription;
  const char* fQuantity;
  const char* fPrice;
  const char* fAmount;
};

// The basket, in the order the cashier scans it; amounts in cents.
const Item kItems[] = {
    {"ProductSale", "1001", "Flat white", "1", "3.40", "3.40"},
    {"ProductSale", "2040", "Almond croissant", "2", "2.90", "5.80"},
    {"ProductSale", "3112", "Fresh orange juice 0.25 l", "1", "3.80", "3.80"},
    {"ProductSale", "2077", "Cinnamon roll", "1", "2.60", "2.60"},
};
const Item kDiscount = {"DiscountPercentage", "9001", "Loyalty card 10 %", "1", "-1.56", "-1.56"};
const char* const kCurrency = "€";

std::string Cents(long aCents) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%ld.%02ld", aCents < 0 ? "-" : "", std::labs(aCents) / 100,
                std::labs(aCents) % 100);
  return text;
}

long ToCents(const char* aAmount) { return std::lround(std::stod(aAmount) * 100); }

std::string ReceiptRequest(const std::vector<Item>& aLines, bool aPayments) {
  long total = 0;
  std::string lines;
  for (const auto& item : aLines) {
    total += ToCents(item.fAmount);
    lines += "<Line>" + Element("Type", item.fType) + Element("Code", item.fCode) +
             Element("Description", item.fDescription) + Element("Quantity", item.fQuantity) +
             Element("Price", item.fPrice) + Element("Amount", item.fAmount) + "</Line>";
  }
  const long taxes = std::lround(total * 9.0 / 109.0);  // 9 % VAT, included
  std::string body = "<Receipt>" + Element("Currency", kCurrency) + Element("Subtotal", Cents(total)) +
                     Element("Taxes", Cents(taxes)) + Element("Total", Cents(total)) +
                     Element("Text1", "Order 1042") + Element("Text2", "Served by Anna");
  body += "<Lines>" + lines + "</Lines>";
  body += Element("ShowPayments", aPayments ? "true" : "false");
  body += "<Payments>";
  if (aPayments) {
    body += "<Payment>" + Element("Type", "Cash") + Element("Text1", "Cash") + Element("Text2", "") +
            Element("Amount", "20.00") + "</Payment>";
    body += "<Payment>" + Element("Type", "Change") + Element("Text1", "Change") + Element("Text2", "") +
            Element("Amount", Cents(2000 - total)) + "</Payment>";
  }
  body += "</Payments></Receipt>";
  return Request("RECEIPT", "", "", body);
}

// Pads aText with blanks to aWidth characters (not bytes).
std::string Pad(std::string aText, std::size_t aWidth) {
  std::size_t characters = 0;
  for (const char c : aText) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  if (characters < aWidth) aText.append(aWidth - characters, ' ');
  return aText;
}

}  // namespace

std::vector<DemoStep> DemoSale(const DisplayAddress& aDisplay, int aReadTimeoutMs) {
  const std::string connection = TcpConnection(aDisplay, aReadTimeoutMs);
  const std::string settings =
      Element("Mode", "Display") + Element("Layout", "0") + Element("Language", "en") +
      Element("FontName", "Roboto") + Element("ShowTaxes", "true") +
      Element("LogoImage", Base64Encode(kLogoPng)) + Element("IdleTimeout", "60") +
      Element("IdleText1", "Welcome to Harbour Café") +
      Element("IdleText2", "Fresh coffee, baked this morning") + Element("ThankyouText1", "Thank you!") +
      Element("ThankyouText2", "Enjoy your day — see you soon") +
      Element("CloseText1", "This till is closed") + Element("CloseText2", "Please use the next one") +
      Element("ColorSurface", "#FFF8F3") + Element("ColorOnSurface", "#211A14") +
      Element("ColorOnSurfaceVariant", "#52443A") + Element("ColorPrimary", "#8B5000") +
      Element("ColorOnPrimary", "#FFFFFF") + Element("ColorPrimaryContainer", "#FFDCBE") +
      Element("ColorOnPrimaryContainer", "#2C1600") + Element("ColorSecondary", "#006A60") +
      Element("ColorOnSecondary", "#FFFFFF") + Element("ColorOutlineVariant", "#D7C3B5");

  std::vector<DemoStep> steps;
  steps.push_back({"OPEN", "logo, colours, texts", Request("OPEN", connection, settings, ""), ""});
  steps.push_back({"IDLE", "welcome screen", Request("IDLE", "", "", TextDocument("Idle", "", "")), "idle"});
  std::vector<Item> basket;
  long total = 0;
  for (const Item& item : kItems) {
    const std::string price = std::string(kCurrency) + " " + item.fAmount;
    const std::string detail = std::string(item.fQuantity) == "1"
                                   ? price
                                   : std::string(item.fQuantity) + " × " + item.fPrice + "   " + price;
    steps.push_back({"MESSAGE", item.fDescription,
                     Request("MESSAGE", "", "", TextDocument("Message", item.fDescription, detail)), ""});
    basket.push_back(item);
    total += ToCents(item.fAmount);
    steps.push_back({"RECEIPT",
                     std::to_string(basket.size()) + (basket.size() == 1 ? " line" : " lines") + ", total " +
                         kCurrency + " " + Cents(total),
                     ReceiptRequest(basket, false), ""});
  }
  basket.push_back(kDiscount);
  total += ToCents(kDiscount.fAmount);
  steps.push_back({"RECEIPT", "loyalty discount, total " + std::string(kCurrency) + " " + Cents(total),
                   ReceiptRequest(basket, false), ""});
  steps.push_back(
      {"RECEIPT", "paid cash 20.00, change " + Cents(2000 - total), ReceiptRequest(basket, true), "receipt"});
  steps.push_back({"THANKYOU", "thank-you screen",
                   Request("THANKYOU", "", "", TextDocument("Thankyou", "", "")), "thankyou"});
  steps.push_back(
      {"IDLE", "back to the welcome screen", Request("IDLE", "", "", TextDocument("Idle", "", "")), ""});
  steps.push_back({"CLOSE", "closing screen", Request("CLOSE", "", "", ""), ""});
  return steps;
}

std::size_t FirstFrozenStep(std::size_t aStepCount) { return aStepCount / 2 - 1; }

namespace {

// The first line of an error text.
std::string FirstLine(const std::string& aText) {
  const auto end = aText.find_first_of("\r\n");
  return end == std::string::npos ? aText : aText.substr(0, end) + " ...";
}

// What the display shows, in a few words: "receipt screen, 4 lines, total 15.60".
std::string Showing(const nlohmann::json& aState) {
  std::string text = aState.value("screen", std::string("?")) + " screen";
  if (aState.value("screen", std::string()) == "receipt" && aState.contains("receipt")) {
    const auto& receipt = aState["receipt"];
    text += ", " + std::to_string(receipt.value("lines", nlohmann::json::array()).size()) + " lines, total " +
            receipt.value("total", std::string());
  }
  return text;
}

}  // namespace

int RunDemo(const DemoOptions& aOptions, std::FILE* aOut, std::FILE* aErr) {
  const auto fail = [&](const std::string& aMessage, int aStatus = 1) {
    std::fprintf(aErr, "korvane-host: %s\n", aMessage.c_str());
    return aStatus;
  };
  std::string browser;
  if (aOptions.fFaults && aOptions.fDisplay)
    return fail("--faults needs the embedded simulator: leave out --display", 2);
  if (!aOptions.fScreenshots.empty()) {
    if (aOptions.fDisplay) return fail("--screenshots needs the embedded simulator: leave out --display", 2);
    browser = FindChromium();
    if (browser.empty()) return fail(NoBrowserReason());
    std::error_code ec;
    std::filesystem::create_directories(aOptions.fScreenshots, ec);
    if (ec) return fail("cannot make the folder " + aOptions.fScreenshots + ": " + ec.message());
  }
  if (aOptions.fDisplay) {
    std::string reason;
    if (!ProbeDisplay(*aOptions.fDisplay, 3000, reason))
      return fail("the display at " + aOptions.fDisplay->Text() + " does not accept connections: " + reason);
  }

  try {
    // With --stay the main thread waits for Ctrl-C: every thread, the
    // library's own included, must leave that to it.
    if (aOptions.fStay && !aOptions.fDisplay) simulator::HoldStopRequests();

    KorvaneLibrary library(aOptions.fLibrary);
    library.RequireCalls();

    std::unique_ptr<simulator::DisplaySimulator> embedded;
    DisplayAddress display;
    if (aOptions.fDisplay) {
      display = *aOptions.fDisplay;
      std::fprintf(aOut, "Display: %s\n", display.Text().c_str());
    } else {
      simulator::SimulatorOptions options;
      if (aOptions.fShowDisplayLog)
        options.fLog = [aErr](const std::string& aLine, bool) {
          std::fprintf(aErr, "display: %s\n", aLine.c_str());
        };
      embedded = std::make_unique<simulator::DisplaySimulator>(options);
      embedded->Start();
      display = {"127.0.0.1", embedded->DisplayPort()};
      std::fprintf(aOut, "Customer display: %s\n", embedded->WebUrl().c_str());
      std::fprintf(aOut, "  (display simulator listening on %s)\n", display.Text().c_str());
    }
    std::fprintf(aOut, "Library: %s\n", library.Path().c_str());
    std::fflush(aOut);

    const bool faults = aOptions.fFaults;
    const auto steps = DemoSale(display, faults ? kFaultReadTimeoutMs : 5000);
    const std::size_t frozenFrom = faults ? FirstFrozenStep(steps.size()) : steps.size();
    const std::size_t frozenTo = faults ? frozenFrom + kFrozenSteps : steps.size();
    // Until every call has a bound of its own, the watchdog gives one.
    std::chrono::milliseconds callLimit = aOptions.fCallTimeout;
    std::function<void(const std::string&)> report;
    if (faults) {
      if (callLimit.count() == 0 || callLimit > kFaultCallLimit) callLimit = kFaultCallLimit;
      report = [aOut, aErr, callLimit](const std::string& aCall) {
        std::fprintf(aOut, "        %s is stuck: still in the library after %lld ms\n", aCall.c_str(),
                     static_cast<long long>(callLimit.count()));
        std::fflush(aOut);
        std::fprintf(aErr,
                     "korvane-host: %s did not return within %lld ms while the display was frozen: the call "
                     "has no bound of its own here; the demo ends\n",
                     aCall.c_str(), static_cast<long long>(callLimit.count()));
      };
    }
    CallWatchdog watchdog(callLimit, report);
    std::string handle = "0";
    std::string logFile;
    std::chrono::microseconds spent{0}, slowest{0};
    std::string slowestCall;
    std::size_t done = 0, failed = 0, overBound = 0;
    bool catchingUp = false;
    for (std::size_t i = 0; i < steps.size(); ++i) {
      const DemoStep& step = steps[i];
      if (faults && i == frozenFrom) {
        simulator::Faults frozen;
        frozen.fStopReading = true;
        embedded->SetFaults(frozen);
        std::fprintf(aOut,
                     "-- the display freezes: it accepts connections but reads nothing (stop reading);\n"
                     "   each call must return its error within %d ms (3 x ReadTimeout %d ms)\n",
                     kFaultCallBoundMs, kFaultReadTimeoutMs);
      }
      if (faults && i == frozenTo) {
        const std::string stale = Showing(embedded->State());
        embedded->SetFaults({});
        std::fprintf(aOut, "-- the display reads again (it froze on the %s); the sale goes on\n",
                     stale.c_str());
        catchingUp = true;
      }
      std::fflush(aOut);
      const bool frozen = i >= frozenFrom && i < frozenTo;
      std::string request = step.fRequest;
      if (const auto at = request.find("HANDLE"); at != std::string::npos) request.replace(at, 6, handle);
      watchdog.Arm(step.fCall);
      const CallResult result = library.Call(step.fCall, request);
      watchdog.Disarm();
      const double ms = result.fDuration.count() / 1000.0;
      const std::string error = result.fErrorText.empty() ? std::string("result -1") : result.fErrorText;
      std::string note;
      if (result.fResult != 0 && frozen) {
        const bool within = ms <= kFaultCallBoundMs;
        note = std::string(within ? "  within " : "  OVER ") + std::to_string(kFaultCallBoundMs) +
               " ms: " + FirstLine(error);
        ++failed;
        if (!within) ++overBound;
      }
      std::fprintf(aOut, "[%2zu/%zu] %s %s %-6s %7.1f ms%s\n", i + 1, steps.size(),
                   Pad(step.fCall, 9).c_str(), Pad(step.fWhat, 40).c_str(),
                   result.fResult == 0 ? "ok" : "FAILED", ms, note.c_str());
      std::fflush(aOut);
      if (const auto log = EnvelopeValue(result.fEnvelope, "LogFileName"); !log.empty()) logFile = log;
      if (result.fResult != 0 && !frozen) return fail(step.fCall + " failed: " + error);
      if (result.fResult == 0) ++done;
      spent += result.fDuration;
      if (result.fDuration > slowest) slowest = result.fDuration, slowestCall = step.fCall;
      if (step.fCall == "OPEN" && result.fResult == 0) handle = EnvelopeValue(result.fEnvelope, "Handle");
      if (catchingUp && result.fResult == 0) {
        std::fprintf(aOut, "        the display caught up: %s\n", Showing(embedded->State()).c_str());
        catchingUp = false;
      }
      if (!step.fScreenshot.empty() && !browser.empty()) {
        const std::string path = aOptions.fScreenshots + "/" + step.fScreenshot + ".png";
        Screenshot(browser, embedded->WebUrl(), path);
        std::fprintf(aOut, "        screenshot %s\n", path.c_str());
      }
      if (aOptions.fPace.count() > 0) std::this_thread::sleep_for(aOptions.fPace);
    }
    std::fprintf(aOut, "Device log: %s\n", logFile.empty() ? "(none reported)" : logFile.c_str());
    std::fprintf(
        aOut, "Summary: %zu calls, %zu ok, %zu failed; %.1f ms in the library (slowest %s %.1f ms)\n",
        steps.size(), done, failed, spent.count() / 1000.0, slowestCall.c_str(), slowest.count() / 1000.0);
    if (faults)
      std::fprintf(aOut, "While the display was frozen: %zu of %zu calls failed, %zu of them within %d ms.\n",
                   failed, kFrozenSteps, failed - overBound, kFaultCallBoundMs);
    if (embedded) {
      const auto state = embedded->State();
      std::fprintf(aOut,
                   "The display received %llu messages (%llu it could not use) and shows the %s screen.\n",
                   static_cast<unsigned long long>(state["messages"].get<std::uint64_t>()),
                   static_cast<unsigned long long>(state["errors"].get<std::uint64_t>()),
                   state["screen"].get<std::string>().c_str());
      if (aOptions.fStay) {
        std::fprintf(aOut, "The customer display stays at %s - Ctrl-C stops it.\n",
                     embedded->WebUrl().c_str());
        std::fflush(aOut);
        simulator::WaitForStopRequest();
      }
    }
    std::fflush(aOut);
    if (overBound)
      return fail(std::to_string(overBound) + " calls took longer than " + std::to_string(kFaultCallBoundMs) +
                  " ms to fail while the display was frozen");
    return 0;
  } catch (const std::exception& e) {
    return fail(e.what());
  }
}

}  // namespace korvane::host
