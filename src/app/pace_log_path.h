#pragma once

#include <string>

namespace tsl {

// "pace_log.csv" beside the executable whose full path is given (relative to the current
// directory when the path is empty), in UTF-8, and the same path wide for the user. False when
// the UTF-8 form, with its terminator, does not fit 520 bytes or the path is not valid UTF-16:
// writing to a cut path would put the log somewhere else.
bool PaceLogPath(const std::wstring& exe_path, std::wstring& wide_path, std::string& utf8_path);

}  // namespace tsl
