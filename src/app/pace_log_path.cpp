#include "app/pace_log_path.h"

#include "base/utf8.h"

namespace tsl {

namespace {
constexpr size_t kUtf8PathBytes = 520;
}  // namespace

bool PaceLogPath(const std::wstring& exe_path, std::wstring& wide_path, std::string& utf8_path) {
  const size_t slash = exe_path.find_last_of(L"\\/");
  wide_path = (slash == std::wstring::npos ? std::wstring() : exe_path.substr(0, slash + 1)) +
              L"pace_log.csv";
  if (!base::WideToUtf8(wide_path, utf8_path)) return false;
  return utf8_path.size() + 1 <= kUtf8PathBytes;
}

}  // namespace tsl
