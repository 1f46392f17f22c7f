// korvane-host as a program: bad input, every example through the exports
// against the simulator, the version and the demo sale.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "helpers/base64.h"
#include "support/test_support.h"
#include "terminal_session.h"
#include "tools_test_support.h"

using namespace korvane::tools_test;
using korvane::Base64Decode;
using korvane::simulator::SimulatorOptions;

namespace {

ProgramRun Host(std::vector<std::string> aArgs, const std::string& aInput = "") {
  aArgs.insert(aArgs.begin(), {KORVANE_HOST_TOOL, "--library", LibraryPath()});
  return RunProgram(aArgs, aInput);
}

std::string Display(const korvane::simulator::DisplaySimulator& aDisplay) {
  return "127.0.0.1:" + std::to_string(aDisplay.DisplayPort());
}

std::vector<json> Recorded(const std::string& aFile) {
  std::vector<json> messages;
  for (const auto& line : SplitLines(korvane::testing::ReadFile(aFile)))
    messages.push_back(json::parse(line));
  return messages;
}

// The blocks "== CALL FILE" ... "Result: N (...)" of a call's output.
struct CallBlock {
  std::string fHeader;
  std::vector<std::string> fEnvelope;
  std::string fErrorMessage;
  std::string fResult;
};

std::vector<CallBlock> CallBlocks(const std::string& aOut) {
  std::vector<CallBlock> blocks;
  for (const auto& line : SplitLines(aOut)) {
    if (line.rfind("== ", 0) == 0) {
      blocks.push_back({line.substr(3), {}, "", ""});
    } else if (blocks.empty()) {
      continue;
    } else if (line.rfind("ErrorMessage: ", 0) == 0) {
      blocks.back().fErrorMessage = line.substr(14);
    } else if (line.rfind("Result: ", 0) == 0) {
      blocks.back().fResult = line.substr(8, line.find(' ', 8) - 8);
    } else {
      blocks.back().fEnvelope.push_back(line);
    }
  }
  return blocks;
}

}  // namespace

TEST(HostTool, ExplainsBadInputInOneLineAndFails) {
  korvane::testing::TempDir folder;
  korvane::testing::WriteFile(folder / "notes.txt", "just some text, no XML");
  korvane::testing::WriteFile(folder / "cut.xml", "<ReceiptPrinterManager><Type>");
  korvane::testing::WriteFile(folder / "latin1.xml", "<a>caf\xe9</a>");
  SimulatorOptions refusing;
  refusing.fFaults.fRefuse = true;
  auto closed = StartSimulator(refusing);
  const std::string open = ExamplePath("open.xml");
  const struct {
    std::vector<std::string> fArgs;
    int fStatus;
    const char* fError;
  } kCases[] = {
      {{"call", "OPEN", folder / "notes.txt"}, 1, "notes.txt is not an XML request"},
      {{"call", "OPEN", folder / "cut.xml"}, 1, "cut.xml is not an XML request"},
      {{"call", "OPEN", folder / "latin1.xml"}, 1, "latin1.xml is not UTF-8 text"},
      {{"call", "OPEN", folder / "missing.xml"}, 1, "cannot read the request file"},
      {{"call", "OPEN", folder.Path()}, 1, "is a folder"},
      {{"call", "--raw", "--strict", "OPEN", open},
       2,
       "--raw sends the file unchecked: it cannot take --strict"},
      {{"message"}, 2, "message takes one or two lines of text"},
      {{"message", "--display", "localhost", "Hello"}, 1, "--display expects HOST:PORT"},
      {{"template", "REFUND"}, 1, "unknown export 'REFUND'"},
      {{"shell", "now"}, 2, "unknown argument 'now' for shell"},
      {{"call", "REFUND", open}, 1, "unknown export 'REFUND' (the request calls are OPEN, CLOSE,"},
      {{"call", "OPEN"}, 2, "call needs a request file after OPEN"},
      {{"call", "--display", "localhost", "OPEN", open}, 1, "--display expects HOST:PORT, not 'localhost'"},
      {{"--library", "/nonexistent/QORD_KORVANE_10.so", "version"},
       1,
       "cannot load the library /nonexistent/"},
      {{"--library", open, "call", "OPEN", open}, 1, "cannot load the library"},
      {{"demo", "--display", Display(*closed)}, 1, "does not accept connections: Connection refused"},
      {{"demo", "--pace", "soon"}, 2, "--pace expects a number"},
      {{"demo", "--faults", "--display", Display(*closed)}, 2, "--faults needs the embedded simulator"},
      {{"refund"}, 2, "unknown command 'refund'"},
  };
  for (const auto& test : kCases) {
    const ProgramRun run = Host(test.fArgs);
    EXPECT_EQ(run.fStatus, test.fStatus) << test.fError << "\n" << run.fErr;
    EXPECT_NE(run.fErr.find(test.fError), std::string::npos) << run.fErr;
    EXPECT_EQ(SplitLines(run.fErr).size(), 1u) << run.fErr;
    EXPECT_EQ(run.fErr.rfind("korvane-host: ", 0), 0u) << run.fErr;
  }
}

