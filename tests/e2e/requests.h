// Request texts for the end-to-end tests.
#pragma once

#include <cstdio>
#include <random>
#include <string>

#include "support/test_support.h"

namespace korvane::testing {

// The log id of this test process ("T" with its id and a random part): one
// log file per process, even where the system soon hands a finished
// process's id to the next (Windows does).
inline const std::string& ProcessLogId() {
  static const std::string id = [] {
    char random[16];
    std::snprintf(random, sizeof random, "%08x", static_cast<unsigned>(std::random_device{}()));
    return "T" + std::to_string(ThisProcessId()) + "x" + random;
  }();
  return id;
}

struct RequestSpec {
  std::string method = "MESSAGE";
  std::string driver = "QORD_KORVANE_10";
  int handle = 0;  // 0: no Handle element
  // One log file per test process: the log is named after driver, LogId and date.
  std::string logId = ProcessLogId();
  std::string connection;  // the Connection element's children
  std::string parameters;  // the Parameters element's children
  std::string body;        // documents after Parameters
};

inline std::string TcpConnection(int aPort, int aReadTimeout = 1000) {
  return "<Type>TCP</Type><Address>127.0.0.1</Address><Port>" + std::to_string(aPort) +
         "</Port><ConnectTimeout>2000</ConnectTimeout><ReadTimeout>" + std::to_string(aReadTimeout) +
         "</ReadTimeout>";
}

inline std::string Request(const RequestSpec& r) {
  std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Request><Type>CustomerDisplay</Type><Driver>" +
                  r.driver + "</Driver><Method>" + r.method + "</Method>";
  if (r.handle != 0) x += "<Handle>" + std::to_string(r.handle) + "</Handle>";
  x += "<LogId>" + r.logId + "</LogId>";
  if (!r.connection.empty()) x += "<Connection>" + r.connection + "</Connection>";
  x += "<Parameters>" + r.parameters + "</Parameters>" + r.body + "</Request>";
  return x;
}

inline std::string OpenRequest(int aPort, const std::string& aParameters = "", int aHandle = 0) {
  RequestSpec r;
  r.method = "OPEN";
  r.handle = aHandle;
  r.connection = TcpConnection(aPort);
  r.parameters = aParameters;
  return Request(r);
}

inline std::string CallRequest(const std::string& aMethod, int aHandle, const std::string& aBody) {
  RequestSpec r;
  r.method = aMethod;
  r.handle = aHandle;
  r.body = aBody;
  return Request(r);
}

// The text of the element aName in a result envelope ("Handle",
// "LogFileName"); empty when there is none.
inline std::string EnvelopeField(const std::string& aEnvelope, const std::string& aName) {
  const size_t start = aEnvelope.find("<" + aName + ">");
  const size_t end = aEnvelope.find("</" + aName + ">");
  if (start == std::string::npos || end == std::string::npos || end < start) return std::string();
  const size_t at = start + aName.size() + 2;
  return aEnvelope.substr(at, end - at);
}

}  // namespace korvane::testing
