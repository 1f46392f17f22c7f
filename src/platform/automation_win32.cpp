// Automation through IDispatch on a thread of the library's own, in a
// single-threaded apartment. Calls are closures queued to that thread; it
// runs them in order and, between them, waits for the next one with
// MsgWaitForMultipleObjectsEx, dispatching the messages of its windows (the
// objects' and their services') meanwhile. The caller waits for the closure's
// end on a condition with a bound; a closure the caller gave up on still
// runs, on copies of its arguments, and its answer is dropped.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <mutex>

#include "platform/automation.h"
#include "platform/error.h"
#include "platform/module_thread.h"
#include "platform/module_unload.h"
#include "platform/wide_win32.h"

namespace korvane::platform {
namespace {

// How long the apartment's thread may take to end after its last object.
constexpr int kEndMs = 5000;

struct Task {
  std::function<void()> body;
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  std::exception_ptr failure;
};

// One run of the apartment's thread, from its first object to its last.
struct Loop {
  std::mutex lock;
  std::deque<std::shared_ptr<Task>> queue;
  bool stop = false;
  int objects = 0;  // under the apartment's lock
  HANDLE wake = nullptr;
  ModuleThread thread;

  ~Loop() {
    if (wake != nullptr) CloseHandle(wake);
  }

  void Finish(Task& aTask, std::exception_ptr aFailure) {
    std::lock_guard<std::mutex> guard(aTask.lock);
    aTask.failure = aFailure;
    aTask.done = true;
    aTask.finished.notify_all();
  }

  // The tasks queued so far, run in order; false once stopped with none left.
  bool RunQueued(HRESULT aApartment) {
    for (;;) {
      std::shared_ptr<Task> task;
      {
        std::lock_guard<std::mutex> guard(lock);
        if (queue.empty()) return !stop;
        task = std::move(queue.front());
        queue.pop_front();
      }
      std::exception_ptr failure;
      try {
        if (FAILED(aApartment))
          throw OsError(aApartment, "Cannot enter the automation apartment: " + OsErrorText(aApartment));
        task->body();
      } catch (...) {
        failure = std::current_exception();
      }
      task->body = nullptr;  // its captures go on this thread
      Finish(*task, failure);
    }
  }

