#!/usr/bin/env bash
# Whole-process figures of the real flagrig on a private X desktop (Xvfb, openbox, a tray):
# start to status item, idle CPU over 10 s without tags and with 10 still tags (flagrig's own
# and the X server's in the same time), and resident memory. Prints one line per figure.
#
#   bench/flagrig_desktop_bench.sh [folder]     FLAGRIG_BIN=<path> picks another binary
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

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)

start_ns=$(date +%s%N)
HOME=$home XDG_RUNTIME_DIR=$home/runtime XDG_CONFIG_HOME=$home/config XDG_STATE_HOME=$home/state "$bin" >>"$xs_out/flagrig.log" 2>&1 &
fpid=$!
xs_pids+=("$fpid")
status_item_shown() {
  local id x y w h
  while read -r id x y w h; do
    [[ -n "$id" ]] && ((w <= 48 && h <= 48)) && return 0
  done < <(xs_windows_of "$fpid")
  return 1
}
until status_item_shown; do sleep 0.005; done
echo "start to status item: $((($(date +%s%N) - start_ns) / 1000000)) ms"

idle() {
  local what=$1 f0 x0 f1 x1
  f0=$(cpu_ticks "$fpid")
  x0=$(cpu_ticks "$xvfb_pid")
  sleep 10
  f1=$(cpu_ticks "$fpid")
  x1=$(cpu_ticks "$xvfb_pid")
  awk -v f=$((f1 - f0)) -v x=$((x1 - x0)) -v hz="$hz" -v what="$what" \
    'BEGIN {printf "idle CPU over 10 s, %s: flagrig %.2f%% of a core, X server %.2f%%\n", what, 100 * f / hz / 10, 100 * x / hz / 10}'
}
sleep 1
idle "no tags"

# Ten tags, one per xterm, through the hotkey (the first menu opening starts the tag manager).
xs_tray_click
wait_for 20 "the status menu" xs_menu_open "$fpid"
xdotool key Escape
for w in "${xterms[@]}"; do
  xdotool key ctrl+shift+grave
  wait_for 20 "the pick overlay" xs_overlay_shown "$fpid"
  read -r fx fy fw fh < <(xs_frame "$w")
  xdotool mousemove $((fx + fw / 2)) $((fy + fh / 2)) click 1
  wait_for 20 "a tag" xs_tag_above "$fpid" "$w"
  xdotool key Return
done
xdotool mousemove 1590 890
sleep 1
idle "10 still tags"
echo "resident memory: $(awk '/VmRSS/ {printf "%.1f MB", $2 / 1024}' "/proc/$fpid/status")"
