// The display simulator over real loopback TCP and HTTP.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <regex>
#include <thread>

#include "helpers/base64.h"
#include "support/test_support.h"
#include "tools_test_support.h"

using namespace korvane::tools_test;
using korvane::Base64Decode;
using korvane::simulator::Faults;
using korvane::simulator::SimulatorOptions;

namespace {

const char* const kPng =
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==";

std::string OpenJson(int aIdleTimeout = 30) {
  return std::string(
             R"({"Open":{"Mode":"Display","Layout":"0","Language":"de","FontName":"Roboto","ShowTaxes":true,)") +
         R"("LogoImage_Dark":")" + kPng + R"(","LogoImage_Light":")" + kPng + R"(","ThankyouImage":")" +
         kPng + R"(","IdleTimeout":)" + std::to_string(aIdleTimeout) +
         R"(,"IdleText1":"Willkommen","IdleText2":"Frischer Kaffee","ThankyouText1":"Danke","ThankyouText2":"Bis bald",)"
         R"("CloseText1":"Geschlossen","CloseText2":"Nächste Kasse","ColorSurface":"#FFF8F3","ColorPrimary":"#FF8B5000",)"
         R"("ColorSecondary":"nonsense!"}})";
}

const char* const kReceiptJson =
    R"({"Receipt":{"Currency":"EUR","Subtotal":14.04,"Taxes":1.16,"Total":14.04,"Text1":"Tisch 12","Lines":[)"
    R"({"Type":"ProductSale","Code":"1001","Description":"Flat white","Quantity":1.0,"Price":3.4,"Amount":3.4},)"
    R"({"Type":"ProductSale","Code":"2040","Description":"Croissant","Quantity":2.0,"Price":2.9,"Amount":5.8},)"
    R"({"Type":"DiscountPercentage","Code":"9","Description":"Rabatt","Quantity":1.0,"Price":-1.56,"Amount":-1.56}],)"
    R"("ShowPayments":true,"Payments":[{"Type":"Cash","Text1":"Bar","Text2":"","Amount":20.0},)"
    R"({"Type":"Change","Text1":"","Text2":"","Amount":5.96}]}})";

}  // namespace

TEST(Simulator, AnswersEveryFrameOfAConnectionWhateverTheSegments) {
  auto display = StartSimulator();
  FrameClient client(display->DisplayPort());
  ASSERT_TRUE(client.Connected());
  // One frame a byte at a time, then two frames in one segment.
  const std::string first = korvane::simulator::MakeFrame(R"({"Message":{"Text1":"Tea"}})");
  for (const char c : first) {
    client.SendRaw(std::string(1, c));
    std::this_thread::sleep_for(1ms);
  }
  client.SendRaw(korvane::simulator::MakeFrame(R"({"Idle":{}})") +
                 korvane::simulator::MakeFrame(R"({"Close":{}})"));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(client.ReadReply(), std::string("\x02OK\x03")) << "reply " << i;
  const json state = GetState(*display);
  EXPECT_EQ(state["messages"], 3);
  EXPECT_EQ(state["screen"], "closed");
}

TEST(Simulator, AnswersMalformedJsonWithAnErrorAndKeepsServing) {
  auto display = StartSimulator();
  FrameClient client(display->DisplayPort());
  const std::string status = client.Exchange(R"({"Message":{"Text1":"unterminated})");
  EXPECT_EQ(status.rfind("ERROR: malformed JSON", 0), 0u) << status;
  EXPECT_EQ(client.Exchange(R"({"Message":{"Text1":"fine"}})"), "OK");
  EXPECT_EQ(SendFrame(display->DisplayPort(), R"({"Refund":{}})"), "ERROR: unknown message \"Refund\"");
  const json state = GetState(*display);
  EXPECT_EQ(state["errors"], 2);
  EXPECT_EQ(state["messages"], 1);
  EXPECT_EQ(state["lastError"], "unknown message \"Refund\"");
  EXPECT_EQ(state["content"]["text1"], "fine");
}

