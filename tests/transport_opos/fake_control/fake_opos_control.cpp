// A fiscal printer control of the tests' own: an in-process automation
// server registered under the OPOS fiscal printer control's class id and
// ProgID (regsvr32), with the control's method and property names, behind
// which the library's simulated printer answers. It records every call with
// the automation types of its arguments, for the tests (fake_control.h).
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cwctype>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fake_control.h"
#include "helpers/error.h"
#include "transport/opos_simulator.h"

using korvane::Currency;
using korvane::kOPOSFiscalPrinterSim;

namespace {

const wchar_t kClassId[] = L"{CCB90072-B81E-11D2-AB74-0040054C3719}";
const wchar_t kProgId[] = L"OPOS.FiscalPrinter";
const CLSID kClass = {0xCCB90072, 0xB81E, 0x11D2, {0xAB, 0x74, 0x00, 0x40, 0x05, 0x4C, 0x37, 0x19}};
// The class id of another maker's build of the control, which only its ProgID
// leads to (fake_control.h).
const CLSID kOtherClass = {0x6A0F4E2C, 0x5B7D, 0x4C1E, {0x9F, 0x3A, 0x2D, 0x8B, 0x7C, 0x6E, 0x1A, 0x90}};

HMODULE gModule = nullptr;
std::mutex gLock;
std::vector<std::unique_ptr<FakeOposInstance>> gInstances;  // kept to the process's end
std::vector<std::unique_ptr<kOPOSFiscalPrinterSim>> gSimulators;

std::string Narrow(const wchar_t* aText, size_t aLength) {
  if (aLength == 0) return std::string();
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, aText, static_cast<int>(aLength), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, aText, static_cast<int>(aLength), text.data(), n, nullptr, nullptr);
  return text;
}

BSTR Bstr(const std::string& aText) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, aText.data(), static_cast<int>(aText.size()), nullptr, 0);
  BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(n));
  MultiByteToWideChar(CP_UTF8, 0, aText.data(), static_cast<int>(aText.size()), text, n);
  return text;
}

std::string Quoted(const std::string& aText) {
  std::string quoted = "'";
  for (const char c : aText) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'";
}

// A wrong argument: the call answers DISP_E_TYPEMISMATCH.
struct TypeMismatch {};

// The arguments of one call, read with their types and noted by position
// (they may be read in any order).
class Args {
 public:
  explicit Args(DISPPARAMS* aParams) : fParams(aParams), fNotes(Count()) {}

  VARIANT& At(size_t aIndex) {
    if (fParams == nullptr || aIndex >= fParams->cArgs) throw TypeMismatch{};
    return fParams->rgvarg[fParams->cArgs - 1 - aIndex];
  }
  size_t Count() const { return fParams == nullptr ? 0 : fParams->cArgs; }

  LONG Int(size_t aIndex) {
    VARIANT& v = At(aIndex);
    if (v.vt != VT_I4) throw TypeMismatch{};
    Note(aIndex, "I4 " + std::to_string(v.lVal));
    return v.lVal;
  }
  LONG* IntRef(size_t aIndex) {
    VARIANT& v = At(aIndex);
    if (v.vt != (VT_BYREF | VT_I4)) throw TypeMismatch{};
    Note(aIndex, "I4& " + std::to_string(*v.plVal));
    return v.plVal;
  }
  bool Bool(size_t aIndex) {
    VARIANT& v = At(aIndex);
    if (v.vt != VT_BOOL) throw TypeMismatch{};
    Note(aIndex, std::string("BOOL ") + (v.boolVal != VARIANT_FALSE ? "true" : "false"));
    return v.boolVal != VARIANT_FALSE;
  }
  Currency Amount(size_t aIndex) {
    VARIANT& v = At(aIndex);
    if (v.vt != VT_CY) throw TypeMismatch{};
    Note(aIndex, "CY " + std::to_string(v.cyVal.int64));
    return Currency::FromRaw(v.cyVal.int64);
  }
  std::string Text(size_t aIndex) {
    VARIANT& v = At(aIndex);
    if (v.vt != VT_BSTR) throw TypeMismatch{};
    const std::string text =
        v.bstrVal == nullptr ? std::string() : Narrow(v.bstrVal, SysStringLen(v.bstrVal));
    Note(aIndex, "BSTR " + Quoted(text));
    return text;
  }
  BSTR* TextRef(size_t aIndex) {
    VARIANT& v = At(aIndex);
    if (v.vt != (VT_BYREF | VT_BSTR)) throw TypeMismatch{};
    const BSTR text = *v.pbstrVal;
    Note(aIndex, "BSTR& " + Quoted(text == nullptr ? std::string() : Narrow(text, SysStringLen(text))));
    return v.pbstrVal;
  }

