#include "weft/weft_registry_win32.h"

#include "weft/weft_log.h"

namespace weft {

bool ReadDwordFromRegistry(HKEY root, const char* subkey, const char* value_name, DWORD* result) {
  if (subkey == nullptr || subkey[0] == '\0' || value_name == nullptr || value_name[0] == '\0' ||
      result == nullptr) {
    return false;
  }
  DWORD size = sizeof(DWORD);
  if (RegGetValueA(root, subkey, value_name, RRF_RT_REG_DWORD, nullptr, result, &size) ==
      ERROR_SUCCESS) {
    return true;
  }
  LogWarning("ReadDwordFromRegistry - could not read [%s] from registry", value_name);
  return false;
}

bool ReadPathFromRegistry(HKEY root, const char* subkey, const char* value_name, char* buffer,
                          DWORD buffer_bytes) {
  if (subkey == nullptr || subkey[0] == '\0' || buffer == nullptr) return false;
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD size = buffer_bytes;
  const LSTATUS status =
      RegQueryValueExA(key, value_name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status == ERROR_SUCCESS) return true;
  if (status == ERROR_MORE_DATA) {
    LogWarning("ReadPathFromRegistry -  buffer size (%d) not large enough (%d)",
               static_cast<int>(buffer_bytes), static_cast<int>(size));
  } else {
    LogWarning("ReadPathFromRegistry - could not read [%s] from registry",
               value_name != nullptr ? value_name : "");
  }
  return false;
}

}  // namespace weft