TEST(Simulator, ShowsEachMessageOnTheScreen) {
  auto display = StartSimulator();
  const auto port = display->DisplayPort();
  EXPECT_EQ(GetState(*display)["screen"], "waiting");

  ASSERT_EQ(SendFrame(port, OpenJson()), "OK");
  json state = GetState(*display);
  EXPECT_EQ(state["screen"], "idle");
  EXPECT_EQ(state["opened"], true);
  EXPECT_EQ(state["content"]["text1"], "Willkommen");
  EXPECT_EQ(state["content"]["text2"], "Frischer Kaffee");
  EXPECT_EQ(state["settings"]["idleTimeout"], 30);
  EXPECT_EQ(state["settings"]["showTaxes"], true);
  EXPECT_EQ(state["settings"]["colors"]["surface"], "#fff8f3");
  EXPECT_EQ(state["settings"]["colors"]["primary"], "#8b5000");
  EXPECT_EQ(state["settings"]["colors"]["secondary"], "#625b71") << "an unreadable colour keeps the default";
  EXPECT_EQ(state["settings"]["colors"]["onPrimary"], "#ffffff");
  EXPECT_EQ(state["labels"]["total"], "Summe");
  EXPECT_TRUE(state["logo"].is_object());
  EXPECT_EQ(state["logo"]["type"], "image/png");
  ASSERT_EQ(state["warnings"].size(), 1u);
  EXPECT_NE(state["warnings"][0].get<std::string>().find("ColorSecondary"), std::string::npos);

  ASSERT_EQ(SendFrame(port, R"({"Message":{"Text1":"Croissant","Text2":"2 x 2.90"}})"), "OK");
  state = GetState(*display);
  EXPECT_EQ(state["screen"], "message");
  EXPECT_EQ(state["content"]["text1"], "Croissant");
  EXPECT_EQ(state["content"]["text2"], "2 x 2.90");
  EXPECT_TRUE(state["content"]["image"].is_null());

  ASSERT_EQ(SendFrame(port, kReceiptJson), "OK");
  state = GetState(*display);
  EXPECT_EQ(state["screen"], "receipt");
  const json& receipt = state["receipt"];
  EXPECT_EQ(receipt["currency"], "EUR");
  EXPECT_EQ(receipt["total"], "14,04") << "German uses a decimal comma";
  EXPECT_EQ(receipt["taxes"], "1,16");
  EXPECT_EQ(receipt["showTaxes"], true);
  EXPECT_EQ(receipt["text1"], "Tisch 12");
  ASSERT_EQ(receipt["lines"].size(), 3u);
  EXPECT_EQ(receipt["lines"][1]["description"], "Croissant");
  EXPECT_EQ(receipt["lines"][1]["quantity"], "2");
  EXPECT_EQ(receipt["lines"][1]["price"], "2,90");
  EXPECT_EQ(receipt["lines"][1]["amount"], "5,80");
  EXPECT_EQ(receipt["lines"][2]["kind"], "discount");
  EXPECT_EQ(receipt["showPayments"], true);
  ASSERT_EQ(receipt["payments"].size(), 2u);
  EXPECT_EQ(receipt["payments"][1]["kind"], "change");

  // Thank-you, idle and close without texts show the ones Open gave.
  ASSERT_EQ(SendFrame(port, R"({"Thankyou":{}})"), "OK");
  state = GetState(*display);
  EXPECT_EQ(state["screen"], "thankyou");
  EXPECT_EQ(state["content"]["text1"], "Danke");
  EXPECT_EQ(state["content"]["image"], state["settings"]["images"]["thankyou"]);

  ASSERT_EQ(SendFrame(port, R"({"Idle":{"Text1":"Heute: Zimtschnecken"}})"), "OK");
  state = GetState(*display);
  EXPECT_EQ(state["screen"], "idle");
  EXPECT_EQ(state["content"]["text1"], "Heute: Zimtschnecken");
  EXPECT_EQ(state["content"]["text2"], "");

  ASSERT_EQ(SendFrame(port, R"({"Close":{}})"), "OK");
  state = GetState(*display);
  EXPECT_EQ(state["screen"], "closed");
  EXPECT_EQ(state["opened"], false);
  EXPECT_EQ(state["content"]["text1"], "Geschlossen");
  EXPECT_EQ(state["content"]["text2"], "Nächste Kasse");
  EXPECT_EQ(state["messages"], 6);
  EXPECT_EQ(state["errors"], 0);
}

