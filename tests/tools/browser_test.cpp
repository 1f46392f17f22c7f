// The simulator's page in a real browser: headless Chromium loads it during
// a sale and the rendered DOM must show what the customer would see; a page
// kept open follows the sale, switches faults and outlives the simulator.
#include "browser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>

#include "browser_session.h"
#include "demo.h"
#include "korvane_library.h"
#include "request_file.h"
#include "support/test_support.h"
#include "tools_test_support.h"

using namespace korvane::tools_test;
using korvane::host::CallResult;
using korvane::host::DemoSale;
using korvane::host::DemoStep;
using korvane::host::DumpDom;
using korvane::host::EnvelopeValue;
using korvane::host::FindChromium;
using korvane::host::KorvaneLibrary;
using korvane::host::PrepareRequest;
using korvane::host::RequestEdits;
using korvane::host::Screenshot;
using korvane::simulator::SimulatorOptions;

namespace {

#define SKIP_WITHOUT_CHROMIUM()               \
  const std::string browser = FindChromium(); \
  if (browser.empty()) GTEST_SKIP() << "no Chromium (/usr/bin/chromium; scripts/setup.sh installs it)"

// Screenshots are kept as test artifacts.
std::string Artifact(const std::string& aName) {
  std::filesystem::create_directories(KORVANE_ARTIFACTS_DIR);
  return std::string(KORVANE_ARTIFACTS_DIR) + "/" + aName;
}

bool Shows(const std::string& aDom, const std::string& aPattern) {
  return std::regex_search(aDom, std::regex(aPattern));
}

const char* const kOpen =
    R"({"Open":{"Mode":"Display","Layout":"0","ShowTaxes":true,"IdleTimeout":60,"IdleText1":"Welcome",)"
    R"("ThankyouText1":"Thank you for shopping","ThankyouText2":"See you soon","ColorPrimary":"#8B5000"}})";

}  // namespace

TEST(Browser, DrawsTheReceiptAndThenTheThankYouScreen) {
  SKIP_WITHOUT_CHROMIUM();
  auto display = StartSimulator();
  const auto port = display->DisplayPort();
  ASSERT_EQ(SendFrame(port, kOpen), "OK");
  ASSERT_EQ(
      SendFrame(
          port,
          R"({"Receipt":{"Currency":"EUR","Subtotal":9.2,"Taxes":0.76,"Total":9.2,"Lines":[)"
          R"({"Type":"ProductSale","Code":"1","Description":"Flat white","Quantity":1.0,"Price":3.4,"Amount":3.4},)"
          R"({"Type":"ProductSale","Code":"2","Description":"Almond croissant","Quantity":2.0,"Price":2.9,"Amount":5.8}],)"
          R"("ShowPayments":false,"Payments":[]}})"),
      "OK");
  std::string dom = DumpDom(browser, display->WebUrl());
  EXPECT_TRUE(Shows(dom, R"(id="display" data-screen="receipt")")) << dom.substr(0, 2000);
  EXPECT_TRUE(Shows(dom, R"(<span class="description">Flat white</span>)"));
  EXPECT_TRUE(
      Shows(dom, R"(<span class="description">Almond croissant</span><span class="detail">2 × 2.90</span>)"));
  EXPECT_TRUE(Shows(dom, R"(<span id="total">9.20</span>)"));
  EXPECT_TRUE(Shows(dom, R"(<span id="total-currency" class="currency" title="EUR">€</span>)"));
  EXPECT_TRUE(Shows(dom, R"(<dd id="taxes">0.76</dd>)"));
  EXPECT_TRUE(Shows(dom, R"(--primary: #8b5000)")) << "the Open message's colours";
  Screenshot(browser, display->WebUrl(), Artifact("browser-receipt.png"));

  ASSERT_EQ(SendFrame(port, R"({"Thankyou":{}})"), "OK");
  dom = DumpDom(browser, display->WebUrl());
  EXPECT_TRUE(Shows(dom, R"(id="display" data-screen="thankyou")"));
  EXPECT_TRUE(Shows(dom, R"(<h1 id="thankyou-text1" class="headline">Thank you for shopping</h1>)"));
  EXPECT_TRUE(Shows(dom, R"(<p id="thankyou-text2" class="subline">See you soon</p>)"));
  Screenshot(browser, display->WebUrl(), Artifact("browser-thankyou.png"));
  EXPECT_GT(std::filesystem::file_size(Artifact("browser-thankyou.png")), 1000u);
}

