# Steps of the settings end-to-end run for the tag appearance editor, sourced by
# tools/e2e-settings after tools/lib/xsession.sh. They expect the caller's $fpid (flagrig),
# $window (the settings window), $title (its title), $home (the user's folders), $root, $bin, and
# its functions form_element, scroll_to and choose_settings. The editor is found through the
# accessibility tree: its controls are the children of its "Tag appearance" element.
#
#   settings_editor_steps   delete palette entries down to one, record control-option-K and
#                           press it (a pick starts), add a palette entry, set its colour
#                           through the colour panel's hex field, pick "Square" and "Big tags"
#                           (a tag on an xterm follows at once)

# se_defaults <python expression on d>: evaluates it on the stored preferences (the JSON file
# keeps each value under its type, {"bool": true}, {"int": 2}, …).
se_defaults() {
  /usr/bin/python3 - "$home/config/flagrig/defaults.json" "$1" <<'EOF'
import json, sys
raw = json.load(open(sys.argv[1]))
def plain(v):
    if isinstance(v, dict) and len(v) == 1:
        (kind, inner), = v.items()
        if kind in ("array",):
            return [plain(e) for e in inner]
        if kind in ("dict", "dictionary"):
            return {k: plain(e) for k, e in inner.items()}
        return plain(inner) if isinstance(inner, (dict, list)) else inner
    if isinstance(v, list):
        return [plain(e) for e in v]
    return v
d = {k: plain(v) for k, v in raw.items()}
sys.exit(0 if eval(sys.argv[2]) else 1)
EOF
}

# se_controls: the hosted editor's controls as the accessibility tree reads them, one a line:
# "name<TAB>description<TAB>on|off<TAB>enabled|disabled<TAB>x y w h" (a segmented control's
# segments follow it). Fails when the settings window shows no editor.
se_controls() {
  /usr/bin/python3 - "$fpid" "$title" <<'PY'
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

pid, title = int(sys.argv[1]), sys.argv[2]


def find(node, depth=0):
    if node is None or depth > 60:
        return None
    if depth > 0 and (node.get_name() or "") == "Tag appearance":
        return node
    for i in range(node.get_child_count()):
        found = find(node.get_child_at_index(i), depth + 1)
        if found:
            return found
    return None


def dump(node):
    for i in range(node.get_child_count()):
        c = node.get_child_at_index(i)
        if c is None:
            continue
        s = c.get_state_set()
        box = c.get_extents(Atspi.CoordType.SCREEN)
        print("\t".join([c.get_name() or "", c.get_description() or "",
                         "on" if s.contains(Atspi.StateType.CHECKED) else "off",
                         "enabled" if s.contains(Atspi.StateType.ENABLED) else "disabled",
                         f"{box.x} {box.y} {box.width} {box.height}"]))
        dump(c)


desktop = Atspi.get_desktop(0)
for i in range(desktop.get_child_count()):
    app = desktop.get_child_at_index(i)
    try:
        if app is None or app.get_process_id() != pid:
            continue
        for j in range(app.get_child_count()):
            w = app.get_child_at_index(j)
            if w is None or (w.get_name() or "") != title:
                continue
            editor = find(w)
            if editor:
                dump(editor)
                sys.exit(0)
    except GLib.Error:
        continue
sys.exit(1)
PY
}

# se_control <name> [field]: the first control of that name: its "x y w h" (field 5, the
# default), or another field of its line.
se_control() {
  local lines
  lines=$(se_controls 2>>"$xs_out/processes.log") || return 1
  awk -F'\t' -v name="$1" -v field="${2:-5}" \
    '$1 == name { print $field; found = 1; exit } END { exit !found }' <<<"$lines"
}

# se_press <name>: scrolls the control into view and clicks its middle.
se_press() {
  local x y w h
  scroll_to "$1"
  read -r x y w h < <(se_control "$1") || xs_fail "the editor has no \"$1\""
  xs_log "\"$1\" clicked at $((x + w / 2)),$((y + h / 2))"
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
}