TEST(Simulator, ServesThePageWithItsStateAndThePicturesItShows) {
  auto display = StartSimulator();
  ASSERT_EQ(SendFrame(display->DisplayPort(), OpenJson()), "OK");
  ASSERT_EQ(SendFrame(display->DisplayPort(), R"({"Message":{"Text1":"<\/script><b>x"}})"), "OK");
  httplib::Client client("127.0.0.1", display->WebPort());
  const json state = GetState(*display);

  const auto logo = client.Get(state["logo"]["url"].get<std::string>());
  ASSERT_TRUE(logo);
  EXPECT_EQ(logo->status, 200);
  EXPECT_EQ(logo->get_header_value("Content-Type"), "image/png");
  EXPECT_EQ(logo->body, Base64Decode(kPng));
  EXPECT_EQ(client.Get("/image/999999")->status, 404);

  const auto page = client.Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("window.KORVANE_STATE = {"), std::string::npos);
  EXPECT_NE(page->body.find(R"(\u003c/script>\u003cb>x)"), std::string::npos)
      << "a text cannot end the script element";
  EXPECT_EQ(page->body.find("</script><b>"), std::string::npos);
  for (const char* file : {"/display.css", "/display.js"}) {
    const auto response = client.Get(file);
    ASSERT_TRUE(response) << file;
    EXPECT_EQ(response->status, 200) << file;
    EXPECT_GT(response->body.size(), 1000u) << file;
  }
}

TEST(Simulator, ReturnsToTheIdleScreenAfterTheIdleTimeout) {
  auto display = StartSimulator();
  ASSERT_EQ(SendFrame(display->DisplayPort(), OpenJson(1)), "OK");
  ASSERT_EQ(SendFrame(display->DisplayPort(), kReceiptJson), "OK");
  EXPECT_EQ(GetState(*display)["screen"], "receipt");
  EXPECT_TRUE(display->WaitFor([](const json& s) { return s["screen"] == "idle"; }, 10s));
  const json state = GetState(*display);
  EXPECT_EQ(state["content"]["text1"], "Willkommen");
  EXPECT_EQ(state["messages"], 2);
}

TEST(Simulator, StaysOnTheScreenWhenTheIdleTimeoutIsZero) {
  auto display = StartSimulator();
  ASSERT_EQ(SendFrame(display->DisplayPort(), R"({"Open":{"IdleTimeout":0}})"), "OK");
  ASSERT_EQ(SendFrame(display->DisplayPort(), R"({"Message":{"Text1":"stays"}})"), "OK");
  EXPECT_FALSE(display->WaitFor([](const json& s) { return s["screen"] != "message"; }, 1500ms));
}

TEST(Simulator, AnswersAWaitingStateRequestAsSoonAsTheScreenChanges) {
  auto display = StartSimulator();
  const auto version = display->Version();
  std::atomic<bool> answered{false};
  json seen;
  std::thread reader([&] {
    httplib::Client client("127.0.0.1", display->WebPort());
    client.set_read_timeout(30, 0);
    const auto response = client.Get("/state?after=" + std::to_string(version) + "&wait=20000");
    if (response) seen = json::parse(response->body);
    answered = true;
  });
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(answered) << "the request waits for a change";
  ASSERT_EQ(SendFrame(display->DisplayPort(), R"({"Message":{"Text1":"now"}})"), "OK");
  EXPECT_TRUE(korvane::testing::WaitFor([&] { return answered.load(); }, 10s));
  reader.join();
  EXPECT_EQ(seen["content"]["text1"], "now");
  EXPECT_GT(seen["version"].get<std::uint64_t>(), version);
}

TEST(Simulator, RefusesConnectionsWhenAskedTo) {
  SimulatorOptions options;
  options.fFaults.fRefuse = true;
  auto display = StartSimulator(options);
  ASSERT_NE(display->DisplayPort(), 0);
  FrameClient client(display->DisplayPort());
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(client.ConnectError(), ECONNREFUSED);
}

