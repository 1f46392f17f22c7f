// The library's module state: made at load in order, ended at unload with
// every open device closed.
#include "api/driver_api.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/application.h"
#include "display/korvane/display_driver.h"
#include "e2e/requests.h"
#include "helpers/utf.h"
#include "support/display_peer.h"
#include "support/test_support.h"

using namespace korvane;
using korvane::testing::DisplayPeer;
using ::testing::EndsWith;
using ::testing::HasSubstr;

TEST(ModuleState, LoadMakesEverythingAndUnloadClosesEveryDevice) {
  ASSERT_EQ(TKApp, nullptr);
  InitializeDriverApi();
  ASSERT_NE(TKApp, nullptr);
  ASSERT_NE(DeviceRegistry, nullptr);
  ASSERT_NE(DriverRegistry, nullptr);
  EXPECT_EQ(DriverRegistry->size(), 1u);
  EXPECT_EQ(DriverRegistry->count("QORD_KORVANE_10"), 1u);
  EXPECT_EQ(LastDeviceHandle, 0);

  DisplayPeer peer;
  std::vector<std::string> logs;
  for (int i = 0; i < 2; ++i) {
    kCustomerDisplayWrapper_OPEN open;
    open.Process(platform::Utf8ToUtf16(korvane::testing::OpenRequest(peer.Port())));
    ASSERT_FALSE(open.Result().Error) << open.Result().ErrorText;
    EXPECT_EQ(open.Result().Handle, i + 1);
    logs.push_back(open.Result().LogFileName);
  }
  EXPECT_EQ(DeviceRegistry->size(), 2u);
  EXPECT_EQ(logs[0], logs[1]);  // same driver, log id and day: one file

  FinalizeDriverApi();
  EXPECT_EQ(DeviceRegistry, nullptr);
  EXPECT_EQ(DriverRegistry, nullptr);
  EXPECT_EQ(TKApp, nullptr);
  // Both devices wrote their STOP lines before unload finished.
  const std::string log = korvane::testing::ReadFile(logs[0]);
  size_t stops = 0;
  for (size_t at = log.find(" STOP "); at != std::string::npos; at = log.find(" STOP ", at + 1)) ++stops;
  EXPECT_EQ(stops, 2u);
  EXPECT_THAT(log, EndsWith("****\r\n"));
}

TEST(ModuleState, EnvelopeIsExactToTheByte) {
  const int32_t handle = 0;
  EXPECT_EQ(FormatEnvelope(&handle, true, "a<b", "/x/y&z.log"),
            "<Handle>0</Handle>\r\n<Error>True</Error>\r\n<ErrorText>a&lt;b</ErrorText>\r\n"
            "<LogFileName>/x/y&amp;z.log</LogFileName>");
  EXPECT_EQ(FormatEnvelope(nullptr, false, "", ""),
            "<Error>False</Error>\r\n<ErrorText></ErrorText>\r\n<LogFileName></LogFileName>");
  EXPECT_EQ(kCustomerDisplayWrapper::EscapeXml("&amp; <>\"'"), "&amp;amp; &lt;&gt;&quot;&apos;");
}

namespace {

// A wrapper whose result record a test sets, to see what Format makes of it.
template <class TResult>
class FormatOnly : public kCustomerDisplayWrapperOf<TResult> {
 public:
  void Process(std::u16string_view) override {}
  TResult& Record() { return this->fResult; }
};

}  // namespace

TEST(ModuleState, FormatAnswersTheEnvelopeAndTheErrorTextInUtf16) {
  const struct {
    int32_t handle;
    bool error;
    std::string errorText;
    std::string logFileName;
  } cases[] = {
      {1, false, "", "/var/log/LogFiles/CustomerDisplay/QORD_KORVANE_10_1_20240917.log"},
      {-2147483647 - 1, true, "Read timed out.", "C:\\Till\\LogFiles\\CustomerDisplay\\x.log"},
      {2147483647, true, "a<b & \"c\" 'd'>", "/x/y&z.log"},
      {7, true, "Caf\xC3\xA9 \xF0\x9F\x98\x80",
       "/logs/Gr\xC3\xBC\xC3\x9F"
       "e.log"},
      {0, false, "", ""},
      {3, false, "", "/" + std::string(3000, 'l') + ".log"},  // longer than the envelope's room on the stack
      {4, true, std::string(600, 'e'), std::string(600, 'n')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.errorText + " | " + c.logFileName.substr(0, 80));
    FormatOnly<_int_OPEN_result> open;
    open.Record() = {c.handle, c.error, c.errorText, c.logFileName};
    FormatOnly<_int_CUSTOMERDISPLAY_result> message;
    message.Record() = {c.error, c.errorText, c.logFileName};
    for (kCustomerDisplayWrapper* wrapper :
         {static_cast<kCustomerDisplayWrapper*>(&open), static_cast<kCustomerDisplayWrapper*>(&message)}) {
      platform::Bstr envelope = nullptr, errorText = nullptr;
      int16_t result = 1;
      wrapper->Format(&envelope, &errorText, &result);
      const int32_t* handle = wrapper == &open ? &c.handle : nullptr;
      EXPECT_EQ(std::u16string(platform::BstrView(envelope)),
                platform::Utf8ToUtf16(FormatEnvelope(handle, c.error, c.errorText, c.logFileName)));
      EXPECT_EQ(std::u16string(platform::BstrView(errorText)), platform::Utf8ToUtf16(c.errorText));
      EXPECT_EQ(errorText == nullptr, c.errorText.empty());
      EXPECT_EQ(result, c.error ? -1 : 0);
      platform::BstrFree(envelope);
      platform::BstrFree(errorText);
    }
  }
}

TEST(ModuleState, AFreshRequestHolderIsEmpty) {
  kCustomerDisplayWrapper_MESSAGE wrapper;
  EXPECT_EQ(wrapper.Handler().fDriver, "");
  EXPECT_EQ(wrapper.Handler().fDeviceHandle, 0);
  EXPECT_FALSE(wrapper.Result().Error);
}
