// The exported calls through a host's eyes: envelopes, handles, registry
// failures, VERSION and string ownership.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "e2e/requests.h"
#include "support/display_peer.h"
#include "support/library_under_test.h"
#include "support/test_support.h"

using namespace korvane::testing;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

class DriverApi : public ::testing::Test {
 protected:
  std::string LogFolder() const {
    return JoinPath(ThisProgramPath().parent_path().string(), {"LogFiles", "CustomerDisplay"});
  }
  CallResult Open(const std::string& aParameters = "", int aHandle = 0) {
    return lib.Call("OPEN", OpenRequest(peer.Port(), aParameters, aHandle));
  }

  Library lib;
  DisplayPeer peer;
};

std::string Envelope(const std::string& aError, const std::string& aErrorText, const std::string& aLog) {
  return "<Error>" + aError + "</Error>\r\n<ErrorText>" + aErrorText + "</ErrorText>\r\n<LogFileName>" +
         aLog + "</LogFileName>";
}

}  // namespace

TEST_F(DriverApi, OpenAnswersTheFirstHandleAndTheDevicesLog) {
  const CallResult r = Open();
  ASSERT_EQ(r.fResult, 0) << r.fEnvelope;
  const std::string log = r.fEnvelope.substr(r.fEnvelope.find("<LogFileName>") + 13);
  const std::string logPath = log.substr(0, log.find('<'));
  EXPECT_EQ(r.fEnvelope, "<Handle>1</Handle>\r\n" + Envelope("False", "", logPath));
  EXPECT_TRUE(r.fErrorTextIsNull);
  // The system's own separator throughout.
  EXPECT_THAT(logPath, StartsWith(JoinPath(LogFolder(), {"QORD_KORVANE_10_" + ProcessLogId() + "_"})));
  EXPECT_EQ(logPath.find_first_of("/\\", LogFolder().size() + 1), std::string::npos) << logPath;

  const CallResult m = lib.Call("MESSAGE", CallRequest("MESSAGE", 1, "<Message><Text1>Hi</Text1></Message>"));
  EXPECT_EQ(m.fResult, 0);
  EXPECT_EQ(m.fEnvelope, Envelope("False", "", logPath));  // no trailing line break
}

TEST_F(DriverApi, HandsOutHandlesThatAreNeverReused) {
  EXPECT_THAT(Open().fEnvelope, StartsWith("<Handle>1</Handle>"));
  EXPECT_THAT(Open().fEnvelope, StartsWith("<Handle>2</Handle>"));
  EXPECT_EQ(lib.Call("CLOSE", CallRequest("CLOSE", 1, "")).fResult, 0);
  EXPECT_THAT(Open().fEnvelope, StartsWith("<Handle>3</Handle>"));
  const CallResult again = lib.Call("CLOSE", CallRequest("CLOSE", 1, ""));
  EXPECT_EQ(again.fResult, -1);
  EXPECT_EQ(again.fErrorText, "Device Handle not found");
}

TEST_F(DriverApi, RefusesCallsWithoutAValidHandle) {
  ASSERT_EQ(Open().fResult, 0);
  for (int handle : {0, -5}) {
    const CallResult r = lib.Call("MESSAGE", CallRequest("MESSAGE", handle, "<Message/>"));
    EXPECT_EQ(r.fResult, -1);
    EXPECT_EQ(r.fErrorText, "Customer Display Driver [QORD_KORVANE_10] not registered.");
    EXPECT_EQ(r.fEnvelope, Envelope("True", "Customer Display Driver [QORD_KORVANE_10] not registered.", ""));
  }
  const CallResult r = lib.Call("RECEIPT", CallRequest("RECEIPT", 99, "<Receipt/>"));
  EXPECT_EQ(r.fEnvelope, Envelope("True", "Device Handle not found", ""));
}