TEST(Simulator, ShowsButNeverAnswersWhenAskedNotToReply) {
  SimulatorOptions options;
  options.fFaults.fNoReply = true;
  auto display = StartSimulator(options);
  FrameClient client(display->DisplayPort());
  client.Send(R"({"Message":{"Text1":"silent"}})");
  EXPECT_TRUE(display->WaitFor([](const json& s) { return s["content"]["text1"] == "silent"; }, 10s));
  bool closed = false;
  EXPECT_FALSE(client.ReadReply(300ms, &closed));
  EXPECT_FALSE(closed) << "the connection stays open";
  EXPECT_TRUE(client.Pending().empty());
}

TEST(Simulator, AnswersLateWithAReplyDelay) {
  SimulatorOptions options;
  options.fFaults.fReplyDelay = 300ms;
  auto display = StartSimulator(options);
  FrameClient client(display->DisplayPort());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.Exchange(R"({"Idle":{}})"), "OK");
  EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
  EXPECT_EQ(client.Exchange(R"({"Close":{}})"), "OK") << "later frames of the connection are answered too";
}

TEST(Simulator, ClosesBeforeEtxWhenAskedTo) {
  SimulatorOptions options;
  options.fFaults.fCloseBeforeEtx = true;
  auto display = StartSimulator(options);
  FrameClient client(display->DisplayPort());
  client.Send(R"({"Idle":{}})");
  bool closed = false;
  EXPECT_FALSE(client.ReadReply(10s, &closed));
  EXPECT_TRUE(closed);
  EXPECT_EQ(client.Pending(), "\x02OK");
}

