# The real GNOME Shell 43, headless on Wayland, for the end-to-end suite
# (gnome.sh) and the screen benchmark (bench/gnome-screen.sh): its start in
# the session the caller made (source lib.sh and run ql_env_init first, then
# run inside a dbus-run-session of its own), JavaScript inside it, its own
# screenshots, and the program's icon in its top bar clicked with a pointer
# made inside the compositor. Source it; it sets no shell options.
#
#   gnome_shell_start   a stand-in system bus, then the shell; SHELL_PID
#   gnome_shell_stop    the shell and that bus, by process id

QL_SCREEN_W=1280
QL_SCREEN_H=720
QL_DESKTOP=shell
export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland QT_QPA_PLATFORM=wayland
export WAYLAND_DISPLAY=quillmere-e2e
unset DISPLAY
BG=org.gnome.desktop.background
SYSBUS_PID= SHELL_PID=

# --- the shell ------------------------------------------------------------------

# Runs JavaScript inside the shell (unsafe mode, turned on by the helper
# extension below); prints its value, JSON as the shell gives it, with the
# quotes of a string taken off. Fails when the shell refuses or throws.
shell_eval() {
  local out
  out="$(gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.gnome.Shell.Eval "$1" 2>/dev/null)" || return 1
  [[ "$out" == "(true, "* ]] || return 1
  out="${out#(true, \'}"
  out="${out%\')}"
  out="${out#\"}"
  printf '%s\n' "${out%\"}"
}
shell_true() { [[ "$(shell_eval "$1")" == true ]]; }

# The shell's own screenshot (no pointer), with no notification over it.
ql_shell_shot() {
  shell_eval 'Main.messageTray.getSources().forEach(s => s.destroy())' >/dev/null
  rm -f "$1"
  gdbus call --session --dest org.gnome.Shell.Screenshot --object-path /org/gnome/Shell/Screenshot \
    --method org.gnome.Shell.Screenshot.Screenshot false false "$1" >/dev/null 2>&1 && [[ -s "$1" ]]
}
ql_shell_value() { gsettings get "$BG" picture-uri 2>/dev/null | tr -d "'"; }

gnome_shell_start() {
  # The shell's JavaScript wants a system bus (logind, accounts): a bus of
  # its own stands in for it, with nothing on it.
  dbus-daemon --config-file=/usr/share/dbus-1/session.conf --nofork \
    --address="unix:path=$XDG_RUNTIME_DIR/system_bus" >"$QL_OUT/system-bus.log" 2>&1 &
  SYSBUS_PID=$!
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/system_bus"
  qm_poll 10 test -S "$XDG_RUNTIME_DIR/system_bus" || return 1

  # Unsafe mode, for Eval and the screenshot: 43 has no flag for it.
  local ext="$XDG_DATA_HOME/gnome-shell/extensions/quillmere-e2e@test"
  mkdir -p "$ext"
  cat >"$ext/metadata.json" <<'JSON'
{"uuid": "quillmere-e2e@test", "name": "e2e unsafe mode", "description": "Lets the tests drive the shell", "shell-version": ["43"]}
JSON
  cat >"$ext/extension.js" <<'JS'
function init() {}
function enable() { global.context.unsafe_mode = true; }
function disable() {}
JS
  gsettings set org.gnome.shell enabled-extensions "['ubuntu-appindicators@ubuntu.com', 'quillmere-e2e@test']"
  gsettings set org.gnome.shell welcome-dialog-last-shown-version "'43.9'"
  gsettings set org.gnome.desktop.notifications show-banners false
  gsettings set org.gnome.desktop.session idle-delay 0
  gsettings set org.gnome.desktop.interface enable-animations false
  # A black desktop with no picture: what "nothing shown" looks like.
  gsettings set "$BG" picture-uri "''"
  gsettings set "$BG" picture-uri-dark "''"
  gsettings set "$BG" color-shading-type solid
  gsettings set "$BG" primary-color "'#000000'"

  local t0=$SECONDS
  gnome-shell --headless --wayland --no-x11 --virtual-monitor "${QL_SCREEN_W}x${QL_SCREEN_H}" \
    --wayland-display="$WAYLAND_DISPLAY" >"$QL_OUT/gnome-shell.log" 2>&1 &
  SHELL_PID=$!
  # It starts in the overview: hidden before its start-up ends, it comes back.
  qm_poll 60 shell_true '!Main.layoutManager._startingUp && !Main.overview.animationInProgress' ||
    return 1
  shell_eval 'Main.overview.hide()' >/dev/null
  qm_poll 10 shell_true '!Main.overview.visible' || return 1
  # The tray: the extension's watcher, with the shell as its host.
  qm_poll 20 ql_sni_host || return 1
  # A pointer inside the compositor; mutter adds it asynchronously.
  shell_eval 'global.qmPointer = imports.gi.Clutter.get_default_backend().get_default_seat()
    .create_virtual_device(imports.gi.Clutter.InputDeviceType.POINTER_DEVICE); true' >/dev/null ||
    return 1
  # Every button event the shell takes, with the actor it goes to (a filter
  # sees them before any grab does), for the state a failed click leaves.
  shell_eval 'global.qmButtons = [];
    imports.gi.Clutter.Event.add_filter(global.stage, (e, target) => {
      const C = imports.gi.Clutter, t = e.type();
      if (t !== C.EventType.BUTTON_PRESS && t !== C.EventType.BUTTON_RELEASE) return C.EVENT_PROPAGATE;
      let what;
      try {
        const area = imports.ui.main.panel.statusArea, a = target, [x, y] = e.get_coords();
        let owner = a;
        while (owner && !Object.values(area).includes(owner)) owner = owner.get_parent();
        what = `${t === C.EventType.BUTTON_PRESS ? "press" : "release"} t=${e.get_time()} ` +
          `button ${e.get_button()} at ${Math.round(x)},${Math.round(y)} on ${a ? a.constructor.name : "none"} ` +
          (owner ? Object.keys(area).find(k => area[k] === owner) : "");
      } catch (x) {
        what = `(${x})`;
      }
      global.qmButtons.push(what);
      if (global.qmButtons.length > 40) global.qmButtons.shift();
      return C.EVENT_PROPAGATE;
    }); true' >/dev/null || return 1
  sleep 1
  ql_log "gnome-shell ready in $((SECONDS - t0)) s"
}

