// The least pace an answer must keep on the real transports: once the
// request is sent, every window must bring at least `bytes` of the answer
// (head or body), or its end. Without it, a server that sends one byte now
// and then within the idle timeouts could hold the calling thread for as
// long as it likes, and a host can neither cancel a call nor unload the
// library while one is inside it.
#ifndef VELTRONA_HTTP_PACE_H
#define VELTRONA_HTTP_PACE_H

#include <cstdint>

struct veltrona_pace_floor {
    int64_t window_ms;  // 60000
    uint64_t bytes;     // 1024
};
// Read by every exchange; tests shorten it while no exchange runs.
extern veltrona_pace_floor veltrona_pace_rule;

// One answer's windows, back to back from veltrona_pace_start on a steady
// clock. A zeroed record has not started.
struct veltrona_pace {
    int64_t window_end;  // ms; 0 before the start
    uint64_t got;        // answer bytes counted in the current window
};

// Milliseconds on the steady clock the windows and the idle timeouts use.
int64_t veltrona_steady_ms() noexcept;

void veltrona_pace_start(veltrona_pace *p) noexcept;

// Counts n bytes of the answer in the current window.
void veltrona_pace_add(veltrona_pace *p, uint64_t n) noexcept;

// Milliseconds the exchange may still wait for more of the answer before a
// window closes short of the floor; 0 when one already has (the exchange
// then fails with its receive-timeout text). Bytes counted since the last
// call are credited to the window they were counted in, even when the
// caller looks only after it ended. INT64_MAX before the start.
int64_t veltrona_pace_left(veltrona_pace *p) noexcept;

#endif