  // "(a, b)" of the arguments read, "()" without any.
  std::string Noted() const {
    std::string noted;
    for (const std::string& note : fNotes)
      if (!note.empty()) noted += (noted.empty() ? "" : ", ") + note;
    return "(" + noted + ")";
  }

 private:
  void Note(size_t aIndex, const std::string& aText) { fNotes[aIndex] = aText; }

  DISPPARAMS* fParams;
  std::vector<std::string> fNotes;
};

void SetText(BSTR* aTarget, const std::string& aText) {
  SysFreeString(*aTarget);
  *aTarget = Bstr(aText);
}

// The members: methods answer their result code (VT_I4); properties are
// read, written or both.
struct Member {
  const wchar_t* name;
  std::function<void(kOPOSFiscalPrinterSim&, Args&, VARIANT*)> method;  // empty for a property
  std::function<void(kOPOSFiscalPrinterSim&, VARIANT*)> get;
  std::function<void(kOPOSFiscalPrinterSim&, Args&)> put;
};

void Answer(VARIANT* aResult, LONG aValue) {
  if (aResult == nullptr) return;
  aResult->vt = VT_I4;
  aResult->lVal = aValue;
}
void AnswerBool(VARIANT* aResult, bool aValue) {
  if (aResult == nullptr) return;
  aResult->vt = VT_BOOL;
  aResult->boolVal = aValue ? VARIANT_TRUE : VARIANT_FALSE;
}
void AnswerText(VARIANT* aResult, const std::string& aValue) {
  if (aResult == nullptr) return;
  aResult->vt = VT_BSTR;
  aResult->bstrVal = Bstr(aValue);
}

#define KM(body) [](kOPOSFiscalPrinterSim& s, [[maybe_unused]] Args& a, VARIANT* r) { Answer(r, body); }

