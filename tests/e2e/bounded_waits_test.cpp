// A display or an image source that does not play along ends the call within
// its bound, with an error, and the library stays usable.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/requests.h"
#include "support/display_peer.h"
#include "support/library_under_test.h"
#include "support/test_support.h"

using namespace korvane::testing;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using Clock = std::chrono::steady_clock;

// Generous "does not hang" bound: several times what the design allows for
// the waits of these tests (at most three read time-outs of 500 or 1000 ms).
constexpr long kHangBoundMs = 10000;

long MillisecondsSince(Clock::time_point aStart) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - aStart).count());
}

std::string OpenAt(int aPort, int aReadTimeout, const std::string& aParameters = "") {
  RequestSpec r;
  r.method = "OPEN";
  r.connection = TcpConnection(aPort, aReadTimeout);
  r.parameters = aParameters;
  return Request(r);
}

// A call and the time it took.
struct Timed {
  CallResult result;
  long ms = 0;
};

// The handle a call's envelope names.
int HandleOf(const CallResult& aResult) {
  const size_t at = aResult.fEnvelope.find("<Handle>");
  return at == std::string::npos ? 0 : std::atoi(aResult.fEnvelope.c_str() + at + 8);
}

Timed TimedCall(const Library& aLib, const char* aExport, const std::string& aRequest) {
  const auto start = Clock::now();
  Timed t;
  t.result = aLib.Call(aExport, aRequest);
  t.ms = MillisecondsSince(start);
  return t;
}

}  // namespace

TEST(BoundedWaits, ADisplayThatStopsReadingFailsTheCallAndLeavesTheLibraryUsable) {
  Library lib;
  TempDir temp;
  // Far more than the socket buffers on both sides can take in (about 4 MiB
  // here; the frame carries it as Base64, 11 MB).
  const std::string logo = temp.File("logo.png");
  WriteFile(logo, std::string(8u * 1024 * 1024, 'L'));
  DisplayPeer frozen;
  frozen.SetMode(DisplayPeer::Mode::Frozen);

  const Timed t =
      TimedCall(lib, "OPEN", OpenAt(frozen.Port(), 1000, "<LogoImageUrl>" + logo + "</LogoImageUrl>"));
  EXPECT_EQ(t.result.fResult, -1);
  EXPECT_EQ(t.result.fErrorText, "Write timed out.");
  EXPECT_LT(t.ms, kHangBoundMs);

  // Nothing is left holding the library: another call, and another display.
  EXPECT_THAT(lib.VersionText("QORD_KORVANE_10"), Not(HasSubstr("<unexpected>")));
  DisplayPeer healthy;
  const CallResult r =
      lib.Call("OPEN", OpenAt(healthy.Port(), 5000, "<LogoImageUrl>" + logo + "</LogoImageUrl>"));
  EXPECT_EQ(r.fResult, 0) << r.fErrorText;
  ASSERT_EQ(healthy.Frames().size(), 1u);
  EXPECT_GT(healthy.Frames()[0].size(), 8u * 1024 * 1024);
}

TEST(BoundedWaits, ADisplayThatTakesALargeFrameSlowlyButSteadilyIsWaitedFor) {
  // A display that takes 16 KiB every 20 ms (800 KB/s), with ReadTimeout
  // 1000: the local send buffer frees room only in steps of megabytes, and
  // megabytes of the frame still wait there when its last byte has been
  // handed over. What counts is that the display takes bytes, and the reply
  // is waited for from when it has taken the whole frame.
  Library lib;
  TempDir temp;
  const std::string logo = temp.File("logo.png");
  WriteFile(logo, std::string(2u * 1024 * 1024, 'L'));  // 5.6 MB of frame: the logo twice, as Base64
  std::atomic<size_t> taken{0};
  DisplayPeer steady([&](PeerConnection& s) {
    taken = s.ReceivePaced(16 * 1024, 20).size();
    s.Send("OK\x03");
    steady.Hold();
  });
  const CallResult open =
      lib.Call("OPEN", OpenAt(steady.Port(), 1000, "<LogoImageUrl>" + logo + "</LogoImageUrl>"));
  EXPECT_EQ(open.fResult, 0) << open.fErrorText;
  EXPECT_GT(taken, 4u * 1024 * 1024);

  // A display that stops taking the frame part-way fails the call within
  // the bound.
  DisplayPeer stops([&](PeerConnection& s) {
    s.ReceivePaced(64 * 1024, 20, 1024 * 1024);
    stops.Hold();
  });
  const Timed t =
      TimedCall(lib, "OPEN", OpenAt(stops.Port(), 1000, "<LogoImageUrl>" + logo + "</LogoImageUrl>"));
  EXPECT_EQ(t.result.fResult, -1);
  EXPECT_EQ(t.result.fErrorText, "Write timed out.");
  EXPECT_LT(t.ms, kHangBoundMs);
}

