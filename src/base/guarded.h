#pragma once

// What a mutex guards, said so that the compiler checks it: a member marked GUARDED_BY(m) may
// be read or written only while `m` is held, and a method marked REQUIRES(m) may be called only
// by one that holds it. Clang checks this (-Wthread-safety, an error in its builds); other
// compilers read the marks as nothing. The checks need a mutex the analysis knows, hence
// base::Mutex and base::MutexLock in place of std::mutex and std::lock_guard.

#include <mutex>

#if defined(__clang__)
#define TSL_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TSL_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) TSL_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY TSL_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) TSL_THREAD_ANNOTATION(guarded_by(x))
#define REQUIRES(...) TSL_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) TSL_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) TSL_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define EXCLUDES(...) TSL_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))

namespace base {

class CAPABILITY("mutex") Mutex {
 public:
  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

// Holds a Mutex for its scope.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~MutexLock() RELEASE() { mutex_.Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

}  // namespace base