TEST(HostTool, SendsEveryExampleThroughItsExport) {
  SKIP_WITHOUT_EXPORTS();
  korvane::testing::TempDir folder;
  SimulatorOptions options;
  options.fRecordFile = folder / "record.jsonl";
  auto display = StartSimulator(options);
  const char* const kCalls[][2] = {{"OPEN", "open.xml"},         {"IDLE", "idle.xml"},
                                   {"MESSAGE", "message.xml"},   {"RECEIPT", "receipt.xml"},
                                   {"THANKYOU", "thankyou.xml"}, {"CLOSEMESSAGE", "closemessage.xml"},
                                   {"CLOSE", "close.xml"}};
  std::vector<std::string> args = {"call", "--display", Display(*display)};
  for (const auto& call : kCalls) args.insert(args.end(), {call[0], ExamplePath(call[1])});
  const ProgramRun run = Host(args);
  ASSERT_EQ(run.fStatus, 0) << run.fOut << run.fErr;
  EXPECT_EQ(run.fErr, "");

  const auto blocks = CallBlocks(run.fOut);
  ASSERT_EQ(blocks.size(), std::size(kCalls)) << run.fOut;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const CallBlock& block = blocks[i];
    EXPECT_EQ(block.fHeader, std::string(kCalls[i][0]) + " " + ExamplePath(kCalls[i][1]));
    const std::size_t pieces = i == 0 ? 4 : 3;
    ASSERT_EQ(block.fEnvelope.size(), pieces) << block.fHeader << "\n" << run.fOut;
    if (i == 0) {
      EXPECT_EQ(block.fEnvelope[0], "<Handle>1</Handle>");
    }
    EXPECT_EQ(block.fEnvelope[pieces - 3], "<Error>False</Error>") << block.fHeader;
    EXPECT_EQ(block.fEnvelope[pieces - 2], "<ErrorText></ErrorText>") << block.fHeader;
    EXPECT_TRUE(
        std::regex_match(block.fEnvelope[pieces - 1],
                         std::regex("<LogFileName>/.*/QORD_KORVANE_10_till1_\\d{8}\\.log</LogFileName>")))
        << block.fEnvelope[pieces - 1];
    EXPECT_EQ(block.fErrorMessage, "(none)");
    EXPECT_EQ(block.fResult, "0");
  }

  const auto recorded = Recorded(options.fRecordFile);
  ASSERT_EQ(recorded.size(), 7u);
  const char* const kNames[] = {"Open", "Idle", "Message", "Receipt", "Thankyou", "Close", "Close"};
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(recorded[i]["status"], "OK") << i;
    EXPECT_TRUE(recorded[i]["message"].contains(kNames[i])) << recorded[i].dump().substr(0, 200);
  }
  const json& open = recorded[0]["message"]["Open"];
  EXPECT_EQ(open["Mode"], "Display");
  EXPECT_EQ(open["IdleTimeout"], 30);
  EXPECT_EQ(open["ShowTaxes"], true);
  EXPECT_EQ(open["IdleText1"], "Welcome to Harbour Café");
  EXPECT_EQ(open["ColorPrimary"], "#8B5000");
  EXPECT_EQ(Base64Decode(open["LogoImage_Dark"].get<std::string>()),
            korvane::testing::ReadFile(ExamplePath("images/logo.png")));
  EXPECT_EQ(open["LogoImage_Light"], open["LogoImage_Dark"]);
  EXPECT_EQ(recorded[1]["message"]["Idle"]["Text1"], "Welcome to Harbour Café");
  EXPECT_EQ(recorded[2]["message"]["Message"]["Text2"], "2 × 2.90   € 5.80");
  const json& receipt = recorded[3]["message"]["Receipt"];
  EXPECT_EQ(receipt["Currency"], "EUR");
  EXPECT_EQ(receipt["Total"], 14.04);
  ASSERT_EQ(receipt["Lines"].size(), 5u);
  EXPECT_EQ(receipt["Lines"][1]["Description"], "Almond croissant");
  EXPECT_EQ(receipt["Lines"][1]["Quantity"], 2.0);
  EXPECT_EQ(receipt["ShowPayments"], true);
  ASSERT_EQ(receipt["Payments"].size(), 2u);
  EXPECT_EQ(receipt["Payments"][1]["Type"], "Change");
  EXPECT_EQ(recorded[4]["message"]["Thankyou"]["Text1"], "Thank you for your visit!");
  EXPECT_EQ(recorded[6]["message"], json::parse(R"({"Close":{}})"));

  const json state = GetState(*display);
  EXPECT_EQ(state["screen"], "closed");
  EXPECT_EQ(state["content"]["text1"], "This till is closed");
  EXPECT_EQ(state["errors"], 0);
}

