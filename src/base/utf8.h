#pragma once

#include <string>

namespace base {

// Strict UTF-8 to UTF-16 (in a wstring, as on Windows) conversion. False for malformed input:
// an overlong form, a surrogate code point, a value above U+10FFFF or a cut sequence.
inline bool Utf8ToWide(const std::string& utf8, std::wstring& wide) {
  wide.clear();
  wide.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    char32_t cp = 0;
    size_t extra = 0;
    if (lead < 0x80) {
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      cp = lead & 0x1F;
      extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
      cp = lead & 0x0F;
      extra = 2;
    } else if ((lead & 0xF8) == 0xF0) {
      cp = lead & 0x07;
      extra = 3;
    } else {
      return false;
    }
    if (utf8.size() - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const auto cont = static_cast<unsigned char>(utf8[i + k]);
      if ((cont & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cont & 0x3F);
    }
    static constexpr char32_t kMinForLength[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMinForLength[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    if (cp >= 0x10000 && sizeof(wchar_t) == 2) {
      cp -= 0x10000;
      wide.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
      wide.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      wide.push_back(static_cast<wchar_t>(cp));
    }
    i += extra + 1;
  }
  return true;
}

}  // namespace base

namespace base {

// Strict UTF-16 (or UTF-32 where wchar_t is 32 bits) to UTF-8. False for an unpaired surrogate:
// a path with one would otherwise name a different file.
inline bool WideToUtf8(const std::wstring& wide, std::string& utf8) {
  utf8.clear();
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t cp = static_cast<char32_t>(wide[i]);
    if (sizeof(wchar_t) == 2) cp &= 0xFFFF;
    if (cp >= 0xD800 && cp <= 0xDBFF && sizeof(wchar_t) == 2) {
      if (i + 1 >= wide.size()) return false;
      const auto low = static_cast<char32_t>(wide[i + 1]) & 0xFFFF;
      if (low < 0xDC00 || low > 0xDFFF) return false;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      ++i;
    } else if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
      return false;
    }
    if (cp < 0x80) {
      utf8.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      utf8.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      utf8.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      utf8.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      utf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      utf8.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      utf8.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      utf8.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      utf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return true;
}

}  // namespace base

namespace base {

// A name for a line of plain ASCII text (a report, a list a script reads): every unit outside
// printable ASCII, and a double quote where `quoted` (the line puts the name in quotes), shows
// as '?' rather than as bytes a console would break.
inline std::string PrintableAscii(const std::wstring& wide, bool quoted = false) {
  std::string narrow;
  narrow.reserve(wide.size());
  for (const wchar_t c : wide) {
    const bool plain = c >= 0x20 && c < 0x7F && !(quoted && c == L'"');
    narrow.push_back(plain ? static_cast<char>(c) : '?');
  }
  return narrow;
}

}  // namespace base