settings_editor_steps() {
  # --- step: a tag on an xterm, made with the default hotkey, before the editor changes ---
  local xterm tag
  xterm=$(xs_xterm "e2e tagged" 1150 420)
  xdotool key ctrl+shift+grave
  wait_for 20 "the pick overlay" xs_overlay_shown "$fpid"
  read -r fx fy fw fh < <(xs_frame "$xterm")
  # The overlay may take a moment to take clicks: click again until the tag is there.
  tagged() {
    xs_tag_above "$fpid" "$xterm" >/dev/null && return 0
    xs_overlay_shown "$fpid" && xdotool mousemove $((fx + fw / 2)) $((fy + fh / 2)) click 1
    sleep 0.5
    xs_tag_above "$fpid" "$xterm" >/dev/null
  }
  wait_for 20 "a tag above the xterm" tagged
  tag=$(xs_tag_above "$fpid" "$xterm")
  eval "$(xdotool getwindowgeometry --shell "$tag")"
  local tag_height=$HEIGHT
  xdotool key Return

  # --- step: the editor in the Tags section, its controls read from the accessibility tree ---
  choose_settings
  wait_for 20 "the settings window" one_settings_window
  wait_for 20 "the editor's first palette row" se_control "Background color 1"
  scroll_to "Background color 1"
  se_controls >"$xs_out/editor-controls.txt"
  xs_shot editor

  # --- step: entries deleted down to the last one, whose delete button is then disabled ---
  local n
  for n in 7 6 5 4 3 2 1; do
    se_press "Remove"
    left() { se_defaults "len(d.get('flagrig.palette', [])) == $n"; }
    wait_for 20 "$n stored palette entries" left
  done
  one_row() {
    ! se_control "Background color 2" >/dev/null && [[ "$(se_control Remove 4)" == disabled ]]
  }
  wait_for 20 "one palette row, its delete button disabled" one_row
  # A click on it does nothing: checked once the next change (the hotkey) is stored.
  se_press "Remove"
  xs_shot editor-one-entry

  # --- step: control-option-K recorded and registered; pressing it starts a pick ---
  se_press "Shortcut"
  recording() { [[ "$(se_control Shortcut 2)" == "Press shortcut..." ]]; }
  wait_for 20 "the recorder to wait for a shortcut" recording
  xdotool key ctrl+alt+k
  recorded() {
    se_defaults 'd.get("flagrig.hotkeyCode") == 40 and d.get("flagrig.hotkeyMods") == 0xC0000'
  }
  wait_for 20 "control-option-K stored" recorded
  se_defaults 'len(d["flagrig.palette"]) == 1' || xs_fail "the last palette entry was deleted"
  shown_hotkey() { [[ "$(se_control Shortcut 2)" == "⌃⌥K" ]]; }
  wait_for 20 "the shortcut button to show ⌃⌥K" shown_hotkey
  xs_shot editor-hotkey-recorded
  xdotool key ctrl+alt+k
  wait_for 20 "a pick from the new hotkey" xs_overlay_shown "$fpid"
  xs_shot editor-hotkey-pick
  xdotool key Escape
  no_overlay() { ! xs_overlay_shown "$fpid"; }
  wait_for 20 "the pick to end" no_overlay

  # --- step: "+ Add Color" adds a second entry, stored at once ---
  se_press "+ Add Color"
  two() { se_defaults 'len(d.get("flagrig.palette", [])) == 2'; }
  wait_for 20 "a second stored palette entry" two
  wait_for 20 "the second palette row" se_control "Background color 2"
  xs_shot editor-added

  # --- step: its background well opens the colour panel; the hex field sets the colour ---
  se_press "Background color 2"
  colours() { xdotool search --onlyvisible --name '^Colors$' 2>/dev/null | head -1; }
  wait_for 20 "the colour panel" colours
  local panel px py pw ph
  panel=$(colours)
  read -r px py pw ph < <(xs_frame "$panel")
  # The hex field: 38 from the left, 3 from the bottom, 82 by 22.
  xdotool mousemove $((px + 38 + 41)) $((py + ph - 3 - 11 - 4)) click 1
  xdotool key ctrl+a
  xdotool type --delay 40 "#E0301E"
  xdotool key Return
  red() {
    se_defaults 'abs(d["flagrig.palette"][1][0] - 224/255) < 0.01 and abs(d["flagrig.palette"][1][1] - 48/255) < 0.01 and abs(d["flagrig.palette"][1][2] - 30/255) < 0.01'
  }
  wait_for 20 "the second entry in #E0301E" red
  # The floating panel goes aside, off the editor.
  xdotool windowmove "$panel" 20 420
  moved_aside() {
    local x
    read -r x _ < <(xs_frame "$panel")
    ((x < 200))
  }
  wait_for 20 "the colour panel to move aside" moved_aside
  local ax aw by bh r g b
  read -r ax _ aw _ < <(se_control "+ Add Color")
  read -r _ by _ bh < <(se_control "Background color 2")
  # The row's preview ends where "+ Add Color" does, level with the middle of the row's wells;
  # its label stays at its left end.
  preview_red() {
    xs_shot editor-hex-colour
    read -r r g b < <(xs_pixel "$xs_last" $((ax + aw - 20)) $((by + bh / 2 - 6)))
    ((r > 190 && g < 90 && b < 80))
  }
  wait_for 20 "the second preview in #E0301E" preview_red
  xs_log "second preview: $r $g $b"
  # Done with the colour: the panel is closed as a user closes it.
  xdotool windowactivate --sync "$panel" key alt+F4
  no_colours() { [[ -z "$(colours)" ]]; }
  wait_for 20 "the colour panel to close" no_colours

  # --- step: "Square" and "Big tags": the tag on the xterm follows at once ---
  se_press "Square"
  square() { se_defaults 'd.get("flagrig.shape") == 2'; }
  wait_for 20 "the square shape stored" square
  se_press "Big tags"
  big() { se_defaults 'd.get("flagrig.bigTags") is True'; }
  wait_for 20 "big tags stored" big
  tag_big() {
    local t
    t=$(xs_tag_above "$fpid" "$xterm") || return 1
    eval "$(xdotool getwindowgeometry --shell "$t")"
    ((HEIGHT > tag_height + 10))
  }
  wait_for 20 "the xterm's tag to grow" tag_big
  xs_shot editor-square-big
}

