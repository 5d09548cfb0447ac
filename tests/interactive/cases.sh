# The interactive cases. Each starts the launcher as a person or an admin would, on the virtual display.
# Sourced by run.sh after lib.sh; the paths and results it reads (top, case_name, box_count, ...) are set there.
# shellcheck shell=bash disable=SC2154

# The text of a string-table entry as the .rc writes it (line breaks as \n), for language en, ja or zh.
rc_text() {
  local lang=$1 name=$2
  sed -n "s/^ *$name \"\(.*\)\"\s*$/\1/p" "$top/src/strings/strings_$lang.rc" | head -1
}

# The launcher's log records of this run (the log is appended across runs).
# Each case starts with an empty log, no recorded engine run and no registered kit.
fresh_log() { rm -f "$launcher_log" "$recorder_log"; unregister_kit; }
log_has() { grep -qF -- "$1" "$launcher_log" 2>/dev/null; }
log_count() { grep -cF -- "$1" "$launcher_log" 2>/dev/null || true; }

# Runs the launcher with $@ expecting exactly one box with the given caption and text, closes it with
# Return and expects the given low byte of the exit code. Env: LAUNCH_ENV (e.g. LC_ALL=ja_JP.UTF-8).
expect_one_box() {
  local caption=$1 text=$2 shot=$3 exit_expected=$4; shift 4
  launch_env "$@"
  wait_for_box "$launched_pid" 60
  check "exactly one box (got $box_count: $box_lines)" [ "$box_count" -eq 1 ]
  check "caption and text, got: $box_lines" [ "$box_lines" = "$caption	$text" ]
  [ "$box_count" -ge 1 ] && shoot_and_close "$caption" "$shot"
  wait_exit "$launched_pid" 120
  check "exit code low byte $exit_expected, got $exit_low" [ "$exit_low" -eq "$exit_expected" ]
  read_boxes after-close
  check "no box after closing it" [ "$box_count" -eq 0 ]
}

launch_env() {
  # env, not export: the shell itself need not know the locale. LAUNCH_ENV holds several NAME=value words.
  # shellcheck disable=SC2086
  ( exec env ${LAUNCH_ENV:-} wine "$@" >"$OUT/$case_name.stdout" 2>"$OUT/$case_name.stderr" ) &
  launched_pid=$!
}

# Runs the launcher silently and checks that no window shows while it runs.
expect_no_window() {
  local exit_expected=$1; shift
  launch_env "$@"
  local seen=""
  while kill -0 "$launched_pid" 2>/dev/null; do
    seen=$(xdotool search --onlyvisible --name '.' 2>/dev/null | head -1)
    [ -n "$seen" ] && break
    sleep 0.2
  done
  check "no window in a silent run (saw '$(xdotool getwindowname "$seen" 2>/dev/null)')" [ -z "$seen" ]
  wait_exit "$launched_pid" 120
  check "exit code low byte $exit_expected, got $exit_low" [ "$exit_expected" -eq "$exit_low" ]
}

