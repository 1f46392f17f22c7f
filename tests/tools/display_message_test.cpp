// Reading the protocol's JSON messages, and the values the screen shows.
#include "display_message.h"

#include <gtest/gtest.h>

#include "helpers/base64.h"

using namespace korvane::simulator;

namespace {

// A 1x1 PNG.
const char* const kPngBase64 =
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==";

}  // namespace

TEST(DisplayMessage, ReadsAnOpenMessageWithAllItsMembers) {
  const auto message = ParseDisplayMessage(
      std::string(
          R"({"Open":{"Mode":"Display","Layout":"1","ContentRatio":"40","Language":"de","FontName":"Arial",)") +
      R"("ShowTaxes":true,"LogoImage_Dark":")" + kPngBase64 + R"(","IdleTimeout":30,"IdleText1":"Hallo",)" +
      R"("ThankyouText2":"Bis bald","CloseText1":"Zu","ShowOnlyVideo":true,"IdleVideoUrl":"https:\/\/v.example\/a.mp4",)" +
      R"("ColorPrimary":"#8B5000","ColorOutlineVariant":"#D7C3B5"}})");
  ASSERT_EQ(message.fKind, MessageKind::Open);
  const OpenMessage& open = message.fOpen;
  EXPECT_EQ(open.fMode, "Display");
  EXPECT_EQ(open.fLayout, "1");
  EXPECT_EQ(open.fContentRatio, "40");
  EXPECT_EQ(open.fLanguage, "de");
  EXPECT_EQ(open.fFontName, "Arial");
  EXPECT_TRUE(open.fShowTaxes);
  ASSERT_TRUE(open.fLogoDark);
  EXPECT_EQ(open.fLogoDark->fMime, "image/png");
  EXPECT_FALSE(open.fLogoLight);
  EXPECT_EQ(open.fIdleTimeout, 30);
  EXPECT_EQ(open.fIdleText1, "Hallo");
  EXPECT_EQ(open.fThankyouText2, "Bis bald");
  EXPECT_EQ(open.fCloseText1, "Zu");
  EXPECT_TRUE(open.fShowOnlyVideo);
  EXPECT_EQ(open.fIdleVideoUrl, "https://v.example/a.mp4");
  EXPECT_EQ(open.fColors[3], "#8B5000");
  EXPECT_EQ(open.fColors[9], "#D7C3B5");
  EXPECT_EQ(open.fColors[0], "");
  EXPECT_TRUE(message.fWarnings.empty());
}

TEST(DisplayMessage, ReadsAReceiptWithLinesAndPayments) {
  const auto message = ParseDisplayMessage(
      R"({"Receipt":{"Currency":"EUR","Subtotal":12.5,"Taxes":0.0,"Total":10.0,"Text1":"T1","Lines":[)"
      R"({"Type":"ProductSale","Code":"7","Description":"Tea","Quantity":2.0,"Price":1.25,"Amount":2.5},)"
      R"({"Type":"Text","Code":"","Description":"note","Quantity":0.0,"Price":0.0,"Amount":0.0}],)"
      R"("ShowPayments":true,"Payments":[{"Type":"Cash","Text1":"Cash","Text2":"","Amount":20.0}]}})");
  ASSERT_EQ(message.fKind, MessageKind::Receipt);
  const ReceiptMessage& receipt = message.fReceipt;
  EXPECT_EQ(receipt.fCurrency, "EUR");
  EXPECT_EQ(receipt.fSubtotal.fUnits, 125000);
  EXPECT_EQ(receipt.fTotal.fUnits, 100000);
  EXPECT_EQ(receipt.fText1, "T1");
  ASSERT_EQ(receipt.fLines.size(), 2u);
  EXPECT_EQ(receipt.fLines[0].fDescription, "Tea");
  EXPECT_EQ(receipt.fLines[0].fQuantity.fUnits, 20000);
  EXPECT_EQ(receipt.fLines[0].fPrice.fUnits, 12500);
  EXPECT_EQ(receipt.fLines[1].fType, "Text");
  EXPECT_TRUE(receipt.fShowPayments);
  ASSERT_EQ(receipt.fPayments.size(), 1u);
  EXPECT_EQ(receipt.fPayments[0].fAmount.fUnits, 200000);
}

TEST(DisplayMessage, TakesTheLaterOfTwoMembersOfTheSameName) {
  const auto message = ParseDisplayMessage(
      std::string(R"({"Message":{"Text1":"first","Image":"not base64!","Text1":"second","Image":")") +
      kPngBase64 + R"("}})");
  EXPECT_EQ(message.fText.fText1, "second");
  ASSERT_TRUE(message.fText.fImage);
  EXPECT_TRUE(message.fText.fImage->fError.empty());
  EXPECT_TRUE(message.fWarnings.empty());
}

TEST(DisplayMessage, ReadsRawControlCharactersInsideStrings) {
  // The library may write control characters other than \b\t\n\f\r unescaped.
  const auto message = ParseDisplayMessage(
      "{\"Idle\":{\"Text1\":\"a\x01"
      "b\",\"Text2\":\"line\\nbreak\"}}");
  EXPECT_EQ(message.fText.fText1,
            "a\x01"
            "b");
  EXPECT_EQ(message.fText.fText2, "line\nbreak");
}