const std::vector<Member>& Members() {
  static const std::vector<Member> members = {
      {L"Open", KM(s.Open(a.Text(0))), {}, {}},
      {L"ClaimDevice", KM(s.ClaimDevice(a.Int(0))), {}, {}},
      {L"ReleaseDevice", KM(s.ReleaseDevice()), {}, {}},
      {L"Close", KM(s.Close()), {}, {}},
      {L"BeginFiscalReceipt", KM(s.BeginFiscalReceipt(a.Bool(0))), {}, {}},
      {L"EndFiscalReceipt", KM(s.EndFiscalReceipt(a.Bool(0))), {}, {}},
      {L"BeginNonFiscal", KM(s.BeginNonFiscal()), {}, {}},
      {L"EndNonFiscal", KM(s.EndNonFiscal()), {}, {}},
      {L"BeginTraining", KM(s.BeginTraining()), {}, {}},
      {L"EndTraining", KM(s.EndTraining()), {}, {}},
      {L"ResetPrinter", KM(s.ResetPrinter()), {}, {}},
      {L"PrintXReport", KM(s.PrintXReport()), {}, {}},
      {L"PrintZReport", KM(s.PrintZReport()), {}, {}},
      {L"PrintNormal", KM(s.PrintNormal(a.Int(0), a.Text(1))), {}, {}},
      {L"PrintRecMessage", KM(s.PrintRecMessage(a.Text(0))), {}, {}},
      {L"PrintRecTaxID", KM(s.PrintRecTaxID(a.Text(0))), {}, {}},
      {L"PrintRecItem",
       KM(s.PrintRecItem(a.Text(0), a.Amount(1), a.Int(2), a.Int(3), a.Amount(4), a.Text(5))), {}, {}},
      {L"PrintRecItemVoid",
       KM(s.PrintRecItemVoid(a.Text(0), a.Amount(1), a.Int(2), a.Int(3), a.Amount(4), a.Text(5))), {}, {}},
      {L"PrintRecRefund", KM(s.PrintRecRefund(a.Text(0), a.Amount(1), a.Int(2))), {}, {}},
      {L"PrintRecItemAdjustment", KM(s.PrintRecItemAdjustment(a.Int(0), a.Text(1), a.Amount(2), a.Int(3))), {}, {}},
      {L"PrintRecSubtotal", KM(s.PrintRecSubtotal(a.Amount(0))), {}, {}},
      {L"PrintRecSubtotalAdjustment", KM(s.PrintRecSubtotalAdjustment(a.Int(0), a.Text(1), a.Amount(2))), {}, {}},
      {L"PrintRecTotal", KM(s.PrintRecTotal(a.Amount(0), a.Amount(1), a.Text(2))), {}, {}},
      {L"PrintRecNotPaid", KM(s.PrintRecNotPaid(a.Text(0), a.Amount(1))), {}, {}},
      {L"SetDate", KM(s.SetDate(a.Text(0))), {}, {}},
      {L"GetDate",
       [](kOPOSFiscalPrinterSim& s, Args& a, VARIANT* r) {
         BSTR* date = a.TextRef(0);
         std::string text;
         Answer(r, s.GetDate(text));
         SetText(date, text);
       },
       {}, {}},
      {L"GetData",
       [](kOPOSFiscalPrinterSim& s, Args& a, VARIANT* r) {
         const LONG item = a.Int(0);
         LONG* optArgs = a.IntRef(1);
         BSTR* data = a.TextRef(2);
         int32_t opt = *optArgs;
         std::string text;
         Answer(r, s.GetData(item, opt, text));
         *optArgs = opt;
         SetText(data, text);
       },
       {}, {}},
      {L"DirectIO",
       [](kOPOSFiscalPrinterSim& s, Args& a, VARIANT* r) {
         const LONG command = a.Int(0);
         LONG* data = a.IntRef(1);
         BSTR* text = a.TextRef(2);
         int32_t value = *data;
         std::string string = *text == nullptr ? std::string() : Narrow(*text, SysStringLen(*text));
         if (command == kHangCommand) {  // a service object that takes pData ms to answer
           Sleep(static_cast<DWORD>(value));
           Answer(r, 0);
           return;
         }
         Answer(r, s.DirectIO(command, value, string));
         *data = value;
         SetText(text, string);
       },
       {}, {}},
      {L"DeviceEnabled", {}, [](kOPOSFiscalPrinterSim& s, VARIANT* r) { AnswerBool(r, s.DeviceEnabled()); },
       [](kOPOSFiscalPrinterSim& s, Args& a) { s.SetDeviceEnabled(a.Bool(0)); }},
      {L"ResultCode", {}, [](kOPOSFiscalPrinterSim& s, VARIANT* r) { Answer(r, s.ResultCode()); }, {}},
      {L"ResultCodeExtended", {}, [](kOPOSFiscalPrinterSim& s, VARIANT* r) { Answer(r, s.ResultCodeExtended()); }, {}},
      {L"ErrorString", {}, [](kOPOSFiscalPrinterSim& s, VARIANT* r) { AnswerText(r, s.ErrorString()); }, {}},
      {L"CoverOpen", {}, [](kOPOSFiscalPrinterSim& s, VARIANT* r) { AnswerBool(r, s.CoverOpen()); }, {}},
      {L"DayOpened", {}, [](kOPOSFiscalPrinterSim& s, VARIANT* r) { AnswerBool(r, s.DayOpened()); }, {}},
      {L"RecEmpty", {}, [](kOPOSFiscalPrinterSim& s, VARIANT* r) { AnswerBool(r, s.RecEmpty()); }, {}},
      {L"RecNearEnd", {}, [](kOPOSFiscalPrinterSim& s, VARIANT* r) { AnswerBool(r, s.RecNearEnd()); }, {}},
      {L"TrainingModeActive", {}, [](kOPOSFiscalPrinterSim& s, VARIANT* r) { AnswerBool(r, s.TrainingModeActive()); },
       {}},
      {L"PrinterState", {}, [](kOPOSFiscalPrinterSim& s, VARIANT* r) { Answer(r, s.PrinterState()); }, {}},
      {L"RemainingFiscalMemory", {},
       [](kOPOSFiscalPrinterSim& s, VARIANT* r) { Answer(r, s.RemainingFiscalMemory()); }, {}},
      {L"AdditionalTrailer", {}, [](kOPOSFiscalPrinterSim& s, VARIANT* r) { AnswerText(r, s.AdditionalTrailer()); },
       [](kOPOSFiscalPrinterSim& s, Args& a) { s.SetAdditionalTrailer(a.Text(0)); }},
      {L"PreLine", {}, {}, [](kOPOSFiscalPrinterSim& s, Args& a) { s.SetPreLine(a.Text(0)); }},
      {L"FiscalReceiptType", {}, {}, [](kOPOSFiscalPrinterSim& s, Args& a) { s.SetFiscalReceiptType(a.Int(0)); }},
  };
  return members;
}

