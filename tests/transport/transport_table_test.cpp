// The transport table: which handler class serves a connection type.
#include "transport/transport_table.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/error.h"
#include "support/test_support.h"
#include "transport/com_handler.h"
#include "transport/dll_handler.h"
#include "transport/io_handler.h"
#include "transport/tcp_handler.h"

namespace korvane {
namespace {

using testing::TempDir;

TEST(TransportTable, MakesTheHandlerClassOfEachAvailableConnectionType) {
  TempDir dir;
  kConnection connection;
  connection.SetReadTimeOut(333);
  connection.SetConnectionType(tkConnectionType::TCP);
  auto tcp = TransportTable::Create(connection, dir.Path(), "Table_tcp");
  EXPECT_NE(dynamic_cast<kIOHandler_TCP*>(tcp.get()), nullptr);
  EXPECT_EQ(tcp->ReadTimeout(), 333);
  EXPECT_FALSE(tcp->GetLogFileName().empty());

  connection.SetConnectionType(tkConnectionType::Com);
  auto com = TransportTable::Create(connection, "", "");
  EXPECT_NE(dynamic_cast<kIOHandler_Com*>(com.get()), nullptr);

  EXPECT_EQ(TransportTable::ClassName(tkConnectionType::OPOS), "kIOHandler_OPOS");
  EXPECT_EQ(TransportTable::ClassName(tkConnectionType::TCP), "kIOHandler_TCP");
  EXPECT_EQ(TransportTable::ClassName(tkConnectionType::HTTP), "kIOHandler_HTTP");
  EXPECT_EQ(TransportTable::ClassName(tkConnectionType::Serial), "kIOHandler_Serial");
  EXPECT_EQ(TransportTable::ClassName(tkConnectionType::DLL), "kIOHandler_Dll");
  EXPECT_EQ(TransportTable::ClassName(tkConnectionType::Com), "kIOHandler_Com");
  EXPECT_EQ(TransportTable::ClassName(tkConnectionType::Spool), "kIOHandler_Spool");
}

TEST(TransportTable, EveryTransportIsAvailableButTheSpoolerOnlyWhenBuiltWithIt) {
  for (const tkConnectionType type : {tkConnectionType::OPOS, tkConnectionType::TCP, tkConnectionType::HTTP,
                                      tkConnectionType::Serial, tkConnectionType::DLL, tkConnectionType::Com})
    EXPECT_TRUE(TransportTable::Available(type)) << kConnection::ConnectionTypeToString(type);
  EXPECT_EQ(TransportTable::Available(tkConnectionType::Spool), KORVANE_WITH_SPOOL != 0);
}

TEST(TransportTable, TypeWithoutTransportFailsNamingTheTypeAndMakesNoLog) {
  for (const tkConnectionType type :
       {tkConnectionType::OPOS, tkConnectionType::HTTP, tkConnectionType::Serial, tkConnectionType::Spool}) {
    if (TransportTable::Available(type)) continue;  // joined the build since
    TempDir dir;
    kConnection connection;
    connection.SetConnectionType(type);
    try {
      TransportTable::Create(connection, dir.Path(), "Table");
      ADD_FAILURE() << "no error for " << kConnection::ConnectionTypeToString(type);
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), "No transport for connection type " +
                                           kConnection::ConnectionTypeToString(type) + " (" +
                                           TransportTable::ClassName(type) + ") in this build");
    }
    EXPECT_TRUE(dir.IsEmpty());
  }
}

}  // namespace
}  // namespace korvane
