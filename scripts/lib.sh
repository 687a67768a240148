# Functions the scripts share. Sourced, never run. Every process a script stops is one it
# started, by the pid it kept; nothing is found or stopped by name.

# build_preset PRESET [TARGET ...]: configures PRESET and builds TARGETs (everything without
# any), with its output in build/PRESET.build.log (build/NAME.build.log with TSL_BUILD_LOG=NAME).
# On failure prints the log's errors and its path, and returns 1. Run from the repository.
build_preset() {
  local preset=$1
  shift
  local log="build/${TSL_BUILD_LOG:-$preset}.build.log"
  local targets=()
  [ $# -eq 0 ] || targets=(--target "$@")
  mkdir -p build
  if ! { cmake --preset "$preset" &&
    cmake --build --preset "$preset" -j "${TSL_JOBS:-$(nproc)}" "${targets[@]}"; } >"$log" 2>&1; then
    grep -E 'error|Error' "$log" | head -n 40
    echo "(full log: $log)"
    return 1
  fi
}

# remote COMMAND ...: tessaline_remote.exe under Wine, given 15 s at most ($repo and $bin name
# the repository and the Windows programs' folder).
remote() { timeout 15 "$repo/scripts/wine-exec" "$bin/tessaline_remote.exe" "$@"; }

# stop_pid PID: ends a process this script started (if it still runs) and reaps it.
stop_pid() {
  [ -n "${1:-}" ] || return 0
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# wait_for_line FILE TEXT SECONDS: true once FILE holds a line containing TEXT, false when the
# time is up first.
wait_for_line() {
  local file=$1 text=$2 deadline=$(($(date +%s) + $3))
  while [ "$(date +%s)" -le "$deadline" ]; do
    grep -qF -- "$text" "$file" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# task_cpu_ticks PID NAME: utime + stime, in clock ticks, of the threads of process PID whose
# name is NAME (Wine passes a thread's description on as its Linux name), summed.
task_cpu_ticks() {
  local total=0 task
  for task in /proc/"$1"/task/*; do
    if [ "$(cat "$task/comm" 2>/dev/null)" = "$2" ]; then
      total=$((total + $(awk '{ print $14 + $15 }' "$task/stat" 2>/dev/null || echo 0)))
    fi
  done
  echo "$total"
}
