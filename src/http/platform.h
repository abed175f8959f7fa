// The two platform-dependent pieces of the fake server: one statically
// initialised exclusive lock and a millisecond sleep.
#ifndef VELTRONA_HTTP_PLATFORM_H
#define VELTRONA_HTTP_PLATFORM_H

#include <cstdint>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
struct veltrona_lock {
    SRWLOCK l;
};
#define VELTRONA_LOCK_INIT {SRWLOCK_INIT}
#else
#include <pthread.h>
struct veltrona_lock {
    pthread_mutex_t l;
};
#define VELTRONA_LOCK_INIT {PTHREAD_MUTEX_INITIALIZER}
#endif

// Exclusive acquisition and release; the lock is never destroyed.
void veltrona_lock_take(veltrona_lock *l) noexcept;
void veltrona_lock_drop(veltrona_lock *l) noexcept;

// Waits at least ms milliseconds (nothing for ms <= 0).
void veltrona_sleep_ms(int32_t ms) noexcept;

#endif
