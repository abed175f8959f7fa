// Lock and sleep for Windows and for POSIX systems.
#include "http/platform.h"

#ifndef _WIN32
#include <cerrno>
#include <ctime>
#endif

#ifdef _WIN32

void veltrona_lock_take(veltrona_lock *l) noexcept { AcquireSRWLockExclusive(&l->l); }
void veltrona_lock_drop(veltrona_lock *l) noexcept { ReleaseSRWLockExclusive(&l->l); }

void veltrona_sleep_ms(int32_t ms) noexcept {
    if (ms > 0) Sleep(static_cast<DWORD>(ms));
}

#else

// A statically initialised default mutex cannot fail to lock or unlock when
// used correctly, so the results carry nothing worth handling.
void veltrona_lock_take(veltrona_lock *l) noexcept { (void)pthread_mutex_lock(&l->l); }
void veltrona_lock_drop(veltrona_lock *l) noexcept { (void)pthread_mutex_unlock(&l->l); }

void veltrona_sleep_ms(int32_t ms) noexcept {
    if (ms <= 0) return;
    struct timespec want;
    want.tv_sec = ms / 1000;
    want.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    struct timespec left;
    // A signal cuts the wait short; sleep out the rest.
    while (nanosleep(&want, &left) != 0 && errno == EINTR) want = left;
}

#endif