TEST(HostTool, ReadsARequestFromStandardInput) {
  SKIP_WITHOUT_EXPORTS();
  auto display = StartSimulator();
  const ProgramRun run = Host({"call", "--display", Display(*display), "OPEN", "-"},
                              korvane::testing::ReadFile(ExamplePath("open.xml")));
  EXPECT_EQ(run.fStatus, 0) << run.fOut << run.fErr;
  EXPECT_NE(run.fOut.find("== OPEN -\n<Handle>1</Handle>\n<Error>False</Error>"), std::string::npos)
      << run.fOut;
  EXPECT_EQ(GetState(*display)["screen"], "idle");
}

TEST(HostTool, PrintsAFailedCallAndEndsWithAnError) {
  SKIP_WITHOUT_EXPORTS();
  SimulatorOptions refusing;
  refusing.fFaults.fRefuse = true;
  auto closed = StartSimulator(refusing);
  // A refusing display; then a handle that no OPEN of this process made.
  ProgramRun run = Host({"call", "--display", Display(*closed), "OPEN", ExamplePath("open.xml")});
  EXPECT_EQ(run.fStatus, 1);
  EXPECT_NE(run.fOut.find("<Error>True</Error>"), std::string::npos) << run.fOut;
  EXPECT_NE(run.fOut.find("Result: -1"), std::string::npos) << run.fOut;
  EXPECT_EQ(SplitLines(run.fErr).size(), 1u) << run.fErr;
  EXPECT_EQ(run.fErr.rfind("korvane-host: OPEN " + ExamplePath("open.xml") + " failed: ", 0), 0u) << run.fErr;

  run = Host({"call", "MESSAGE", ExamplePath("message.xml"), "IDLE", ExamplePath("idle.xml")});
  EXPECT_EQ(run.fStatus, 1);
  EXPECT_EQ(CallBlocks(run.fOut).size(), 1u) << "stops at the first failure";
  run =
      Host({"call", "--keep-going", "MESSAGE", ExamplePath("message.xml"), "IDLE", ExamplePath("idle.xml")});
  EXPECT_EQ(run.fStatus, 1);
  EXPECT_EQ(CallBlocks(run.fOut).size(), 2u);
}

TEST(HostTool, EndsACallThatADisplayNeverAnswers) {
  SKIP_WITHOUT_EXPORTS();
  SimulatorOptions silent;
  silent.fFaults.fNoReply = true;
  auto display = StartSimulator(silent);
  const ProgramRun run =
      Host({"--timeout", "2", "call", "--display", Display(*display), "OPEN", ExamplePath("open.xml")});
  EXPECT_EQ(run.fStatus, 1) << run.fOut << run.fErr;
  EXPECT_EQ(SplitLines(run.fErr).size(), 1u) << run.fErr;
}

TEST(HostTool, PrintsTheDriversVersion) {
  SKIP_WITHOUT_EXPORTS();
  ProgramRun run = Host({"version"});
  EXPECT_EQ(run.fStatus, 0) << run.fErr;
  EXPECT_TRUE(std::regex_match(run.fOut, std::regex(R"(Version \S+ - \d\d/\d\d/\d{4}\n)"))) << run.fOut;
  run = Host({"version", "qord_korvane_10"});
  EXPECT_EQ(run.fStatus, 1);
  EXPECT_EQ(run.fErr.rfind("korvane-host: no driver named 'qord_korvane_10'", 0), 0u) << run.fErr;
}