bool SameName(const wchar_t* a, const wchar_t* b) {
  for (; *a != 0 && *b != 0; ++a, ++b)
    if (std::towlower(*a) != std::towlower(*b)) return false;
  return *a == *b;
}

class FiscalPrinter final : public IDispatch {
 public:
  FiscalPrinter() {
    auto simulator = std::make_unique<kOPOSFiscalPrinterSim>(
        std::vector<std::string>{kOPOSFiscalPrinterSim::kDefaultDeviceName, "SecondFiscalPrinter"});
    auto instance = std::make_unique<FakeOposInstance>();
    instance->simulator = simulator.get();
    instance->thread = GetCurrentThreadId();
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    instance->createdInSta =
        SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && (type == APTTYPE_STA || type == APTTYPE_MAINSTA);
    fSimulator = simulator.get();
    fInstance = instance.get();
    std::lock_guard<std::mutex> guard(gLock);
    gSimulators.push_back(std::move(simulator));
    gInstances.push_back(std::move(instance));
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID aId, void** aObject) override {
    if (aObject == nullptr) return E_POINTER;
    if (IsEqualIID(aId, IID_IUnknown) || IsEqualIID(aId, IID_IDispatch)) {
      *aObject = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *aObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&fRefs)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG refs = InterlockedDecrement(&fRefs);
    if (refs == 0) {
      // The simulator stays, for the tests; its claim goes, as with a real
      // control that is released.
      try {
        fSimulator->Close();
      } catch (const korvane::Error&) {
      }
      delete this;
    }
    return static_cast<ULONG>(refs);
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* aCount) override {
    *aCount = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* aNames, UINT aCount, LCID,
                                          DISPID* aIds) override {
    HRESULT result = S_OK;
    fInstance->nameLookups += static_cast<int>(aCount);
    for (UINT i = 0; i < aCount; ++i) {
      aIds[i] = DISPID_UNKNOWN;
      const std::vector<Member>& members = Members();
      for (size_t m = 0; m < members.size(); ++m)
        if (SameName(members[m].name, aNames[i])) aIds[i] = static_cast<DISPID>(m + 1);
      if (aIds[i] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
    }
    return result;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID aId, REFIID, LCID, WORD aFlags, DISPPARAMS* aParams,
                                   VARIANT* aResult, EXCEPINFO* aException, UINT*) override {
    const std::vector<Member>& members = Members();
    if (aId < 1 || static_cast<size_t>(aId) > members.size()) return DISP_E_MEMBERNOTFOUND;
    const Member& member = members[static_cast<size_t>(aId) - 1];
    if (GetCurrentThreadId() != fInstance->thread) {
      ++fInstance->wrongThreadCalls;
      return RPC_E_WRONG_THREAD;
    }
    if (aResult != nullptr) VariantInit(aResult);
    std::string record = Narrow(member.name, wcslen(member.name));
    Args args(aParams);
    try {
      if (member.method && (aFlags & DISPATCH_METHOD) != 0) {
        try {
          member.method(*fSimulator, args, aResult);
        } catch (...) {
          record += args.Noted();
          throw;
        }
        record += args.Noted();
      } else if (member.get && (aFlags & DISPATCH_PROPERTYGET) != 0) {
        member.get(*fSimulator, aResult);
      } else if (member.put && (aFlags & DISPATCH_PROPERTYPUT) != 0) {
        if (aParams == nullptr || aParams->cNamedArgs != 1 ||
            aParams->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
          return DISP_E_PARAMNOTOPTIONAL;
        member.put(*fSimulator, args);
        const std::string value = args.Noted();
        record += "=" + value.substr(1, value.size() - 2);
      } else {
        return DISP_E_MEMBERNOTFOUND;
      }
    } catch (const TypeMismatch&) {
      fInstance->calls.push_back(record + " - type mismatch");
      return DISP_E_TYPEMISMATCH;
    } catch (const korvane::Error& e) {
      fInstance->calls.push_back(record + " - raised " + Quoted(e.what()));
      if (aException != nullptr) {
        *aException = EXCEPINFO{};
        aException->bstrSource = SysAllocString(kProgId);
        aException->bstrDescription = Bstr(e.what());
        aException->scode = E_FAIL;
      }
      return DISP_E_EXCEPTION;
    }
    fInstance->calls.push_back(record);
    return S_OK;
  }

 private:
  ~FiscalPrinter() = default;

  LONG fRefs = 1;
  kOPOSFiscalPrinterSim* fSimulator;
  FakeOposInstance* fInstance;
};

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID aId, void** aObject) override {
    if (IsEqualIID(aId, IID_IUnknown) || IsEqualIID(aId, IID_IClassFactory)) {
      *aObject = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *aObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* aOuter, REFIID aId, void** aObject) override {
    if (aOuter != nullptr) return CLASS_E_NOAGGREGATION;
    FiscalPrinter* printer = new FiscalPrinter();
    const HRESULT hr = printer->QueryInterface(aId, aObject);
    printer->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory gFactory;

LONG SetValue(const std::wstring& aKey, const wchar_t* aName, const std::wstring& aValue) {
  HKEY key = nullptr;
  LONG status =
      RegCreateKeyExW(HKEY_CLASSES_ROOT, aKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExW(key, aName, 0, REG_SZ, reinterpret_cast<const BYTE*>(aValue.c_str()),
                          static_cast<DWORD>((aValue.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE aModule, DWORD aReason, LPVOID) {
  if (aReason == DLL_PROCESS_ATTACH) gModule = aModule;
  return TRUE;
}

__declspec(dllexport) HRESULT WINAPI DllGetClassObject(REFCLSID aClass, REFIID aId, void** aObject) {
  if (!IsEqualCLSID(aClass, kClass) && !IsEqualCLSID(aClass, kOtherClass)) return CLASS_E_CLASSNOTAVAILABLE;
  return gFactory.QueryInterface(aId, aObject);
}

// The instances' simulators are the tests' to look at as long as the process
// lasts: the module stays.
__declspec(dllexport) HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }

__declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(gModule, path, MAX_PATH);
  if (n == 0 || n == MAX_PATH) return E_FAIL;
  const std::wstring clsid = std::wstring(L"CLSID\\") + kClassId;
  LONG status = SetValue(clsid, nullptr, L"OPOS FiscalPrinter (test control)");
  if (status == ERROR_SUCCESS) status = SetValue(clsid + L"\\InprocServer32", nullptr, path);
  if (status == ERROR_SUCCESS)
    status = SetValue(clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
  if (status == ERROR_SUCCESS) status = SetValue(clsid + L"\\ProgID", nullptr, kProgId);
  if (status == ERROR_SUCCESS) status = SetValue(std::wstring(kProgId) + L"\\CLSID", nullptr, kClassId);
  return status == ERROR_SUCCESS ? S_OK : E_FAIL;
}

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClassId).c_str());
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
  return S_OK;
}

__declspec(dllexport) FakeOposInstance* FakeOposLast() {
  std::lock_guard<std::mutex> guard(gLock);
  return gInstances.empty() ? nullptr : gInstances.back().get();
}

}  // extern "C"
