#!/usr/bin/env bash
# The Python wheels as a consumer meets them: installs the Linux wheel of
# BUILD-DIR with pip into a fresh virtual environment, with nothing telling
# it where the library is, and runs the README's Python example there; checks
# the contents of both wheels. No Windows Python is at hand here, so the
# win_amd64 wheel is checked but not run.
# Usage: python-consumer-check.sh BUILD-DIR [WINDOWS-BUILD-DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-pkg}
win_build=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "python-consumer-check: $*" >&2; exit 1; }

# has WHEEL PATH...: every path is in the wheel.
has() {
    local whl=$1; shift
    /usr/bin/python3 - "$whl" "$@" <<'PY' || fail "$(basename "$whl") lacks a file it must carry"
import sys, zipfile
names = set(zipfile.ZipFile(sys.argv[1]).namelist())
missing = [p for p in sys.argv[2:] if p not in names]
print("\n".join("missing: " + p for p in missing), file=sys.stderr)
sys.exit(bool(missing))
PY
}
common=(mvfiles/__init__.py mvfiles/client.py mvfiles/_native.py mvfiles/_installed.py mvfiles/py.typed
        mvfiles/fixtures/getfiles.movie-multi.json mvfiles-1.0.0.dist-info/LICENSE
        mvfiles-1.0.0.dist-info/THIRD-PARTY-NOTICES.txt)

echo "python-consumer-check: Linux wheel in a fresh venv"
whl=$(ls "$build"/mvfiles-*-linux_x86_64.whl)
has "$whl" "${common[@]}" mvfiles/libmvfiles.so mvfiles/_tables.abi3.so
unzip -p "$whl" mvfiles/libmvfiles.so >"$work/wheel.so"
! readelf -d "$work/wheel.so" | grep -q 'NEEDED.*yyjson' || fail "the wheel's libmvfiles.so needs a yyjson library"
/usr/bin/python3 -m venv "$work/venv"
"$work/venv/bin/pip" install -q --no-index "$whl"
awk '/^```python$/ {on = 1; next} on && /^```$/ {exit} on' README.md >"$work/example.py"
[ -s "$work/example.py" ] || fail "no Python example in README.md"
cd "$work"
run() { env -u MVFILES_LIBRARY -u LD_LIBRARY_PATH -u PYTHONPATH "$work/venv/bin/python" "$@"; }
run example.py >example.out
grep -q '^a81c4f0b-' example.out || fail "the README's example printed no file"
run -c 'import sys, mvfiles
c = mvfiles.Client()
sys.exit(not (c._tables and c._lib._name.startswith(sys.argv[1])))' "$work/venv" \
    || fail "the wheel's binding does not use its own library and table reader"
cd - >/dev/null

if [ -n "$win_build" ]; then
    whl=$(ls "$build"/mvfiles-*-py3-none-win_amd64.whl)
    echo "python-consumer-check: $(basename "$whl"): contents only (no Windows Python here)"
    has "$whl" "${common[@]}" mvfiles/mvfiles.dll
    /usr/bin/python3 - "$whl" <<'PY' || fail "the Windows wheel names another library or carries a Linux one"
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
names = z.namelist()
ok = 'LIBRARY = "mvfiles.dll"' in z.read("mvfiles/_installed.py").decode().splitlines()
sys.exit(not ok or any(".so" in n for n in names))
PY
fi
echo "python-consumer-check: passed"
