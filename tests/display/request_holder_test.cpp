// The customer-display request holder and its message and receipt documents.
#include "display/request_holder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/error.h"
#include "support/test_support.h"

namespace korvane {
namespace {

using korvane::testing::ErrorOf;

std::string Request(const std::string& aBody, const std::string& aParameters = "<Parameters/>") {
  return "<Request><Driver>QORD_KORVANE_10</Driver><Handle>1</Handle>" + aParameters + aBody + "</Request>";
}

TEST(DocumentTypes, AreOneByteSetsOfSixValues) {
  static_assert(sizeof(tkCustomerDisplayHandlerDocumentTypes) == 1);
  static_assert(dt_Open == 0 && dt_Close == 5);
  const tkCustomerDisplayHandlerDocumentTypes set{dt_Receipt, dt_Close};
  EXPECT_EQ(set.Bits(), (1 << 2) | (1 << 5));
  EXPECT_TRUE(set.Contains(dt_Close));
  EXPECT_FALSE(set.Contains(dt_Open));
}

TEST(RequestHolder, StartsEmpty) {
  kCustomerDisplayHandler h;
  EXPECT_EQ(h.fDriver, "");
  EXPECT_EQ(h.fDeviceHandle, 0);
  EXPECT_EQ(h.Open().fMode, "");
  EXPECT_EQ(h.Open().fIdleTimeout, 0);
  EXPECT_EQ(h.fMessage.fText1, "");
  EXPECT_EQ(h.Receipt().fLines.Count(), 0u);
}

TEST(RequestHolder, ReadsTheSeventeenDisplayTextsByExactName) {
  kCustomerDisplayHandler h;
  h.Deserialize(Request("",
                        "<Parameters><fptype>lower</fptype><FPPort>9100</FPPort><FPProtocol>P</FPProtocol>"
                        "<FPPassword>secret</FPPassword><FPAuthType>Basic</FPAuthType></Parameters>"),
                {dt_Close});
  EXPECT_EQ(h.fType, "");
  EXPECT_EQ(h.GetParameter("FPType"), "lower");
  EXPECT_EQ(h.fPort, "9100");
  EXPECT_EQ(h.fProtocol, "P");
  EXPECT_EQ(h.fPassword, "secret");
  EXPECT_EQ(h.fAuthType, "Basic");
  EXPECT_EQ(h.fConnection.Port(), 0);  // the texts never reach the connection
  // The same holder with a request that has none: all empty again.
  h.Deserialize(Request("", "<Parameters><Other>1</Other></Parameters>"), {dt_Close});
  EXPECT_EQ(h.fPort, "");
  EXPECT_EQ(h.fAuthType, "");

  kCustomerDisplayHandler both;
  both.Deserialize("<R><Type>root</Type><Parameters><FPType>fp</FPType></Parameters></R>", {dt_Close});
  EXPECT_EQ(both.fType, "fp");
  EXPECT_EQ(both.kDeviceHandler::fType, "root");
  EXPECT_EQ(ErrorOf([] {
              kCustomerDisplayHandler bad;
              bad.Deserialize(
                  Request("<Message/>", "<Parameters><FPURL/><FPSpeed><x/></FPSpeed></Parameters>"),
                  {dt_Message});
            }),
            "Error in processing node FPSpeed as string.\r\nElement \"FPSpeed\" does not contain a single "
            "text node");
}

TEST(RequestHolder, RequiresParametersForEveryCall) {
  for (auto type : {dt_Open, dt_Message, dt_Receipt, dt_Thankyou, dt_Idle, dt_Close}) {
    kCustomerDisplayHandler h;
    EXPECT_EQ(ErrorOf([&] { h.Deserialize(Request("<Message/>", ""), {type}); }),
              "Parameters node not found");
  }
  kCustomerDisplayHandler h;
  EXPECT_EQ(ErrorOf([&] { h.Deserialize(Request("", "<parameters/>"), {dt_Close}); }),
            "Parameters node not found");
}

TEST(RequestHolder, ReadsTheDocumentOfTheCall) {
  const std::string body =
      "<Message><Text1>m1</Text1><Text2>m2</Text2><Image>res:MSG_INFO</Image><ImageUrl>http://x</ImageUrl>"
      "</Message><Idle><Text1>i1</Text1></Idle><Thankyou><Text2>t2</Text2></Thankyou>";
  kCustomerDisplayHandler m, i, t, first;
  m.Deserialize(Request(body), {dt_Message});
  EXPECT_EQ(m.fMessage.fText1, "m1");
  EXPECT_EQ(m.fMessage.fText2, "m2");
  EXPECT_EQ(m.fMessage.fImage, "res:MSG_INFO");
  EXPECT_EQ(m.fMessage.fImageUrl, "http://x");
  EXPECT_EQ(m.Idle().fText1, "");
  i.Deserialize(Request(body), {dt_Idle});
  EXPECT_EQ(i.Idle().fText1, "i1");
  EXPECT_EQ(i.fMessage.fText1, "");
  t.Deserialize(Request(body), {dt_Thankyou});
  EXPECT_EQ(t.Thankyou().fText2, "t2");
  first.Deserialize(Request(body), {dt_Idle, dt_Message});  // only the first in order
  EXPECT_EQ(first.fMessage.fText1, "m1");
  EXPECT_EQ(first.Idle().fText1, "");

  kCustomerDisplayHandler empty;
  empty.Deserialize(Request("<Message/>"), {dt_Message});
  EXPECT_EQ(empty.fMessage.fText1 + empty.fMessage.fText2 + empty.fMessage.fImage + empty.fMessage.fImageUrl,
            "");
}

TEST(RequestHolder, MissingCallElementFailsWithItsName) {
  struct Case {
    tkCustomerDisplayHandlerDocumentType type;
    const char* message;
  };
  for (const Case& c :
       {Case{dt_Message, "Message node not found"}, Case{dt_Idle, "Idle node not found"},
        Case{dt_Thankyou, "Thankyou node not found"}, Case{dt_Receipt, "Receipt node not found"}}) {
    kCustomerDisplayHandler h;
    EXPECT_EQ(ErrorOf([&] { h.Deserialize(Request("<message/><Text1>x</Text1>"), {c.type}); }), c.message);
  }
}

TEST(RequestHolder, CloseReadsOnlyTheEnvelopeUnlessTextsAreGiven) {
  kCustomerDisplayHandler bare;
  bare.Deserialize("<R><Driver>QORD_KORVANE_10</Driver><Handle>3</Handle><Parameters/></R>", {dt_Close});
  EXPECT_EQ(bare.fDeviceHandle, 3);
  EXPECT_EQ(bare.fMessage.fText1, "");
  EXPECT_EQ(bare.Open().fCloseText1, "");
  EXPECT_EQ(bare.Open().fMode, "");  // no OPEN settings, no settings file

  kCustomerDisplayHandler texts;
  texts.Deserialize(Request("<Message><Text1>Bye</Text1><Text2>See you</Text2></Message>",
                            "<Parameters><CloseText1>Closed</CloseText1><closetext2>Next till</closetext2>"
                            "<Mode>Idle</Mode></Parameters>"),
                    {dt_Close});
  EXPECT_EQ(texts.fMessage.fText1, "Bye");
  EXPECT_EQ(texts.fMessage.fText2, "See you");
  EXPECT_EQ(texts.Open().fCloseText1, "Closed");
  EXPECT_EQ(texts.Open().fCloseText2, "Next till");
  EXPECT_EQ(texts.Open().fMode, "");
}

TEST(RequestHolder, CloseLeavesOutTextsItCannotReadAndNotesThem) {
  const std::string body =
      "<Message><Text1><b>x</b></Text1><Text2>kept</Text2><Image><i/>x</Image></Message>";
  const std::string parameters =
      "<Parameters><CloseText1><b/></CloseText1><CloseText2>Bye</CloseText2><FPSpeed><x/></FPSpeed>"
      "<FPPort>9100</FPPort><ConnectTimeout>soon</ConnectTimeout></Parameters>";
  kCustomerDisplayHandler h;
  h.Deserialize(Request(body, parameters), {dt_Close});
  EXPECT_EQ(h.fDeviceHandle, 1);
  EXPECT_EQ(h.Open().fCloseText1, "");
  EXPECT_EQ(h.Open().fCloseText2, "Bye");
  EXPECT_EQ(h.fMessage.fText1, "");
  EXPECT_EQ(h.fMessage.fText2, "kept");
  EXPECT_EQ(h.fMessage.fImage, "");
  EXPECT_EQ(h.fSpeed, "");
  EXPECT_EQ(h.fPort, "9100");
  const std::vector<std::string> expected = {
      "Parameters/CloseText1 (Element \"CloseText1\" does not contain a single text node)",
      "Parameters/FPSpeed (Element \"FPSpeed\" does not contain a single text node)",
      "Parameters/ConnectTimeout ('soon' is not a valid integer value)",
      "Message/Image (Element \"Image\" does not contain a single text node)",
      "Message/Text1 (Element \"Text1\" does not contain a single text node)",
  };
  EXPECT_EQ(h.fLeftOutTexts, expected);

  // Every other call still fails on them.
  for (auto type : {dt_Open, dt_Message}) {
    kCustomerDisplayHandler strict;
    EXPECT_EQ(ErrorOf([&] { strict.Deserialize(Request(body, parameters), {type}); }),
              "Error in processing node CloseText1 as string.\r\nElement \"CloseText1\" does not contain a "
              "single text node");
  }
}

TEST(RequestHolder, ServesCallAfterCallAsANewOneWould) {
  // A holder that read everything a request can carry, then requests that
  // carry none of it: each sees only its own.
  kCustomerDisplayHandler h;
  h.Deserialize(
      "<R><Driver>QORD_KORVANE_10</Driver><Handle>7</Handle><LogId>L1</LogId><Connection><Type>TCP</Type>"
      "<Address>10.0.0.9</Address><Port>9100</Port></Connection><Parameters><DeviceName>Dev</DeviceName>"
      "<ConnectTimeout>oops</ConnectTimeout><CloseText1>Closed</CloseText1><FPPort>1</FPPort></Parameters>"
      "<Message><Text1>Bye</Text1><Image><i/></Image></Message></R>",
      {dt_Close});
  ASSERT_EQ(h.fConnection.Address(), "10.0.0.9");
  ASSERT_FALSE(h.fLeftOutTexts.empty());
  ASSERT_EQ(h.Open().fCloseText1, "Closed");

  const kCustomerDisplayHandler fresh;
  auto expectFresh = [&](const char* aStep) {
    SCOPED_TRACE(aStep);
    EXPECT_EQ(h.fConnection.Address(), fresh.fConnection.Address());
    EXPECT_EQ(h.fConnection.Port(), fresh.fConnection.Port());
    EXPECT_EQ(h.fConnection.DeviceName(), fresh.fConnection.DeviceName());
    EXPECT_EQ(h.fConnection.ConnectTimeOut(), fresh.fConnection.ConnectTimeOut());
    EXPECT_EQ(h.fConnection.ConnectionType(), fresh.fConnection.ConnectionType());
    EXPECT_FALSE(h.ParameterExists("DeviceName"));
    EXPECT_EQ(h.fParameters.Count(), 0u);
    EXPECT_EQ(h.fLogId, "");
    EXPECT_TRUE(h.fLeftOutTexts.empty());
    EXPECT_EQ(h.Open().fCloseText1, "");
    EXPECT_EQ(h.fPort, "");
  };
  h.Deserialize(Request("<Message><Text2>Next</Text2></Message>"), {dt_Message});
  expectFresh("message");
  EXPECT_EQ(h.fMessage.fText1, "");
  EXPECT_EQ(h.fMessage.fText2, "Next");
  EXPECT_EQ(h.fDeviceHandle, 1);

  h.Deserialize(Request("<Receipt><Total>1.00</Total></Receipt>"), {dt_Receipt});
  expectFresh("receipt");
  EXPECT_EQ(h.fMessage.fText2, "");
  EXPECT_EQ(h.Receipt().fTotal, Currency::FromUnits(1));

  // A request that cannot be read leaves nothing of the one before.
  EXPECT_NE(ErrorOf([&] { h.Deserialize("<R><Handle>4</Handle>", {dt_Idle}); }), "");
  expectFresh("unreadable");
  EXPECT_EQ(h.fDriver, "");
  EXPECT_EQ(h.fDeviceHandle, 0);
  EXPECT_EQ(h.Receipt().fTotal, Currency());
}

TEST(RequestHolder, ReadsUtf16Requests) {
  kCustomerDisplayHandler h;
  h.Deserialize(std::u16string(u"<?xml version=\"1.0\" encoding=\"utf-16\"?><R><Parameters/>"
                               u"<Message><Text1>\u20AC 5</Text1></Message></R>"),
                {dt_Message});
  EXPECT_EQ(h.fMessage.fText1, "\xE2\x82\xAC 5");
  kCustomerDisplayHandler bad;
  EXPECT_EQ(ErrorOf([&] { bad.Deserialize(std::u16string(u"<R>\xDBFF</R>"), {dt_Message}); }),
            "XML parse error: Invalid UTF-16 text: unpaired surrogate (line 1, column 4)");
}

TEST(RequestHolder, OpenWithoutConnectionMakesAnOposLink) {
  const auto old = std::filesystem::current_path();
  const korvane::testing::TempDir dir;  // no settings file there
  std::filesystem::current_path(dir.Path());
  kCustomerDisplayHandler h;
  h.Deserialize(Request("", "<Parameters><Mode>Idle</Mode></Parameters>"), {dt_Open});
  std::filesystem::current_path(old);
  EXPECT_EQ(h.Open().fMode, "Idle");
  EXPECT_EQ(h.fConnection.ConnectionType(), tkConnectionType::OPOS);
}

TEST(RequestHolder, LargeAndDeepRequestsParseOrFailCleanly) {
  const auto old = std::filesystem::current_path();
  const korvane::testing::TempDir dir;  // no settings file there
  std::filesystem::current_path(dir.Path());
  {  // About 4 MB: 100,000 parameters, all with the same few names.
    std::string params;
    for (int i = 0; i < 100000; ++i)
      params +=
          "<P" + std::to_string(i % 7) + ">value " + std::to_string(i) + "</P" + std::to_string(i % 7) + ">";
    kCustomerDisplayHandler h;
    h.Deserialize(Request("", "<Parameters>" + params + "<Mode>Idle</Mode></Parameters>"), {dt_Open});
    EXPECT_EQ(h.fParameters.Count(), 100001u);
    EXPECT_EQ(h.fParameters[99999], "p4=value 4");  // the first child of that name
    EXPECT_EQ(h.Open().fMode, "Idle");
  }
  {  // 10,000 levels below a Message text.
    std::string deep;
    for (int i = 0; i < 10000; ++i) deep += "<d>";
    for (int i = 0; i < 10000; ++i) deep += "</d>";
    kCustomerDisplayHandler h;
    EXPECT_EQ(
        ErrorOf(
            [&] { h.Deserialize(Request("<Message><Text1>" + deep + "</Text1></Message>"), {dt_Message}); }),
        "Error in processing node Text1 as string.\r\nElement \"Text1\" does not contain a single text node");
  }
  std::filesystem::current_path(old);
  for (const char* bad :
       {"", "<R><Parameters></R>",
        "<!DOCTYPE R [<!ENTITY e \"x\">]><R><Parameters/><Message><Text1>&e;</Text1></Message></R>"}) {
    kCustomerDisplayHandler h;
    const std::string error = ErrorOf([&] { h.Deserialize(std::string(bad), {dt_Message}); });
    if (std::string(bad).find("ENTITY") != std::string::npos) {
      EXPECT_EQ(error, "<no error>");
      EXPECT_EQ(h.fMessage.fText1, "&e;");
    } else {
      EXPECT_EQ(error.rfind("XML parse error: ", 0), 0u) << error;
    }
  }
}

}  // namespace
}  // namespace korvane
