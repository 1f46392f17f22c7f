// The library as a point-of-sale host sees it: loaded at run time with
// dlopen, its calls found by name, strings passed as BSTRs made and freed by
// the library's own SysAllocStringLen and SysFreeString.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::host {

// A failure of the tool (not of a call): its text is the one line it prints.
class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The seven request calls, in the order of the interface.
extern const std::vector<std::string> kRequestCalls;

struct CallResult {
  std::string fEnvelope;   // the result envelope, CR LF between its pieces
  std::string fErrorText;  // the error text out-parameter ("" for null)
  int fResult = 0;         // 0 or -1
  std::chrono::microseconds fDuration{0};
};

// The text of an element of the envelope, e.g. EnvelopeValue(env, "Handle").
std::string EnvelopeValue(const std::string& aEnvelope, const std::string& aElement);

class KorvaneLibrary {
 public:
  // The library built beside the tool: <tool folder>/../lib/QORD_KORVANE_10.so,
  // else the one this build made.
  static std::string DefaultPath();

  // Loads aPath; throws HostError when it does not load. The library is
  // not unloaded again.
  explicit KorvaneLibrary(std::string aPath);
  ~KorvaneLibrary();
  KorvaneLibrary(const KorvaneLibrary&) = delete;
  KorvaneLibrary& operator=(const KorvaneLibrary&) = delete;

  const std::string& Path() const { return fPath; }
  bool Exports(const char* aName) const;
  // Throws HostError naming the first missing export among the calls and
  // the string functions.
  void RequireCalls() const;

  // aExport is one of kRequestCalls (any letter case); throws HostError for
  // another name or a request that is not UTF-8.
  CallResult Call(std::string_view aExport, const std::string& aXmlUtf8);
  // The version text of aDriver, nothing when no such driver is registered.
  std::optional<std::string> Version(const std::string& aDriver);

 private:
  void* Symbol(const char* aName) const;
  void* MakeBstr(const std::u16string& aText) const;
  std::string TakeBstr(void* aBstr) const;

  std::string fPath;
  void* fHandle = nullptr;
};

// Normalises an export name: "open" -> "OPEN"; throws HostError with the
// list of calls for a name that is none of them.
std::string RequestCallName(std::string_view aName);

}  // namespace korvane::host
