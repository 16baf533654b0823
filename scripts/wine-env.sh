# Shared by scripts/test and scripts/demo: the build folders, the private Wine
# prefix and a headless X server when there is no display.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${VNSCOPE_BUILD:-$ROOT/build}
export WINEPREFIX=$BUILD/wineprefix
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

VNSCOPE_XVFB_PID=
VNSCOPE_CLEANUPS=()

vnscope_cleanup() {
  local action
  for action in "${VNSCOPE_CLEANUPS[@]}"; do eval "$action" || true; done
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$VNSCOPE_XVFB_PID" ]; then kill "$VNSCOPE_XVFB_PID" 2>/dev/null || true; fi
}
trap vnscope_cleanup EXIT

# Starts Xvfb on a free display number and exports DISPLAY.
start_xvfb() {
  local n=90
  while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
  VNSCOPE_XVFB_PID=$!
  for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X${n}" ] && break
    sleep 0.05
  done
  export DISPLAY=":$n"
}

# A persistent wineserver plus a warm-up, so that every Wine process after it
# starts in a few hundredths of a second. The warm-up programs (given as
# arguments) open the display once: Wine's desktop process starts then, with
# its output going nowhere, instead of inheriting the pipes of a test runner,
# which would then wait on them after every test.
start_wine() {
  wineserver -p
  wine cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
  local program
  for program in "$@"; do
    wine "$program" --gtest_list_tests </dev/null >/dev/null 2>&1 || true
  done
}
