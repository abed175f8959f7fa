#!/usr/bin/env bash
# Compares the ABI of a built libmvfiles.so.1 with the 1.0.0 baseline in
# abi/: the exported mvfiles_ functions and the records they reach (the
# veltrona_ transport types). Internal types are left out, so that only
# what a host sees can fail the check.
#   abi-check.sh LIBRARY            compare; an incompatible change (a
#                                   function removed or changed, a record
#                                   that moved) fails with abidiff's report,
#                                   functions only added pass and are listed
#   abi-check.sh --update LIBRARY   write the baseline anew (a new SONAME)
set -euo pipefail
cd "$(dirname "$0")/.."
baseline=abi/libmvfiles.so.1.abi
update=0
if [ "${1:-}" = "--update" ]; then update=1; shift; fi
lib=${1:?usage: abi-check.sh [--update] LIBRARY}
fail() { echo "abi-check: $*" >&2; exit 1; }
command -v abidw >/dev/null || fail "abidw not found (scripts/setup.sh installs abigail-tools)"
# Without debug information abidw sees names only, not types or records.
readelf -S "$lib" | grep -q '\.debug_info' || fail "$lib has no debug information (build it RelWithDebInfo)"

# The ABI as XML, without the paths of this checkout, so that any build
# tree gives the same text.
dump() {
    abidw --no-corpus-path --no-comp-dir-path --no-show-locs --drop-undefined-syms \
          --headers-dir include --drop-private-types --type-id-style hash "$1" |
        sed "s|path='$PWD/|path='|"
}

if [ $update -eq 1 ]; then
    dump "$lib" >"$baseline"
    echo "abi-check: wrote $baseline ($(grep -c "<elf-symbol name='mvfiles_" "$baseline") exports)"
    exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dump "$lib" >"$work/current.abi"
# abidiff's status is a bit set: 1 error, 2 usage, 4 ABI change, 8 an
# incompatible change (a removed symbol). A changed record or signature
# only sets 4, so a second run that hides added symbols tells additions
# from everything else.
rc=0
abidiff "$baseline" "$work/current.abi" >"$work/report" || rc=$?
if [ $((rc & 3)) -ne 0 ]; then
    cat "$work/report" >&2
    fail "abidiff failed (status $rc)"
fi
if [ $rc -eq 0 ]; then
    echo "abi-check: $(basename "$lib") has the ABI of the baseline"
    exit 0
fi
rest=0
abidiff --no-added-syms "$baseline" "$work/current.abi" >/dev/null || rest=$?
cat "$work/report"
[ $rest -eq 0 ] || fail "INCOMPATIBLE change to the ABI of $(basename "$lib") (see above)"
echo "abi-check: compatible: only additions to the baseline"
