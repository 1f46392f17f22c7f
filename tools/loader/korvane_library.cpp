#include "korvane_library.h"

#include <algorithm>

#include "helpers/ascii.h"
#include "helpers/utf.h"

namespace korvane::host {

const std::vector<std::string> kRequestCalls = {"OPEN",    "CLOSE",    "MESSAGE", "CLOSEMESSAGE",
                                                "RECEIPT", "THANKYOU", "IDLE"};

std::string EnvelopeValue(const std::string& aEnvelope, const std::string& aElement) {
  const std::string open = "<" + aElement + ">", close = "</" + aElement + ">";
  const auto start = aEnvelope.find(open);
  if (start == std::string::npos) return "";
  const auto end = aEnvelope.find(close, start + open.size());
  if (end == std::string::npos) return "";
  return aEnvelope.substr(start + open.size(), end - start - open.size());
}

std::string RequestCallName(std::string_view aName) {
  const std::string name = AsciiUpper(aName);
  if (std::find(kRequestCalls.begin(), kRequestCalls.end(), name) != kRequestCalls.end()) return name;
  std::string known;
  for (const auto& call : kRequestCalls) known += (known.empty() ? "" : ", ") + call;
  throw HostError("unknown export '" + std::string(aName) + "' (the request calls are " + known + ")");
}

KorvaneLibrary::KorvaneLibrary(std::string aPath, AtEnd aAtEnd) : fPath(std::move(aPath)), fAtEnd(aAtEnd) {
  std::string reason;
  fHandle = library_module::Load(fPath, reason);
  if (!fHandle) throw HostError("cannot load the library " + fPath + ": " + reason);
  fStrings = library_module::StringsOf(fHandle);
}

// A host that keeps the library does not unload it: once it has made a
// device it keeps itself loaded until the process ends anyway.
KorvaneLibrary::~KorvaneLibrary() {
  std::string ignored;
  if (fHandle && fAtEnd == AtEnd::Unload) library_module::Unload(fHandle, ignored);
}

void KorvaneLibrary::Unload() {
  void* module = fHandle;
  fHandle = nullptr;
  fStrings = {};
  std::string reason;
  if (module && !library_module::Unload(module, reason))
    throw HostError("cannot unload the library " + fPath + ": " + reason);
}

bool KorvaneLibrary::IsLoaded(const std::string& aPath) { return library_module::IsLoaded(aPath); }

void* KorvaneLibrary::Symbol(const char* aName, bool aRequired) const {
  void* symbol = fHandle ? library_module::Find(fHandle, aName) : nullptr;
  if (!symbol && aRequired) throw HostError(std::string("no export ") + aName + " in " + fPath);
  return symbol;
}

bool KorvaneLibrary::Exports(const char* aName) const { return Symbol(aName, false) != nullptr; }

void KorvaneLibrary::RequireCalls() const {
  std::vector<const char*> names = {"OPEN",    "CLOSE",    "MESSAGE", "CLOSEMESSAGE",
                                    "RECEIPT", "THANKYOU", "IDLE",    "VERSION"};
  if (kLibraryExportsStrings)
    names.insert(names.end(), {"SysAllocStringLen", "SysFreeString", "SysStringLen"});
  for (const char* name : names)
    if (!Exports(name))
      throw HostError(fPath + " does not export " + name + " (a library without its calls: not built yet?)");
}

BSTR KorvaneLibrary::MakeBstr(const std::string& aUtf8) const {
  if (!fStrings.alloc) RequireCalls();
  const std::u16string text = platform::Utf8ToUtf16(aUtf8);
  char16_t* made = fStrings.alloc(text.data(), static_cast<uint32_t>(text.size()));
  if (!made)
    throw HostError("SysAllocStringLen failed for a text of " + std::to_string(text.size()) + " characters");
  return reinterpret_cast<BSTR>(made);
}

std::string KorvaneLibrary::Text(BSTR aText) const {
  if (!aText) return "";
  if (!fStrings.length) RequireCalls();
  char16_t* units = reinterpret_cast<char16_t*>(aText);  // wchar_t on Windows: UTF-16 as well
  return platform::Utf16ToUtf8Replacing(std::u16string_view(units, fStrings.length(units)));
}

void KorvaneLibrary::Free(BSTR aText) const {
  if (!fStrings.release) RequireCalls();
  fStrings.release(reinterpret_cast<char16_t*>(aText));
}

CallResult KorvaneLibrary::Call(std::string_view aExport, const std::string& aTextUtf8) const {
  const std::string name = AsciiUpper(aExport) == "VERSION" ? "VERSION" : RequestCallName(aExport);
  const auto call = reinterpret_cast<KorvaneRequestCall>(Symbol(name.c_str(), false));
  if (!call) RequireCalls();
  if (platform::InvalidUtf8Offset(aTextUtf8) != std::string::npos)
    throw HostError("the " + name + " request is not UTF-8 text");
  BSTR input = MakeBstr(aTextUtf8);
  BSTR output = nullptr;
  BSTR error = nullptr;
  const auto start = std::chrono::steady_clock::now();
  const int16_t result = call(input, &output, &error);
  const auto duration = std::chrono::steady_clock::now() - start;
  CallResult outcome;
  outcome.fEnvelope = Text(output);
  outcome.fEnvelopeIsNull = output == nullptr;
  outcome.fErrorText = Text(error);
  outcome.fErrorTextIsNull = error == nullptr;
  outcome.fResult = result;
  outcome.fDuration = std::chrono::duration_cast<std::chrono::microseconds>(duration);
  Free(output);
  Free(error);
  Free(input);
  return outcome;
}

std::optional<std::string> KorvaneLibrary::Version(const std::string& aDriver) const {
  if (platform::InvalidUtf8Offset(aDriver) != std::string::npos)
    throw HostError("the driver name is not UTF-8 text");
  const CallResult version = Call("VERSION", aDriver);
  if (version.fEnvelopeIsNull) return std::nullopt;
  return version.fEnvelope;
}

}  // namespace korvane::host
