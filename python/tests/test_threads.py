"""Threads sharing the library through two clients: no crash, every answer right."""

import os
import sys
import threading
from pathlib import Path

from mvfiles import Client

FIXTURES = os.environ.get("MVFILES_TEST_FIXTURES",
                          str(Path(__file__).resolve().parents[2] / "fixtures"))


def test_four_threads_two_clients_mixed_calls():
    a, b = Client(), Client()
    a.use_fake(FIXTURES)
    # Repeats answered from the table, replaced tables, key-value tables that
    # replace each other, and File.json read after other threads moved on.
    calls = [lambda c: c.files("tt4154796"), lambda c: c.files("tt0944947", 1, 1),
             lambda c: c.files("tt0944947"), lambda c: c.files("tt0111161"),
             lambda c: c.playlists("Movies"), lambda c: c.playlists("Series"),
             lambda c: c.progress("tt0111161", "u42"), lambda c: c.storages(),
             lambda c: c.is_playable("tt0111161"), lambda c: c.playback_sessions("ps")]
    seen = lambda r: [(x, x.json) for x in r] if isinstance(r, list) and r and hasattr(r[0], "json") else r
    expected = [seen(call(a)) for call in calls]
    failures = []

    def work(client, seed):
        for n in range(750):
            k = (n * 7 + seed) % len(calls)
            got = calls[k](client)
            if seen(got) != expected[k]:
                failures.append((k, got))

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)
    try:
        threads = [threading.Thread(target=work, args=(c, s)) for s, c in enumerate((a, b, a, b))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    finally:
        sys.setswitchinterval(interval)
        b.close()
        a.close()
    assert not failures