TEST_F(DriverApi, OpenOfAnUnknownDriverCreatesNothing) {
  RequestSpec spec;
  spec.method = "OPEN";
  spec.driver = "qord_korvane_10";
  spec.connection = TcpConnection(peer.Port());
  const CallResult r = lib.Call("OPEN", Request(spec));
  EXPECT_EQ(r.fResult, -1);
  EXPECT_EQ(r.fEnvelope,
            "<Handle>0</Handle>\r\n" +
                Envelope("True", "Customer Display Driver [qord_korvane_10] not registered.", ""));
  EXPECT_TRUE(peer.Frames().empty());
  EXPECT_THAT(Open().fEnvelope, StartsWith("<Handle>1</Handle>"));  // the counter did not move
}

TEST_F(DriverApi, OpenWhoseDeviceCannotBeMadeRegistersNothing) {
  RequestSpec spec;
  spec.method = "OPEN";
  spec.connection = "<Type>DLL</Type><LibraryName>no_such_library_here.so</LibraryName>";
  const CallResult r = lib.Call("OPEN", Request(spec));
  EXPECT_EQ(r.fResult, -1);
  EXPECT_THAT(r.fErrorText, StartsWith("Unable to Load Library no_such_library_here.so. "));
  EXPECT_THAT(r.fEnvelope, StartsWith("<Handle>0</Handle>\r\n<Error>True</Error>"));
  EXPECT_THAT(r.fEnvelope, HasSubstr("<LogFileName></LogFileName>"));
  EXPECT_THAT(Open().fEnvelope, StartsWith("<Handle>1</Handle>"));
}

TEST_F(DriverApi, OpenOnAnOpenHandleOpensThatDeviceAgain) {
  ASSERT_EQ(Open().fResult, 0);
  const CallResult r = Open("<Mode>Second</Mode>", 1);
  EXPECT_EQ(r.fResult, 0);
  EXPECT_THAT(r.fEnvelope, StartsWith("<Handle>1</Handle>"));
  ASSERT_EQ(peer.Messages().size(), 2u);
  EXPECT_THAT(peer.Messages()[1], StartsWith("{\"Open\":{\"Mode\":\"Second\""));
}

TEST_F(DriverApi, EachCallSeesNothingOfTheCallBefore) {
  const CallResult opened = Open("<Mode>Second</Mode>");
  ASSERT_EQ(opened.fResult, 0) << opened.fEnvelope;
  const std::string logPath = EnvelopeField(opened.fEnvelope, "LogFileName");
  ASSERT_EQ(Open("", 1).fResult, 0);
  ASSERT_EQ(peer.Messages().size(), 2u);
  EXPECT_THAT(peer.Messages()[0], HasSubstr("Second"));
  EXPECT_THAT(peer.Messages()[1], ::testing::Not(HasSubstr("Second")));

  struct Step {
    std::string request;
    std::string envelope;
  };
  const Step steps[] = {
      {CallRequest("MESSAGE", 99, "<Message/>"), Envelope("True", "Device Handle not found", "")},
      {CallRequest("MESSAGE", 1, "<Message/>"), Envelope("False", "", logPath)},
      {"<Request>", Envelope("True", "XML parse error: Start-end tags mismatch (line 1, column 9)", "")},
      {CallRequest("MESSAGE", 1, "<Message/>"), Envelope("False", "", logPath)},
  };
  for (const Step& step : steps) {
    const CallResult r = lib.Call("MESSAGE", step.request);
    EXPECT_EQ(r.fEnvelope, step.envelope) << step.request;
    EXPECT_EQ(r.fErrorTextIsNull, step.envelope.find("<Error>False") != std::string::npos);
  }
}

TEST_F(DriverApi, EachDeviceAnswersWithItsOwnLog) {
  // Two devices of different logs, called in turn: every answer names the
  // log of its own device.
  std::string logs[2];
  for (int i = 0; i < 2; ++i) {
    RequestSpec spec;
    spec.method = "OPEN";
    spec.logId = ProcessLogId() + "d" + std::to_string(i);
    spec.connection = TcpConnection(peer.Port());
    const CallResult r = lib.Call("OPEN", Request(spec));
    ASSERT_EQ(r.fResult, 0) << r.fEnvelope;
    logs[i] = EnvelopeField(r.fEnvelope, "LogFileName");
  }
  ASSERT_NE(logs[0], logs[1]);
  for (int round = 0; round < 2; ++round)
    for (int device = 1; device <= 2; ++device)
      EXPECT_EQ(lib.Call("MESSAGE", CallRequest("MESSAGE", device, "<Message/>")).fEnvelope,
                Envelope("False", "", logs[device - 1]));
}

