#include "transport/spool_handler.h"

#include <cups/cups.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <png.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "platform/code_page.h"
#include "platform/error.h"
#include "platform/spool_postscript_posix.h"
#include "support/test_support.h"
#include "transport/transport_table.h"
#include "transport_spool/spool_fixture.h"

namespace korvane {
namespace {

using testing::CupsEnvironment;
using testing::ErrorOf;
using testing::JobSeen;
using testing::PngOf;
using testing::Queue;
using testing::ReadFile;

using ::testing::HasSubstr;

std::unique_ptr<kIOHandler_Spool> SpoolHandler(const std::string& aPrinter) {
  kConnection connection;
  connection.SetConnectionType(tkConnectionType::Spool);
  connection.SetPrinterName(aPrinter);
  return std::make_unique<kIOHandler_Spool>(connection, "", "");
}

// ---- placement --------------------------------------------------------------------------

TEST(SpoolPlacement, ScalesAndCentresByResolutionAndPrintableArea) {
  struct Case {
    const char* name;
    int32_t bitmapWidth, bitmapHeight;
    platform::SpoolPageMetrics metrics;  // page, printable, offsets, dpi
    tkSpoolPlacement expected;           // scale, left, top, width, height, stretched
  };
  const Case cases[] = {
      {"600 dpi, 512 px on 4800",
       512,
       512,
       {5100, 6600, 4800, 6000, 100, 200, 600, true},
       {2.0, 1988, 2688, 1024, 1024, true}},
      {"600 dpi, 512 px on 800",
       512,
       512,
       {1000, 6600, 800, 6000, 100, 200, 600, true},
       {1.5625, 100, 2800, 800, 800, true}},
      {"300 dpi, fits",
       512,
       256,
       {2550, 3300, 2400, 3150, 75, 75, 300, true},
       {1.0, 1019, 1522, 512, 256, false}},
      {"300 dpi, too wide",
       3000,
       100,
       {2550, 3300, 2400, 3150, 75, 75, 300, true},
       {0.8, 75, 1610, 2400, 80, true}},
      {"600 dpi, too high",
       100,
       2000,
       {5100, 3300, 4800, 3000, 0, 0, 600, true},
       {1.5, 2325, 0, 150, 3000, true}},
      {"odd remainder dropped", 800, 10, {801, 100, 801, 99, 0, 0, 300, true}, {1.0, 0, 44, 800, 10, false}},
      {"empty bitmap", 0, 0, {2550, 3300, 2400, 3150, 75, 75, 300, true}, {1.0, 1275, 1650, 0, 0, false}},
  };
  for (const Case& c : cases) {
    const tkSpoolPlacement p = PlaceSpoolBitmap(c.bitmapWidth, c.bitmapHeight, c.metrics);
    EXPECT_DOUBLE_EQ(p.fScale, c.expected.fScale) << c.name;
    EXPECT_EQ(p.fLeft, c.expected.fLeft) << c.name;
    EXPECT_EQ(p.fTop, c.expected.fTop) << c.name;
    EXPECT_EQ(p.fWidth, c.expected.fWidth) << c.name;
    EXPECT_EQ(p.fHeight, c.expected.fHeight) << c.name;
    EXPECT_EQ(p.fStretched, c.expected.fStretched) << c.name;
  }
}

TEST(SpoolPlacement, PostScriptDrawsTheBitmapAtItsPlace) {
  kBitmap bitmap(2, 1);
  bitmap.SetPixel(0, 0, 0x12, 0x34, 0x56);
  const platform::SpoolPageMetrics metrics{2550, 3300, 2400, 3150, 75, 75, 300, true};
  const tkSpoolPlacement placement{1.0, 100, 200, 2, 1, false};
  const std::string ps = platform::SpoolPostScript("Korvane Spool Output", SpoolBitmapOf(bitmap),
                                                   SpoolPlacementOf(placement), metrics);
  EXPECT_EQ(ps,
            "%!PS-Adobe-3.0\n"
            "%%Title: Korvane Spool Output\n"
            "%%BoundingBox: 0 0 612 792\n"
            "%%Pages: 1\n%%EndComments\n"
            "%%BeginSetup\n<< /PageSize [612.000 792.000] >> setpagedevice\n%%EndSetup\n"
            "%%Page: 1 1\ngsave\n"
            "24.000 743.760 translate\n"
            "0.480 0.240 scale\n"
            "2 1 8 [2 0 0 -1 0 1]\n"
            "currentfile /ASCIIHexDecode filter false 3 colorimage\n"
            "123456ffffff>\ngrestore\nshowpage\n%%Trailer\n%%EOF\n");
}

// ---- raw output ---------------------------------------------------------------------------------

TEST(SpoolTransport, RawOutputReachesThePrinterInTheAnsiCodePage) {
  const Queue queue("KorvaneRaw", "raw.prn");
  auto handler = SpoolHandler("KorvaneRaw");
  handler->SetOutputType(tkSpoolOutputType::Raw);
  EXPECT_TRUE(handler->Write("\x1b@Caf\xC3\xA9 \xE2\x82\xAC 5\n"));
  EXPECT_EQ(queue.Output(), "\x1b@Caf\xE9 \x80 5\n");
  const std::vector<JobSeen> jobs = queue.NewJobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].title, "QEL Receipt");
  EXPECT_EQ(jobs[0].state, IPP_JSTATE_COMPLETED);
  EXPECT_FALSE(handler->ErrorFound());
}

