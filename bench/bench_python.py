"""The Python binding's files() against json.loads of the same bytes, in one
process: a large answer (45,000 files, about 30 MB) and a typical one (10
files), each fetched again every time; then a repeat the library answers
from its table. The answer has the shape bench_files.cpp builds, served by
the fixture backend from a corpus in a temporary directory.

Run by `make bench` with the build tree's library and table reader on the
path (MVFILES_LIBRARY, PYTHONPATH).
"""

import gc
import json
import os
import shutil
import sys
import tempfile
import time

import mvfiles

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FILE = ('{"key":"file-%08d","imDbID":"tt%07d","parentKey":"p%06d",'
        '"fileName":"T.S%02dE%02d.%05d.mkv","path":"/lib/Season %02d/file-%08d.mkv",'
        '"extension":".mkv","subtitleLanguages":"en,fr","subtitleLanguageTitles":"English,French",'
        '"created":"2024-01-%02d","recordUpdated":"2024-02-%02d","size":%d,"durationSeconds":%d,'
        '"season":%d,"episode":%d,"isHDR":%s,"isHEVC":true,"isDolbyAtmos":false,"subtitleCount":4,'
        '"audioChannelCount":6,"videoWidth":3840,"videoHeight":2160,'
        '"entries":[{"uri":"s:a%08d","url":"https://cdn/a/%08d","isActive":true,'
        '"accessSource":{"contentSource":1}},'
        '{"uri":"s:b%08d","isActive":false,"accessSource":{"contentSource":2}}]}')


def answer(files):
    return ("[" + ",".join(FILE % (
        i, i % 9999999, i // 10, i % 20, i % 30, i, i % 20, i, i % 28 + 1, i % 28 + 1,
        4000000000 + i, 2700 + i % 600, i % 20, i % 30, "true" if i & 1 else "false", i, i, i)
        for i in range(files)) + "]").encode()


def timed(fns, rounds):
    """Least CPU seconds of one call of each function, over ``rounds``
    batches of about 20 ms each (a busy machine only ever adds). The
    functions take turns batch by batch, and CPU time is what is counted, so
    that other processes weigh on all alike."""
    batches = []
    for fn in fns:
        start = time.process_time()
        fn()
        batches.append(max(1, int(0.02 / max(time.process_time() - start, 1e-7))))
    samples = [[] for _ in fns]
    for _ in range(rounds):
        for fn, batch, out in zip(fns, batches, samples):
            start = time.process_time()
            for _ in range(batch):
                fn()
            out.append((time.process_time() - start) / batch)
    return [min(s) for s in samples]


def without_collector(fn):
    gc.disable()
    try:
        return fn()
    finally:
        gc.enable()


def fmt(seconds):
    for unit, scale in (("s", 1), ("ms", 1e-3), ("us", 1e-6)):
        if seconds >= scale:
            return "%8.2f %-2s" % (seconds / scale, unit)
    return "%8.0f ns" % (seconds / 1e-9)


def main():
    corpus = tempfile.mkdtemp(prefix="mvfiles-bench-")
    try:
        shutil.copytree(os.path.join(ROOT, "fixtures"), corpus, dirs_exist_ok=True)
        fast = mvfiles.Client()
        os.environ[mvfiles.PURE_ENV] = "1"
        pure = mvfiles.Client()
        del os.environ[mvfiles.PURE_ENV]
        if fast._tables is None:
            print("bench_python: the compiled table reader is not on the path", file=sys.stderr)
            return 1
        fast.use_fake(corpus)
        lib = fast._lib
        print("python: Client.files() against json.loads of the same bytes")
        print("%-14s %6s %11s %11s %11s %11s %11s %7s %11s" % (
            "case", "files", "json.loads", "(no gc)", "look-up", "files()", "+ .json", "ratio",
            "ctypes only"))
        for name, n, rounds in (("files/large", 45000, 3), ("files/typical", 10, 21)):
            body = answer(n)
            with open(os.path.join(corpus, "getfiles.movie-single.json"), "wb") as f:
                f.write(body)
            # Season and episode -2 never match the stored key: every call
            # fetches and replaces the table.
            loads, loads_nogc, native, files, with_json, old = timed([
                lambda: json.loads(body), lambda: without_collector(lambda: json.loads(body)),
                lambda: lib.mvfiles_get_by_imdb(b"tt0111161", -2, -2),
                lambda: fast.files("tt0111161", -2, -2),
                lambda: [f.json for f in fast.files("tt0111161", -2, -2)],
                lambda: pure.files("tt0111161", -2, -2)], rounds)
            if len(fast.files("tt0111161", -2, -2)) != n:
                print("bench_python: the answer did not give every file", file=sys.stderr)
                return 1
            print("%-14s %6d %11s %11s %11s %11s %11s %6.2fx %11s" % (
                name, n, fmt(loads), fmt(loads_nogc), fmt(native), fmt(files), fmt(with_json),
                files / loads, fmt(old)))
            held = fast.files("tt0111161")
            hit, native_hit = timed([lambda: fast.files("tt0111161"),
                                     lambda: lib.mvfiles_get_by_imdb(b"tt0111161", -1, -1)], rounds)
            print("%-14s %6d repeat from the table: files() %s, the library's hit through ctypes %s"
                  % (name, len(held), fmt(hit).strip(), fmt(native_hit).strip()))
            # A large table left alive would make every later collection slower.
            del held
            fast.cache_clear()
            gc.collect()
        print("(CPU time; (no gc): json.loads with the cyclic collector off, as files() reads"
              " its records; ratio: files() / json.loads; look-up: mvfiles_get_by_imdb alone through"
              " ctypes; + .json: files() and every File.json read; ctypes only: files() without"
              " the compiled reader)")
        pure.close()
        fast.close()
        return 0
    finally:
        shutil.rmtree(corpus, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