TEST_F(DriverApi, EscapesTheErrorTextInTheEnvelopeOnly) {
  const CallResult r =
      lib.Call("MESSAGE", "<R><Driver>a&amp;b&lt;&gt;\"'</Driver><Parameters/><Message/></R>");
  EXPECT_EQ(r.fErrorText, "Customer Display Driver [a&b<>\"'] not registered.");
  EXPECT_EQ(r.fEnvelope,
            Envelope("True", "Customer Display Driver [a&amp;b&lt;&gt;&quot;&apos;] not registered.", ""));
  const CallResult e = lib.Call("MESSAGE", "<R><Driver>&amp;amp;</Driver><Parameters/><Message/></R>");
  EXPECT_THAT(e.fEnvelope, HasSubstr("[&amp;amp;]"));
}

TEST_F(DriverApi, ReportsMalformedRequests) {
  for (const char* request :
       {"", "not xml", "<R><Parameters></R>", "<R><Handle>x</Handle><Parameters/></R>"}) {
    const CallResult r = lib.Call("MESSAGE", request);
    EXPECT_EQ(r.fResult, -1) << request;
    EXPECT_FALSE(r.fErrorText.empty()) << request;
    EXPECT_THAT(r.fEnvelope, StartsWith("<Error>True</Error>\r\n<ErrorText>")) << request;
  }
  EXPECT_EQ(lib.Call("MESSAGE", "<R><Driver>X</Driver></R>").fErrorText, "Parameters node not found");
}

TEST_F(DriverApi, VersionAnswersForTheExactDriverNameOnly) {
  const std::string version = lib.VersionText("QORD_KORVANE_10");
  EXPECT_THAT(version, StartsWith("Version 1.01 - "));
  EXPECT_THAT(version, HasSubstr("2024"));
  EXPECT_EQ(lib.VersionText("qord_korvane_10"), "<null>");
  EXPECT_EQ(lib.VersionText(""), "<null>");
  EXPECT_EQ(lib.VersionText("OTHER"), "<null>");
}

TEST_F(DriverApi, ClearsOutVariablesAndSkipsNullPointers) {
  auto message = lib.Find<KorvaneRequestCall>("MESSAGE");
  BSTR request = lib.MakeBstr(CallRequest("MESSAGE", 42, "<Message/>"));
  BSTR stale = lib.MakeBstr("older string the host still owns");
  BSTR output = stale;
  BSTR error = stale;
  EXPECT_EQ(message(request, &output, &error), -1);
  EXPECT_NE(output, stale);
  EXPECT_EQ(lib.Text(error), "Device Handle not found");
  EXPECT_EQ(lib.Text(stale), "older string the host still owns");  // not released by the library
  lib.Free(output);
  lib.Free(error);
  EXPECT_EQ(message(request, nullptr, nullptr), -1);  // runs, writes nothing
  lib.Free(request);
  lib.Free(stale);
  // A null request is the empty text.
  BSTR out = nullptr;
  BSTR err = nullptr;
  EXPECT_EQ(message(nullptr, &out, &err), -1);
  EXPECT_FALSE(lib.Text(err).empty());
  lib.Free(out);
  lib.Free(err);
}

TEST_F(DriverApi, SerialisesCallsFromSeveralThreads) {
  ASSERT_EQ(Open().fResult, 0);
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10; ++i) {
        const CallResult r = lib.Call("OPEN", OpenRequest(peer.Port()));
        if (r.fResult != 0) ++failures;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_THAT(Open().fEnvelope, StartsWith("<Handle>42</Handle>"));  // 1 + 40 + 1, none lost or doubled
}
