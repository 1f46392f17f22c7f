// The library as a point-of-sale host sees it: loaded at run time (dlopen;
// LoadLibraryW on Windows), its calls found by name, strings passed as BSTRs
// made and freed by the functions a host of that system uses (the library's
// own SysAllocStringLen and SysFreeString here, OleAut32's on Windows;
// library_module.h). The one loader of the project: the host tool, the
// tests, the benchmarks and the smoke host all load the library with it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "korvane_display.h"
#include "library_module.h"

namespace korvane::host {

// A failure of the host (not of a call): its text is the one line the tool
// prints.
class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The seven request calls, in the order of the interface.
extern const std::vector<std::string> kRequestCalls;

// True where the library starts when it is loaded (here); on Windows it
// starts on its first call, as nothing may wait under the loader's lock.
extern const bool kLibraryStartsOnLoad;
// True where the library exports the BSTR functions itself (not on Windows).
extern const bool kLibraryExportsStrings;

struct CallResult {
  std::string fEnvelope;         // the result envelope, CR LF between its pieces ("" for null)
  bool fEnvelopeIsNull = true;   // whether the call left its output null
  std::string fErrorText;        // the error text out-parameter ("" for null)
  bool fErrorTextIsNull = true;  // whether the call left the error text null
  int16_t fResult = 0;           // 0 or -1
  std::chrono::microseconds fDuration{0};
};

// The text of an element of the envelope, e.g. EnvelopeValue(env, "Handle").
std::string EnvelopeValue(const std::string& aEnvelope, const std::string& aElement);

class KorvaneLibrary {
 public:
  // What the destructor does: a host that is done with the library may
  // unload it (the tests do, to see it go); the tool keeps it, as hosts do.
  enum class AtEnd { StayLoaded, Unload };

  // Loads aPath; throws HostError when it does not load.
  explicit KorvaneLibrary(std::string aPath, AtEnd aAtEnd = AtEnd::StayLoaded);
  ~KorvaneLibrary();
  KorvaneLibrary(const KorvaneLibrary&) = delete;
  KorvaneLibrary& operator=(const KorvaneLibrary&) = delete;

  // Whether the library at aPath is loaded in this process now.
  static bool IsLoaded(const std::string& aPath);

  const std::string& Path() const { return fPath; }
  bool Exports(const char* aName) const;
  // The export aName as a T; throws HostError when there is none.
  template <class T>
  T Find(const char* aName) const {
    return reinterpret_cast<T>(Symbol(aName, true));
  }
  // Throws HostError naming the first missing export among the calls and
  // the string functions the library exports itself.
  void RequireCalls() const;

  // Strings as the host makes, reads and frees them.
  BSTR MakeBstr(const std::string& aUtf8) const;
  std::string Text(BSTR aText) const;  // "" for null
  void Free(BSTR aText) const;

  // aExport is one of kRequestCalls or VERSION (any letter case); throws
  // HostError for another name or a text that is not UTF-8.
  CallResult Call(std::string_view aExport, const std::string& aTextUtf8) const;
  // The version text of aDriver, nothing when no such driver is registered.
  std::optional<std::string> Version(const std::string& aDriver) const;

  // Unloads the library now; throws HostError when the system refuses.
  void Unload();

 private:
  void* Symbol(const char* aName, bool aRequired) const;

  std::string fPath;
  AtEnd fAtEnd;
  void* fHandle = nullptr;
  library_module::Strings fStrings;
};

// Normalises an export name: "open" -> "OPEN"; throws HostError with the
// list of calls for a name that is none of them.
std::string RequestCallName(std::string_view aName);

}  // namespace korvane::host