TEST(SpoolTransport, RawOutputUsesTheCodePageWhenOneIsSet) {
  const Queue queue("KorvaneRaw", "raw.prn");
  auto handler = SpoolHandler("KorvaneRaw");
  handler->SetOutputType(tkSpoolOutputType::Raw);
  handler->SetCodePage(1253);  // Greek
  EXPECT_TRUE(handler->Write("\xCE\xA9=\xE2\x82\xAC"));
  EXPECT_EQ(queue.Output(), "\xD9=\x80");
}

TEST(SpoolTransport, RawOutputKeepsEveryByteOfItsCodePage) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  struct Case {
    int codePage;
    std::string text;
    std::string bytes;
  };
  const Case cases[] = {
      {0, platform::DecodeCodePage(all, 1252), all},  // the ANSI code page: all 256 bytes
      {1252, "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D", "\x81\x8D\x8F\x90\x9D"},
      {28597, "\xCE\xB1\xE2\x82\xAC", "\xE1\xA4"},  // ISO-8859-7 by its Windows number
      {20866, "\xD0\x96", "\xF6"},                  // KOI8-R
  };
  for (const Case& c : cases) {
    const Queue queue("KorvaneRaw", "raw.prn");
    auto handler = SpoolHandler("KorvaneRaw");
    handler->SetOutputType(tkSpoolOutputType::Raw);
    handler->SetCodePage(c.codePage);
    EXPECT_TRUE(handler->Write(c.text)) << c.codePage;
    EXPECT_EQ(queue.Output(), c.bytes) << c.codePage;
  }
}

TEST(SpoolTransport, WriteBytesSendsEveryByteUnchanged) {
  const Queue queue("KorvaneRaw", "raw.prn");
  auto handler = SpoolHandler("KorvaneRaw");
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<uint8_t>(i));
  EXPECT_TRUE(handler->WriteBytes(bytes));
  EXPECT_EQ(queue.Output(), std::string(bytes.begin(), bytes.end()));
}

TEST(SpoolTransport, EmptyRawOutputIsStillOneJob) {
  const Queue queue("KorvaneRaw", "raw.prn");
  auto handler = SpoolHandler("KorvaneRaw");
  handler->SetOutputType(tkSpoolOutputType::Raw);
  EXPECT_TRUE(handler->Write(""));
  // The scheduler ends a job without data unprinted: nothing reaches the device.
  const std::vector<JobSeen> jobs = queue.NewJobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].title, "QEL Receipt");
  EXPECT_EQ(jobs[0].state, IPP_JSTATE_ABORTED);
  EXPECT_FALSE(handler->ErrorFound());
}

TEST(SpoolTransport, RawOutputToUnknownPrinterLeavesOnlyTheMessage) {
  auto handler = SpoolHandler("NoSuchQueue");
  handler->SetOutputType(tkSpoolOutputType::Raw);
  EXPECT_FALSE(handler->Write("x"));
  EXPECT_FALSE(handler->ErrorFound());
  EXPECT_EQ(handler->ErrorCode(), 0);
  EXPECT_EQ(handler->ErrorMessage(), "The printer or class does not exist.");
  EXPECT_FALSE(handler->WriteBytes({'x'}));
  EXPECT_FALSE(handler->ErrorFound());
}

TEST(SpoolTransport, RawOutputHandsTheNameToTheSpoolerWhichIgnoresLetterCase) {
  const Queue queue("KorvaneRaw", "raw.prn");
  auto handler = SpoolHandler("korvaneRAW");
  EXPECT_TRUE(handler->WriteBytes({'o', 'k'}));
  EXPECT_EQ(queue.Output(), "ok");
}

