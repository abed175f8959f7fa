#!/usr/bin/env python3
"""Splits the instructions of one look-up into its parts, with callgrind.

    python3 bench/callgrind_parts.py [--build DIR] [CASE ...]

Runs each case's look-ups on the warm heap under callgrind (the benchmark
programs' --profile mode: 2 look-ups of a large answer, 1000 of a typical
one, after one that is not counted) and prints, per case, the instructions
of one look-up and the share of: collecting the response (the GET/POST
helper with the transport's callbacks), parsing the answer, filling the
key-value rows, building the table, releasing the table it replaces, and
the rest (URLs, cache keys, messages). Without CASE it runs them all, which
takes several minutes.

glibc's memcpy is kept off `rep movsb` while profiling: valgrind counts
each byte such an instruction moves as one instruction. The progress,
subtitle and session-index tables are built in the same pass as the rows:
their "build" is what that pass adds to reading the rows.
"""
import collections
import os
import re
import subprocess
import sys
import tempfile

CASES = {
    "files": "bench_files",
    "playlists": "bench_kv",
    "progress": "bench_kv",
    "subtitles": "bench_kv",
    "session-index": "bench_kv",
    "storages": "bench_kv",
    "sessions": "bench_sessions",
}
ALL = [f"{k}/{size}" for k in CASES for size in ("large", "typical")]


def load(path):
    """Per-function self and inclusive costs and call-edge costs; inlined
    code (fi=/fe= lines) stays with the function it was inlined into."""
    names = {}

    def name(v):
        m = re.match(r"\((\d+)\)(?: (.*))?", v)
        if not m:
            return v
        if m.group(2) is not None:
            names[m.group(1)] = m.group(2)
        return names[m.group(1)]

    selfc, incl, edges = collections.Counter(), collections.Counter(), collections.Counter()
    fn = cfn = pending = None
    total = 0
    with open(path) as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("fn="):
                fn = name(line[3:])
            elif line.startswith("cfn="):
                cfn = name(line[4:])
            elif line.startswith("calls="):
                pending = cfn
            elif line.startswith(("summary:", "totals:")):
                total = int(line.split()[-1])
            elif line[:1].isdigit() or line[:1] in ("+", "-", "*"):
                parts = line.split()
                cost = int(parts[-1]) if len(parts) > 1 else 0
                incl[fn] += cost
                if pending is not None:
                    edges[(fn, pending)] += cost
                    pending = None
                else:
                    selfc[fn] += cost
    return selfc, incl, edges, total


def parts(case, selfc, incl, edges):
    def f(d, prefix):
        return sum(v for k, v in d.items() if k and k.startswith(prefix))

    def e(a, b):
        return sum(v for (x, y), v in edges.items() if x and y and x.startswith(a) and y.startswith(b))

    collect = f(incl, "mvfiles_http_get") + f(incl, "mvfiles_http_post")
    parse = e("mvfiles_read_array", "yyjson_read_opts")
    rows = 0
    if case.startswith("files"):
        release = e("mvfiles_files_index", "mvfiles_files_free")
        build = f(incl, "mvfiles_files_index") - release
    elif case.startswith("sessions"):
        release = e("mvfiles_sessions_fetch", "mvfiles_sessions_free")
        build = (e("mvfiles_sessions_fetch", "void mvfiles_members::find_members")
                 + e("mvfiles_sessions_fetch", "calloc") + f(selfc, "mvfiles_sessions_fetch"))
    else:
        # The row reader (when the compiler kept it a function of its own);
        # the progress, subtitle and session-index tables are filled in the
        # rows' pass (mvfiles_kv_fetch_table), the others by their builders.
        release = (e("mvfiles_kv_hold", "mvfiles_kv_free")
                   + e("mvfiles_storages_project", "mvfiles_storages_release"))
        rows = f(incl, "mvfiles_kv_detail::fill_row(")
        fused = (f(incl, "mvfiles_kv_fetch_table") - e("mvfiles_kv_fetch_table", "mvfiles_kv_request")
                 - e("mvfiles_kv_fetch_table", "mvfiles_kv_detail::fill_row(")
                 - e("mvfiles_kv_fetch_table", "mvfiles_kv_hold"))
        build = fused + sum(f(incl, k) for k in ("mvfiles_index_playlists", "mvfiles_storages_project")) \
            - e("mvfiles_storages_project", "mvfiles_storages_release")
    return collect, parse, rows, build, release


def main():
    args = sys.argv[1:]
    build_dir = "build"
    if args[:1] == ["--build"]:
        build_dir, args = args[1], args[2:]
    cases = args or ALL
    print(f"{'case':22} {'Ir/look-up':>13} {'collect':>8} {'parse':>7} {'rows':>6} {'build':>7} "
          f"{'release':>8} {'rest':>6} {'Ir/parse':>9}")
    env = dict(os.environ, GLIBC_TUNABLES="glibc.cpu.x86_rep_movsb_threshold=4294967295")
    for case in cases:
        program = CASES.get(case.split("/")[0])
        if not program:
            sys.exit(f"unknown case {case}; cases: {' '.join(ALL)}")
        n = 2 if case.endswith("/large") else 1000
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "callgrind.out")
            subprocess.run(["valgrind", "--tool=callgrind", "--collect-atstart=no",
                            "--toggle-collect=bench_profile_region", f"--callgrind-out-file={out}",
                            os.path.join(build_dir, "bench", program), "--profile", case, str(n)],
                           env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            selfc, incl, edges, total = load(out)
        collect, parse, rows, build, release = parts(case, selfc, incl, edges)
        rest = total - collect - parse - rows - build - release
        pc = [100.0 * x / total for x in (collect, parse, rows, build, release, rest)]
        print(f"{case:22} {total / n:13,.0f} {pc[0]:7.1f}% {pc[1]:6.1f}% {pc[2]:5.1f}% {pc[3]:6.1f}% "
              f"{pc[4]:7.1f}% {pc[5]:5.1f}% {total / max(parse, 1):9.2f}", flush=True)


if __name__ == "__main__":
    main()