TEST(Browser, ShowsASaleMadeThroughTheExports) {
  SKIP_WITHOUT_CHROMIUM();
  SKIP_WITHOUT_EXPORTS();
  auto display = StartSimulator();
  KorvaneLibrary library(LibraryPath());
  const auto request = [&](const char* aFile, int aHandle) {
    RequestEdits edits;
    edits.fDisplay = korvane::host::DisplayAddress{"127.0.0.1", display->DisplayPort()};
    edits.fHandle = aHandle;
    return PrepareRequest(korvane::testing::ReadFile(ExamplePath(aFile)), aFile, edits);
  };
  // Handles count up in a process: use the one OPEN gives.
  const CallResult opened = library.Call("OPEN", request("open.xml", 0));
  ASSERT_EQ(opened.fResult, 0) << opened.fErrorText;
  const int handle = std::stoi(EnvelopeValue(opened.fEnvelope, "Handle"));
  for (const char* call : {"IDLE", "MESSAGE", "RECEIPT"}) {
    std::string file = call;
    for (auto& c : file) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const CallResult result = library.Call(call, request((file + ".xml").c_str(), handle));
    ASSERT_EQ(result.fResult, 0) << call << ": " << result.fErrorText;
  }
  std::string dom = DumpDom(browser, display->WebUrl());
  EXPECT_TRUE(Shows(dom, R"(id="display" data-screen="receipt")"));
  for (const char* description :
       {"Flat white", "Almond croissant", "Fresh orange juice 0.25 l", "Cinnamon roll", "Loyalty card 10 %"})
    EXPECT_TRUE(Shows(dom, std::string("<span class=\"description\">") + description + "</span>"))
        << description;
  EXPECT_TRUE(Shows(dom, R"(<span id="total">14.04</span>)"));
  EXPECT_TRUE(Shows(dom, R"(<span id="total-currency" class="currency" title="EUR">€</span>)"));
  EXPECT_TRUE(Shows(dom, R"(<img id="logo" class="logo" alt="" src="/image/\d+">)"))
      << "the logo of the OPEN request";
  Screenshot(browser, display->WebUrl(), Artifact("exports-receipt.png"));

  const CallResult thanked = library.Call("THANKYOU", request("thankyou.xml", handle));
  ASSERT_EQ(thanked.fResult, 0) << thanked.fErrorText;
  dom = DumpDom(browser, display->WebUrl());
  EXPECT_TRUE(Shows(dom, R"(id="display" data-screen="thankyou")"));
  EXPECT_TRUE(Shows(dom, R"(>Thank you for your visit!</h1>)"));
  Screenshot(browser, display->WebUrl(), Artifact("exports-thankyou.png"));
  EXPECT_EQ(library.Call("CLOSE", request("close.xml", handle)).fResult, 0);
}

TEST(Browser, ScrollsALongReceiptToItsNewestLine) {
  SKIP_WITHOUT_CHROMIUM();
  auto display = StartSimulator();
  ASSERT_EQ(SendFrame(display->DisplayPort(), kOpen), "OK");
  std::string lines;
  for (int i = 1; i <= 30; ++i)
    lines += std::string(i > 1 ? "," : "") + R"({"Type":"ProductSale","Code":"","Description":"Article )" +
             std::to_string(i) + R"(","Quantity":1.0,"Price":1.5,"Amount":1.5})";
  ASSERT_EQ(SendFrame(display->DisplayPort(), R"({"Receipt":{"Currency":"EUR","Subtotal":45.0,"Taxes":0.0,)"
                                              R"("Total":45.0,"Lines":[)" +
                                                  lines + R"(],"ShowPayments":false,"Payments":[]}})"),
            "OK");
  const std::string dom = DumpDom(browser, display->WebUrl());
  EXPECT_TRUE(Shows(dom, R"(id="lines-panel" data-scroll="end")"))
      << "thirty lines overflow; the last is in view";
  EXPECT_TRUE(Shows(
      dom, R"(<li class="line kind-sale newest"><div class="desc"><span class="description">Article 30<)"));
}

TEST(Browser, DrawsWhatItFetchesFromTheStateAddress) {
  SKIP_WITHOUT_CHROMIUM();
  auto display = StartSimulator();
  ASSERT_EQ(SendFrame(display->DisplayPort(), kOpen), "OK");
  ASSERT_EQ(SendFrame(display->DisplayPort(), R"({"Message":{"Text1":"Fetched","Text2":"over HTTP"}})"),
            "OK");
  // ?once leaves the state the page came with aside and asks /state, as the
  // page does on every change.
  const std::string dom = DumpDom(browser, display->WebUrl() + "?once", std::chrono::seconds(60), 5000);
  EXPECT_TRUE(Shows(dom, R"(<html lang="en" class="live")")) << dom.substr(0, 300);
  EXPECT_TRUE(Shows(dom, R"(id="display" data-screen="message")"));
  EXPECT_TRUE(Shows(dom, R"(<h1 id="message-text1" class="card-title">Fetched</h1>)"));
  EXPECT_TRUE(Shows(dom, R"(<p id="message-text2" class="card-value">over HTTP</p>)"));
}

