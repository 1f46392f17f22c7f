#include "korvane_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "helpers/ascii.h"
#include "korvane_display.h"
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

std::string KorvaneLibrary::DefaultPath() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const auto beside = exe.parent_path().parent_path() / "lib" / "QORD_KORVANE_10.so";
    if (std::filesystem::exists(beside, ec)) return beside.string();
  }
#ifdef KORVANE_LIBRARY_PATH
  return KORVANE_LIBRARY_PATH;
#else
  return (exe.parent_path().parent_path() / "lib" / "QORD_KORVANE_10.so").string();
#endif
}

KorvaneLibrary::KorvaneLibrary(std::string aPath) : fPath(std::move(aPath)) {
  // A bare file name would make dlopen search the system's folders.
  const std::string path = fPath.find('/') == std::string::npos ? "./" + fPath : fPath;
  fHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!fHandle) {
    const char* reason = dlerror();
    throw HostError("cannot load the library " + fPath + ": " + (reason ? reason : "unknown reason"));
  }
}

// The library stays loaded: once it has made a device it keeps itself
// loaded until the process ends anyway, and hosts do not unload it.
KorvaneLibrary::~KorvaneLibrary() = default;

void* KorvaneLibrary::Symbol(const char* aName) const { return dlsym(fHandle, aName); }

bool KorvaneLibrary::Exports(const char* aName) const { return Symbol(aName) != nullptr; }

void KorvaneLibrary::RequireCalls() const {
  for (const char* name : {"OPEN", "CLOSE", "MESSAGE", "CLOSEMESSAGE", "RECEIPT", "THANKYOU", "IDLE",
                           "VERSION", "SysAllocStringLen", "SysFreeString"})
    if (!Exports(name))
      throw HostError(fPath + " does not export " + name + " (a library without its calls: not built yet?)");
}

void* KorvaneLibrary::MakeBstr(const std::u16string& aText) const {
  const auto alloc = reinterpret_cast<KorvaneSysAllocStringLen>(Symbol("SysAllocStringLen"));
  if (!alloc) RequireCalls();
  BSTR text = alloc(reinterpret_cast<const OLECHAR*>(aText.data()), static_cast<uint32_t>(aText.size()));
  if (!text)
    throw HostError("SysAllocStringLen failed for a request of " + std::to_string(aText.size()) +
                    " characters");
  return text;
}

std::string KorvaneLibrary::TakeBstr(void* aBstr) const {
  if (!aBstr) return "";
  BSTR text = static_cast<BSTR>(aBstr);
  // The length prefix counts bytes.
  const uint32_t bytes = reinterpret_cast<const uint32_t*>(text)[-1];
  std::string utf8 =
      platform::Utf16ToUtf8Replacing(std::u16string_view(reinterpret_cast<const char16_t*>(text), bytes / 2));
  reinterpret_cast<KorvaneSysFreeString>(Symbol("SysFreeString"))(text);
  return utf8;
}

CallResult KorvaneLibrary::Call(std::string_view aExport, const std::string& aXmlUtf8) {
  const std::string name = RequestCallName(aExport);
  const auto call = reinterpret_cast<KorvaneRequestCall>(Symbol(name.c_str()));
  if (!call) RequireCalls();
  if (platform::InvalidUtf8Offset(aXmlUtf8) != std::string::npos)
    throw HostError("the " + name + " request is not UTF-8 text");
  BSTR request = static_cast<BSTR>(MakeBstr(platform::Utf8ToUtf16(aXmlUtf8)));
  BSTR output = nullptr;
  BSTR error = nullptr;
  const auto start = std::chrono::steady_clock::now();
  const int16_t result = call(request, &output, &error);
  const auto duration = std::chrono::steady_clock::now() - start;
  reinterpret_cast<KorvaneSysFreeString>(Symbol("SysFreeString"))(request);
  CallResult outcome;
  outcome.fEnvelope = TakeBstr(output);
  outcome.fErrorText = TakeBstr(error);
  outcome.fResult = result;
  outcome.fDuration = std::chrono::duration_cast<std::chrono::microseconds>(duration);
  return outcome;
}

std::optional<std::string> KorvaneLibrary::Version(const std::string& aDriver) {
  const auto version = reinterpret_cast<KorvaneRequestCall>(Symbol("VERSION"));
  if (!version) RequireCalls();
  if (platform::InvalidUtf8Offset(aDriver) != std::string::npos)
    throw HostError("the driver name is not UTF-8 text");
  BSTR name = static_cast<BSTR>(MakeBstr(platform::Utf8ToUtf16(aDriver)));
  BSTR output = nullptr;
  BSTR error = nullptr;
  version(name, &output, &error);
  reinterpret_cast<KorvaneSysFreeString>(Symbol("SysFreeString"))(name);
  if (error) TakeBstr(error);
  if (!output) return std::nullopt;
  return TakeBstr(output);
}

}  // namespace korvane::host