# se_install_id: the install id in the Secret Service, empty when there is none.
se_install_id() {
  /usr/bin/python3 - <<'PY'
import gi
gi.require_version("Secret", "1")
from gi.repository import Secret
service = Secret.Service.get_sync(Secret.ServiceFlags.LOAD_COLLECTIONS, None)
for collection in service.get_collections():
    collection.load_items_sync(None)
    for item in collection.get_items():
        attributes = item.get_attributes()
        if attributes.get("service") == "com.voskary.account.flagrig" and \
                attributes.get("account") == "voskary_install_id":
            item.load_secret_sync(None)
            print(bytes(item.get_secret().get()).decode("utf-8", "replace"))
            raise SystemExit(0)
PY
}

# se_successor <old pid>: the pid of another flagrig ($bin) of this user's folders.
se_successor() {
  local pid
  # Started as /proc/self/exe, the successor's process name is "exe": match the binary.
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    ((pid != $1)) || continue
    [[ "$(readlink "/proc/$pid/exe" 2>/dev/null)" == "$(readlink -f "$bin")" ]] || continue
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "XDG_CONFIG_HOME=$home/config" || continue
    echo "$pid"
    return 0
  done
  return 1
}

#   settings_reset_steps    "Reset & clear local data" confirmed: a new flagrig starts (a new
#                           pid with its tray icon), the first-run flags are gone and the
#                           install id is the same. Sets $fpid to the new process.
settings_reset_steps() {
  # --- step: "Reset & clear local data" confirmed relaunches flagrig, reset ---
  local before old=$fpid ex ey ew eh
  wait_for 20 "the install id in the keyring" se_install_id_present
  before=$(se_install_id)
  xs_log "install id before the reset: $before"
  choose_settings
  wait_for 20 "the settings window" one_settings_window
  scroll_to "Reset & clear local data"
  read -r ex ey ew eh < <(form_element "Reset & clear local data")
  xdotool mousemove $((ex + ew / 2)) $((ey + eh / 2)) click 1
  # The confirmation is a window of its own, titled with its question.
  local question="Reset & clear local data?"
  confirm() { "$root/tools/lib/form-element" "$fpid" "Reset & clear local data" "$question" >/dev/null; }
  wait_for 20 "the reset confirmation" confirm
  xs_shot reset-confirm
  read -r ex ey ew eh < <("$root/tools/lib/form-element" "$fpid" "Reset & clear local data" "$question")
  xdotool mousemove $((ex + ew / 2)) $((ey + eh / 2)) click 1
  gone() { ! kill -0 "$old" 2>/dev/null; }
  wait_for 30 "the old flagrig to quit" gone
  wait "$old" 2>/dev/null || true
  wait_for 30 "a new flagrig" se_successor "$old"
  fpid=$(se_successor "$old")
  xs_pids+=("$fpid")
  xs_log "flagrig relaunched (pid $old -> $fpid)"
  wait_for 30 "the new flagrig's status item" xs_status_item_shown "$fpid"
  xs_shot reset-relaunched
  flags_gone() {
    se_defaults '"dev.voskary.flagrig.tagDemoComplete.v1" not in d and "dev.voskary.flagrig.onboardingComplete.v2" not in d'
  }
  flags_gone || xs_fail "the first-run flags survived the reset"
  # The demo comes back since its flag is gone: a window of the new process besides the tray.
  demo_shown() {
    local id x y w h
    while read -r id x y w h; do
      [[ -n "$id" ]] && ((w > 200 && h > 200 && w < 1600)) && return 0
    done < <(xs_windows_of "$fpid")
    return 1
  }
  wait_for 30 "the tag demo of the new flagrig" demo_shown
  xs_shot reset-tag-demo
  [[ "$(se_install_id)" == "$before" ]] || xs_fail "the install id changed in the reset"
  xs_log "install id after the reset: $(se_install_id)"
}
se_install_id_present() { [[ -n "$(se_install_id)" ]]; }