// ---- normal output --------------------------------------------------------------------------------

TEST(SpoolTransport, NormalOutputPrintsTheBitmapCentredAndIgnoresTheText) {
  const Queue queue("KorvanePage", "page.prn");
  kBitmap bitmap(40, 20);
  for (int x = 0; x < 40; ++x) bitmap.SetPixel(x, 0, 0, 0, 0);
  auto handler = SpoolHandler("korvanePAGE");  // found whatever the letter case
  handler->SetBitmap(&bitmap);
  EXPECT_EQ(handler->OutputType(), tkSpoolOutputType::Normal);
  EXPECT_TRUE(handler->Write("this text is not printed"));
  const std::vector<JobSeen> jobs = queue.NewJobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].title, "Korvane Spool Output");

  platform::SpoolPageMetrics metrics;
  ASSERT_NO_THROW(metrics = platform::SpoolPageMetricsOf("KorvanePage"));
  const tkSpoolPlacement placement = PlaceSpoolBitmap(40, 20, metrics);
  EXPECT_EQ(placement, (tkSpoolPlacement{1.0, 75 + 1180, 75 + 1565, 40, 20, false}));
  const std::string printed = queue.Output();
  EXPECT_EQ(printed, platform::SpoolPostScript("Korvane Spool Output", SpoolBitmapOf(bitmap),
                                               SpoolPlacementOf(placement), metrics));
  EXPECT_THAT(printed, ::testing::Not(HasSubstr("this text")));
}

TEST(SpoolTransport, NormalOutputOnAQueueWithoutDriverUsesTheDefaults) {
  const Queue queue("KorvanePlain", "plain.prn");
  kBitmap bitmap(3000, 10);
  auto handler = SpoolHandler("KorvanePlain");
  handler->SetBitmap(&bitmap);
  EXPECT_TRUE(handler->Write(""));
  const std::vector<JobSeen> jobs = queue.NewJobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].title, "Korvane Spool Output");
}

TEST(SpoolTransport, NormalOutputNeedsAnInstalledPrinterAndABitmap) {
  const Queue queue("KorvanePage", "page.prn");
  kBitmap bitmap(1, 1);
  auto handler = SpoolHandler("NoSuchQueue");
  handler->SetBitmap(&bitmap);
  EXPECT_EQ(ErrorOf([&] { handler->Write(""); }),
            "kIOHandler_Spool.WriteNormal: Printer NoSuchQueue not found");
  auto withoutBitmap = SpoolHandler("KorvanePage");
  EXPECT_EQ(ErrorOf([&] { withoutBitmap->Write(""); }), "kIOHandler_Spool.WriteNormal: No bitmap");
  EXPECT_TRUE(queue.NewJobs(0).empty());
}

// ---- the rest of the interface ------------------------------------------------------------------------

TEST(SpoolTransport, LinkOperationsAndRefusedReads) {
  testing::TempDir dir;
  kConnection connection;
  connection.SetConnectionType(tkConnectionType::Spool);
  connection.SetPrinterName("KorvaneRaw");
  std::unique_ptr<kIOHandler> handler = TransportTable::Create(connection, dir.Path(), "Spool_test");
  EXPECT_EQ(handler->ClassName(), "kIOHandler_Spool");
  const std::string log = handler->GetLogFileName();
  EXPECT_TRUE(handler->Connected());
  EXPECT_TRUE(handler->Connect());
  EXPECT_TRUE(handler->Disconnect());
  EXPECT_TRUE(handler->Connected());
  handler->ClearBuffers();
  handler->SetParameter("a", "b");
  EXPECT_EQ(handler->ReadUpTo({13}), "");
  EXPECT_EQ(handler->ReadChars(3), "");
  EXPECT_EQ(handler->DecodeError(1), "");
  EXPECT_EQ(ErrorOf([&] { handler->ReadAll(); }), "ReadAll Unsupported");
  EXPECT_EQ(ErrorOf([&] { handler->InputBufferContainsData(); }), "InputBufferContainsData Unsupported");
  handler.reset();
  const std::vector<testing::LogLine> lines = testing::ReadLog(log);
  ASSERT_EQ(lines.size(), 7u);  // START, the banner, STOP
  EXPECT_EQ(lines[2], testing::Info("kIOHandler_Spool"));
}

}  // namespace
}  // namespace korvane
