// The transport table: the handler class that serves each connection type.
#pragma once

#include <memory>
#include <string>

#include "transport/connection.h"
#include "transport/io_handler.h"

namespace korvane {

// Maps each connection type to the handler class that serves it and makes
// handlers through the shared constructor. A type whose transport is not part
// of this build fails to make with an error that names it.
class TransportTable {
 public:
  using Factory = std::unique_ptr<kIOHandler> (*)(const kConnection& aConnection,
                                                  const std::string& aDirectory,
                                                  const std::string& aFileName);

  struct Row {
    tkConnectionType fConnectionType;
    const char* fClassName;
    Factory fCreate;                                 // null while the transport is not available
    bool (*fIsClassOf)(const kIOHandler& aHandler);  // aHandler is (or is made from) the row's class
  };

  // The row of aType.
  static const Row& Find(tkConnectionType aType);
  static std::string ClassName(tkConnectionType aType);
  // The class name of the row whose class aHandler is, or is made from;
  // "kIOHandler" for a handler of no row.
  static std::string ClassNameOf(const kIOHandler& aHandler);
  static bool Available(tkConnectionType aType);

  // Makes the handler for aConnection.ConnectionType(); the caller owns it.
  // Fails with "No transport for connection type <TEXT> (<class>) in this
  // build" for a type whose transport is not available.
  static std::unique_ptr<kIOHandler> Create(const kConnection& aConnection, const std::string& aDirectory,
                                            const std::string& aFileName);
};

}  // namespace korvane
