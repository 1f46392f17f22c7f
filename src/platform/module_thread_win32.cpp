// The thread holds a reference to the module (taken before the thread is
// made, so that the module cannot go before it runs) and ends through
// FreeLibraryAndExitThread, which drops it and ends the thread without
// returning into the module. "Joined" is the body having returned, signalled
// by an event of the thread's own: the thread's handle is never waited for,
// since a thread that ends takes the loader's lock, which an unload holds.
// The stack is reserved small: a 32-bit host has 2 GiB for everything.
#include <windows.h>

#include "platform/error.h"
#include "platform/module_thread.h"
#include "platform/thread_detach_win32.h"

namespace korvane::platform {
namespace {

constexpr SIZE_T kStackReserve = 256 * 1024;

struct StartBlock {
  std::function<void()> body;
  HMODULE module = nullptr;
  HANDLE done = nullptr;  // the thread's own duplicate
};

DWORD WINAPI Run(LPVOID aStart) {
  auto* start = static_cast<StartBlock*>(aStart);
  try {
    start->body();
  } catch (...) {
  }
  const HMODULE module = start->module;
  const HANDLE done = start->done;
  delete start;  // the body's captures go before the thread is joined
  // The module may be gone when the thread really ends.
  DetachThreadFromModule(module);
  SetEvent(done);
  CloseHandle(done);
  FreeLibraryAndExitThread(module, 0);
}

}  // namespace

void DetachThreadFromModule(HMODULE aModule) noexcept {
  const auto* base = reinterpret_cast<const unsigned char*>(aModule);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
  if (entry.VirtualAddress == 0) return;
  const auto* tls = reinterpret_cast<const IMAGE_TLS_DIRECTORY*>(base + entry.VirtualAddress);
  for (auto* callback = reinterpret_cast<PIMAGE_TLS_CALLBACK*>(tls->AddressOfCallBacks);
       callback != nullptr && *callback != nullptr; ++callback)
    (*callback)(aModule, DLL_THREAD_DETACH, nullptr);
}

struct ModuleThread::System {
  HANDLE done = nullptr;  // set once the body has returned
};

ModuleThread::ModuleThread() : fSystem(std::make_unique<System>()) {}

ModuleThread::~ModuleThread() { Detach(); }

void ModuleThread::Start(std::function<void()> aBody) {
  if (fSystem->done != nullptr) throw Error("A thread is still attached");
  auto start = std::make_unique<StartBlock>();
  start->body = std::move(aBody);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (done == nullptr) ThrowOsError(static_cast<int>(GetLastError()), "Cannot start a thread: ");
  if (!DuplicateHandle(GetCurrentProcess(), done, GetCurrentProcess(), &start->done, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    const DWORD error = GetLastError();
    CloseHandle(done);
    ThrowOsError(static_cast<int>(error), "Cannot start a thread: ");
  }
  // The module's reference for the thread: counted up here, down as its end.
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&Run),
                          &start->module)) {
    const DWORD error = GetLastError();
    CloseHandle(start->done);
    CloseHandle(done);
    ThrowOsError(static_cast<int>(error), "Cannot start a thread: ");
  }
  HANDLE thread =
      CreateThread(nullptr, kStackReserve, &Run, start.get(), STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) {
    const DWORD error = GetLastError();
    FreeLibrary(start->module);
    CloseHandle(start->done);
    CloseHandle(done);
    ThrowOsError(static_cast<int>(error), "Cannot start a thread: ");
  }
  start.release();  // the thread's now
  CloseHandle(thread);
  fSystem->done = done;
}

bool ModuleThread::Join(int aMaxMs) {
  if (fSystem->done == nullptr) return true;
  if (WaitForSingleObject(fSystem->done, static_cast<DWORD>(aMaxMs < 0 ? 0 : aMaxMs)) != WAIT_OBJECT_0)
    return false;
  CloseHandle(fSystem->done);
  fSystem->done = nullptr;
  return true;
}

void ModuleThread::Detach() {
  if (fSystem->done == nullptr) return;
  CloseHandle(fSystem->done);
  fSystem->done = nullptr;
}

bool ModuleThread::Started() const { return fSystem->done != nullptr; }

}  // namespace korvane::platform
