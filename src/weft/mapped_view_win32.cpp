#include "weft/mapped_view_win32.h"

#include <utility>

namespace weft {

MappedView::MappedView(MappedView&& other) noexcept
    : mapping_(std::move(other.mapping_)),
      view_(std::exchange(other.view_, nullptr)),
      bytes_(std::exchange(other.bytes_, 0)),
      existed_(std::exchange(other.existed_, false)),
      mappingError_(other.mappingError_) {}

MappedView& MappedView::operator=(MappedView&& other) noexcept {
  if (this != &other) {
    Close();
    mapping_ = std::move(other.mapping_);
    view_ = std::exchange(other.view_, nullptr);
    bytes_ = std::exchange(other.bytes_, 0);
    existed_ = std::exchange(other.existed_, false);
    mappingError_ = other.mappingError_;
  }
  return *this;
}

bool MappedView::Create(const char* name, size_t bytes) {
  Close();
  const auto size = static_cast<unsigned long long>(bytes);
  mapping_.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                    static_cast<DWORD>(size >> 32), static_cast<DWORD>(size),
                                    name));
  mappingError_ = GetLastError();
  if (!mapping_) return false;
  existed_ = mappingError_ == ERROR_ALREADY_EXISTS;
  return Map(FILE_MAP_ALL_ACCESS);
}

bool MappedView::Open(const char* name, bool writable) {
  Close();
  const DWORD access = writable ? FILE_MAP_ALL_ACCESS : FILE_MAP_READ;
  mapping_.reset(OpenFileMappingA(access, FALSE, name));
  mappingError_ = mapping_ ? 0 : GetLastError();
  if (!mapping_) return false;
  existed_ = true;
  return Map(access);
}

bool MappedView::Map(DWORD access) {
  view_ = static_cast<uint8_t*>(MapViewOfFile(mapping_.get(), access, 0, 0, 0));
  MEMORY_BASIC_INFORMATION info{};
  if (view_ == nullptr || VirtualQuery(view_, &info, sizeof info) == 0) {
    Close();
    return false;
  }
  bytes_ = info.RegionSize;
  return true;
}

void MappedView::Close() {
  if (view_ != nullptr) UnmapViewOfFile(view_);
  view_ = nullptr;
  bytes_ = 0;
  existed_ = false;
  mapping_.reset();
}

}  // namespace weft