TEST(HostTool, RunsTheDemoSaleAgainstAGivenDisplay) {
  SKIP_WITHOUT_EXPORTS();
  korvane::testing::TempDir folder;
  SimulatorOptions options;
  options.fRecordFile = folder / "record.jsonl";
  auto display = StartSimulator(options);
  const ProgramRun run = Host({"demo", "--display", Display(*display)});
  ASSERT_EQ(run.fStatus, 0) << run.fOut << run.fErr;
  const auto lines = SplitLines(run.fOut);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "Display: " + Display(*display));
  const std::regex progress(
      R"(\[ ?(\d+)/(\d+)\] (OPEN|IDLE|MESSAGE|RECEIPT|THANKYOU|CLOSE) +.* ok +\d+\.\d ms)");
  std::vector<std::string> calls;
  std::string logFile;
  for (const auto& line : lines) {
    std::smatch match;
    if (std::regex_match(line, match, progress)) calls.push_back(match[3]);
    if (line.rfind("Device log: ", 0) == 0) logFile = line.substr(12);
  }
  ASSERT_EQ(calls.size(), 15u) << run.fOut;
  EXPECT_EQ(calls.front(), "OPEN");
  EXPECT_EQ(calls.back(), "CLOSE");
  EXPECT_TRUE(std::filesystem::exists(logFile)) << logFile;
  EXPECT_NE(run.fOut.find("Summary: 15 calls, 15 ok, 0 failed"), std::string::npos) << run.fOut;

  const auto recorded = Recorded(options.fRecordFile);
  ASSERT_EQ(recorded.size(), 15u);
  for (const auto& entry : recorded) EXPECT_EQ(entry["status"], "OK");
  const json& paid = recorded[11]["message"]["Receipt"];
  EXPECT_EQ(paid["Currency"], "€");
  EXPECT_EQ(paid["Total"], 14.04);
  EXPECT_EQ(paid["Lines"].size(), 5u);
  EXPECT_EQ(paid["Payments"].size(), 2u);
  EXPECT_EQ(GetState(*display)["screen"], "closed");
}

TEST(HostTool, DemoStartsItsOwnDisplayAndPrintsThePageFirst) {
  SKIP_WITHOUT_EXPORTS();
  const ProgramRun run = Host({"demo"});
  ASSERT_EQ(run.fStatus, 0) << run.fOut << run.fErr;
  const auto lines = SplitLines(run.fOut);
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(Customer display: http://127\.0\.0\.1:\d+/)")))
      << lines[0];
  EXPECT_NE(
      run.fOut.find("The display received 15 messages (0 it could not use) and shows the closed screen."),
      std::string::npos)
      << run.fOut;
}

TEST(HostTool, FaultDemoFreezesTheDisplayAndTheSaleGoesOn) {
  SKIP_WITHOUT_EXPORTS();
  const ProgramRun run = Host({"demo", "--faults"});
  ASSERT_EQ(run.fStatus, 0) << run.fOut << run.fErr;
  EXPECT_EQ(run.fErr, "");
  const auto lines = SplitLines(run.fOut);
  const std::regex step(R"(\[ ?(\d+)/15\] (\w+) +.* (ok|FAILED) +(\d+)\.\d ms(.*))");
  std::vector<std::string> outcomes;
  std::size_t freezes = 0, thaws = 0, caughtUp = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    std::smatch match;
    if (std::regex_match(line, match, step)) {
      outcomes.push_back(match[3]);
      if (match[3] == "FAILED") {
        // Each failed call returns its error (the library's own text) within the bound.
        EXPECT_TRUE(std::regex_match(match[5].str(), std::regex("  within 3000 ms: .+"))) << line;
        EXPECT_LE(std::stoi(match[4]), 3000) << line;
      }
    }
    if (line.rfind("-- the display freezes", 0) == 0) {
      ++freezes;
      EXPECT_EQ(outcomes.size(), 6u) << "half-way";
    }
    if (line.rfind("-- the display reads again (it froze on the receipt screen, 2 lines", 0) == 0) ++thaws;
    if (line == "        the display caught up: receipt screen, 4 lines, total 15.60") {
      ++caughtUp;
      EXPECT_EQ(outcomes.size(), 10u) << "at the first call after the freeze";
    }
  }
  const std::vector<std::string> expected = {"ok",     "ok", "ok", "ok", "ok", "ok", "FAILED", "FAILED",
                                             "FAILED", "ok", "ok", "ok", "ok", "ok", "ok"};
  EXPECT_EQ(outcomes, expected) << run.fOut;
  EXPECT_EQ(freezes, 1u) << run.fOut;
  EXPECT_EQ(thaws, 1u) << run.fOut;
  EXPECT_EQ(caughtUp, 1u) << run.fOut;
  EXPECT_NE(run.fOut.find("Summary: 15 calls, 12 ok, 3 failed"), std::string::npos) << run.fOut;
  EXPECT_NE(run.fOut.find("While the display was frozen: 3 of 3 calls failed, 3 of them within 3000 ms."),
            std::string::npos)
      << run.fOut;
  EXPECT_NE(run.fOut.find("shows the closed screen"), std::string::npos) << run.fOut;
}