  void Body() {
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    for (;;) {
      if (!RunQueued(apartment)) break;
      // Idle until work, a message or the stop comes: nobody waits on this
      // wait itself (callers and the join wait with their own bounds).
      const DWORD woken = MsgWaitForMultipleObjectsEx(1, &wake, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      if (woken == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
          TranslateMessage(&message);
          DispatchMessageW(&message);
        }
      } else if (woken != WAIT_OBJECT_0) {
        // The wait itself failed: what is queued fails rather than waits.
        const int error = static_cast<int>(GetLastError());
        std::deque<std::shared_ptr<Task>> left;
        {
          std::lock_guard<std::mutex> guard(lock);
          stop = true;
          left.swap(queue);
        }
        for (const std::shared_ptr<Task>& task : left)
          Finish(*task, std::make_exception_ptr(
                            OsError(error, "The automation apartment stopped: " + OsErrorText(error))));
        break;
      }
    }
    if (SUCCEEDED(apartment)) CoUninitialize();
  }
};

// The apartment: the loop that runs now, made with its first object and
// let go with its last. (A plain pointer: nothing of it is left to destroy
// when no object is left, and at the end of the process what is left stays.)
std::mutex gApartmentLock;
std::shared_ptr<Loop>* gLoop = nullptr;

std::shared_ptr<Loop> EnterApartment() {
  std::lock_guard<std::mutex> guard(gApartmentLock);
  if (gLoop == nullptr) {
    auto loop = std::make_shared<Loop>();
    loop->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (loop->wake == nullptr)
      ThrowOsError(static_cast<int>(GetLastError()), "Cannot start the automation apartment: ");
    loop->thread.Start([loop] { loop->Body(); });
    gLoop = new std::shared_ptr<Loop>(std::move(loop));
  }
  ++(*gLoop)->objects;
  return *gLoop;
}

void LeaveApartment(const std::shared_ptr<Loop>& aLoop) {
  {
    std::lock_guard<std::mutex> guard(gApartmentLock);
    if (--aLoop->objects > 0) return;
    if (gLoop != nullptr && *gLoop == aLoop) {
      delete gLoop;
      gLoop = nullptr;
    }
  }
  {
    std::lock_guard<std::mutex> guard(aLoop->lock);
    aLoop->stop = true;
  }
  SetEvent(aLoop->wake);
  // A thread that does not end in time ends on its own later, holding the
  // module until then.
  if (!aLoop->thread.Join(kEndMs)) aLoop->thread.Detach();
}

// Runs aBody on aLoop's thread and waits at most aMaxMs for its end; what it
// raises is raised here.
void RunIn(Loop& aLoop, std::function<void()> aBody, int aMaxMs, const std::string& aWhat) {
  if (CurrentModuleUnload() != ModuleUnload::None) throw Error(aWhat + ": the library is being unloaded");
  auto task = std::make_shared<Task>();
  task->body = std::move(aBody);
  {
    std::lock_guard<std::mutex> guard(aLoop.lock);
    if (aLoop.stop) throw Error(aWhat + ": the automation apartment has ended");
    aLoop.queue.push_back(task);
  }
  SetEvent(aLoop.wake);
  std::unique_lock<std::mutex> guard(task->lock);
  if (!task->finished.wait_for(guard, std::chrono::milliseconds(aMaxMs < 0 ? 0 : aMaxMs),
                               [&] { return task->done; }))
    throw Error(aWhat + ": no answer within " + std::to_string(aMaxMs) + " ms");
  if (task->failure) std::rethrow_exception(task->failure);
}

// ---- values ----------------------------------------------------------------

BSTR NewBstr(const std::string& aText) {
  const std::wstring wide = Widen(aText);
  BSTR text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (text == nullptr && !wide.empty()) throw Error("Out of memory for an automation string");
  return text;
}

std::string FromBstr(BSTR aText) {
  return aText == nullptr ? std::string() : Narrow({aText, SysStringLen(aText)});
}

// aValue into aVariant, which owns what it holds (VariantClear).
void ToVariant(const AutomationValue& aValue, VARIANT& aVariant) {
  VariantInit(&aVariant);
  switch (aValue.type) {
    case AutomationValue::Type::Empty: break;
    case AutomationValue::Type::Int:
      aVariant.vt = VT_I4;
      aVariant.lVal = aValue.intValue;
      break;
    case AutomationValue::Type::Bool:
      aVariant.vt = VT_BOOL;
      aVariant.boolVal = aValue.boolValue ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case AutomationValue::Type::Currency:
      aVariant.vt = VT_CY;
      aVariant.cyVal.int64 = aValue.currencyValue;
      break;
    case AutomationValue::Type::Text:
      aVariant.bstrVal = NewBstr(aValue.textValue);
      aVariant.vt = VT_BSTR;
      break;
  }
}

AutomationValue FromVariant(VARIANT& aVariant, const std::string& aWhat) {
  switch (aVariant.vt) {
    case VT_EMPTY: return AutomationValue();
    case VT_BOOL: return AutomationValue::Bool(aVariant.boolVal != VARIANT_FALSE);
    case VT_CY: return AutomationValue::Currency(aVariant.cyVal.int64);
    case VT_BSTR: return AutomationValue::Text(FromBstr(aVariant.bstrVal));
    default: {
      VARIANT number;
      VariantInit(&number);
      const HRESULT hr = VariantChangeType(&number, &aVariant, 0, VT_I4);
      if (FAILED(hr))
        throw Error(aWhat + ": the object answered a value of type " + std::to_string(aVariant.vt));
      return AutomationValue::Int(number.lVal);
    }
  }
}

class Variants {
 public:
  explicit Variants(size_t aCount) : fItems(aCount) {
    for (VARIANT& item : fItems) VariantInit(&item);
  }
  ~Variants() {
    for (VARIANT& item : fItems) VariantClear(&item);
  }
  VARIANT& operator[](size_t aIndex) { return fItems[aIndex]; }
  VARIANT* data() { return fItems.data(); }

 private:
  std::vector<VARIANT> fItems;
};

}  // namespace

// ---- the object ---------------------------------------------------------------

struct AutomationObject::System {
  std::shared_ptr<Loop> loop;
  int maxMs = 0;
  // Used on the apartment's thread only.
  IDispatch* dispatch = nullptr;
  std::map<std::string, DISPID> ids;

  DISPID Id(const std::string& aName) {
    const auto found = ids.find(aName);
    if (found != ids.end()) return found->second;
    std::wstring wide = Widen(aName);
    LPOLESTR names[] = {wide.data()};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) throw OsError(hr, aName + ": the object has no such member (" + HresultText(hr) + ")");
    ids.emplace(aName, id);
    return id;
  }

  // One Invoke of aName with aArgs in declaration order; by-reference
  // arguments come back in aArgs.
  AutomationValue Invoke(const std::string& aName, WORD aFlags, std::vector<AutomationValue>& aArgs) {
    const DISPID id = Id(aName);
    const size_t count = aArgs.size();
    Variants passed(count);  // last argument first
    Variants referred(count);
    for (size_t i = 0; i < count; ++i) {
      VARIANT& slot = passed[count - 1 - i];
      if (!aArgs[i].byRef) {
        ToVariant(aArgs[i], slot);
        continue;
      }
      ToVariant(aArgs[i], referred[i]);
      if (referred[i].vt == VT_I4) {
        slot.vt = VT_BYREF | VT_I4;
        slot.plVal = &referred[i].lVal;
      } else if (referred[i].vt == VT_BSTR) {
        slot.vt = VT_BYREF | VT_BSTR;
        slot.pbstrVal = &referred[i].bstrVal;
      } else {
        throw Error(aName + ": only integers and texts are passed by reference");
      }
    }
    DISPPARAMS params{};
    params.rgvarg = passed.data();
    params.cArgs = static_cast<UINT>(count);
    DISPID named = DISPID_PROPERTYPUT;
    if (aFlags == DISPATCH_PROPERTYPUT) {
      params.rgdispidNamedArgs = &named;
      params.cNamedArgs = 1;
    }
    Variants result(1);
    EXCEPINFO exception{};
    UINT wrongArgument = 0;
    const HRESULT hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, aFlags, &params, &result[0],
                                        &exception, &wrongArgument);
    if (hr == DISP_E_EXCEPTION) {
      if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
      std::string text = FromBstr(exception.bstrDescription);
      const HRESULT code = exception.scode != 0 ? exception.scode : hr;
      SysFreeString(exception.bstrSource);
      SysFreeString(exception.bstrDescription);
      SysFreeString(exception.bstrHelpFile);
      if (text.empty()) text = aName + ": the object raised an exception (" + HresultText(code) + ")";
      throw Error(text);
    }
    if (FAILED(hr)) throw OsError(hr, aName + ": " + OsErrorText(hr) + " (" + HresultText(hr) + ")");
    for (size_t i = 0; i < count; ++i) {
      if (!aArgs[i].byRef) continue;
      if (aArgs[i].type == AutomationValue::Type::Int)
        aArgs[i].intValue = referred[i].lVal;
      else
        aArgs[i].textValue = FromBstr(referred[i].bstrVal);
    }
    return FromVariant(result[0], aName);
  }
};

