// The transport table: one row per connection type. A transport that joins
// the build fills in the factory of its row here.
#include "platform/error.h"
#include "transport/uTKIOHandler.h"
#include "transport/uTKIOHandler_Com.h"
#include "transport/uTKIOHandler_Dll.h"
#include "transport/uTKIOHandler_TCP.h"

namespace korvane {
namespace {

template <class THandler>
std::unique_ptr<kIOHandler> Make(const kConnection& aConnection, const std::string& aDirectory,
                                 const std::string& aFileName) {
  return std::make_unique<THandler>(aConnection, aDirectory, aFileName);
}

// In the order of tkConnectionType.
const TransportTable::Row kRows[] = {
    {tkConnectionType::OPOS, "kIOHandler_OPOS", nullptr},
    {tkConnectionType::TCP, "kIOHandler_TCP", &Make<kIOHandler_TCP>},
    {tkConnectionType::HTTP, "kIOHandler_HTTP", nullptr},
    {tkConnectionType::Serial, "kIOHandler_Serial", nullptr},
    {tkConnectionType::DLL, "kIOHandler_Dll", &Make<kIOHandler_Dll>},
    {tkConnectionType::Com, "kIOHandler_Com", &Make<kIOHandler_Com>},
    {tkConnectionType::Spool, "kIOHandler_Spool", nullptr},
};

}  // namespace

const TransportTable::Row& TransportTable::Find(tkConnectionType aType) {
  for (const Row& row : kRows)
    if (row.fConnectionType == aType) return row;
  throw Error("Connection Type " + std::to_string(static_cast<int>(aType)) + " is not valid");
}

std::string TransportTable::ClassName(tkConnectionType aType) { return Find(aType).fClassName; }

bool TransportTable::Available(tkConnectionType aType) { return Find(aType).fCreate != nullptr; }

std::unique_ptr<kIOHandler> TransportTable::Create(const kConnection& aConnection,
                                                   const std::string& aDirectory,
                                                   const std::string& aFileName) {
  const Row& row = Find(aConnection.ConnectionType());
  if (row.fCreate == nullptr)
    throw Error("No transport for connection type " +
                kConnection::ConnectionTypeToString(row.fConnectionType) + " (" + row.fClassName +
                ") in this build");
  return row.fCreate(aConnection, aDirectory, aFileName);
}

}  // namespace korvane
