// The message, idle, thank-you and receipt documents, read from display requests.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "display/request_holder.h"
#include "platform/error.h"
#include "support/test_support.h"

namespace korvane {
namespace {

using korvane::testing::ErrorOf;

std::string Request(const std::string& aBody, const std::string& aParameters = "<Parameters/>") {
  return "<Request><Driver>QORD_KORVANE_10</Driver><Handle>1</Handle>" + aParameters + aBody + "</Request>";
}

// ---- receipt -------------------------------------------------------------------

TEST(ReceiptDocument, ReadsTotalsLinesAndPaymentsInOrder) {
  kCustomerDisplayHandler h;
  h.Deserialize(
      Request(
          "<Receipt><Currency>EUR</Currency><Subtotal>10</Subtotal><Taxes>2.3</Taxes><Total>12.5</Total>"
          "<Text1>a</Text1><Text2>b</Text2><Image>i</Image><ImageUrl>u</ImageUrl><ShowPayments>1</"
          "ShowPayments>"
          "<Lines><Line><Type>productsale</Type><Code>C1</Code><Description>Tea</Description>"
          "<Quantity>2</Quantity><Price>1.25</Price><Amount>2.50</Amount></Line>"
          "<!-- between -->"
          "<Item><Description>Cake</Description><Amount>3</Amount></Item></Lines>"
          "<Payments><Payment><Type>cash</Type><Text1>Cash</Text1><Amount>10.00</Amount></Payment>"
          "<Payment><Type>card</Type><Text2>x</Text2><Amount>2.50</Amount></Payment></Payments></Receipt>"),
      {dt_Receipt});
  const kCDReceipt& r = h.Receipt();
  EXPECT_EQ(r.fCurrency, "EUR");
  EXPECT_EQ(r.fSubtotal.ToString(), "10.0");
  EXPECT_EQ(r.fTaxes.ToString(), "2.3");
  EXPECT_EQ(r.fTotal.Raw(), 125000);
  EXPECT_EQ(r.fText1 + r.fText2 + r.fImage + r.fImageUrl, "abiu");
  EXPECT_TRUE(r.fShowPayments);
  ASSERT_EQ(r.fLines.Count(), 3u);
  EXPECT_EQ(r.fLines[0].fType, "productsale");
  EXPECT_EQ(r.fLines[0].fCode, "C1");
  EXPECT_EQ(r.fLines[0].fQuantity.ToString(), "2.0");
  EXPECT_EQ(r.fLines[0].fPrice.ToString(), "1.25");
  EXPECT_EQ(r.fLines[1].fDescription, "");  // the comment
  EXPECT_EQ(r.fLines[1].fAmount, Currency());
  EXPECT_EQ(r.fLines[2].fDescription, "Cake");
  EXPECT_EQ(r.fLines[2].fQuantity, Currency());
  ASSERT_EQ(r.fPayments.Count(), 2u);
  EXPECT_EQ(r.fPayments[0].fText1, "Cash");
  EXPECT_EQ(r.fPayments[1].fText2, "x");
  EXPECT_EQ(r.fPayments.Total().ToString(), "12.5");
}

TEST(ReceiptDocument, EmptyReceiptAndShowPaymentsTexts) {
  struct Case {
    const char* element;
    bool value;
  };
  for (const Case& c :
       {Case{"", false}, Case{"<ShowPayments>true</ShowPayments>", true},
        Case{"<ShowPayments>1</ShowPayments>", true}, Case{"<ShowPayments>0</ShowPayments>", false}}) {
    kCustomerDisplayHandler h;
    h.Deserialize(Request(std::string("<Receipt>") + c.element + "</Receipt>"), {dt_Receipt});
    EXPECT_EQ(h.Receipt().fShowPayments, c.value) << c.element;
    EXPECT_EQ(h.Receipt().fLines.Count(), 0u);
    EXPECT_EQ(h.Receipt().fPayments.Count(), 0u);
    EXPECT_EQ(h.Receipt().fPayments.Total(), Currency());
  }
}

TEST(ReceiptDocument, BadValuesFailWithWrappedMessages) {
  struct Case {
    const char* receipt;
    const char* message;
  };
  const Case cases[] = {
      {"<Total>1,234.50</Total>",
       "Error in processing node Total as currency.\r\n'1,234.50' is not a valid floating point value"},
      {"<Lines><Line><Amount>12,50</Amount></Line></Lines>",
       "Error in processing node Amount as currency.\r\n'12,50' is not a valid floating point value"},
      {"<ShowPayments/>",
       "Error in processing node ShowPayments as boolean.\r\n'' is not a valid boolean value"},
      {"<Payments><P><Type><x/></Type></P></Payments>",
       "Error in processing node Type as string.\r\nElement \"Type\" does not contain a single text node"},
      {"<Lines><Line><Price>1.5</Price></Line><Line><Price>x</Price></Line></Lines>",
       "Error in processing node Price as currency.\r\n'x' is not a valid floating point value"},
  };
  for (const Case& c : cases) {
    kCustomerDisplayHandler h;
    EXPECT_EQ(ErrorOf([&] {
                h.Deserialize(Request(std::string("<Receipt>") + c.receipt + "</Receipt>"), {dt_Receipt});
              }),
              c.message);
    // Only the items read whole are kept.
    EXPECT_EQ(h.Receipt().fLines.Count(),
              std::string(c.receipt).find("<Price>1.5") != std::string::npos ? 1u : 0u);
    EXPECT_EQ(h.Receipt().fPayments.Count(), 0u);
  }
}

TEST(ReceiptDocument, ManyLinesStayLinear) {
  std::string lines;
  for (int i = 0; i < 20000; ++i) lines += "<L><Amount>1.5</Amount></L>";
  kCustomerDisplayHandler h;
  h.Deserialize(Request("<Receipt><Lines>" + lines + "</Lines></Receipt>"), {dt_Receipt});
  EXPECT_EQ(h.Receipt().fLines.Count(), 20000u);
}

}  // namespace
}  // namespace korvane