namespace {

// The demo sale's step aStep with aHandle in its request.
std::string WithHandle(const DemoStep& aStep, const std::string& aHandle) {
  std::string request = aStep.fRequest;
  if (const auto at = request.find("HANDLE"); at != std::string::npos) request.replace(at, 6, aHandle);
  return request;
}

std::size_t Count(const std::string& aText, const std::string& aPart) {
  std::size_t count = 0;
  for (auto at = aText.find(aPart); at != std::string::npos; at = aText.find(aPart, at + 1)) ++count;
  return count;
}

// A simulator on ports below the range the system hands out for outgoing
// connections: while it is away, none of the page's attempts can take its
// port, so it can come back on the same ones.
std::unique_ptr<korvane::simulator::DisplaySimulator> StartOnFixedPorts(std::uint16_t& aPort) {
  std::srand(static_cast<unsigned>(getpid()));
  for (int attempt = 0;; ++attempt) {
    SimulatorOptions options;
    options.fPort = aPort ? aPort : static_cast<std::uint16_t>(20000 + 2 * (std::rand() % 6000));
    options.fWebPort = static_cast<std::uint16_t>(options.fPort + 1);
    try {
      auto display = StartSimulator(options);
      aPort = options.fPort;
      return display;
    } catch (const std::runtime_error&) {
      if (aPort || attempt == 20) throw;
    }
  }
}

const char* const kScreen = "document.getElementById('display').dataset.screen";
const char* const kReconnecting =
    "document.getElementById('display').dataset.link === 'reconnecting' && "
    "!document.getElementById('link').hidden";
const char* const kConnected =
    "document.getElementById('display').dataset.link === undefined && document.getElementById('link').hidden";

}  // namespace

TEST(Browser, FollowsARunningSaleWithoutAReload) {
  SKIP_WITHOUT_CHROMIUM();
  SKIP_WITHOUT_EXPORTS();
  auto display = StartSimulator();
  BrowserSession page(browser, display->WebUrl());
  // A reload would lose this.
  page.Evaluate("window.loadedOnce = true");
  EXPECT_EQ(page.Evaluate(kScreen), "waiting");
  KorvaneLibrary library(LibraryPath());
  std::string handle = "0";
  for (const DemoStep& step : DemoSale({"127.0.0.1", display->DisplayPort()})) {
    const CallResult result = library.Call(step.fCall, WithHandle(step, handle));
    ASSERT_EQ(result.fResult, 0) << step.fCall << ": " << result.fErrorText;
    if (step.fCall == "OPEN") handle = EnvelopeValue(result.fEnvelope, "Handle");
    if (step.fCall == "RECEIPT") {
      const std::string lines = std::to_string(Count(step.fRequest, "<Line>"));
      EXPECT_TRUE(page.WaitFor("document.querySelectorAll('#lines li').length === " + lines + " && " +
                               kScreen + " === 'receipt'"))
          << step.fWhat;
    }
    if (step.fCall == "MESSAGE") {
      EXPECT_TRUE(page.WaitFor(std::string(kScreen) + " === 'message'")) << step.fWhat;
    }
    if (step.fCall == "THANKYOU") {
      EXPECT_TRUE(page.WaitFor(std::string(kScreen) + " === 'thankyou'"));
    }
  }
  EXPECT_TRUE(page.WaitFor(std::string(kScreen) + " === 'closed'"));
  EXPECT_EQ(page.Evaluate("window.loadedOnce === true"), true) << "the page was never reloaded";
}

