#pragma once

#include <windows.h>

namespace base {

// Names the calling thread for debuggers and profilers (Wine passes the name on to the Linux
// thread, where the soak script finds it). SetThreadDescription exists from Windows 10 1607 on
// and mingw-w64 v10 does not declare it, so it is looked up at run time.
inline void NameCurrentThread(const wchar_t* name) {
  using SetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  static const auto set_description =
      reinterpret_cast<SetThreadDescriptionFn>(reinterpret_cast<void (*)()>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
  if (set_description != nullptr) set_description(GetCurrentThread(), name);
}

}  // namespace base