hold_flag() {
  # shellcheck disable=SC1003 # Windows paths: backslashes, no escaped quotes
  ( exec wine "$BIN/holdfile.exe" 'C:\users\'"$(id -un)"'\AppData\LocalLow\Lumo\Zolt\ZOLT_INSTALL_FLAG' 600000 >/dev/null 2>&1 ) &
  holder_pid=$!
  local i=0
  while [ ! -e "$flag_dir/ZOLT_INSTALL_FLAG" ] && [ $i -lt 100 ]; do sleep 0.2; i=$((i + 1)); done
}
release_flag() { kill "$holder_pid" 2>/dev/null; wait "$holder_pid" 2>/dev/null; sleep 1; }

in_progress_text="TBX wrapper: Another Zolt installation is in progress. You must complete that installation before you can run this installer."

case_in_progress() { # <lang> <LC_ALL or empty>
  local lang=$1 locale=$2
  begin_case "in-progress-$lang"
  fresh_log; hold_flag
  LAUNCH_ENV=${locale:+LC_ALL=$locale} expect_one_box "$(rc_text "$lang" IDS_IN_PROGRESS_CAPTION)" \
    "$(rc_text "$lang" IDS_IN_PROGRESS_TEXT)" "in-progress-$lang" 255 "$BIN/tbx-setup.exe"
  check "in-progress record logged" log_has "$in_progress_text"
  check "nothing extracted" [ ! -e "$recorder_log" ]
  release_flag
  end_case
}

case_in_progress_silent() {
  begin_case in-progress-silent
  fresh_log; hold_flag
  expect_no_window 255 "$BIN/tbx-setup.exe" /s
  check "in-progress record logged" log_has "$in_progress_text"
  release_flag
  end_case
}

case_config_error() { # <lang> <LC_ALL or empty>
  local lang=$1 locale=$2
  begin_case "config-error-$lang"
  fresh_log
  local caption; caption=$(rc_text "$lang" IDS_CONFIG_CAPTION)
  local message; message=$(rc_text "$lang" IDS_CONFIG_BAD_SWITCHES)
  message=${message//%s/\"EULA=Maybe\";}
  LAUNCH_ENV=${locale:+LC_ALL=$locale} expect_one_box "$caption" "$message" "config-error-$lang" 176 \
    "$BIN/tbx-setup.exe" EULA=Maybe
  check "engine never started" [ ! -e "$recorder_log" ]
  end_case
}

case_config_error_silent() {
  begin_case config-error-silent
  fresh_log
  expect_no_window 176 "$BIN/tbx-setup.exe" /s EULA=Maybe
  check "engine never started" [ ! -e "$recorder_log" ]
  end_case
}

# The launcher built for tests on a drive that fills up while the payload is written: the only write failure a
# test can bring about at will, now that each run writes into a new folder of its own.
case_payload_failure() {
  local text="Installer : Wrapper.WriteFile (In small chunks)  failed with error 112: Disk full.\\n"

  begin_case payload-failure-silent
  fresh_log
  expect_no_window 112 "$BIN/tbx-setup-writefail.exe" /s
  check "failure recorded at ERROR" log_has "ERROR: Installer : Wrapper.WriteFile (In small chunks)  failed with error 112: "
  check "engine never started ($(cat "$recorder_log" 2>/dev/null))" [ ! -e "$recorder_log" ]
  end_case

  begin_case payload-failure
  fresh_log
  expect_one_box "Error" "$text" payload-failure 112 "$BIN/tbx-setup-writefail.exe"
  check "engine never started ($(cat "$recorder_log" 2>/dev/null))" [ ! -e "$recorder_log" ]
  end_case
}

# A line without a separator in the install configuration file: the working configuration takes it as a key
# without value, the export pass refuses it. A person at the screen is told, not left with a vanished launcher.
case_config_file_fault() {
  begin_case config-file-fault-en
  fresh_log
  mkdir -p "$WINEPREFIX/drive_c/deploy"
  printf 'EULA=Enable\nstrayword\n' >"$WINEPREFIX/drive_c/deploy/install.cfg"
  local message; message=$(rc_text en IDS_CONFIG_MALFORMED)
  message=${message/\%s/C:\\deploy\\install.cfg}; message=${message/\%s/2}
  expect_one_box "$(rc_text en IDS_CONFIG_CAPTION)" "$message" config-file-fault-en 176 \
    "$BIN/tbx-setup.exe" 'INSTALLCFG=C:\deploy\install.cfg'
  rm -rf "$WINEPREFIX/drive_c/deploy"
  check "engine never started" [ ! -e "$recorder_log" ]
  end_case
}

# A runtime settings file that cannot be written (a folder stands where the file belongs): the run stops before
# anything is removed, with the configuration box. The launcher that trusts the running account, since the
# shipped one would set the whole folder aside under Wine, where every folder is that account's.
case_settings_not_writable() {
  begin_case settings-not-writable-en
  fresh_log
  local file="$WINEPREFIX/drive_c/ProgramData/Vantrel/Zolt/zolt.settings.cfg"
  rm -rf "$file"; mkdir -p "$file"
  expect_one_box "$(rc_text en IDS_CONFIG_CAPTION)" "$(rc_text en IDS_CONFIG_WRITE_FAILED)" \
    settings-not-writable-en 176 "$BIN/tbx-setup-e2e.exe" EULA=Enable
  check "engine never started" [ ! -e "$recorder_log" ]
  check "cannot-be-written record" log_has "ERROR: The runtime config file "
  rmdir "$file"
  end_case
}

# Registers a kit of this version with a newer build, as an installed kit would have it.
register_newer_kit() {
  local key='HKLM\SOFTWARE\Zoltsys\Zolt Development Kit\1.9.3_17'
  # shellcheck disable=SC1003 # the home ends in a backslash, as the engine writes it
  wine reg add "$key" /v ZoltHome /t REG_SZ /d 'C:\Program Files\Zolt\tbx-1.9.3_17\' /f /reg:64 >/dev/null 2>&1
  wine reg add "$key" /v BuildNumber /t REG_SZ /d 13 /f /reg:64 >/dev/null 2>&1
  wine reg add "$key\\MSI" /v FullVersion /t REG_SZ /d '1.9.3_17-b13' /f /reg:64 >/dev/null 2>&1
}
unregister_kit() {
  wine reg delete 'HKLM\SOFTWARE\Zoltsys\Zolt Development Kit' /f /reg:64 >/dev/null 2>&1
}

case_newer_build() {
  begin_case newer-build-en
  fresh_log; register_newer_kit
  expect_one_box "$(rc_text en IDS_NEWER_BUILD_CAPTION)" "$(rc_text en IDS_NEWER_BUILD_TEXT)" newer-build-en 255 \
    "$BIN/tbx-setup.exe"
  check "engine never started" [ ! -e "$recorder_log" ]
  unregister_kit
  end_case
}

case_old_windows() {
  begin_case old-windows-en
  fresh_log
  wine winecfg -v winxp64 >/dev/null 2>&1
  local text; text=$(rc_text en IDS_OLD_WINDOWS_TEXT); text=${text//%d/9}
  expect_one_box "$(rc_text en IDS_WARNING_CAPTION)" "$text" old-windows-en 0 "$BIN/tbx-setup.exe"
  check "unsupported-system record logged" log_has "This is an unsupported operationg system."
  check "the engine ran after the warning" [ -s "$recorder_log" ]
  check "payload in the package cache" grep -q 'ProgramData\\Zoltsys\\Package Cache\\{[0-9A-F-]*}\\12\\[0-9a-f]*\\tbx1.9.3_17.msi' "$recorder_log"
  end_case

  begin_case old-windows-silent
  fresh_log
  expect_no_window 0 "$BIN/tbx-setup.exe" /s
  check "unsupported-system record logged" log_has "This is an unsupported operationg system."
  end_case

  begin_case windows-10
  fresh_log
  wine winecfg -v win10 >/dev/null 2>&1
  launch_env "$BIN/tbx-setup.exe"
  local seen=""
  while kill -0 "$launched_pid" 2>/dev/null; do
    read_boxes; [ "$box_count" -gt 0 ] && { seen=$box_lines; xdotool key Return; }
    sleep 0.3
  done
  wait_exit "$launched_pid" 60
  check "no warning on Windows 10 (saw: $seen)" [ -z "$seen" ]
  check "no unsupported-system record" [ "$(log_count 'unsupported operationg system')" = 0 ]
  check "the engine ran" [ -s "$recorder_log" ]
  check "payload in the package cache" grep -q 'ProgramData.Zoltsys.Package Cache.{' "$recorder_log"
  wine winecfg -v win7 >/dev/null 2>&1
  end_case
}

# Another installation owning the Windows Installer's mutex until release_installer.
hold_installer() {
  rm -f "$OUT/installer-held"
  ( exec wine "$BIN/holdmutex.exe" "$(winpath "$OUT/installer-held")" 600000 >/dev/null 2>&1 ) &
  mutex_pid=$!
  # The holder writes the marker once it owns the mutex; it ends only when killed, or after its own 10 minutes.
  while [ ! -e "$OUT/installer-held" ] && kill -0 "$mutex_pid" 2>/dev/null; do sleep 0.2; done
}
# Once the holder has ended, the mutex is abandoned and the next look finds the installer free.
release_installer() { kill "$mutex_pid" 2>/dev/null; wait "$mutex_pid" 2>/dev/null; }

asking_text="Another installation holds the Windows Installer; asking."

# With a person at the screen: Retry looks again (the box comes back while the installer stays busy), Cancel
# ends the run with 1618 before anything is extracted.
case_installer_busy() { # <lang> <LC_ALL or empty>
  local lang=$1 locale=$2 caption text id i=0
  caption=$(rc_text "$lang" IDS_INSTALLER_BUSY_CAPTION)
  text=$(rc_text "$lang" IDS_INSTALLER_BUSY_TEXT)
  begin_case "installer-busy-$lang"
  fresh_log; hold_installer
  LAUNCH_ENV=${locale:+LC_ALL=$locale} launch_env "$BIN/tbx-setup.exe"
  wait_for_box "$launched_pid" 60
  check "one Retry/Cancel box (got $box_count: $box_lines)" [ "$box_lines" = "$caption	$text" ]
  [ "$box_count" -ge 1 ] && shoot_and_close "$caption" "installer-busy-$lang"
  while [ "$(log_count "$asking_text")" -lt 2 ] && kill -0 "$launched_pid" 2>/dev/null && [ $i -lt 120 ]; do
    sleep 0.5; i=$((i + 1))
  done
  wait_for_box "$launched_pid" 60
  check "the box again after Retry (got $box_count: $box_lines)" [ "$box_lines" = "$caption	$text" ]
  if id=$(x_window_named "$caption"); then
    xdotool windowfocus --sync "$id" 2>/dev/null || true
    xdotool key --window "$id" Escape
  fi
  wait_exit "$launched_pid" 120
  check "exit code low byte 82 (1618), got $exit_low" [ "$exit_low" -eq 82 ]
  check "cancel logged" log_has "the user cancelled"
  check "nothing extracted, engine never started" [ ! -e "$recorder_log" ]
  release_installer
  end_case
}

case_installer_busy_silent() {
  begin_case installer-busy-silent
  fresh_log; hold_installer
  expect_no_window 82 "$BIN/tbx-setup.exe" /s INSTALLER_WAIT=1
  check "gave up with an ERROR record" log_has "ERROR: Another installation still holds the Windows Installer after 1"
  check "engine never started" [ ! -e "$recorder_log" ]
  release_installer
  end_case
}

run_cases() {
  if [ -n "${CASES:-}" ]; then local c; for c in $CASES; do $c; done; return; fi
  case_payload_failure
  case_in_progress en ""
  case_in_progress ja ja_JP.UTF-8
  case_in_progress zh zh_CN.UTF-8
  case_in_progress_silent
  case_config_error en ""
  case_config_error ja ja_JP.UTF-8
  case_config_error zh zh_CN.UTF-8
  case_config_error_silent
  case_config_file_fault
  case_settings_not_writable
  case_newer_build
  case_old_windows
  case_installer_busy en ""
  case_installer_busy ja ja_JP.UTF-8
  case_installer_busy zh zh_CN.UTF-8
  case_installer_busy_silent
}