TEST(Simulator, RecordsEveryFrameWithItsTimeOneLineEach) {
  korvane::testing::TempDir folder;
  SimulatorOptions options;
  options.fRecordFile = folder / "record.jsonl";
  auto display = StartSimulator(options);
  const std::string twice = R"({"Message":{"Text1":"first","Text1":"second"}})";
  ASSERT_EQ(SendFrame(display->DisplayPort(), twice), "OK");
  ASSERT_NE(SendFrame(display->DisplayPort(), "{\"Idle\":\n{"), "OK");
  display->Stop();

  const auto lines = SplitLines(korvane::testing::ReadFile(options.fRecordFile));
  ASSERT_EQ(lines.size(), 2u);
  const std::regex time(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
  const json first = json::parse(lines[0]);
  EXPECT_TRUE(std::regex_match(first["time"].get<std::string>(), time)) << first["time"];
  EXPECT_EQ(first["status"], "OK");
  EXPECT_EQ(first["peer"].get<std::string>().rfind("127.0.0.1:", 0), 0u);
  EXPECT_EQ(first["message"]["Message"]["Text1"], "second");
  EXPECT_NE(lines[0].find(twice), std::string::npos) << "recorded as it came, both members";
  const json second = json::parse(lines[1]);
  EXPECT_EQ(second["status"].get<std::string>().rfind("ERROR: malformed JSON", 0), 0u);
  EXPECT_EQ(second["text"], "{\"Idle\":\n{");
}

TEST(Simulator, ServesManyHostsAtOnce) {
  auto display = StartSimulator();
  constexpr int kClients = 8, kFrames = 25;
  std::atomic<int> ok{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c)
    clients.emplace_back([&, c] {
      FrameClient client(display->DisplayPort());
      for (int f = 0; f < kFrames; ++f)
        if (client.Exchange(R"({"Message":{"Text1":"client )" + std::to_string(c) + R"("}})") == "OK") ++ok;
    });
  std::thread reader([&] {
    for (int i = 0; i < 20; ++i) GetState(*display);
  });
  for (auto& client : clients) client.join();
  reader.join();
  EXPECT_EQ(ok, kClients * kFrames);
  EXPECT_EQ(GetState(*display)["messages"], kClients * kFrames);
}

TEST(Simulator, StopsPromptlyWithConnectionsAndPageRequestsOpen) {
  auto display = StartSimulator();
  FrameClient idle(display->DisplayPort());
  FrameClient halfway(display->DisplayPort());
  halfway.SendRaw("\x02{\"Mess");
  std::thread waiting([&] {
    httplib::Client client("127.0.0.1", display->WebPort());
    client.set_read_timeout(30, 0);
    client.Get("/state?after=" + std::to_string(display->Version()) + "&wait=25000");
  });
  std::this_thread::sleep_for(100ms);
  const auto start = std::chrono::steady_clock::now();
  display->Stop();
  waiting.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  bool closed = false;
  EXPECT_FALSE(halfway.ReadReply(5s, &closed));
  EXPECT_TRUE(closed);
}

TEST(SimulatorProgram, ExplainsBadOptionsAndBusyPortsInOneLine) {
  auto display = StartSimulator();
  const struct {
    std::vector<std::string> fArgs;
    int fStatus;
    const char* fError;
  } kCases[] = {
      {{"--port", "http"}, 2, "--port expects a number from 0 to 65535, not 'http'"},
      {{"--frobnicate"}, 2, "unknown option '--frobnicate'"},
      {{"--trickle", "slow"}, 2, "--trickle expects a number from 0 to 3600000, not 'slow'"},
      {{"--port", std::to_string(display->DisplayPort()), "--no-web"}, 1, "cannot listen on 127.0.0.1:"},
      {{"--port", "0", "--web-port", std::to_string(display->WebPort())}, 1, "cannot serve the page on"},
      {{"--port", "0", "--no-web", "--record", "/nonexistent/folder/r.jsonl"},
       1,
       "cannot write the record file"},
  };
  for (const auto& test : kCases) {
    std::vector<std::string> args = {KORVANE_SIMULATOR_TOOL};
    args.insert(args.end(), test.fArgs.begin(), test.fArgs.end());
    const ProgramRun run = RunProgram(args, "", 30s);
    EXPECT_EQ(run.fStatus, test.fStatus) << test.fError << "\n" << run.fErr;
    EXPECT_NE(run.fErr.find(test.fError), std::string::npos) << run.fErr;
    EXPECT_EQ(SplitLines(run.fErr).size(), 1u) << run.fErr;
  }
}

namespace {

// POST /faults with aBody; the status and the body of the answer.
std::pair<int, json> PostFaults(const korvane::simulator::DisplaySimulator& aDisplay,
                                const std::string& aBody) {
  httplib::Client client("127.0.0.1", aDisplay.WebPort());
  client.set_read_timeout(10, 0);
  const auto response = client.Post("/faults", aBody, "application/json");
  if (!response) return {0, nullptr};
  return {response->status, json::parse(response->body, nullptr, false)};
}

json GetFaults(const korvane::simulator::DisplaySimulator& aDisplay) {
  httplib::Client client("127.0.0.1", aDisplay.WebPort());
  client.set_read_timeout(10, 0);
  const auto response = client.Get("/faults");
  return response && response->status == 200 ? json::parse(response->body) : json();
}

const json kNoFaults = json::parse(
    R"({"refuse":false,"noReply":false,"replyDelay":0,"closeBeforeEtx":false,"stopReading":false,"trickle":0})");

}  // namespace

TEST(SimulatorFaults, SwitchEachFaultOverHttpWhileItRuns) {
  auto display = StartSimulator();
  const auto port = display->DisplayPort();
  EXPECT_EQ(GetFaults(*display), kNoFaults);
  // Each fault switched on alone, checked on a new connection, switched off.
  const struct {
    const char* fOn;
    std::function<void()> fCheck;
  } kCases[] = {
      {R"({"refuse":true})",
       [&] {
         FrameClient client(port);
         EXPECT_FALSE(client.Connected());
         EXPECT_EQ(client.ConnectError(), ECONNREFUSED);
       }},
      {R"({"noReply":true})",
       [&] {
         FrameClient client(port);
         client.Send(R"({"Message":{"Text1":"unanswered"}})");
         EXPECT_TRUE(
             display->WaitFor([](const json& s) { return s["content"]["text1"] == "unanswered"; }, 10s));
         EXPECT_FALSE(client.ReadReply(300ms));
       }},
      {R"({"replyDelay":300})",
       [&] {
         FrameClient client(port);
         const auto start = std::chrono::steady_clock::now();
         EXPECT_EQ(client.Exchange(R"({"Idle":{}})"), "OK");
         EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
       }},
      {R"({"closeBeforeEtx":true})",
       [&] {
         FrameClient client(port);
         client.Send(R"({"Idle":{}})");
         bool closed = false;
         EXPECT_FALSE(client.ReadReply(10s, &closed));
         EXPECT_TRUE(closed);
         EXPECT_EQ(client.Pending(), "\x02OK");
       }},
      {R"({"trickle":150})",
       [&] {
         FrameClient client(port);
         client.Send(R"({"Idle":{}})");
         // The answer comes a byte at a time: part of it is there before all of it.
         bool sawPart = false;
         std::optional<std::string> reply;
         const auto deadline = std::chrono::steady_clock::now() + 10s;
         while (!reply && std::chrono::steady_clock::now() < deadline) {
           reply = client.ReadReply(100ms);
           if (!reply && !client.Pending().empty()) sawPart = true;
         }
         EXPECT_TRUE(sawPart);
         EXPECT_EQ(reply, std::string("\x02OK\x03"));
       }},
  };
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.fOn);
    const auto [status, faults] = PostFaults(*display, test.fOn);
    EXPECT_EQ(status, 200);
    json expected = kNoFaults;
    expected.update(json::parse(test.fOn));
    EXPECT_EQ(faults, expected);
    EXPECT_EQ(GetFaults(*display), expected);
    EXPECT_EQ(GetState(*display)["faults"], expected) << "the page sees the faults";
    test.fCheck();
    json off = json::parse(test.fOn);
    for (auto& [name, value] : off.items()) value = kNoFaults[name];
    EXPECT_EQ(PostFaults(*display, off.dump()).second, kNoFaults);
    EXPECT_EQ(SendFrame(port, R"({"Message":{"Text1":"well again"}})"), "OK");
  }
}