TEST(HostTool, ReadsUtf16RequestFilesWithAByteOrderMark) {
  SKIP_WITHOUT_EXPORTS();
  korvane::testing::TempDir folder;
  SimulatorOptions options;
  options.fRecordFile = folder / "record.jsonl";
  auto display = StartSimulator(options);
  // As a Windows editor saves "Unicode" (little-endian) and "Unicode big
  // endian": a byte order mark, then two bytes a unit; "€" is one unit,
  // "𝄞" two.
  const std::u16string text =
      u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<ReceiptPrinterManager>"
      u"<Type>CustomerDisplay</Type><Driver>QORD_KORVANE_10</Driver><Method>MESSAGE</Method>"
      u"<Handle>1</Handle><Parameters/><Message><Text1>Caf\u00e9 cr\u00e8me</Text1>"
      u"<Text2>\u20ac 3.40 \U0001D11E</Text2></Message></ReceiptPrinterManager>";
  for (const bool little : {true, false}) {
    std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
    for (const char16_t unit : text) {
      const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
      bytes += little ? std::string{low, high} : std::string{high, low};
    }
    korvane::testing::WriteFile(folder / (little ? "le.xml" : "be.xml"), bytes);
  }
  const ProgramRun run =
      Host({"call", "--strict", "--display", Display(*display), "OPEN", ExamplePath("open.xml"), "MESSAGE",
            folder / "le.xml", "MESSAGE", folder / "be.xml"});
  ASSERT_EQ(run.fStatus, 0) << run.fOut << run.fErr;
  const auto recorded = Recorded(options.fRecordFile);
  ASSERT_EQ(recorded.size(), 3u);
  for (std::size_t i = 1; i < 3; ++i) {
    EXPECT_EQ(recorded[i]["message"]["Message"]["Text1"], "Caf\u00e9 cr\u00e8me") << recorded[i];
    EXPECT_EQ(recorded[i]["message"]["Message"]["Text2"], "\u20ac 3.40 \U0001D11E") << recorded[i];
  }
  // Half a unit at the end, and a lone surrogate: one line each.
  korvane::testing::WriteFile(folder / "odd.xml", std::string("\xFF\xFE<\0a", 4) + "\0");
  korvane::testing::WriteFile(folder / "lone.xml", std::string("\xFF\xFE<\0\x00\xD8>\0", 8));
  for (const char* file : {"odd.xml", "lone.xml"}) {
    const ProgramRun bad = Host({"call", "OPEN", folder / file});
    EXPECT_EQ(bad.fStatus, 1) << file;
    EXPECT_NE(bad.fErr.find(std::string(file) + " is"), std::string::npos) << bad.fErr;
    EXPECT_EQ(SplitLines(bad.fErr).size(), 1u) << bad.fErr;
  }
}

