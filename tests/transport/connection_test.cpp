#include <gtest/gtest.h>

#include "platform/error.h"
#include "support/test_support.h"
#include "transport/io_handler.h"

namespace korvane {
namespace {

using testing::ErrorOf;

TEST(Connection, DefaultsAreAnOposLinkWithOneSecondTimeouts) {
  const kConnection c;
  EXPECT_EQ(c.ConnectionType(), tkConnectionType::OPOS);
  EXPECT_EQ(c.Parity(), tkParity::None);
  EXPECT_EQ(c.AuthType(), at_None);
  EXPECT_EQ(c.ConnectTimeOut(), 1000);
  EXPECT_EQ(c.ReadTimeOut(), 1000);
  EXPECT_EQ(c.Port(), 0);
  EXPECT_EQ(c.Speed(), 0);
  EXPECT_EQ(c.DataBits(), 0);
  EXPECT_EQ(c.StopBits(), 0);
  EXPECT_TRUE(c.Address().empty());
  EXPECT_TRUE(c.LibraryName().empty());
}

TEST(Connection, TimeoutSettersIgnoreZeroAndNegative) {
  kConnection c;
  for (const int32_t ignored : {0, -5, INT32_MIN}) {
    c.SetReadTimeOut(ignored);
    c.SetConnectTimeOut(ignored);
    EXPECT_EQ(c.ReadTimeOut(), 1000);
    EXPECT_EQ(c.ConnectTimeOut(), 1000);
  }
  c.SetReadTimeOut(250);
  c.SetConnectTimeOut(1);
  EXPECT_EQ(c.ReadTimeOut(), 250);
  EXPECT_EQ(c.ConnectTimeOut(), 1);
  c.SetReadTimeOut(0);
  EXPECT_EQ(c.ReadTimeOut(), 250);
}

TEST(Connection, ConnectionTypeTextIgnoresCaseOnly) {
  struct Case {
    const char* text;
    tkConnectionType type;
  };
  const Case cases[] = {{"TCP", tkConnectionType::TCP},    {"Tcp", tkConnectionType::TCP},
                        {"tcp", tkConnectionType::TCP},    {"SERIAL", tkConnectionType::Serial},
                        {"Http", tkConnectionType::HTTP},  {"opos", tkConnectionType::OPOS},
                        {"DLL", tkConnectionType::DLL},    {"com", tkConnectionType::Com},
                        {"SpOoL", tkConnectionType::Spool}};
  for (const Case& c : cases) EXPECT_EQ(kConnection::ConvertConnectionType(c.text), c.type) << c.text;

  const auto convert = [](const std::string& s) { kConnection::ConvertConnectionType(s); };
  EXPECT_EQ(ErrorOf(convert, " TCP"), "Connection Type  TCP is not valid");
  EXPECT_EQ(ErrorOf(convert, ""), "Connection Type  is not valid");
  EXPECT_EQ(ErrorOf(convert, "TCP "), "Connection Type TCP  is not valid");
  EXPECT_EQ(ErrorOf(convert, "Tc"), "Connection Type Tc is not valid");
  EXPECT_EQ(ErrorOf(convert, "SERİAL"), "Connection Type SERİAL is not valid");
}

TEST(Connection, ParityTextIgnoresCaseAndKeepsOrdinals) {
  EXPECT_EQ(kConnection::ConvertParity("EVEN"), tkParity::Even);
  EXPECT_EQ(static_cast<int>(kConnection::ConvertParity("EVEN")), 1);
  EXPECT_EQ(static_cast<int>(kConnection::ConvertParity("ODD")), 2);
  EXPECT_EQ(kConnection::ConvertParity("None"), tkParity::None);
  const auto convert = [](const std::string& s) { kConnection::ConvertParity(s); };
  EXPECT_EQ(ErrorOf(convert, ""), "Connection Parity  is not valid");
  EXPECT_EQ(ErrorOf(convert, "Mark"), "Connection Parity Mark is not valid");
}

TEST(Connection, UnknownAuthTextIsNone) {
  EXPECT_EQ(kConnection::ConvertAuthType("Bearer"), at_Bearer);
  EXPECT_EQ(kConnection::ConvertAuthType("BASIC"), at_Basic);
  EXPECT_EQ(kConnection::ConvertAuthType("digest"), at_Digest);
  EXPECT_EQ(kConnection::ConvertAuthType("token"), at_None);
  EXPECT_EQ(kConnection::ConvertAuthType(""), at_None);
  EXPECT_EQ(kConnection::ConvertAuthType(" basic"), at_None);
}

TEST(Connection, EveryTextWrittenReadsBackToTheSameValue) {
  const std::pair<tkConnectionType, const char*> types[] = {
      {tkConnectionType::OPOS, "OPOS"},     {tkConnectionType::TCP, "TCP"}, {tkConnectionType::HTTP, "HTTP"},
      {tkConnectionType::Serial, "SERIAL"}, {tkConnectionType::DLL, "DLL"}, {tkConnectionType::Com, "COM"},
      {tkConnectionType::Spool, "SPOOL"}};
  for (const auto& [type, text] : types) {
    EXPECT_EQ(kConnection::ConnectionTypeToString(type), text);
    EXPECT_EQ(kConnection::ConvertConnectionType(text), type);
  }
  const std::pair<tkParity, const char*> parities[] = {
      {tkParity::None, "NONE"}, {tkParity::Even, "EVEN"}, {tkParity::Odd, "ODD"}};
  for (const auto& [parity, text] : parities) {
    EXPECT_EQ(kConnection::ParityToString(parity), text);
    EXPECT_EQ(kConnection::ConvertParity(text), parity);
  }
  const std::pair<tkHTTPAuthType, const char*> auths[] = {
      {at_None, "NONE"}, {at_Basic, "BASIC"}, {at_Digest, "DIGEST"}, {at_Bearer, "BEARER"}};
  for (const auto& [auth, text] : auths) {
    EXPECT_EQ(kConnection::AuthTypeToString(auth), text);
    EXPECT_EQ(kConnection::ConvertAuthType(text), auth);
  }
}

}  // namespace
}  // namespace korvane
