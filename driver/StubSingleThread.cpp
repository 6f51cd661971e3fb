// The few thread-library entry points the runtime calls, for the stub alone. The stub runs
// on one thread (it starts none: CTest's stub.size checks that it imports no thread
// start), yet the unwinder, the exception allocator and the thread-local emulation call
// pthread_once, mutexes and keys, and the clocks behind <chrono> call clock_gettime; with
// the library's own versions they bring the whole thread library (34 KB) into every
// installation file. On one thread a once is a flag, a mutex needs no lock and a key is
// a slot.
#include <windows.h>

#include <cerrno>
#include <pthread.h>
#include <time.h>

namespace {

constexpr pthread_key_t kKeySlots = 64;
struct StubSingleThreadState {
  void* keyValues[kKeySlots];
  pthread_key_t keysMade = 0;
};
StubSingleThreadState state;

}  // namespace

extern "C" {

int pthread_once(pthread_once_t* once, void (*init)(void)) {
  if (*once == 0) {
    *once = 1;
    init();
  }
  return 0;
}

int pthread_mutex_init(pthread_mutex_t*, const pthread_mutexattr_t*) { return 0; }
int pthread_mutex_lock(pthread_mutex_t*) { return 0; }
int pthread_mutex_unlock(pthread_mutex_t*) { return 0; }
int pthread_mutex_destroy(pthread_mutex_t*) { return 0; }

// Destructors of keys run when a thread ends; the stub's only thread ends with the process.
int pthread_key_create(pthread_key_t* key, void (*)(void*)) {
  if (state.keysMade >= kKeySlots) return EAGAIN;
  *key = state.keysMade++;
  return 0;
}
int pthread_key_delete(pthread_key_t) { return 0; }
void* pthread_getspecific(pthread_key_t key) {
  return key < kKeySlots ? state.keyValues[key] : nullptr;
}
int pthread_setspecific(pthread_key_t key, const void* value) {
  if (key >= kKeySlots) return EINVAL;
  state.keyValues[key] = const_cast<void*>(value);
  return 0;
}

int clock_gettime(clockid_t clock, struct timespec* time) {
  if (clock == CLOCK_MONOTONIC) {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    time->tv_sec = count.QuadPart / frequency.QuadPart;
    time->tv_nsec = static_cast<long>(count.QuadPart % frequency.QuadPart * 1000000000LL / frequency.QuadPart);
    return 0;
  }
  // Every other clock reads the wall clock: 100-ns units since 1601 to the Unix epoch.
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const long long units =
      (static_cast<long long>(now.dwHighDateTime) << 32 | now.dwLowDateTime) - 116444736000000000LL;
  time->tv_sec = units / 10000000;
  time->tv_nsec = static_cast<long>(units % 10000000 * 100);
  return 0;
}

}  // extern "C"