# The key of the program's icon in the top bar: the extension's item whose
# connection is the program's process (an earlier program's may linger).
icon_key() {
  local key name pid
  for key in $(shell_eval 'Object.keys(Main.panel.statusArea).filter(k => k.startsWith("appindicator-")).join(" ")'); do
    name="${key#appindicator-}"
    pid="$(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
      --method org.freedesktop.DBus.GetConnectionUnixProcessID "${name%%@*}" 2>/dev/null |
      sed -n 's/^(uint32 \([0-9]*\),)$/\1/p')"
    [[ -n "$pid" && "$pid" == "$QL_PID" ]] && { echo "$key"; return 0; }
  done
  return 1
}

# "X Y" of the centre of the program's icon in the top bar.
icon_pos() {
  local key
  key="$(icon_key)" || return 1
  shell_eval '(() => {
    const icon = Main.panel.statusArea["'"$key"'"];
    if (!icon || !icon.visible || !icon.mapped) return "";
    const [x, y] = icon.get_transformed_position(), [w, h] = icon.get_transformed_size();
    return w > 0 ? `${Math.round(x + w / 2)} ${Math.round(y + h / 2)}` : "";
  })()' | grep -E '^[0-9]+ [0-9]+$'
}
icon_shown() { icon_pos >/dev/null; }
# The icon's actor, for Eval.
icon_js() { echo "Main.panel.statusArea[\"$(icon_key)\"]"; }

# click ACTOR [COUNT]: the primary button COUNT times (2: a double click) on
# the middle of ACTOR (JavaScript that yields the actor). The pointer is
# moved there first, and the buttons go only once the actor has taken the
# hover: a press sent with the motion goes to whatever mutter still has
# under the pointer (the desktop, the Activities button), and never reaches
# the icon. The move is made again, to where the actor is then, until it
# has the hover: an icon that has just come may still be sliding into its
# place, and a pointer left where it was only passes over. Each event is
# stamped with the clock's time when it is sent: a stamp ahead of the clock
# is a time mutter has not reached yet.
click() {
  local actor="$1" count="${2:-1}"
  shell_true "!!($actor) && ($actor).mapped" || { echo "click: no $actor to click" >&2; return 1; }
  qm_poll 5 shell_true "(() => {
    const a = $actor;
    if (!a || !a.mapped) return false;
    if (a.hover) return true;
    const [x, y] = a.get_transformed_position(), [w, h] = a.get_transformed_size();
    // A pixel to one side every other time: a move to where the pointer
    // already is makes no motion at all.
    global.qmNudge = !global.qmNudge;
    global.qmPointer.notify_absolute_motion(imports.gi.GLib.get_monotonic_time(),
      Math.round(x + w / 2) + (global.qmNudge ? 1 : 0), Math.round(y + h / 2));
    return false;
  })()" ||
    { echo "click: the pointer's hover never reached $actor" >&2; return 1; }
  shell_true "(() => {
    const C = imports.gi.Clutter, now = imports.gi.GLib.get_monotonic_time;
    // The wall clock's time of the first press, for a benchmark to time from.
    global.qmPressedAt = imports.gi.GLib.get_real_time();
    for (let i = 0; i < $count; i++) {
      global.qmPointer.notify_button(now(), C.BUTTON_PRIMARY, C.ButtonState.PRESSED);
      global.qmPointer.notify_button(now(), C.BUTTON_PRIMARY, C.ButtonState.RELEASED);
    }
    return true;
  })()"
}
# A click on the program's icon, once no menu of the top bar is open: a
# press while one is, the shell takes as the click that closes it.
click_icon() {
  qm_poll 5 shell_true '!Main.panel.menuManager.activeMenu' ||
    { echo "click_icon: a menu of the top bar stays open" >&2; return 1; }
  click "$(icon_js)" "${1:-1}"
}
# The pointer off the top bar, so no tooltip covers what a screenshot checks.
pointer_away() {
  shell_eval "global.qmPointer.notify_absolute_motion(imports.gi.GLib.get_monotonic_time(), 40, $((QL_SCREEN_H - 40))); true" \
    >/dev/null
}

gnome_shell_stop() {
  ql_end "$SHELL_PID"
  SHELL_PID=
  ql_end "$SYSBUS_PID"
  SYSBUS_PID=
}
