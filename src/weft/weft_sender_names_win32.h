#pragma once

#include <cstdint>
#include <functional>

#include "weft/sender_set.h"
#include "weft/weft_protocol.h"
#include "weft/weft_shared_memory_win32.h"

// The machine's Weft sender registry: the shared list of sender names ("WeftSenderNames"), the
// active sender's name ("ActiveSenderName") and each sender's information segment. This program
// only reads it, except that counting drops senders whose segment no longer exists. Not
// thread-safe: one thread at a time (the lock nesting is per object).
class weftSenderNames {  // NOLINT(readability-identifier-naming): the protocol's name
 public:
  weftSenderNames();
  ~weftSenderNames() = default;
  weftSenderNames(const weftSenderNames&) = delete;
  weftSenderNames& operator=(const weftSenderNames&) = delete;

  enum class RecordRead { kCopied, kNoSegment, kBusy };

  bool UnregisterSenderName(const char* name);
  bool ReadSenderSet(weft::SenderSet& set);
  // The number of listed senders, after dropping from the list every sender whose segment no
  // longer exists (or whose name no segment can have). A sender whose segment is only busy (its
  // lock held, or abandoned) is alive and stays listed. No sender's lock is waited for, and the
  // list's lock is not held while the senders are looked at: a walk of a long list ends after
  // about 10 ms, or when `give_up` says so, and the next count goes on where it ended.
  int32_t CountSenders(const std::function<bool()>& give_up = nullptr);
  bool SenderNameAt(int32_t index, char* name, int32_t size);
  bool setActiveSenderName(const char* name);  // NOLINT(readability-identifier-naming)
  bool ReadActiveSender(char* name, int32_t size);
  bool ReadSenderInfo(const char* name, weft::SenderInfoRecord& record);
  // The sender's record if its lock is free now: kBusy when it is held (nothing waits for it),
  // kNoSegment when the sender is gone.
  RecordRead PeekSenderInfo(const char* name, weft::SenderInfoRecord& record);

  int32_t MaxSenders() const { return maxSenders_; }

  // The "MaxSenders" setting as used: a value of 0, or one whose list size would not fit a
  // signed 32-bit size, falls back to the default.
  static int32_t SanitiseMaxSenders(uint32_t value);

 private:
  bool OpenList();
  bool readActiveSenderName(char* name, int32_t length);  // NOLINT(readability-identifier-naming)
  // Whether the error of a failed open means the sender's segment cannot exist now.
  static bool IsGoneError(DWORD error);
  // Opens and locks the sender's segment (waiting up to `wait_ms`) and copies its record out; the
  // segment is closed again. kNoSegment only when the segment does not exist or cannot be named;
  // a lock not obtained, or a segment too small for a record, is kBusy.
  static RecordRead CopySenderRecord(const char* name, weft::SenderInfoRecord& record,
                                     DWORD wait_ms = weft::kLockTimeoutMs);
  // Takes `name` off the list; with `only_if_gone`, only if its segment is gone, judged again
  // under the list's lock (a sender starting meanwhile stays).
  bool RemoveListed(const char* name, bool only_if_gone);

  WeftSharedMemory namesSegment_;
  WeftSharedMemory activeSegment_;
  int32_t maxSenders_ = weft::kDefaultMaxSenders;
  size_t nextCounted_ = 0;  // where the next count's walk starts
};