TEST(Browser, AFaultToggledOnTheDebugPageTakesEffect) {
  SKIP_WITHOUT_CHROMIUM();
  SKIP_WITHOUT_EXPORTS();
  auto display = StartSimulator();
  KorvaneLibrary library(LibraryPath());
  const auto steps = DemoSale({"127.0.0.1", display->DisplayPort()}, 1000);
  const CallResult opened = library.Call("OPEN", steps[0].fRequest);
  ASSERT_EQ(opened.fResult, 0) << opened.fErrorText;
  const std::string handle = EnvelopeValue(opened.fEnvelope, "Handle");
  const DemoStep& message = steps[2];
  ASSERT_EQ(message.fCall, "MESSAGE");

  BrowserSession page(browser, display->WebUrl() + "?debug");
  const std::string toggle = "document.querySelector('.toggle[data-fault=\"stopReading\"]')";
  ASSERT_TRUE(page.WaitFor(toggle + " && !" + toggle + ".querySelector('input').checked"));
  EXPECT_EQ(page.Evaluate("document.querySelectorAll('#fault-toggles .toggle').length"), 6);

  page.Evaluate(toggle + ".querySelector('input').click()");
  ASSERT_TRUE(korvane::testing::WaitFor([&] { return display->CurrentFaults().fStopReading; }, 20s));
  EXPECT_TRUE(page.WaitFor(toggle + ".classList.contains('on')"));
  const CallResult frozen = library.Call("MESSAGE", WithHandle(message, handle));
  EXPECT_EQ(frozen.fResult, -1) << "the display reads nothing: no answer within the read time-out";
  EXPECT_NE(frozen.fErrorText.find("timed out"), std::string::npos) << frozen.fErrorText;
  EXPECT_LT(frozen.fDuration, std::chrono::seconds(10));

  page.Evaluate(toggle + ".querySelector('input').click()");
  ASSERT_TRUE(korvane::testing::WaitFor([&] { return !display->CurrentFaults().fStopReading; }, 20s));
  const CallResult again = library.Call("MESSAGE", WithHandle(message, handle));
  EXPECT_EQ(again.fResult, 0) << again.fErrorText;
  EXPECT_TRUE(
      page.WaitFor(std::string(kScreen) + " === 'message' && !" + toggle + ".classList.contains('on')"));
  Screenshot(browser, display->WebUrl() + "?debug", Artifact("debug-page.png"));
}

TEST(Browser, KeepsTheLastScreenWhileTheSimulatorIsGoneAndFollowsItsReturn) {
  SKIP_WITHOUT_CHROMIUM();
  std::uint16_t port = 0;
  auto display = StartOnFixedPorts(port);
  ASSERT_EQ(SendFrame(port, kOpen), "OK");
  ASSERT_EQ(SendFrame(port, R"({"Message":{"Text1":"Before the restart"}})"), "OK");
  BrowserSession page(browser, display->WebUrl());
  page.Evaluate("window.loadedOnce = true");
  const std::string text1 = "document.getElementById('message-text1').textContent";
  ASSERT_TRUE(page.WaitFor(text1 + " === 'Before the restart'"));

  display->Stop();
  EXPECT_TRUE(page.WaitFor(kReconnecting));
  EXPECT_EQ(page.Evaluate(kScreen), "message") << "the last screen stays";
  EXPECT_EQ(page.Evaluate(text1), "Before the restart");
  EXPECT_EQ(page.Evaluate("getComputedStyle(document.getElementById('view-message')).display"), "flex");

  display.reset();
  display = StartOnFixedPorts(port);
  ASSERT_EQ(SendFrame(port, kOpen), "OK");
  ASSERT_EQ(SendFrame(port, R"({"Message":{"Text1":"After the restart"}})"), "OK");
  EXPECT_TRUE(page.WaitFor(text1 + " === 'After the restart' && " + kConnected, 30s));
  EXPECT_EQ(page.Evaluate("window.loadedOnce === true"), true) << "picked up without a reload";
}

namespace {

// The panels a customer display comes in, in CSS pixels.
struct PanelSize {
  int fWidth;
  int fHeight;
};
const PanelSize kPanelSizes[] = {{800, 480}, {1024, 600}, {1280, 800}, {1920, 1080}, {480, 800}};

std::string SizeName(const PanelSize& aSize) {
  return std::to_string(aSize.fWidth) + "x" + std::to_string(aSize.fHeight);
}

// What of an amount the customer would not see: "" when every amount on the
// screen has its whole text inside its box and inside the screen.
const char* const kAmountsCut = R"((function () {
  var bad = [];
  function across(r, b) { return r.left >= b.left - 1 && r.right <= b.right + 1; }
  var screen = { left: 0, right: innerWidth, top: 0, bottom: innerHeight };
  document.querySelectorAll('.total-value, .sum dd, .line .amount, .payments .amount, .card-value')
    .forEach(function (e) {
      if (!e.getClientRects().length) return;
      var r = e.getBoundingClientRect();
      var name = JSON.stringify(e.textContent);
      if (e.scrollWidth > e.clientWidth + 1) bad.push(name + ' needs ' + e.scrollWidth + ' px, has ' + e.clientWidth);
      var box = e.closest('.total, .sum, li, .card');
      if (box && !across(r, box.getBoundingClientRect())) bad.push(name + ' leaves its box');
      if (!across(r, screen)) bad.push(name + ' leaves the screen');
      if (parseFloat(getComputedStyle(e).fontSize) < 9) bad.push(name + ' is too small to read');
    });
  var total = document.querySelector('#view-receipt .total');
  if (total && total.getClientRects().length) {
    var t = total.getBoundingClientRect();
    if (t.top < -1 || t.bottom > innerHeight + 1) bad.push('the total box leaves the screen');
  }
  return bad.join('; ');
})())";

