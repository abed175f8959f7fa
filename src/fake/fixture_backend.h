// Offline fixture backend: a transport that answers the service's read
// routes from files in a corpus directory, with injectable whole-response
// failures and call statistics. The exported controls forward here.
#ifndef MVFILES_FAKE_FIXTURE_BACKEND_H
#define MVFILES_FAKE_FIXTURE_BACKEND_H

#include <cstdint>

#include "veltrona_http.h"

// Copies a non-null, non-empty directory into the backend (cut to 511
// bytes; NULL or "" keeps the current one), refills the backend's transport
// record and returns it. The record is static and lives with the library.
const veltrona_http *mvfiles_fake_backend(const char *dir) noexcept;

// Refills the transport record without touching the directory.
const veltrona_http *mvfiles_fake_install() noexcept;

// Stores any mode; values outside 1..6 route normally.
void mvfiles_fake_set_mode(int32_t mode) noexcept;

int64_t mvfiles_fake_calls_internal() noexcept;
int64_t mvfiles_fake_fail_internal() noexcept;
const char *mvfiles_fake_last_url_internal() noexcept;

// Empties the last URL and zeroes both counters; mode and directory stay.
void mvfiles_fake_wipe_stats() noexcept;

#endif
