#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "base/unique_handle_win32.h"

namespace weft {

// A named, page-file-backed file mapping and one view of all of it, owned together: the view is
// unmapped and the mapping closed when the object goes or is closed. Move-only.
class MappedView {
 public:
  MappedView() = default;
  ~MappedView() { Close(); }
  MappedView(MappedView&& other) noexcept;
  MappedView& operator=(MappedView&& other) noexcept;
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;

  // Creates the mapping with `bytes` (or opens it, when another process made it first: then it
  // keeps its creator's size, and Existed is true) and maps all of it for reading and writing.
  bool Create(const char* name, size_t bytes);
  // Opens an existing mapping and maps all of it; read-only when `writable` is false. False
  // when there is no mapping of that name (GetLastError says ERROR_FILE_NOT_FOUND then).
  bool Open(const char* name, bool writable = true);
  void Close();

  uint8_t* data() const { return view_; }
  // The bytes the system mapped (whole pages): at least what the creator asked for.
  size_t size() const { return bytes_; }
  bool Existed() const { return existed_; }
  // GetLastError as the last Create or Open left it right after making or opening the mapping:
  // the reason when that failed, else 0 or ERROR_ALREADY_EXISTS.
  DWORD MappingError() const { return mappingError_; }
  explicit operator bool() const { return view_ != nullptr; }

 private:
  bool Map(DWORD access);

  base::UniqueHandle mapping_;
  uint8_t* view_ = nullptr;
  size_t bytes_ = 0;
  bool existed_ = false;
  DWORD mappingError_ = 0;
};

}  // namespace weft