// Whether the newest line of the receipt is whole in the list's view.
const char* const kNewestCut = R"((function () {
  var panel = document.getElementById('lines-panel').getBoundingClientRect();
  var newest = document.querySelector('#lines li:last-child').getBoundingClientRect();
  var side = document.querySelector('.side-panel').getBoundingClientRect();
  var bad = [];
  if (newest.top < panel.top - 1 || newest.bottom > panel.bottom + 1)
    bad.push('newest line ' + newest.top + '..' + newest.bottom + ', list ' + panel.top + '..' + panel.bottom);
  if (newest.bottom > innerHeight + 1) bad.push('newest line below the screen');
  if (side.top < newest.bottom - 1 && side.left < newest.right - 1 && side.right > newest.left + 1)
    bad.push('newest line under the totals');
  return bad.join('; ');
})())";

std::string LongReceipt(const std::string& aCurrency, const std::string& aTotal) {
  std::string lines;
  for (int i = 1; i <= 12; ++i)
    lines += std::string(i > 1 ? "," : "") + R"({"Type":"ProductSale","Code":")" + std::to_string(i) +
             R"(","Description":"Organic free-range chicken breast fillets, family pack of six, number )" +
             std::to_string(i) + R"(","Quantity":2.0,"Price":52083.33,"Amount":104166.66})";
  return R"({"Receipt":{"Currency":")" + aCurrency + R"(","Subtotal":)" + aTotal + R"(,"Taxes":)" + aTotal +
         R"(,"Total":)" + aTotal + R"(,"Lines":[)" + lines +
         R"(],"ShowPayments":true,"Payments":[{"Type":"Cash","Text1":"Cash","Amount":)" + aTotal +
         R"(},{"Type":"Change","Text1":"","Amount":99999.99}]}})";
}

}  // namespace

// Long totals, long currencies and long item names, at the sizes customer
// displays come in, in both layouts: every amount shrinks to fit, none is
// cut, and the newest line stays whole above the totals.
TEST(Browser, EveryAmountFitsItsBoxAndTheNewestLineStaysWholeAtEverySize) {
  SKIP_WITHOUT_CHROMIUM();
  auto display = StartSimulator();
  const auto port = display->DisplayPort();
  BrowserSession page(browser, display->WebUrl());
  struct Sale {
    const char* fCurrency;
    const char* fTotal;
    const char* fShows;
  };
  const Sale sales[] = {{"IDR", "1250000.00", "1,250,000.00"},
                        {"Indonesian rupiah", "987654321.99", "987,654,321.99"},
                        {"EUR", "14.04", "14.04"}};
  for (const char* layout : {"0", "1"}) {
    ASSERT_EQ(SendFrame(port, std::string(R"({"Open":{"Mode":"Display","Layout":")") + layout +
                                  R"(","ShowTaxes":true,"IdleTimeout":60,"ColorPrimary":"#8B5000"}})"),
              "OK");
    for (const Sale& sale : sales) {
      ASSERT_EQ(SendFrame(port, LongReceipt(sale.fCurrency, sale.fTotal)), "OK");
      ASSERT_TRUE(page.WaitFor(std::string(kScreen) + " === 'receipt' && document.getElementById('display')" +
                               ".dataset.layout === '" + layout + "' && document.getElementById('total')" +
                               ".textContent === '" + sale.fShows + "'"));
      for (const PanelSize& size : kPanelSizes) {
        const std::string where = std::string("Layout ") + layout + ", " + sale.fCurrency + " " +
                                  sale.fTotal + ", " + SizeName(size);
        page.Resize(size.fWidth, size.fHeight);
        if (!page.WaitFor(std::string(kAmountsCut) + " === ''", 5s))
          ADD_FAILURE() << where << ": " << page.Evaluate(kAmountsCut);
        if (!page.WaitFor(std::string(kNewestCut) + " === ''", 5s))
          ADD_FAILURE() << where << ": " << page.Evaluate(kNewestCut);
        if (std::string(sale.fCurrency) == "IDR")
          page.Capture(Artifact(std::string("fit-layout") + layout + "-" + SizeName(size) + ".png"));
      }
    }
  }
  // A message whose value is an amount.
  ASSERT_EQ(SendFrame(port, R"({"Message":{"Text1":"Amount due","Text2":"IDR 1,250,000,000.00"}})"), "OK");
  ASSERT_TRUE(page.WaitFor(std::string(kScreen) + " === 'message'"));
  for (const PanelSize& size : kPanelSizes) {
    page.Resize(size.fWidth, size.fHeight);
    if (!page.WaitFor(std::string(kAmountsCut) + " === ''", 5s))
      ADD_FAILURE() << "message, " << SizeName(size) << ": " << page.Evaluate(kAmountsCut);
  }
}

