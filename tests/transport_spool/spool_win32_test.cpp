// The print spool transport through winspool, under Wine: Wine's spooler
// lists the queues of the CUPS scheduler that CUPS_SERVER names, which CTest
// starts before these tests (scripts/cups-test-setup.sh, in
// KORVANE_CUPS_DIR) and stops after them. The queues write what they are
// sent to files that the tests read back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/spool.h"
#include "support/test_support.h"
#include "transport/spool_handler.h"

namespace korvane {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::unique_ptr<kIOHandler_Spool> SpoolHandler(const std::string& aPrinter) {
  kConnection connection;
  connection.SetConnectionType(tkConnectionType::Spool);
  connection.SetPrinterName(aPrinter);
  return std::make_unique<kIOHandler_Spool>(connection, "", "");
}

// The file a queue's device writes: emptied when the test begins, read back
// once aDone says it holds the whole job (20 s at most).
class QueueFile {
 public:
  explicit QueueFile(const std::string& aFile) : fPath(std::string(KORVANE_CUPS_DIR) + "/out/" + aFile) {
    testing::WriteFile(fPath, "");
  }
  template <typename Done>
  std::string Output(Done aDone) const {
    std::string data;
    testing::WaitFor(
        [&] {
          data = testing::ReadFile(fPath);
          return aDone(data);
        },
        std::chrono::seconds(20));
    return data;
  }

 private:
  std::string fPath;
};

TEST(SpoolWine, TheSchedulersQueuesAreThePrintersWithTheirPages) {
  const std::vector<std::string> names = platform::SpoolPrinterNames();
  EXPECT_THAT(names, Contains("KorvaneRaw"));
  EXPECT_THAT(names, Contains("KorvanePage"));
  // Letter at 300 dpi, a quarter inch of margin all round, from the queue's
  // driver description.
  platform::SpoolPageMetrics m;
  ASSERT_NO_THROW(m = platform::SpoolPageMetricsOf("KorvanePage"));
  EXPECT_EQ(m.dpi, 300);
  EXPECT_EQ(m.pageWidth, 2550);
  EXPECT_EQ(m.pageHeight, 3300);
  EXPECT_EQ(m.printableWidth, 2400);
  EXPECT_EQ(m.printableHeight, 3150);
  EXPECT_EQ(m.offsetX, 75);
  EXPECT_EQ(m.offsetY, 75);
  EXPECT_TRUE(m.fromPrinter);
}

TEST(SpoolWine, RawOutputReachesTheQueueByteForByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  struct Case {
    const char* name;
    bool text;          // through Write (the ANSI code page), else WriteBytes
    std::string data;   // what the transport is given
    std::string bytes;  // what must reach the device
  };
  const Case cases[] = {
      {"text", true, "\x1b@Caf\xC3\xA9 \xE2\x82\xAC 5\n", "\x1b@Caf\xE9 \x80 5\n"},
      {"every byte", false, all, all},
  };
  for (const Case& c : cases) {
    const QueueFile file("raw.prn");
    auto handler = SpoolHandler("KorvaneRaw");
    handler->SetOutputType(tkSpoolOutputType::Raw);
    if (c.text)
      EXPECT_TRUE(handler->Write(c.data)) << c.name;
    else
      EXPECT_TRUE(handler->WriteBytes(std::vector<uint8_t>(c.data.begin(), c.data.end()))) << c.name;
    EXPECT_EQ(handler->ErrorMessage(), "") << c.name;
    EXPECT_EQ(file.Output([&](const std::string& aData) { return aData.size() >= c.bytes.size(); }), c.bytes)
        << c.name;
  }
}

TEST(SpoolWine, EmptyRawOutputIsStillAJobThatDoesNotFail) {
  auto handler = SpoolHandler("KorvaneRaw");
  handler->SetOutputType(tkSpoolOutputType::Raw);
  EXPECT_TRUE(handler->Write(""));
  EXPECT_EQ(handler->ErrorMessage(), "");
  EXPECT_FALSE(handler->ErrorFound());
}

TEST(SpoolWine, NormalOutputComesOutAsOnePage) {
  const QueueFile file("page.prn");
  kBitmap bitmap(40, 20);
  for (int x = 0; x < 40; ++x) bitmap.SetPixel(x, 0, 0, 0, 0);
  auto handler = SpoolHandler("KorvanePage");
  handler->SetBitmap(&bitmap);
  EXPECT_TRUE(handler->Write("this text is not printed"));
  // Wine's printer driver writes PostScript; the queue passes it on.
  const std::string page =
      file.Output([](const std::string& aData) { return aData.find("%%EOF") != std::string::npos; });
  EXPECT_THAT(page, StartsWith("%!PS-Adobe"));
  EXPECT_THAT(page, HasSubstr("%%Title: Korvane Spool Output"));
  EXPECT_THAT(page, HasSubstr("%%Pages: 1\n"));
  EXPECT_THAT(page, HasSubstr("%%Page: 1 1"));
  EXPECT_THAT(page, ::testing::Not(HasSubstr("%%Page: 2")));
  // The bitmap, drawn as an image of its own size, at its place on the page
  // (centred in the printable area: 1180 and 1565 pixels into it).
  EXPECT_THAT(page, HasSubstr("/Width 40"));
  EXPECT_THAT(page, HasSubstr("/Height 20"));
  EXPECT_THAT(page, HasSubstr("1180 1565 translate"));
  EXPECT_THAT(page, HasSubstr("\nimage\n"));
  EXPECT_THAT(page, HasSubstr("showpage"));
  EXPECT_THAT(page, ::testing::Not(HasSubstr("this text")));
}

TEST(SpoolWine, AnUnknownPrinterLeavesTheSpoolersMessage) {
  auto handler = SpoolHandler("NoSuchQueue");
  handler->SetOutputType(tkSpoolOutputType::Raw);
  EXPECT_FALSE(handler->Write("x"));
  EXPECT_FALSE(handler->ErrorFound());
  EXPECT_NE(handler->ErrorMessage(), "");
  kBitmap bitmap(1, 1);
  auto normal = SpoolHandler("NoSuchQueue");
  normal->SetBitmap(&bitmap);
  EXPECT_EQ(testing::ErrorOf([&] { normal->Write(""); }),
            "kIOHandler_Spool.WriteNormal: Printer NoSuchQueue not found");
}

}  // namespace
}  // namespace korvane
