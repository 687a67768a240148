#pragma once

// Starting a program that lies beside the test executable as a second process, with pipes to
// the standard streams the test talks through. Used by the peer client and the app driver.

#include <windows.h>

#include <string>

#include "base/unique_handle_win32.h"

namespace tsl::testing {

// Full path of a file beside the test executable.
std::wstring BesideTestExecutable(const std::wstring& file_name);

struct ChildProcess {
  base::UniqueHandle process;
  base::UniqueHandle to_child;     // its standard input, when piped
  base::UniqueHandle from_child;   // its standard output, when piped
  base::UniqueHandle errors_from;  // its standard error, when piped
};

enum ChildPipes : unsigned {
  kPipeInput = 1,   // else no standard input
  kPipeOutput = 2,  // else its standard output goes to NUL
  kPipeErrors = 4,  // else it shares the test's standard error
  // No standard handles and no console, as a program started from a shortcut has; the other
  // flags are then ignored.
  kNoStandardStreams = 8,
};

// Starts `exe_name` (beside the test executable) with the argument text. False when it could
// not be started.
bool StartBesideTest(const std::wstring& exe_name, const std::wstring& arguments, unsigned pipes,
                     ChildProcess& child);

}  // namespace tsl::testing