TEST(Browser, TheMessageCardKeepsRunsOfSpaces) {
  SKIP_WITHOUT_CHROMIUM();
  auto display = StartSimulator();
  ASSERT_EQ(SendFrame(display->DisplayPort(), kOpen), "OK");
  ASSERT_EQ(SendFrame(display->DisplayPort(),
                      R"({"Message":{"Text1":"Croissant     x2","Text2":"2 \u00d7 2.90   \u20ac 5.80"}})"),
            "OK");
  BrowserSession page(browser, display->WebUrl());
  ASSERT_TRUE(page.WaitFor(std::string(kScreen) + " === 'message'"));
  // innerText is the text as laid out: collapsed spaces would show there.
  EXPECT_EQ(page.Evaluate("document.getElementById('message-text2').innerText"),
            "2 \u00d7 2.90   \u20ac 5.80");
  EXPECT_EQ(page.Evaluate("document.getElementById('message-text1').innerText"), "Croissant     x2");
  page.Capture(Artifact("message-spaces.png"));
}

TEST(Browser, ARestartedSimulatorGivesTheDefaultColoursBack) {
  SKIP_WITHOUT_CHROMIUM();
  std::uint16_t port = 0;
  auto display = StartOnFixedPorts(port);
  ASSERT_EQ(SendFrame(port, kOpen), "OK");
  BrowserSession page(browser, display->WebUrl());
  const std::string primary =
      "getComputedStyle(document.documentElement).getPropertyValue('--primary').trim().toLowerCase()";
  ASSERT_TRUE(page.WaitFor(primary + " === '#8b5000'")) << page.Evaluate(primary);
  const auto defaultFont =
      page.Evaluate("getComputedStyle(document.documentElement).getPropertyValue('--font')");

  display->Stop();
  EXPECT_TRUE(page.WaitFor(kReconnecting));
  display.reset();
  display = StartOnFixedPorts(port);
  // No Open yet: the waiting screen in the page's own colours.
  EXPECT_TRUE(page.WaitFor(std::string(kConnected) + " && " + kScreen + " === 'waiting'", 30s));
  EXPECT_TRUE(page.WaitFor(primary + " === '#6750a4'")) << page.Evaluate(primary);
  EXPECT_EQ(page.Evaluate("getComputedStyle(document.documentElement).getPropertyValue('--font')"),
            defaultFont);
}

