#!/usr/bin/env bash
# The message boxes a person can meet, shown on a virtual display (run inside xvfb-run by
# scripts/test.d/30-interactive): each box's caption and text, that exactly one appears, that Return
# closes it and the run then goes on or ends as it should, and that silent runs show no window.
# Screenshots land in $OUT; scripts/screenshots copies the ones the README shows into docs/.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/../.." && pwd)
# shellcheck source=tests/interactive/lib.sh
. "$here/lib.sh"
# shellcheck source=tests/interactive/cases.sh
. "$here/cases.sh"

user_folder="$(user_dir)"
flag_dir="$user_folder/AppData/LocalLow/Lumo/Zolt"
recorder_dir="$WINEPREFIX/drive_c/recorder"
recorder_log="$recorder_dir/calls.txt"
launcher_log="$user_folder/Temp/zusched.log"
installer_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Installer'

setup_prefix() {
  mkdir -p "$recorder_dir" "$flag_dir"
  cp "$BIN/msirecorder.exe" "$recorder_dir/msiexec.exe"
  # The engine is the recording stand-in: these runs test the launcher's boxes, not installations.
  wine reg add "$installer_key" /v InstallerLocation /t REG_SZ /d 'C:\recorder' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /t REG_SZ /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'SimSun' /t REG_SZ /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS Shell Dlg' /t REG_SZ /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
  # Wine draws the caption itself, so screenshots show it without a window manager.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
  export MSIRECORDER_LOG='C:\recorder\calls.txt'
}

restore_prefix() {
  wine reg add "$installer_key" /v InstallerLocation /t REG_SZ /d 'C:\windows\system32' /f >/dev/null 2>&1
  wine winecfg -v win7 >/dev/null 2>&1
}

for program in tbx-setup.exe tbx-setup-writefail.exe msirecorder.exe boxreader.exe holdfile.exe holdmutex.exe; do
  [ -f "$BIN/$program" ] || { note "interactive: $BIN/$program is missing; build first"; exit 1; }
done
setup_prefix
run_cases
restore_prefix

note "interactive: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