// --strict names each element no request of the export reads, with its line
// and column, and calls nothing; the examples pass it.
TEST(HostTool, StrictPointsAtTheTypoWithLineAndColumn) {
  korvane::testing::TempDir folder;
  SimulatorOptions options;
  options.fRecordFile = folder / "record.jsonl";
  auto display = StartSimulator(options);
  const std::string head = "<?xml version=\"1.0\"?>\n<ReceiptPrinterManager>\n  <Method>X</Method>\n";
  const struct {
    const char* fExport;
    std::string fBody;  // from line 4
    std::vector<std::string> fFindings;
  } kCases[] = {
      {"MESSAGE",
       "  <Handle>1</Handle>\n  <Parameters/>\n  <Message>\n    <Txet1>Almond</Txet1>\n    "
       "<text2>2.90</text2>\n"
       "  </Message>\n",
       {":7:5: <Txet1> in <Message> is not read by MESSAGE; did you mean <Text1>?",
        ":8:5: <text2> in <Message> is not read by MESSAGE; letter case counts: <Text2>"}},
      {"OPEN",
       "  <Connection><Type>TCP</Type><Address>127.0.0.1</Address><Prot>7390</Prot></Connection>\n"
       "  <Parameters><IdleTimout>30</IdleTimout><LogoImage></LogoImage></Parameters>\n",
       {":4:59: <Prot> in <Connection> is not read by OPEN; did you mean <Port>?",
        ":5:15: <IdleTimout> in <Parameters> is not read by OPEN; did you mean <IdleTimeout>?"}},
      {"OPEN",
       "  <Connection><Type>TCP</Type><SerialPort>COM1</SerialPort></Connection>\n  <Parameters/>\n",
       {":4:31: <SerialPort> in <Connection> is not read for a tcp connection"}},
      {"IDLE",
       "  <Parameters><IdleText1>Hi</IdleText1></Parameters>\n  <Idel><Text1>Welcome</Text1></Idel>\n",
       {":4:15: <IdleText1> in <Parameters> is a display setting: only OPEN reads it",
        ":5:3: <Idel> in the request is not read by IDLE; did you mean <Idle>?",
        ":2:1: no <Idle> in the IDLE request: the call fails with \"Idle node not found\""}},
      {"RECEIPT",
       "  <Parameters/>\n  <Receipt><Lines>\n    <!-- the coffee -->\n    "
       "<Line><Descripton>Tea</Descripton></Line>\n"
       "  </Lines></Receipt>\n",
       {":6:5: a comment inside <Lines> counts as an empty line; put it outside",
        ":7:11: <Descripton> in <Line> is not read by RECEIPT; did you mean <Description>?"}},
  };
  for (const auto& test : kCases) {
    const std::string file = folder / "request.xml";
    korvane::testing::WriteFile(file, head + test.fBody + "</ReceiptPrinterManager>\n");
    const ProgramRun run = Host({"call", "--strict", "--display", Display(*display), test.fExport, file});
    EXPECT_EQ(run.fStatus, 1) << run.fErr;
    EXPECT_EQ(run.fOut, "") << "nothing is called";
    auto lines = SplitLines(run.fErr);
    ASSERT_EQ(lines.size(), test.fFindings.size() + 1) << test.fExport << "\n" << run.fErr;
    std::sort(lines.begin(), lines.end() - 1);
    auto expected = test.fFindings;
    for (auto& finding : expected) finding = file + finding;
    std::sort(expected.begin(), expected.end());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], expected[i]);
    EXPECT_EQ(lines.back(), "korvane-host: --strict: " + std::to_string(test.fFindings.size()) + " finding" +
                                (test.fFindings.size() == 1 ? "" : "s") + ", nothing called");
  }
  EXPECT_FALSE(std::filesystem::exists(options.fRecordFile) &&
               !korvane::testing::ReadFile(options.fRecordFile).empty())
      << "the display received nothing";

  SKIP_WITHOUT_EXPORTS();
  std::vector<std::string> args = {"call", "--strict", "--display", Display(*display)};
  for (const char* name : {"open", "idle", "message", "receipt", "thankyou", "closemessage", "close"}) {
    std::string call = name;
    for (auto& c : call) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    args.insert(args.end(), {call, ExamplePath(std::string(name) + ".xml")});
  }
  const ProgramRun examples = Host(args);
  EXPECT_EQ(examples.fStatus, 0) << examples.fErr;
  EXPECT_EQ(examples.fErr, "");
}

