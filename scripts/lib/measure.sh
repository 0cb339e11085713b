# Shared by scripts/perf-report and scripts/soak-realtime (sourced): the simulated unit on a
# pseudo-terminal, and CPU time and memory of a running process read from /proc.

clock_ticks=$(getconf CLK_TCK)

# require_programs PROGRAM...: every one built, or a hint and exit.
require_programs() {
  local program
  for program in "$@"; do
    if [[ ! -x "$program" ]]; then
      echo "$(basename "$0"): $program is missing; run 'make build' first" >&2
      exit 1
    fi
  done
}

# start_unit SIM DIR [OPTION...]: serves the simulated unit behind the symlink DIR/unit; sets unit_pid.
start_unit() {
  local sim=$1 dir=$2
  shift 2
  "$sim" --link "$dir/unit" "$@" >"$dir/sim.out" 2>&1 &
  unit_pid=$!
  local _
  for _ in $(seq 100); do
    [[ -e "$dir/unit" ]] && return 0
    sleep 0.05
  done
  echo "$(basename "$0"): the simulated unit did not start:" >&2
  cat "$dir/sim.out" >&2
  return 1
}

# stop_process PID: SIGTERM and wait; quiet when it has already gone.
stop_process() {
  [[ -n "${1:-}" ]] || return 0
  kill -TERM "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# cpu_ticks PID: user + system time so far, in clock ticks. The fields after the command name's ")"
# start with the state (field 3), so utime and stime (fields 14 and 15) are the 12th and 13th.
cpu_ticks() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  awk '{ print $12 + $13 }' <<<"$stat"
}

# running PID: the process exists and has not ended (a process that ended is a zombie until its
# parent waits for it, and /proc still shows it).
running() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  [[ ${stat:0:1} != Z ]]
}

# status_kb PID FIELD: a /proc/PID/status figure in kB (VmRSS, VmHWM).
status_kb() { awk -v field="$2:" '$1 == field { print $2 }' "/proc/$1/status"; }

now_seconds() { date +%s.%N; }

# free_port: a loopback TCP port nothing listens on.
free_port() {
  local port
  for port in $(seq 18830 18999); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return 0; }
  done
  return 1
}

# cpu_percent TICKS0 TICKS1 SECONDS0 SECONDS1: share of one core between two readings.
cpu_percent() { awk -v a="$1" -v b="$2" -v s="$3" -v t="$4" -v hz="$clock_ticks" 'BEGIN { printf "%.2f", (b - a) / hz / (t - s) * 100 }'; }

# measure_cpu PID SECONDS: the process's share of one core over the next SECONDS.
measure_cpu() {
  local t0 c0 t1 c1
  t0=$(now_seconds); c0=$(cpu_ticks "$1") || return 1
  sleep "$2"
  t1=$(now_seconds); c1=$(cpu_ticks "$1") || return 1
  cpu_percent "$c0" "$c1" "$t0" "$t1"
}

# machine_load: the 1-minute load average and the compilers running, for the record.
machine_load() { echo "load $(cut -d' ' -f1-3 /proc/loadavg), $(pgrep -c cc1plus || true) compilers running"; }
