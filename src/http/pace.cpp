// Pace of an answer on the real transports (see pace.h).
#include "http/pace.h"

#include <chrono>

veltrona_pace_floor veltrona_pace_rule = {60000, 1024};

int64_t veltrona_steady_ms() noexcept {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void veltrona_pace_start(veltrona_pace *p) noexcept {
    p->window_end = veltrona_steady_ms() + veltrona_pace_rule.window_ms;
    p->got = 0;
}

void veltrona_pace_add(veltrona_pace *p, uint64_t n) noexcept { p->got += n; }

int64_t veltrona_pace_left(veltrona_pace *p) noexcept {
    if (p->window_end == 0) return INT64_MAX;
    const int64_t now = veltrona_steady_ms();
    while (now >= p->window_end) {
        if (p->got < veltrona_pace_rule.bytes) return 0;
        p->got = 0;
        p->window_end += veltrona_pace_rule.window_ms;
    }
    // A window that has its bytes already is safe; the next one is not.
    int64_t until = p->got >= veltrona_pace_rule.bytes ? p->window_end + veltrona_pace_rule.window_ms : p->window_end;
    return until - now;
}