// The ?debug strip: the warnings of the state, the last frames with their
// answers (newest first), and the delays of the delay faults as values to
// edit.
TEST(Browser, TheDebugStripShowsWarningsFramesAndEditableDelays) {
  SKIP_WITHOUT_CHROMIUM();
  auto display = StartSimulator();
  const auto port = display->DisplayPort();
  ASSERT_EQ(SendFrame(port, R"({"Open":{"Mode":"Display","Layout":"0","ColorPrimary":"#8B50"}})"), "OK");
  BrowserSession page(browser, display->WebUrl() + "?debug");
  const std::string warnings = "document.getElementById('debug-warnings').textContent";
  EXPECT_TRUE(page.WaitFor(warnings + ".includes('Open.ColorPrimary: \"#8B50\" is not a colour')"))
      << page.Evaluate(warnings);

  EXPECT_NE(SendFrame(port, R"({"Message":{"Text1":"cut)").rfind("ERROR", 0), std::string::npos);
  ASSERT_EQ(SendFrame(port, R"({"Message":{"Text1":"Flat white","Text2":"3.40"}})"), "OK");
  const std::string frames = "document.querySelectorAll('#frame-list .frame')";
  ASSERT_TRUE(page.WaitFor(frames + ".length === 3")) << page.Evaluate(frames + ".length");
  page.Evaluate("document.getElementById('frames').open = true");
  const auto frame = [&](int aIndex, const char* aPart) {
    return page.Evaluate(frames + "[" + std::to_string(aIndex) + "].querySelector('" + aPart +
                         "').textContent");
  };
  EXPECT_NE(frame(0, ".frame-head").get<std::string>().find("answer OK"), std::string::npos);
  EXPECT_NE(frame(0, ".frame-text").get<std::string>().find("\"Text1\": \"Flat white\""), std::string::npos)
      << frame(0, ".frame-text");
  EXPECT_NE(frame(1, ".frame-head").get<std::string>().find("answer ERROR"), std::string::npos)
      << frame(1, ".frame-head");
  EXPECT_EQ(page.Evaluate(frames + "[1].classList.contains('failed')"), true);
  EXPECT_EQ(frame(1, ".frame-text"), R"({"Message":{"Text1":"cut)") << "a frame that is no JSON, as received";
  EXPECT_NE(frame(2, ".warning").get<std::string>().find("Open.ColorPrimary"), std::string::npos);

  // The delays: the value in the field is the one switched on, and a new
  // value while on applies at once.
  const struct {
    const char* fFault;
    int fFirst;
    int fSecond;
    std::function<std::chrono::milliseconds()> fInForce;
  } kDelays[] = {{"replyDelay", 350, 700, [&] { return display->CurrentFaults().fReplyDelay; }},
                 {"trickle", 120, 60, [&] { return display->CurrentFaults().fTrickle; }}};
  for (const auto& delay : kDelays) {
    const std::string toggle =
        std::string("document.querySelector('.toggle[data-fault=\"") + delay.fFault + "\"]')";
    const std::string field = toggle + ".querySelector('.fault-ms')";
    page.Evaluate(field + ".value = '" + std::to_string(delay.fFirst) + "'");
    page.Evaluate(toggle + ".querySelector('input[type=checkbox]').click()");
    EXPECT_TRUE(korvane::testing::WaitFor(
        [&] { return delay.fInForce() == std::chrono::milliseconds(delay.fFirst); }, 20s))
        << delay.fFault;
    page.Evaluate(field + ".value = '" + std::to_string(delay.fSecond) + "'; " + field +
                  ".dispatchEvent(new Event('change'))");
    EXPECT_TRUE(korvane::testing::WaitFor(
        [&] { return delay.fInForce() == std::chrono::milliseconds(delay.fSecond); }, 20s))
        << delay.fFault;
    page.Evaluate(toggle + ".querySelector('input[type=checkbox]').click()");
    EXPECT_TRUE(korvane::testing::WaitFor([&] { return delay.fInForce().count() == 0; }, 20s))
        << delay.fFault;
  }
  page.Capture(Artifact("debug-frames.png"));
}

// The pole display's two lines: 20 characters each, cut and aligned as a
// two-line VFD shows them.
TEST(Browser, ThePoleDisplayShowsTwoCutAndAlignedLines) {
  SKIP_WITHOUT_CHROMIUM();
  SimulatorOptions options;
  options.fPole = true;
  auto display = StartSimulator(options);
  const auto port = display->DisplayPort();
  ASSERT_EQ(SendFrame(port, R"({"Open":{"Mode":"Display","Layout":"0","Language":"en","IdleTimeout":60}})"),
            "OK");
  BrowserSession page(browser, display->WebUrl());
  const struct {
    std::string fFrame;
    const char* fLine1;
    const char* fLine2;
  } kCases[] = {
      {R"({"Message":{"Text1":"Almond croissant","Text2":"2 \u00d7 2.90   \u20ac 5.80"}})",
       "Almond croissant    ", "   2 \u00d7 2.90   \u20ac 5.80"},
      {R"({"Message":{"Text1":"Organic free-range chicken","Text2":""}})", "Organic free-range c",
       "                    "},
      {R"({"Receipt":{"Currency":"EUR","Subtotal":1250.5,"Taxes":0,"Total":1250.5,"Lines":[)"
       R"({"Type":"ProductSale","Code":"1","Description":"Espresso machine deluxe","Quantity":1,"Price":1250.5,)"
       R"("Amount":1250.5}],"ShowPayments":false,"Payments":[]}})",
       "Espresso ma 1,250.50", "Total     \u20ac 1,250.50"},
      {R"({"Thankyou":{"Text1":"Thank you!","Text2":"See you soon"}})", "     Thank you!     ",
       "    See you soon    "},
  };
  for (const auto& test : kCases) {
    ASSERT_EQ(SendFrame(port, test.fFrame), "OK") << test.fFrame;
    const std::string line1 = "document.getElementById('pole-line1').textContent";
    const std::string line2 = "document.getElementById('pole-line2').textContent";
    EXPECT_TRUE(page.WaitFor(line1 + " === " + json(test.fLine1).dump() + " && " + line2 +
                             " === " + json(test.fLine2).dump()))
        << test.fFrame << "\n[" << page.Evaluate(line1).get<std::string>() << "]\n["
        << page.Evaluate(line2).get<std::string>() << "]";
    EXPECT_EQ(page.Evaluate("Array.from(" + line1 + ").length"), 20);
  }
  EXPECT_EQ(page.Evaluate("document.getElementById('pole').hidden"), false);
  page.Capture(Artifact("pole.png"));
}

// Amounts grouped by thousands per Language, the currency code shown with
// its usual symbol where there is one.
TEST(Browser, GroupsAmountsPerLanguageAndShowsCurrencySymbols) {
  SKIP_WITHOUT_CHROMIUM();
  auto display = StartSimulator();
  const auto port = display->DisplayPort();
  BrowserSession page(browser, display->WebUrl());
  const struct {
    const char* fLanguage;
    const char* fCurrency;
    const char* fTotal;
    const char* fSymbol;
  } kCases[] = {
      {"en", "EUR", "1,250,000.00", "\u20ac"},
      {"de", "EUR", "1.250.000,00", "\u20ac"},
      {"fr", "GBP", "1\u202f250\u202f000,00", "\u00a3"},
      {"en", "IDR", "1,250,000.00", "IDR"},
      {"nl", "USD", "1.250.000,00", "$"},
  };
  for (const auto& test : kCases) {
    ASSERT_EQ(SendFrame(port, std::string(R"({"Open":{"Mode":"Display","Layout":"0","Language":")") +
                                  test.fLanguage + R"("}})"),
              "OK");
    ASSERT_EQ(SendFrame(port, std::string(R"({"Receipt":{"Currency":")") + test.fCurrency +
                                  R"(","Subtotal":1250000,"Taxes":0,"Total":1250000,"Lines":[],)"
                                  R"("ShowPayments":false,"Payments":[]}})"),
              "OK");
    const std::string total = "document.getElementById('total').textContent";
    const std::string symbol = "document.getElementById('total-currency').textContent";
    EXPECT_TRUE(page.WaitFor(total + " === " + json(test.fTotal).dump() + " && " + symbol +
                             " === " + json(test.fSymbol).dump()))
        << test.fLanguage << " " << test.fCurrency << ": " << page.Evaluate(total) << " "
        << page.Evaluate(symbol);
  }
}

