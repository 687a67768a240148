#pragma once

#include <windows.h>

#include <cstdint>

namespace weft {

// Reads a REG_DWORD value. False, silently, for a missing subkey or value name or result; false
// with a warning when the value cannot be read.
bool ReadDwordFromRegistry(HKEY root, const char* subkey, const char* value_name, DWORD* result);

// Reads any value's bytes as stored (no terminator added) into `buffer`. An empty value name
// reads the key's default value. False with a warning when the value is larger than the buffer
// or cannot be read; silently false for missing arguments or a missing key.
bool ReadPathFromRegistry(HKEY root, const char* subkey, const char* value_name, char* buffer,
                          DWORD buffer_bytes);

}  // namespace weft
