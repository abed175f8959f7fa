#!/usr/bin/env bash
# valgrind memcheck over the command-line program's every subcommand on the
# bundled corpus, then over the core, files, key-value, sessions and writes
# suites, all from the plain build in BUILD (default: build). A memory error,
# a definite or indirect leak, or a failing suite fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
B=${BUILD:-build}
logs="$B/valgrind"
mkdir -p "$logs"
vg=(valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect)
failed=()
n=0

# run EXPECT_ANY_STATUS COMMAND...: the program's own exit status counts only
# for the suites; valgrind's 99 always does.
run() {
    local any=$1 rc=0
    shift
    n=$((n + 1))
    "${vg[@]}" "$@" >"$logs/$n.log" 2>&1 || rc=$?
    if [ $rc -eq 99 ] || { [ "$any" = 0 ] && [ $rc -ne 0 ]; }; then
        echo "valgrind: FAILED ($rc): $* (log $logs/$n.log)"
        tail -n 30 "$logs/$n.log"
        failed+=("$*")
    fi
}

cli="$B/tools/mvfiles"
cli_runs=(
    "files tt4154796" "files tt0944947 -s 1 -e 1" "files tt0000001" "keys k1 k2" "playable tt4154796"
    "file-json tt4154796 0" "playlists Movies" "progress --user u42 --profile 0 tt0944947"
    "subtitles tt0944947 -s 1 -e 1" "session-index --user u42" "storages" "sessions s-1,s-2"
    "save-progress u42 0 tt0111161 -1 -1 100 1000" "--arm save-progress u42 0 tt0111161 -1 -1 100 1000"
    "--arm update-session k YWJj 10 20" "--arm download-magnet u42 magnet:?xt=x s1 d1 mkv"
    "--help" "files --help" "--version" "files")
for args in "${cli_runs[@]}"; do
    # shellcheck disable=SC2086  # each entry is a word list
    run 1 "$cli" $args
    run 1 "$cli" --json $args
done

for suite in core_test files_lookup_test files_records_test kv_fetch_test kv_fixtures_test kv_playlists_test \
             kv_storages_test kv_tables_test sessions_test writes_test; do
    run 0 "$B/tests/$suite"
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "valgrind: ${#failed[@]} of $n runs failed" >&2
    exit 1
fi
echo "valgrind: $n runs clean"
