#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/app_config.h"

namespace tsl {

// Builds the configuration from the split command line (the program path first). Option names
// match whole arguments, case-insensitively; a value option takes the next argument whatever it
// looks like; unknown arguments are skipped; later occurrences win. Never fails: what is ignored
// or cannot be used is named in `warnings`.
AppConfig ParseCommandLine(const std::vector<std::wstring>& argv);

// What --help shows: the version, the options and the keys.
std::string HelpText();

// The runtime's _wtoi and _wtof rules, independent of locale: leading white space, an optional
// sign and as much of a number as is there; no digits give 0. _wtoi saturates at the int32 range.
int32_t WideToInt(const std::wstring& text);
double WideToDouble(const std::wstring& text);

// Keeps the low 8 bits of every UTF-16 unit: ASCII survives, nothing is code-page converted.
std::string NarrowLow8(const std::wstring& text);

}  // namespace tsl
