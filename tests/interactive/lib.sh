# Helpers of the interactive tests: a Wine prefix on a virtual display, message boxes read from the
# Windows side (caption and text) and from X (window, screenshot), and closed with Return.
# Sourced by run.sh, which runs inside xvfb-run.
# The variables these helpers set (launched_pid, exit_low, ...) are read by cases.sh.
# shellcheck shell=bash disable=SC2034

: "${BIN:?BIN must name the folder of tbx-setup.exe and the test tools}"
: "${WINEPREFIX:?WINEPREFIX must be set}"
: "${OUT:?OUT must name the folder for screenshots and records}"
export WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

failures=0
passes=0
case_name=""

note() { printf '%s\n' "$*" >&2; }
fail() { note "FAIL [$case_name]: $*"; case_failed=1; }
check() { # check <description> <command...>
  local what=$1; shift
  if "$@"; then :; else fail "$what"; fi
}

begin_case() {
  case_name=$1
  case_failed=0
  note "--- $case_name"
}

end_case() {
  if [ "$case_failed" -eq 0 ]; then passes=$((passes + 1)); note "ok   [$case_name]"
  else failures=$((failures + 1)); fi
}

# Windows path of a Unix path in the prefix's Z: drive.
# shellcheck disable=SC1003 # a lone backslash, not an escaped quote
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"; }

# The Unix path of the per-user data folder's "Lumo\Zolt" below it, for the prefix's user.
user_dir() { printf '%s/drive_c/users/%s' "$WINEPREFIX" "$(id -un)"; }

# Starts `wine <args>` in the background with output to files; sets launched_pid.
launch() {
  ( exec wine "$@" >"$OUT/$case_name.stdout" 2>"$OUT/$case_name.stderr" ) &
  launched_pid=$!
}

# Waits for a launched process; sets exit_low to the low 8 bits of its exit code.
wait_exit() {
  local pid=$1 limit=${2:-120} waited=0
  while kill -0 "$pid" 2>/dev/null; do
    sleep 0.5; waited=$((waited + 1))
    if [ $waited -ge $((limit * 2)) ]; then fail "process still running after ${limit}s"; kill "$pid"; break; fi
  done
  wait "$pid"; exit_low=$?
}

# Lists the message boxes now on the desktop into $OUT/$case_name.<suffix> (default "boxes"); sets box_count.
read_boxes() {
  local file="$OUT/$case_name.${1:-boxes}"
  wine "$BIN/boxreader.exe" "$(winpath "$file")" >/dev/null 2>&1
  box_count=$?
  [ -f "$file" ] || box_count=0
}

# Waits until at least one message box is up (or the process ended); fills box_count and box_lines.
wait_for_box() {
  local pid=$1 limit=${2:-60} i=0
  box_count=0
  while [ $i -lt $((limit * 2)) ]; do
    read_boxes boxes
    [ "$box_count" -gt 0 ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.5; i=$((i + 1))
  done
  box_lines=$(cat "$OUT/$case_name.boxes" 2>/dev/null)
}

# X window id of the visible top-level window whose name is $1.
x_window_named() {
  local id
  for id in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
    if [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$1" ]; then printf '%s' "$id"; return 0; fi
  done
  return 1
}

# Saves a screenshot of the box captioned $1 as $OUT/<name>.png and closes the box with Return.
shoot_and_close() {
  local caption=$1 name=$2 id
  id=$(x_window_named "$caption") || { fail "no X window named '$caption'"; return 1; }
  import -window "$id" "$OUT/$name.png" 2>/dev/null || fail "screenshot of '$caption' failed"
  xdotool windowfocus --sync "$id" 2>/dev/null || xdotool windowfocus "$id"
  sleep 0.3
  xdotool key --window "$id" Return
}

# True when no visible Wine window is on the display.
no_visible_windows() {
  [ -z "$(xdotool search --onlyvisible --name '.' 2>/dev/null)" ]
}
