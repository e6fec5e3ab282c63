#!/usr/bin/env bash
# Whole-process figures of the real flagrig on a private X desktop (Xvfb, openbox, a tray),
# each beside the same figure of a bare Qt 6 tray program in the same run (bench/floor: a status
# icon with a three-item menu and a 30 Hz timer that does nothing): start to status item (the
# median of several starts of each, in turns), idle CPU without tags and with 10 still tags, each
# beside the floor's over the same window (and the X server's), and resident memory with 10 tags.
# Prints one line per figure with its ratio to the floor.
#
#   bench/flagrig_desktop_bench.sh [folder]   FLAGRIG_BIN=<path> and FLOOR_BIN=<path> pick other
#                                             binaries; IDLE_SECONDS=<n> the idle windows (60);
#                                             STARTS=<n> the starts of each whose median counts (7)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [[ "${1:-}" != --inside ]]; then
  out=${1:-$(mktemp -d "${TMPDIR:-/tmp}/flagrig-bench.XXXXXX")}
  mkdir -p "$out"
  exec dbus-run-session -- "$0" --inside "$(cd "$out" && pwd)" 2>/dev/null
fi
xs_out=$2
# shellcheck source=tools/lib/xsession.sh
source "$root/tools/lib/xsession.sh"
trap xs_end EXIT
: >"$xs_out/log.txt"
bin=${FLAGRIG_BIN:-$root/build/default/Sources/Flagrig/flagrig}
floor_bin=${FLOOR_BIN:-$root/build/default/bench/TrayFloor}
# Long windows even out what else the machine does meanwhile.
window=${IDLE_SECONDS:-60}
# One start varies by tens of milliseconds with what else the machine does; the median of
# several, taken in turns, keeps the ratio steady.
starts=${STARTS:-7}
for b in "$bin" "$floor_bin"; do
  [[ -x "$b" ]] || xs_fail "no binary at $b (build the flagrig and TrayFloor targets first)"
done
home="$xs_out/home"
mkdir -p "$home/config/flagrig" "$home/runtime"
chmod 700 "$home/runtime"
echo '{"dev.voskary.flagrig.tagDemoComplete.v1":{"bool":true}}' >"$home/config/flagrig/defaults.json"

xs_start_server
xs_start_desktop
xvfb_pid=${xs_pids[0]}
xterms=()
for i in $(seq 0 9); do
  xterms+=("$(xs_xterm "bench $i" $((30 + 310 * (i % 5))) $((120 + 380 * (i / 5))) 40x10)")
done

# Nanoseconds on a CPU, summed over the threads alive (the scheduler's own count: clock ticks of
# 10 ms resolve too little of an idle program).
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%.0f", s}'; }

# start <program...>: starts it, waits for its status item; sets $pid and $start_ms.
start() {
  local t0
  t0=$(date +%s%N)
  HOME=$home XDG_RUNTIME_DIR=$home/runtime XDG_CONFIG_HOME=$home/config XDG_STATE_HOME=$home/state \
    "$@" >>"$xs_out/programs.log" 2>&1 &
  pid=$!
  xs_pids+=("$pid")
  until xs_status_item_shown "$pid"; do sleep 0.005; done
  start_ms=$((($(date +%s%N) - t0) / 1000000))
}
# idle: sets $cpu, $floor_cpu and $x_cpu, the percentages of a core used by flagrig, by the floor
# and by the X server over one window: the same window for both programs, so that what else the
# machine does meanwhile weighs on both alike.
idle() {
  local f0 g0 x0 f1 g1 x1
  f0=$(cpu_ns "$fpid")
  g0=$(cpu_ns "$floor_pid")
  x0=$(cpu_ns "$xvfb_pid")
  sleep "$window"
  f1=$(cpu_ns "$fpid")
  g1=$(cpu_ns "$floor_pid")
  x1=$(cpu_ns "$xvfb_pid")
  percent() { awk -v t=$(($2 - $1)) -v s="$window" 'BEGIN {printf "%.3f", 100 * t / 1e9 / s}'; }
  cpu=$(percent "$f0" "$f1")
  floor_cpu=$(percent "$g0" "$g1")
  x_cpu=$(percent "$x0" "$x1")
}
rss_mb() { awk '/VmRSS/ {printf "%.1f", $2 / 1024}' "/proc/$1/status"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.2f", a / b; else print "n/a"}'; }
points() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%+.3f", a - b}'; }

median() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
# stop <pid>: ends it and waits until its status item has left the tray.
stop() {
  kill "$1"
  wait "$1" 2>/dev/null || true
  wait_for 20 "the status item of $1 to leave the tray" sh -c "! xdotool search --pid $1"
}
# Starts in turns, each program alone on the desktop; the last floor stays, beside flagrig, for
# the idle and memory figures.
floor_starts=()
flagrig_starts=()
for ((i = 1; i <= starts; i++)); do
  start "$bin"
  flagrig_starts+=("$start_ms")
  stop "$pid"
  start "$floor_bin"
  floor_starts+=("$start_ms")
  ((i == starts)) || stop "$pid"
done
floor_pid=$pid
floor_start=$(median "${floor_starts[@]}")
flagrig_start=$(median "${flagrig_starts[@]}")

start "$bin"
fpid=$pid
echo "start to status item, median of $starts: flagrig $flagrig_start ms (${flagrig_starts[*]}), floor $floor_start ms (${floor_starts[*]}), ratio $(ratio "$flagrig_start" "$floor_start") (target 2)"
sleep 1
idle
echo "idle CPU over $window s, no tags: flagrig $cpu% of a core, floor $floor_cpu% in the same window, $(points "$cpu" "$floor_cpu") points; X server $x_cpu%"

# Ten tags, one per xterm, through the hotkey.
# A press that the server delivered before the grab (a loaded machine) is pressed again.
picking() { xs_overlay_shown "$fpid" || { xdotool key ctrl+shift+grave && xs_overlay_shown "$fpid"; }; }
for w in "${xterms[@]}"; do
  wait_for 20 "the pick overlay" picking
  read -r fx fy fw fh < <(xs_frame "$w")
  xdotool mousemove $((fx + fw / 2)) $((fy + fh / 2)) click 1
  wait_for 20 "a tag" xs_tag_above "$fpid" "$w"
  xdotool key Return
done
xdotool mousemove 1590 890
sleep 1
idle
echo "idle CPU over $window s, 10 still tags: flagrig $cpu% of a core, floor $floor_cpu% in the same window, $(points "$cpu" "$floor_cpu") points (target +0.1); X server $x_cpu%"
echo "resident memory, 10 tags: flagrig $(rss_mb "$fpid") MB, floor $(rss_mb "$floor_pid") MB, ratio $(ratio "$(rss_mb "$fpid")" "$(rss_mb "$floor_pid")") (target 1.5)"