TEST(HostTool, QuickCallsNeedNoRequestFile) {
  // Every template is the commented example of its export.
  for (const char* name : {"open", "close", "message", "closemessage", "receipt", "thankyou", "idle"}) {
    const ProgramRun run = Host({"template", name});
    EXPECT_EQ(run.fStatus, 0) << run.fErr;
    EXPECT_EQ(run.fOut, korvane::testing::ReadFile(ExamplePath(std::string(name) + ".xml"))) << name;
  }
  SKIP_WITHOUT_EXPORTS();
  auto display = StartSimulator();
  const ProgramRun run =
      Host({"message", "--display", Display(*display), "Flat white", "2 \u00d7 3.40   \u20ac 6.80"});
  ASSERT_EQ(run.fStatus, 0) << run.fOut << run.fErr;
  const auto blocks = CallBlocks(run.fOut);
  ASSERT_EQ(blocks.size(), 2u) << run.fOut;
  EXPECT_EQ(blocks[0].fHeader, "OPEN " + Display(*display));
  EXPECT_EQ(blocks[1].fHeader, "MESSAGE");
  for (const auto& block : blocks) EXPECT_EQ(block.fResult, "0");
  const json state = GetState(*display);
  EXPECT_EQ(state["screen"], "message");
  EXPECT_EQ(state["content"]["text1"], "Flat white");
  EXPECT_EQ(state["content"]["text2"], "2 \u00d7 3.40   \u20ac 6.80");

  // No display there: the OPEN fails, and the tool says so.
  display.reset();
  const ProgramRun refused = Host({"--timeout", "30", "message", "--display", "127.0.0.1:1", "Hello"});
  EXPECT_EQ(refused.fStatus, 1);
  EXPECT_NE(refused.fErr.find("korvane-host: OPEN on 127.0.0.1:1 failed"), std::string::npos) << refused.fErr;
}

// The session mode at a terminal: one OPEN, then commands typed with
// completion (Tab) and history (Ctrl-P); each prints its envelope and time.
TEST(HostTool, ShellTakesCommandsWithHistoryAndCompletion) {
  SKIP_WITHOUT_EXPORTS();
  korvane::testing::TempDir folder;
  SimulatorOptions options;
  options.fRecordFile = folder / "record.jsonl";
  auto display = StartSimulator(options);
  TerminalSession shell(
      {KORVANE_HOST_TOOL, "--library", LibraryPath(), "shell", "--display", Display(*display)});
  const std::regex timed(R"(Result: 0 \(\d+\.\d ms\))");
  const auto step = [&](const std::string& aKeys, const std::string& aHeader) {
    shell.Type(aKeys);
    ASSERT_TRUE(shell.WaitFor("== " + aHeader)) << aKeys << "\n" << shell.Output();
    ASSERT_TRUE(shell.WaitFor("korvane> ")) << shell.Output();
    const std::string out = shell.Output();
    const std::string block = out.substr(out.rfind("== " + aHeader));
    EXPECT_TRUE(std::regex_search(block, timed)) << block;
    EXPECT_NE(block.find("<Error>False</Error>"), std::string::npos) << block;
  };
  ASSERT_TRUE(shell.WaitFor("== OPEN " + Display(*display))) << shell.Output();
  ASSERT_TRUE(shell.WaitFor("korvane> ")) << shell.Output();
  step("message \"Line 1\" \"Line 2\"\r", "MESSAGE");
  EXPECT_EQ(GetState(*display)["content"]["text2"], "Line 2");
  step("rec\t add \"Flat white\" 3.40\r", "RECEIPT 1 line, total EUR 3.40");
  step("receipt add Croissant 2.90 2\r", "RECEIPT 2 lines, total EUR 9.20");
  step("than\t\r", "THANKYOU");
  step("\x10\r", "THANKYOU");  // Ctrl-P: the command before
  step("send " + ExamplePath("idle.xml") + "\r", "IDLE " + ExamplePath("idle.xml"));
  shell.Type("show\r");
  EXPECT_TRUE(shell.WaitFor("== IDLE (last envelope)")) << shell.Output();
  shell.Type("bogus\r");
  EXPECT_TRUE(shell.WaitFor("unknown command 'bogus'")) << shell.Output();
  step("close\r", "CLOSE");
  shell.Type("quit\r");
  EXPECT_EQ(shell.Wait(), 0) << shell.Output();

  std::vector<std::string> names;
  for (const json& frame : Recorded(options.fRecordFile)) names.push_back(frame["message"].begin().key());
  EXPECT_EQ(names, (std::vector<std::string>{"Open", "Message", "Receipt", "Receipt", "Thankyou", "Thankyou",
                                             "Idle", "Close"}));
  const auto recorded = Recorded(options.fRecordFile);
  ASSERT_EQ(recorded.size(), 8u);
  EXPECT_EQ(recorded[3]["message"]["Receipt"]["Lines"].size(), 2u);
  EXPECT_EQ(recorded[3]["message"]["Receipt"]["Lines"][1]["Description"], "Croissant");
}
