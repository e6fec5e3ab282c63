# Helpers for scripts that run Flagrig on a private X desktop (sourced by tools/e2e and
# tools/demo). Every process started here is recorded and ended by `xs_end`; every wait is for a
# condition, with a bound, never a fixed pause.

xs_pids=()
xs_log() { printf '%s %s\n' "$(date -u +%H:%M:%S)" "$*" | tee -a "$xs_out/log.txt" >&2; }
xs_fail() {
  xs_log "FAILED: $*"
  [[ -n "${DISPLAY:-}" ]] && xs_shot failure 2>/dev/null
  exit 1
}

# wait_for <seconds> <description> <command...>: polls the command until it succeeds.
wait_for() {
  local bound=$1 what=$2
  shift 2
  local deadline=$((SECONDS + bound))
  until "$@" >/dev/null 2>&1; do
    ((SECONDS < deadline)) || xs_fail "timed out after ${bound}s waiting for: $what"
    sleep 0.1
  done
}

xs_spawn() {
  "$@" >>"$xs_out/processes.log" 2>&1 &
  xs_pids+=($!)
  echo $!
}

xs_end() {
  local pid
  for ((i = ${#xs_pids[@]} - 1; i >= 0; i--)); do
    pid=${xs_pids[i]}
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${xs_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}

# Starts Xvfb on a free display and sets DISPLAY. A folder given again keeps only this run's
# screenshots: older ones would mix with them under the same numbers.
xs_start_server() {
  local fifo="$xs_out/.display"
  rm -f "$xs_out"/[0-9][0-9]-*.png
  rm -f "$fifo"
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1600x900x24 3>"$fifo" \
    >>"$xs_out/processes.log" 2>&1 &
  xs_pids+=($!)
  wait_for 20 "Xvfb to name its display" test -s "$fifo"
  export DISPLAY=":$(tr -d '\n ' <"$fifo")"
  rm -f "$fifo"
  wait_for 20 "the X server to accept clients" xdpyinfo
}

xs_start_desktop() {
  xs_spawn openbox --sm-disable >/dev/null
  wait_for 20 "openbox to manage the screen" sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
  # An XEmbed tray for the status item.
  if command -v trayer >/dev/null; then
    xs_spawn trayer --edge top --align right --widthtype request --height 24 --transparent false \
      --tint 0x303030 --SetDockType true >/dev/null
    wait_for 20 "the tray to appear" sh -c 'xdotool search --onlyvisible --class trayer'
  fi
}

# xs_xterm <title> <x> <y> [columns x rows]: the window id of a new xterm once it is visible.
xs_xterm() {
  xs_spawn xterm -title "$1" -geometry "${4:-70x18}+$2+$3" >/dev/null
  wait_for 20 "xterm '$1'" xdotool search --onlyvisible --name "^$1\$"
  xdotool search --onlyvisible --name "^$1\$" | head -1
}

# Screenshots are numbered in the order they are taken; the last one's path is in $xs_last.
xs_shots=0
xs_last=
xs_shot() {
  xs_shots=$((xs_shots + 1))
  xs_last=$(printf '%s/%02d-%s.png' "$xs_out" "$xs_shots" "$1")
  xwd -root -silent | /usr/bin/convert xwd:- "png:$xs_last"
  xs_log "screenshot $(basename "$xs_last")"
}

# xs_pixel <png> <x> <y>: "r g b".
xs_pixel() {
  /usr/bin/convert "$1" -format "%[fx:int(255*p{$2,$3}.r+0.5)] %[fx:int(255*p{$2,$3}.g+0.5)] %[fx:int(255*p{$2,$3}.b+0.5)]\n" info:
}

# xs_frame <window>: "x y width height" of its window-manager frame.
xs_frame() {
  local info x y w h left right top bottom
  info=$(xwininfo -id "$1")
  x=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
  y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
  w=$(awk '/Width:/ {print $2}' <<<"$info")
  h=$(awk '/Height:/ {print $2}' <<<"$info")
  read -r left right top bottom < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= //p' | tr -d ',')
  echo "$((x - ${left:-0})) $((y - ${top:-0})) $((w + ${left:-0} + ${right:-0})) $((h + ${top:-0} + ${bottom:-0}))"
}

# xs_windows_of <pid>: "id x y w h" for each visible window of the process.
xs_windows_of() {
  local id
  for id in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    echo "$id $X $Y $WIDTH $HEIGHT"
  done
}

# xs_tag_above <pid> <window>: the id of our small window sitting 2 px above the window's
# frame, centred on it; fails when there is none.
xs_tag_above() {
  local fx fy fw fh id x y w h
  read -r fx fy fw fh < <(xs_frame "$2")
  while read -r id x y w h; do
    [[ -z "$id" ]] && continue
    ((h < 60 && w < fw + 2)) || continue
    local bottom=$((y + h)) centre=$((x + w / 2)) want=$((fx + fw / 2))
    if ((bottom >= fy - 4 && bottom <= fy && centre >= want - 2 && centre <= want + 2)); then
      echo "$id"
      return 0
    fi
  done < <(xs_windows_of "$1")
  return 1
}

xs_no_tag_above() { ! xs_tag_above "$@"; }

# xs_status_item_shown <pid>: whether the process shows its status item (a window no larger
# than the tray's icons).
xs_status_item_shown() {
  local id x y w h
  while read -r id x y w h; do
    [[ -n "$id" ]] && ((w <= 48 && h <= 48)) && return 0
  done < <(xs_windows_of "$1")
  return 1
}

# xs_tray_click: clicks the status item in the tray.
xs_tray_click() {
  local tray
  tray=$(xdotool search --onlyvisible --class trayer | head -1)
  [[ -n "$tray" ]] || return 1
  eval "$(xdotool getwindowgeometry --shell "$tray")"
  xdotool mousemove $((X + WIDTH - 12)) $((Y + HEIGHT / 2)) click 1
}

# A menu of ours is open: a visible window of the process that is not a tag, an overlay or a
# titled window, taller than a tag.
xs_menu_open() {
  local id x y w h
  while read -r id x y w h; do
    [[ -z "$id" ]] && continue
    ((h > 60 && w < 800)) && return 0
  done < <(xs_windows_of "$1")
  return 1
}

xs_overlay_shown() {
  local id x y w h
  while read -r id x y w h; do
    [[ -z "$id" ]] && continue
    ((w >= 1600 && h >= 900)) && return 0
  done < <(xs_windows_of "$1")
  return 1
}

# Starts the accessibility bus, so that the processes started after it expose their trees.
xs_start_accessibility() {
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
    >>"$xs_out/processes.log" 2>&1 || xs_fail "no accessibility bus (at-spi2-core)"
}

# xs_menu_click <pid> <text>: clicks the item of the process's open menu that reads <text>, found
# in the accessibility tree by its text (so that another item above it changes nothing).
xs_menu_click() {
  local at x y deadline=$((SECONDS + 20))
  until at=$("$(dirname "${BASH_SOURCE[0]}")/menu-item" "$1" "$2" 2>/dev/null); do
    ((SECONDS < deadline)) || xs_fail "timed out after 20s waiting for the menu item \"$2\""
  done
  read -r x y <<<"$at"
  xdotool mousemove "$x" "$y" click 1
}

# xs_widget_click <pid> <name>: clicks the element of the process's windows whose accessible
# name is <name> (a form's button or link), found in the accessibility tree.
xs_widget_click() {
  local at x y deadline=$((SECONDS + 20))
  until at=$("$(dirname "${BASH_SOURCE[0]}")/widget-at" "$1" "$2" 2>/dev/null); do
    ((SECONDS < deadline)) || xs_fail "timed out after 20s waiting for the element \"$2\""
    sleep 0.2
  done
  read -r x y <<<"$at"
  xdotool mousemove "$x" "$y" click 1
}

# xs_widget_shown <pid> <name>: whether such an element is on screen.
xs_widget_shown() { "$(dirname "${BASH_SOURCE[0]}")/widget-at" "$1" "$2" >/dev/null 2>&1; }
