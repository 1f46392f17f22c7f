// The transport table: one row per connection type. A transport that joins
// the build fills in the factory of its row here.
#include "transport/transport_table.h"

#include "platform/error.h"
#include "transport/com_handler.h"
#include "transport/dll_handler.h"
#include "transport/http_handler.h"
#include "transport/opos_handler.h"
#include "transport/serial_handler.h"
#if KORVANE_WITH_SPOOL
#include "transport/spool_handler.h"
#endif
#include "transport/tcp_handler.h"

namespace korvane {
namespace {

template <class THandler>
std::unique_ptr<kIOHandler> Make(const kConnection& aConnection, const std::string& aDirectory,
                                 const std::string& aFileName) {
  return std::make_unique<THandler>(aConnection, aDirectory, aFileName);
}

template <class THandler>
bool IsClassOf(const kIOHandler& aHandler) {
  return dynamic_cast<const THandler*>(&aHandler) != nullptr;
}

// In the order of tkConnectionType.
const TransportTable::Row kRows[] = {
    {tkConnectionType::OPOS, "kIOHandler_OPOS", &Make<kIOHandler_OPOS>, &IsClassOf<kIOHandler_OPOS>},
    {tkConnectionType::TCP, "kIOHandler_TCP", &Make<kIOHandler_TCP>, &IsClassOf<kIOHandler_TCP>},
    {tkConnectionType::HTTP, "kIOHandler_HTTP", &Make<kIOHandler_HTTP>, &IsClassOf<kIOHandler_HTTP>},
    {tkConnectionType::Serial, "kIOHandler_Serial", &Make<kIOHandler_Serial>, &IsClassOf<kIOHandler_Serial>},
    {tkConnectionType::DLL, "kIOHandler_Dll", &Make<kIOHandler_Dll>, &IsClassOf<kIOHandler_Dll>},
    {tkConnectionType::Com, "kIOHandler_Com", &Make<kIOHandler_Com>, &IsClassOf<kIOHandler_Com>},
#if KORVANE_WITH_SPOOL
    {tkConnectionType::Spool, "kIOHandler_Spool", &Make<kIOHandler_Spool>, &IsClassOf<kIOHandler_Spool>},
#else
    // Built without the print spooler.
    {tkConnectionType::Spool, "kIOHandler_Spool", nullptr, nullptr},
#endif
};

}  // namespace

const TransportTable::Row& TransportTable::Find(tkConnectionType aType) {
  for (const Row& row : kRows)
    if (row.fConnectionType == aType) return row;
  throw Error("Connection Type " + std::to_string(static_cast<int>(aType)) + " is not valid");
}

std::string TransportTable::ClassName(tkConnectionType aType) { return Find(aType).fClassName; }

std::string TransportTable::ClassNameOf(const kIOHandler& aHandler) {
  for (const Row& row : kRows)
    if (row.fIsClassOf != nullptr && row.fIsClassOf(aHandler)) return row.fClassName;
  return "kIOHandler";
}

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