TEST(DisplayMessage, RejectsWhatIsNotOneOfTheSixMessages) {
  const struct {
    const char* fText;
    const char* fError;
  } kCases[] = {
      {"", "malformed JSON"},
      {"{\"Idle\":{}", "malformed JSON"},
      {"{\"Idle\":{}}}", "malformed JSON"},
      {"[1,2]", "must be an object"},
      {"{}", "exactly one member"},
      {R"({"Idle":{},"Close":{}})", "exactly one member"},
      {R"({"Refund":{}})", "unknown message \"Refund\""},
      {R"({"Idle":"text"})", "Idle must be an object"},
      {R"({"Receipt":{"Total":"12.50"}})", "Receipt.Total must be a number, not a string"},
      {R"({"Receipt":{"Lines":[{"Amount":true}]}})", "Receipt.Lines[0].Amount must be a number"},
      {R"({"Receipt":{"Lines":{}}})", "Receipt.Lines must be an array"},
      {R"({"Receipt":{"Payments":[7]}})", "Receipt.Payments[0] must be an object"},
      {R"({"Open":{"ShowTaxes":"true"}})", "Open.ShowTaxes must be a boolean"},
      {R"({"Open":{"IdleTimeout":"10"}})", "Open.IdleTimeout must be a number"},
      {R"({"Message":{"Text1":5}})", "Message.Text1 must be a string"},
  };
  for (const auto& test : kCases) {
    try {
      ParseDisplayMessage(test.fText);
      ADD_FAILURE() << "accepted: " << test.fText;
    } catch (const ProtocolError& e) {
      EXPECT_NE(std::string(e.what()).find(test.fError), std::string::npos)
          << test.fText << " -> " << e.what();
    }
  }
}

TEST(DisplayMessage, KeepsAPictureThatDoesNotDecodeAsAWarning) {
  const auto message = ParseDisplayMessage(R"({"Thankyou":{"Text1":"Thanks","Image":"R0lG*"}})");
  EXPECT_EQ(message.fText.fText1, "Thanks");
  ASSERT_EQ(message.fWarnings.size(), 1u);
  EXPECT_EQ(message.fWarnings[0], "Thankyou.Image: not Base64 text");
  const auto text = ParseDisplayMessage(R"({"Idle":{"Image":"aGVsbG8="}})");
  ASSERT_EQ(text.fWarnings.size(), 1u);
  EXPECT_EQ(text.fWarnings[0], "Idle.Image: not a PNG or JPEG picture");
}

TEST(DisplayMessage, DecodesBase64InBothAlphabetsWithAndWithoutPadding) {
  EXPECT_EQ(korvane::Base64Decode("aGVsbG8="), "hello");
  EXPECT_EQ(korvane::Base64Decode("aGVsbG8"), "hello");
  EXPECT_EQ(korvane::Base64Decode("aGVs\nbG8="), "hello");
  EXPECT_EQ(korvane::Base64Decode("-_8="), std::string("\xfb\xff"));
  EXPECT_EQ(korvane::Base64Decode("+/8="), std::string("\xfb\xff"));
  EXPECT_EQ(korvane::Base64Decode(""), "");
  EXPECT_FALSE(korvane::Base64Decode("a"));
  EXPECT_FALSE(korvane::Base64Decode("aGVs*"));
  EXPECT_FALSE(korvane::Base64Decode("aG=Vs"));
}

TEST(DisplayMessage, FormatsAmountsWithTwoToFourDecimals) {
  const struct {
    double fValue;
    int fMin;
    char fPoint;
    const char* fText;
  } kCases[] = {
      {12.5, 2, '.', "12.50"},  {10.0, 2, '.', "10.00"},          {0.0001, 2, '.', "0.0001"},
      {-3.25, 2, '.', "-3.25"}, {1234.5678, 2, '.', "1234.5678"}, {-0.5, 2, ',', "-0,50"},
      {2.0, 0, '.', "2"},       {0.375, 0, '.', "0.375"},         {1e300, 2, '.', "0.00"},
  };
  for (const auto& test : kCases)
    EXPECT_EQ(Amount::FromDouble(test.fValue).Format(test.fMin, test.fPoint), test.fText) << test.fValue;
}

TEST(DisplayMessage, TurnsColourTextsIntoCssColours) {
  const struct {
    const char* fText;
    const char* fCss;  // nullptr: not a colour
  } kCases[] = {
      {"#8B5000", "#8b5000"},
      {"#abc", "#aabbcc"},
      {"#FF8B5000", "#8b5000"},
      {"0xFF8B5000", "#8b5000"},
      {"8B5000", "#8b5000"},
      {"#808B5000", "rgba(139,80,0,0.502)"},
      {" rgb(1, 2, 3) ", "rgb(1, 2, 3)"},
      {"Teal", "teal"},
      {"red;background:url(x)", nullptr},
      {"#12345", nullptr},
      {"", nullptr},
      {"expression(alert(1))", nullptr},
  };
  for (const auto& test : kCases) {
    const auto css = NormalizeColor(test.fText);
    if (test.fCss)
      EXPECT_EQ(css, test.fCss) << test.fText;
    else
      EXPECT_FALSE(css) << test.fText << " -> " << css.value_or("");
  }
}