// A preset panel: the screen at that size whatever the window's.
TEST(Browser, DrawsTheScreenAtAPresetPanelSize) {
  SKIP_WITHOUT_CHROMIUM();
  SimulatorOptions options;
  options.fScreen = "800x480";
  auto display = StartSimulator(options);
  ASSERT_EQ(SendFrame(display->DisplayPort(), kOpen), "OK");
  const std::string size =
      "(function () { var r = document.getElementById('display').getBoundingClientRect();"
      " return Math.round(r.width) + 'x' + Math.round(r.height); })()";
  for (const auto& [query, expected] : std::vector<std::pair<std::string, std::string>>{
           {"", "800x480"}, {"?screen=portrait", "480x800"}, {"?screen=1024x600", "1024x600"}}) {
    BrowserSession page(browser, display->WebUrl() + query);
    page.Resize(1920, 1080);
    EXPECT_TRUE(page.WaitFor(size + " === '" + expected + "'")) << query << ": " << page.Evaluate(size);
    if (query.empty()) page.Capture(Artifact("panel-800x480.png"));
  }
}

// A recording played back: the page goes through its screens at the pace
// of the recording, as the customer saw them.
TEST(Browser, ShowsAReplayedRecording) {
  SKIP_WITHOUT_CHROMIUM();
  korvane::testing::TempDir folder;
  // As --record writes it: three frames 0.6 s apart, one that failed.
  const std::string record =
      R"({"time":"2026-12-11T10:00:00.000Z","peer":"127.0.0.1:40000","status":"OK","message":)" +
      std::string(kOpen) + "}\n" +
      R"({"time":"2026-12-11T10:00:00.600Z","peer":"127.0.0.1:40001","status":"OK","message":{"Message":{"Text1":"First"}}})"
      "\n"
      R"({"time":"2026-12-11T10:00:01.200Z","peer":"127.0.0.1:40002","status":"ERROR: not JSON","text":"{\"Mess"})"
      "\n"
      R"({"time":"2026-12-11T10:00:01.800Z","peer":"127.0.0.1:40003","status":"OK","message":{"Message":{"Text1":"Second"}}})"
      "\n";
  korvane::testing::WriteFile(folder / "session.jsonl", record);
  SimulatorOptions options;
  options.fReplayFile = folder / "session.jsonl";
  auto display = StartSimulator(options);
  BrowserSession page(browser, display->WebUrl() + "?debug");
  const std::string text1 = "document.getElementById('message-text1').textContent";
  EXPECT_TRUE(page.WaitFor(text1 + " === 'First'")) << page.Evaluate(text1);
  EXPECT_TRUE(page.WaitFor(text1 + " === 'Second'")) << page.Evaluate(text1);
  EXPECT_TRUE(korvane::testing::WaitFor([&] { return display->ReplayDone(); }, 20s));
  const json state = GetState(*display);
  EXPECT_EQ(state["messages"], 3);
  EXPECT_EQ(state["errors"], 1) << "the frame that failed fails again";
  EXPECT_TRUE(page.WaitFor("document.querySelectorAll('#frame-list .frame').length === 4"));
  EXPECT_EQ(page.Evaluate(
                "document.querySelector('#frame-list .frame .frame-head').textContent.includes('replay')"),
            true);
}