TEST(SimulatorFaults, StopReadingFreezesEveryConnectionAndThawsInOrder) {
  auto display = StartSimulator();
  const auto port = display->DisplayPort();
  FrameClient before(port);  // open before the display froze
  ASSERT_EQ(before.Exchange(R"({"Message":{"Text1":"shown"}})"), "OK");
  const auto version = display->Version();
  korvane::simulator::Faults frozen;
  frozen.fStopReading = true;
  display->SetFaults(frozen);
  EXPECT_GT(display->Version(), version) << "a change of the faults wakes the page";

  before.Send(R"({"Message":{"Text1":"first"}})");
  EXPECT_FALSE(before.ReadReply(300ms));
  FrameClient after(port);
  EXPECT_TRUE(after.Connected()) << "the kernel still completes the connection";
  after.Send(R"({"Message":{"Text1":"second"}})");
  EXPECT_FALSE(after.ReadReply(300ms));
  EXPECT_EQ(GetState(*display)["content"]["text1"], "shown") << "nothing was read";

  display->SetFaults({});
  EXPECT_EQ(before.ReadReply(), std::string("\x02OK\x03"));
  EXPECT_EQ(after.ReadReply(), std::string("\x02OK\x03"));
  const json state = GetState(*display);
  EXPECT_EQ(state["content"]["text1"], "second") << "what waited is read oldest first";
  EXPECT_EQ(state["messages"], 3);
}

TEST(SimulatorFaults, RejectsABadChangeAndKeepsTheFaults) {
  SimulatorOptions options;
  options.fFaults.fTrickle = 20ms;  // the start-up options set the first faults
  auto display = StartSimulator(options);
  json expected = kNoFaults;
  expected["trickle"] = 20;
  EXPECT_EQ(GetFaults(*display), expected);
  const struct {
    const char* fBody;
    const char* fError;
  } kCases[] = {
      {"stop reading", "malformed JSON"},
      {"[true]", "the faults must be a JSON object"},
      {R"({"stopReading":"yes"})", "\"stopReading\" must be true or false"},
      {R"({"trickle":-5})", "\"trickle\" must be a whole number of milliseconds from 0 to 3600000"},
      {R"({"replyDelay":1.5})", "\"replyDelay\" must be a whole number"},
      {R"({"refuse":true,"freeze":true})", "unknown fault \"freeze\""},
  };
  for (const auto& test : kCases) {
    const auto [status, answer] = PostFaults(*display, test.fBody);
    EXPECT_EQ(status, 400) << test.fBody;
    EXPECT_NE(answer.value("error", std::string()).find(test.fError), std::string::npos)
        << test.fBody << ": " << answer;
    EXPECT_EQ(GetFaults(*display), expected) << test.fBody;
  }
  EXPECT_EQ(SendFrame(display->DisplayPort(), R"({"Idle":{}})"), "OK") << "the port still listens";
}
