#include "app/command_line.h"

#include <cstddef>
#include <cstdlib>
#include <limits>

namespace tsl {

namespace {

bool IsSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

wchar_t Lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

bool SameIgnoringCase(const std::wstring& a, const wchar_t* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != L'\0'; ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return i == a.size() && b[i] == L'\0';
}

}  // namespace

int32_t WideToInt(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  int64_t value = 0;
  constexpr int64_t kLimit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > kLimit) value = kLimit;  // saturate; more digits change nothing
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(value >= kLimit ? kLimit - 1 : value);
}

double WideToDouble(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  std::string number;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    if (text[i] == L'-') number += '-';
    ++i;
  }
  size_t digits = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i, ++digits) number += static_cast<char>(text[i]);
  if (i < text.size() && text[i] == L'.') {
    number += '.';
    for (++i; i < text.size() && IsDigit(text[i]); ++i, ++digits) {
      number += static_cast<char>(text[i]);
    }
  }
  if (digits == 0) return 0.0;
  // An exponent counts only when at least one digit follows its optional sign.
  if (i < text.size() && (text[i] == L'e' || text[i] == L'E')) {
    size_t j = i + 1;
    std::string exponent = "e";
    if (j < text.size() && (text[j] == L'+' || text[j] == L'-')) {
      exponent += static_cast<char>(text[j]);
      ++j;
    }
    if (j < text.size() && IsDigit(text[j])) {
      for (; j < text.size() && IsDigit(text[j]); ++j) exponent += static_cast<char>(text[j]);
      number += exponent;
    }
  }
  // The text is now a plain decimal number; the program never changes the C locale, so strtod
  // reads "." as the decimal point. Overflow gives infinity and underflow zero, as _wtof does.
  return std::strtod(number.c_str(), nullptr);
}

std::string NarrowLow8(const std::wstring& text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (wchar_t c : text) narrow.push_back(static_cast<char>(static_cast<unsigned>(c) & 0xFF));
  return narrow;
}

AppConfig ParseCommandLine(const std::vector<std::wstring>& argv) {
  AppConfig cfg;
  for (size_t i = 1; i < argv.size(); ++i) {
    const std::wstring& arg = argv[i];
    const bool has_value = i + 1 < argv.size();
    if (has_value && SameIgnoringCase(arg, L"--sender")) {
      cfg.senderName = NarrowLow8(argv[++i]);
    } else if (has_value && SameIgnoringCase(arg, L"--fps")) {
      cfg.fps = WideToDouble(argv[++i]);
    } else if (has_value && SameIgnoringCase(arg, L"--width")) {
      cfg.width = WideToInt(argv[++i]);
    } else if (has_value && SameIgnoringCase(arg, L"--height")) {
      cfg.height = WideToInt(argv[++i]);
    } else if (has_value && SameIgnoringCase(arg, L"--monitor")) {
      cfg.monitor = WideToInt(argv[++i]);
    } else if (SameIgnoringCase(arg, L"--no-vsync")) {
      cfg.vsync = false;
    } else if (SameIgnoringCase(arg, L"--stretch")) {
      cfg.letterbox = false;
    } else if (SameIgnoringCase(arg, L"--topmost")) {
      cfg.topmost = true;
    } else if (SameIgnoringCase(arg, L"--hide-cursor")) {
      cfg.hideCursor = true;
    } else if (SameIgnoringCase(arg, L"--realtime")) {
      cfg.realtime = true;
    } else if (SameIgnoringCase(arg, L"--no-activate")) {
      cfg.noActivate = true;
    } else if (has_value && SameIgnoringCase(arg, L"--parent-pid")) {
      cfg.parentPid = static_cast<uint32_t>(WideToInt(argv[++i]));
    }
  }
  return cfg;
}

}  // namespace tsl
