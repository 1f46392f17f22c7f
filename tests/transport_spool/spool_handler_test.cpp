#include "platform/spool.h"

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
#include "transport/spool_handler.h"
#include "transport/transport_table.h"

namespace korvane {
namespace {

using testing::ErrorOf;

using ::testing::HasSubstr;

// ---- a private CUPS scheduler for this test program --------------------------------

class CupsEnvironment : public ::testing::Environment {
 public:
  static std::string Dir() { return fDir; }
  static std::string Out(const std::string& aFile) { return fDir + "/out/" + aFile; }

  void SetUp() override {
    fTemp = std::make_unique<testing::TempDir>();
    fDir = fTemp->Path();
    const std::string start =
        std::string("bash ") + KORVANE_SOURCE_DIR + "/scripts/cups-test-setup.sh start " + fDir;
    ASSERT_EQ(std::system(start.c_str()), 0) << "the test scheduler did not start";
    setenv("CUPS_SERVER", (fDir + "/cups.sock").c_str(), 1);
  }
  void TearDown() override {
    const std::string stop =
        std::string("bash ") + KORVANE_SOURCE_DIR + "/scripts/cups-test-setup.sh stop " + fDir;
    EXPECT_EQ(std::system(stop.c_str()), 0);
    fTemp.reset();
  }

 private:
  std::unique_ptr<testing::TempDir> fTemp;
  static inline std::string fDir;
};

const ::testing::Environment* const kCups = ::testing::AddGlobalTestEnvironment(new CupsEnvironment);

std::string ReadFile(const std::string& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

struct JobSeen {
  std::string title;
  std::string format;
  ipp_jstate_t state = IPP_JSTATE_PENDING;
};

// The jobs of aPrinter that have finished, waiting up to 10 s for aCount.
std::vector<JobSeen> FinishedJobs(const std::string& aPrinter, size_t aCount) {
  std::vector<JobSeen> seen;
  for (int i = 0; i < 200; ++i) {
    cups_job_t* jobs = nullptr;
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, aPrinter.c_str(), 0, CUPS_WHICHJOBS_COMPLETED);
    seen.clear();
    for (int j = 0; j < n; ++j) seen.push_back({jobs[j].title, jobs[j].format, jobs[j].state});
    cupsFreeJobs(n, jobs);
    if (seen.size() >= aCount) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return seen;
}

// A queue's jobs as one test sees them: those that finish after it began.
class Queue {
 public:
  Queue(const std::string& aPrinter, const std::string& aFile)
      : fPrinter(aPrinter), fFile(aFile), fBefore(FinishedJobs(aPrinter, 0).size()) {}

  // The jobs finished since, waiting for at least aCount of them.
  std::vector<JobSeen> NewJobs(size_t aCount = 1) const {
    std::vector<JobSeen> jobs = FinishedJobs(fPrinter, fBefore + aCount);
    jobs.erase(jobs.begin(), jobs.begin() + static_cast<long>(std::min(fBefore, jobs.size())));
    return jobs;
  }
  // What the device received from the last job, once aCount jobs are through.
  std::string Output(size_t aCount = 1) const {
    EXPECT_EQ(NewJobs(aCount).size(), aCount);
    return ReadFile(CupsEnvironment::Out(fFile));
  }

 private:
  std::string fPrinter;
  std::string fFile;
  size_t fBefore;
};

std::unique_ptr<kIOHandler_Spool> SpoolHandler(const std::string& aPrinter) {
  kConnection connection;
  connection.SetConnectionType(tkConnectionType::Spool);
  connection.SetPrinterName(aPrinter);
  return std::make_unique<kIOHandler_Spool>(connection, "", "");
}

std::string PngOf(int aWidth, int aHeight, const std::vector<uint8_t>& aRgba) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(aWidth);
  image.height = static_cast<png_uint_32>(aHeight);
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  png_image_write_to_memory(&image, nullptr, &size, 0, aRgba.data(), 0, nullptr);
  std::string data(size, '\0');
  png_image_write_to_memory(&image, data.data(), &size, 0, aRgba.data(), 0, nullptr);
  data.resize(size);
  return data;
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

// ---- bitmaps ------------------------------------------------------------------------------

TEST(SpoolBitmap, LoadsPngWithTransparencyOverWhite) {
  const std::string png = PngOf(2, 1, {255, 0, 0, 255, 0, 0, 0, 0});
  const kBitmap bitmap = kBitmap::FromPNG(png);
  EXPECT_EQ(bitmap.Width(), 2);
  EXPECT_EQ(bitmap.Height(), 1);
  EXPECT_EQ(bitmap.Pixels(), (std::vector<uint8_t>{255, 0, 0, 255, 255, 255}));
  testing::TempDir dir;
  std::ofstream(dir.File("a.png"), std::ios::binary) << png;
  EXPECT_EQ(kBitmap::LoadFromFile(dir.File("a.png")).Pixels(), bitmap.Pixels());
}

TEST(SpoolBitmap, RejectsDataThatIsNoPng) {
  EXPECT_THAT(ErrorOf([] { kBitmap::FromPNG("not a picture"); }),
              ::testing::StartsWith("Cannot load PNG image: "));
  EXPECT_THAT(ErrorOf([] { kBitmap::FromPNG(""); }), ::testing::StartsWith("Cannot load PNG image: "));
  const std::string png = PngOf(4, 4, std::vector<uint8_t>(64, 7));
  EXPECT_THAT(ErrorOf([&] { kBitmap::FromPNG(png.substr(0, png.size() / 2)); }),
              ::testing::StartsWith("Cannot load PNG image: "));
  EXPECT_EQ(ErrorOf([] { kBitmap(-1, 5); }), "Invalid bitmap size");
}

// ---- the printers ------------------------------------------------------------------------------

TEST(SpoolPrinters, PageMetricsComeFromTheQueueOrTheDefaults) {
  platform::SpoolPageMetrics m;
  ASSERT_NO_THROW(m = platform::SpoolPageMetricsOf("KorvanePage"));
  // Letter at 300 dpi, a quarter inch of margin all round.
  EXPECT_EQ(m.dpi, 300);
  EXPECT_EQ(m.pageWidth, 2550);
  EXPECT_EQ(m.pageHeight, 3300);
  EXPECT_EQ(m.printableWidth, 2400);
  EXPECT_EQ(m.printableHeight, 3150);
  EXPECT_EQ(m.offsetX, 75);
  EXPECT_EQ(m.offsetY, 75);
  EXPECT_TRUE(m.fromPrinter);
  // A queue without driver tells nothing: A4 to its edges at 300 dpi.
  ASSERT_NO_THROW(m = platform::SpoolPageMetricsOf("KorvanePlain"));
  EXPECT_FALSE(m.fromPrinter);
  EXPECT_EQ(m.dpi, 300);
  EXPECT_EQ(m.pageWidth, 2480);
  EXPECT_EQ(m.printableWidth, 2480);
  EXPECT_EQ(m.pageHeight, 3507);
  EXPECT_EQ(m.offsetX, 0);
  try {
    platform::SpoolPageMetricsOf("NoSuchQueue");
    ADD_FAILURE() << "an unknown queue has page metrics";
  } catch (const platform::OsError& e) {
    EXPECT_FALSE(std::string(e.what()).empty());
  }
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
