#!/usr/bin/env bash
# The Python package as a user installs it, offline: in a fresh virtual environment of Debian's
# python3 (with its NumPy, pytest and matplotlib, without this project's module) `pip install
# ./python` builds it; the suite and the examples run against that install on the simulator
# daemon; mypy checks the typed example against the installed package's types, and the stubs are
# compared with the module; pip shows its metadata; `pip wheel` gives a wheel that installs in a second
# environment; `pip uninstall` takes every file away again. The dev build's programs serve the
# suite and the example (BIN_DIR, default build/dev/bin).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
bin=$(cd "${BIN_DIR:-build/dev/bin}" && pwd)
python=/usr/bin/python3
export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INPUT=1 PIP_NO_INDEX=1 PYTHONDONTWRITEBYTECODE=1
tmp=$(mktemp -d)
daemon=""
cleanup() {
    [ -n "$daemon" ] && kill "$daemon" 2>/dev/null && wait "$daemon" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "python_install_check: $*" >&2; exit 1; }
started=$SECONDS
step() { echo "== $* (at $((SECONDS - started)) s)"; }

version=$(sed -n 's/^project(zelp7x_flash VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no project version in CMakeLists.txt"

step "a fresh environment, without the project's module"
$python -m venv --system-site-packages "$tmp/env"
env=$tmp/env/bin/python
if (cd "$tmp" && $env -c 'import zelp7x' 2>/dev/null); then fail "zelp7x is importable before the install"; fi

step "pip install --no-build-isolation ./python"
$env -m pip install -q --no-build-isolation ./python
# Where the package is imported from: the environment, never the source tree.
site=$(cd "$tmp" && $env -c 'import sysconfig; print(sysconfig.get_path("platlib"))')
(cd "$tmp" && $env -c 'import sys, zelp7x; sys.exit(not zelp7x.__file__.startswith(sys.argv[1]))' "$site") ||
    fail "zelp7x is not imported from $site"

step "the suite against the install"
(cd "$tmp" && ZELP_BIN_DIR=$bin $env -m pytest -q -p no:cacheprovider "$repo/python/tests")

step "the stub check: the installed stubs and module name the same things"
(cd "$tmp" && ZELP_BIN_DIR=$bin $env -m pytest -q -p no:cacheprovider "$repo/python/tests/test_stubs.py")

step "mypy --strict on the typed example, against the installed package"
(cd "$tmp" && $env -m mypy --strict --no-incremental --cache-dir=/dev/null "$repo/examples/python/match_wav.py")

step "the examples on the simulator daemon"
"$bin/zelp7x_board_sim" --link "$tmp/board" --match-every 200 >"$tmp/daemon.out" 2>&1 &
daemon=$!
for _ in $(seq 500); do [ -e "$tmp/board" ] && break; sleep 0.01; done
(cd "$tmp" && $env "$repo/examples/python/match_wav.py" "$tmp/board" "$tmp/match.wav")
$env - "$tmp/match.wav" <<'EOF' || fail "match_wav.py wrote no WAV file of a match's audio"
import sys, wave
with wave.open(sys.argv[1], "rb") as w:
    sys.exit((w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes()) != (1, 2, 16000, 512))
EOF
(cd "$tmp" && $env "$repo/examples/python/match_plot.py" "$tmp/board" "$tmp/match.png")
$env - "$tmp/match.png" <<'EOF' || fail "the plot is not the picture it should be"
import sys
import matplotlib.image
pixels = matplotlib.image.imread(sys.argv[1])
height, width = pixels.shape[:2]
colours = len({tuple(p) for p in pixels.reshape(-1, pixels.shape[2])[::7].tolist()})
print(f"{sys.argv[1]}: {width}x{height} pixels, {colours} colours in a sample of them")
# A waveform above a spectrogram: not one colour, nor a few of a blank frame with its labels.
sys.exit(not (width >= 640 and height >= 400 and pixels.std() > 0.1 and colours > 100))
EOF
kill "$daemon" && wait "$daemon" 2>/dev/null || true
daemon=""

step "pip show zelp7x"
$env -m pip show zelp7x >"$tmp/show"
for field in "Name: zelp7x" "Version: $version" "License: Apache-2.0" "Requires: numpy"; do
    grep -qx "$field" "$tmp/show" || fail "pip show lacks '$field'"
done
grep -q '^Summary: .\+' "$tmp/show" || fail "pip show gives no summary"
[ "$(cd "$tmp" && $env -c 'import zelp7x; print(zelp7x.__version__)')" = "$version" ] ||
    fail "zelp7x.__version__ is not $version"

step "pip wheel ./python, installed in a second environment"
$env -m pip wheel -q --no-build-isolation --no-deps -w "$tmp/wheels" ./python
wheel=("$tmp"/wheels/zelp7x-"$version"-*.whl)
[ -f "${wheel[0]}" ] || fail "pip wheel made no zelp7x-$version wheel"
$python -m venv --system-site-packages "$tmp/second"
"$tmp/second/bin/python" -m pip install -q "${wheel[0]}"
(cd "$tmp" && "$tmp/second/bin/python" -c '
import zelp7x
with zelp7x.Board("sim") as board:
    board.load(zelp7x.sample_package())
    assert board.info()["labels"] == ["go", "stop", "off"]
')

step "pip uninstall zelp7x"
$env -m pip uninstall -q -y zelp7x
left=$(find "$site" -maxdepth 1 -iname 'zelp7x*')
[ -z "$left" ] || fail "pip uninstall left $left"
if (cd "$tmp" && $env -c 'import zelp7x' 2>/dev/null); then fail "zelp7x still imports after pip uninstall"; fi

# A folder that pip copied away from the repository, as pip before 21.3 does, builds from the
# repository that ZELP7X_SOURCE_DIR names, and says so when it is not set.
step "python/ away from the repository"
mkdir "$tmp/copy"
cp python/setup.py python/pyproject.toml "$tmp/copy"
[ "$(cd "$tmp/copy" && ZELP7X_SOURCE_DIR=$repo $python setup.py --version 2>/dev/null | tail -1)" = "$version" ] ||
    fail "a copy of python/ does not build from ZELP7X_SOURCE_DIR"
said=$(cd "$tmp/copy" && $python setup.py --version 2>&1) && fail "a copy of python/ built without a repository"
grep -q ZELP7X_SOURCE_DIR <<<"$said" || fail "a copy of python/ does not say how to find the repository"

step "done"
