// Request texts for the end-to-end tests.
#pragma once

#include <string>

#include "support/test_support.h"

namespace korvane::testing {

struct RequestSpec {
  std::string method = "MESSAGE";
  std::string driver = "QORD_KORVANE_10";
  int handle = 0;  // 0: no Handle element
  // One log file per test process: the log is named after driver, LogId and date.
  std::string logId = "T" + std::to_string(ThisProcessId());
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

}  // namespace korvane::testing
