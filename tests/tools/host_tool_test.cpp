// korvane-host as a program: bad input, every example through the exports
// against the simulator, the version and the demo sale.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "helpers/base64.h"
#include "support/test_support.h"
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