TEST(BoundedWaits, TheWholeReplyMustComeWithinThreeReadTimeouts) {
  Library lib;
  DisplayPeer peer;
  const CallResult open = lib.Call("OPEN", OpenAt(peer.Port(), 500));
  ASSERT_EQ(open.fResult, 0);
  const int handle = HandleOf(open);

  // A reply in pieces that together take longer than one read time-out, but
  // less than the overall bound, is a reply.
  peer.SetReplyPieces({"O", "K", "\x03"}, 300);
  CallResult r = lib.Call("IDLE", CallRequest("IDLE", handle, "<Idle/>"));
  EXPECT_EQ(r.fResult, 0) << r.fErrorText;

  // A display that trickles a byte every 300 ms (each well within the read
  // time-out) and never ends its reply would otherwise keep the call for 30 s.
  peer.SetReplyPieces(std::vector<std::string>(100, "x"), 300);
  const Timed t = TimedCall(lib, "MESSAGE", CallRequest("MESSAGE", handle, "<Message/>"));
  EXPECT_EQ(t.result.fResult, -1);
  EXPECT_EQ(t.result.fErrorText, "Read timed out.");
  EXPECT_LT(t.ms, kHangBoundMs);
}

TEST(BoundedWaits, AReadTimeoutOfManyDaysStillWaitsForTheReply) {
  // Three read time-outs of 715827883 ms and more exceed a 32-bit count of
  // milliseconds; the wait for the reply must not wrap to a short one.
  Library lib;
  DisplayPeer peer;
  peer.SetReplyDelayMs(50);
  for (const int readTimeout : {715827882, 715827883, 800000000, 2147483647}) {
    const CallResult open = lib.Call("OPEN", OpenAt(peer.Port(), readTimeout));
    EXPECT_EQ(open.fResult, 0) << readTimeout << ": " << open.fErrorText;
    const CallResult idle = lib.Call("IDLE", CallRequest("IDLE", HandleOf(open), "<Idle/>"));
    EXPECT_EQ(idle.fResult, 0) << readTimeout << ": " << idle.fErrorText;
  }
}

TEST(BoundedWaits, AnImagePathThatIsNoRegularFileFailsTheCallAtOnce) {
  Library lib;
  TempDir temp;
  DisplayPeer peer;
  const CallResult open = lib.Call("OPEN", OpenAt(peer.Port(), 1000));
  ASSERT_EQ(open.fResult, 0);
  const int handle = HandleOf(open);
  const NamedPipe pipe(temp);
  const std::string fifo = pipe.Path();
  // Sparse: larger than the image limit of 64 MiB without using the disk.
  const std::string huge = temp.File("huge.png");
  WriteFile(huge, "");
  std::filesystem::resize_file(huge, 64 * 1024 * 1024 + 1);
  struct Case {
    std::string path;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {fifo, "Not a regular file"},
      {kCharacterDevice, "Not a regular file"},
      {temp.Path(), SystemText(SystemFailure::FolderOpenedAsFile)},
      {huge, "File larger than 67108864 bytes"},
  };
  for (const Case& c : cases) {
    const Timed t = TimedCall(
        lib, "IDLE", CallRequest("IDLE", handle, "<Idle><ImageUrl>" + c.path + "</ImageUrl></Idle>"));
    EXPECT_EQ(t.result.fResult, -1) << c.path;
    EXPECT_EQ(t.result.fErrorText, "Cannot open file \"" + c.path + "\". " + c.reason);
    EXPECT_LT(t.ms, kHangBoundMs) << c.path;
  }
  // The logo of OPEN is read the same way.
  const Timed t =
      TimedCall(lib, "OPEN", OpenAt(peer.Port(), 1000, "<LogoImageUrl>" + fifo + "</LogoImageUrl>"));
  EXPECT_EQ(t.result.fErrorText, "Cannot open file \"" + fifo + "\". Not a regular file");
  EXPECT_LT(t.ms, kHangBoundMs);
  EXPECT_EQ(peer.Frames().size(), 1u);  // only the first OPEN was sent
}