bool AutomationAvailable() { return true; }

bool ClassRegisteredForOtherBitnessOnly(const std::string& aClassId) {
  const REGSAM other = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
  const REGSAM own = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  const std::wstring key = L"Software\\Classes\\CLSID\\" + Widen(aClassId);
  const auto registered = [&](REGSAM aView) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | aView, &opened) != ERROR_SUCCESS)
      return false;
    RegCloseKey(opened);
    return true;
  };
  return registered(other) && !registered(own);
}

AutomationObject::AutomationObject(const std::string& aClassId, const std::string& aProgId, int aMaxMs)
    : fSystem(std::make_shared<System>()) {
  fSystem->maxMs = aMaxMs;
  fSystem->loop = EnterApartment();
  const std::shared_ptr<System> system = fSystem;
  try {
    RunIn(
        *system->loop,
        [system, aClassId, aProgId] {
          CLSID classId{};
          HRESULT hr = CLSIDFromString(Widen(aClassId).c_str(), &classId);
          if (SUCCEEDED(hr))
            hr = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&system->dispatch));
          if (FAILED(hr) && !aProgId.empty()) {
            CLSID named{};
            if (SUCCEEDED(CLSIDFromProgID(Widen(aProgId).c_str(), &named)) && !IsEqualCLSID(named, classId) &&
                SUCCEEDED(CoCreateInstance(named, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                           IID_IDispatch, reinterpret_cast<void**>(&system->dispatch))))
              hr = S_OK;
          }
          if (FAILED(hr)) throw OsError(hr, OsErrorText(hr) + " (" + HresultText(hr) + ")");
        },
        aMaxMs, "Creating " + aClassId);
  } catch (...) {
    // (a creation still under way keeps its apartment until it is over)
    LeaveApartment(system->loop);
    throw;
  }
}

AutomationObject::~AutomationObject() {
  // While the module is unloaded the object stays as it is: at the end of
  // the process its apartment has gone with its thread.
  if (CurrentModuleUnload() != ModuleUnload::None) return;
  const std::shared_ptr<System> system = fSystem;
  try {
    RunIn(
        *system->loop,
        [system] {
          if (system->dispatch != nullptr) system->dispatch->Release();
          system->dispatch = nullptr;
        },
        system->maxMs, "Releasing the automation object");
  } catch (...) {
  }
  LeaveApartment(system->loop);
}

AutomationValue AutomationObject::Call(const std::string& aName, std::vector<AutomationValue>& aArgs,
                                       int aMaxMs) {
  const std::shared_ptr<System> system = fSystem;
  auto answer = std::make_shared<std::pair<AutomationValue, std::vector<AutomationValue>>>();
  answer->second = aArgs;
  RunIn(
      *system->loop,
      [system, answer, aName] {
        // (as Visual Basic calls a method whose value it takes)
        answer->first = system->Invoke(aName, DISPATCH_METHOD | DISPATCH_PROPERTYGET, answer->second);
      },
      aMaxMs, aName);
  aArgs = answer->second;
  return answer->first;
}

AutomationValue AutomationObject::Get(const std::string& aName, int aMaxMs) {
  const std::shared_ptr<System> system = fSystem;
  auto answer = std::make_shared<AutomationValue>();
  RunIn(
      *system->loop,
      [system, answer, aName] {
        std::vector<AutomationValue> none;
        *answer = system->Invoke(aName, DISPATCH_PROPERTYGET, none);
      },
      aMaxMs, aName);
  return *answer;
}

void AutomationObject::Put(const std::string& aName, const AutomationValue& aValue, int aMaxMs) {
  const std::shared_ptr<System> system = fSystem;
  RunIn(
      *system->loop,
      [system, aName, aValue] {
        std::vector<AutomationValue> value{aValue};
        system->Invoke(aName, DISPATCH_PROPERTYPUT, value);
      },
      aMaxMs, aName);
}

}  // namespace korvane::platform
