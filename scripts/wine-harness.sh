# Sourced by scripts/test and scripts/run: a private Xvfb display and a private Wine prefix with
# one wineserver kept alive for the whole run. `wine_harness_start DIR` sets it up under DIR and
# leaves the server's pid in TSL_WINESERVER_PID; `wine_harness_stop` ends everything it started
# (also called from an EXIT trap).

wine_harness_start() {
  local root=$1
  mkdir -p "$root"
  export WINEPREFIX="$root/wine-prefix"
  export WINEDEBUG=-all
  # No debugger dialog on a crash (it would hang the test until its timeout), no Mono or Gecko
  # installers.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
  export WINEARCH=win64

  if [ -z "${TSL_USE_DISPLAY:-}" ]; then
    local n=90
    while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
    # ${TSL_XVFB_ARGS} adds options (the screenshot script asks for a white root window, so that a
    # black band of ours is told apart from the empty screen).
    Xvfb ":${n}" -nolisten tcp -screen 0 1920x1080x24 ${TSL_XVFB_ARGS:-} >"$root/xvfb.log" 2>&1 &
    TSL_XVFB_PID=$!
    export DISPLAY=":${n}"
    local i
    for i in $(seq 1 100); do
      [ -e "/tmp/.X11-unix/X${n}" ] && break
      sleep 0.1
    done
    if ! xdpyinfo >/dev/null 2>&1; then
      echo "wine-harness: Xvfb did not start (see $root/xvfb.log)" >&2
      return 1
    fi
  fi

  # Direct3D needs the display before anything Wine starts. The prefix is made once; wineserver
  # is started only after wineboot, or the first program can hang.
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-harness: creating the Wine prefix (once, about 15 s)"
    wineboot -i >"$root/wineboot.log" 2>&1 || true
    wineserver -w
  fi
  # In the foreground (-f) so that its pid is ours to know: scripts watch it and stop only it.
  # It is ready once its socket exists in the server folder it works in.
  wineserver -f -p >"$root/wineserver.log" 2>&1 &
  TSL_WINESERVER_PID=$!
  export TSL_WINESERVER_PID
  local i
  for i in $(seq 1 100); do
    [ -S "/proc/$TSL_WINESERVER_PID/cwd/socket" ] && break
    sleep 0.05
  done
  # Start the prefix's background services now, detached from any pipe: a service started by
  # the first test would inherit ctest's output pipe and keep it open.
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

wine_harness_stop() {
  if [ -n "${WINEPREFIX:-}" ] && command -v wineserver >/dev/null 2>&1; then
    wineserver -k >/dev/null 2>&1 || true
  fi
  if [ -n "${TSL_WINESERVER_PID:-}" ]; then
    kill "$TSL_WINESERVER_PID" >/dev/null 2>&1 || true
    wait "$TSL_WINESERVER_PID" 2>/dev/null || true
    TSL_WINESERVER_PID=
  fi
  if [ -n "${TSL_XVFB_PID:-}" ]; then
    kill "$TSL_XVFB_PID" >/dev/null 2>&1 || true
    wait "$TSL_XVFB_PID" 2>/dev/null || true
    TSL_XVFB_PID=
  fi
}
