// Request texts made by the tool itself (the demo sale, the quick calls, the
// session mode) and the commented request files it offers as templates.
#pragma once

#include <string>
#include <string_view>

#include "request_file.h"

namespace korvane::host {

// <aName>aText</aName>, aText escaped.
std::string Element(const char* aName, std::string_view aText);

// A request with the common envelope; aBody follows Parameters. OPEN gets
// LogId aLogId, the others <Handle>HANDLE</Handle> (see WithHandle).
std::string Request(const std::string& aMethod, const std::string& aConnection,
                    const std::string& aParameters, const std::string& aBody,
                    const std::string& aLogId = "demo");

// aRequest with the device handle in place of HANDLE.
std::string WithHandle(std::string aRequest, const std::string& aHandle);

// <aElement><Text1>...</Text1><Text2>...</Text2></aElement>
std::string TextDocument(const char* aElement, std::string_view aText1, std::string_view aText2);

// <Connection> for a TCP display at aDisplay.
std::string TcpConnection(const DisplayAddress& aDisplay, int aReadTimeoutMs = 5000);

// The commented example request of aExport (OPEN, MESSAGE, ...), as in
// examples/; throws HostError for an unknown export.
std::string RequestTemplate(const std::string& aExport);

}  // namespace korvane::host
