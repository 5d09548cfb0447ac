#!/usr/bin/env bash
# The launcher for a user whose name has no form in the ANSI code page (code page 1252 has no "Ł"): the guard flag
# and the log go through the profile's short name, the payload to the per-machine package cache. And a per-user folder that cannot be found
# stops the run with 1627 and an ERROR record, writing nothing at the root of the drive.
#   unicode_profile.sh <folder of tbx-setup.exe, msirecorder.exe and runwait.exe> <work folder>
set -u
bin=$1 work=$2
export WINEPREFIX="$work/wineprefix-lukasz" WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
user='Łukasz'
USER=$user LOGNAME=$user "$top/scripts/wine-prefix" >/dev/null 2>&1 || { echo "cannot prepare $WINEPREFIX"; exit 1; }

passed=0 failed=0
check() { # check <description> <command...>
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what"; fi
}

drive=$WINEPREFIX/drive_c
engine=$drive/tbx-engine
mkdir -p "$engine"
cp "$bin/msirecorder.exe" "$engine/msiexec.exe"
USER=$user wine reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Installer' /v InstallerLocation /t REG_SZ \
  /d 'C:\tbx-engine' /f >"$work/lukasz-reg.out" 2>&1
export MSIRECORDER_LOG='C:\tbx-engine\records.txt'

# Runs the launcher as <user> with the given arguments; sets code to its full exit code.
run_as() {
  local as=$1; shift
  rm -f "$engine/records.txt" "$engine/exit.txt"
  USER=$as LOGNAME=$as wine "$bin/runwait.exe" 'C:\tbx-engine\exit.txt' "$bin/tbx-setup.exe" "$@" \
    >"$work/lukasz-run.out" 2>&1
  code=$(cat "$engine/exit.txt" 2>/dev/null || echo none)
}

profile=$drive/users/$user
log=$profile/Temp/zusched.log
# The prefix is kept between runs: nothing of an earlier run may pass for this one's.
rm -rf "$log" "$profile/AppData/LocalLow/Lumo"
run_as "$user" /s
check "exit code 0 for $user (got $code)" [ "$code" = 0 ]
check "the engine ran once" [ "$(grep -c '^cmd ' "$engine/records.txt" 2>/dev/null)" = 1 ]
# (each "." stands for a backslash)
check "the database is in the package cache, not below the profile" \
  grep -q '/i "C:.ProgramData.Zoltsys.Package Cache.{[0-9A-F-]*}.[0-9]*.[0-9a-f]\{8\}.tbx' "$engine/records.txt"
check "no character lost on the command line" bash -c "! grep -q '?' '$engine/records.txt'"
payload=$profile/AppData/LocalLow/Lumo/Zolt
check "the guard flag was taken there and is gone" bash -c "[ -d '$payload' ] && [ ! -e '$payload/ZOLT_INSTALL_FLAG' ]"
check "the log is in the user's temporary folder" grep -q 'Wrapper exit code: 0' "$log"
check "no ERROR record" bash -c "! grep -q 'ERROR: ' '$log'"

# Run as a user whose profile has no LocalLow folder: Wine cannot find the folder.
rm -rf "$drive/Lumo"
other_log=$drive/users/root/Temp/zusched.log
rm -f "$other_log"
run_as root /s
check "exit code 1627 when the per-user folder cannot be found (got $code)" [ "$code" = 1627 ]
check "nothing at the root of the drive" [ ! -e "$drive/Lumo" ]
check "the engine never ran" [ ! -e "$engine/records.txt" ]
check "an ERROR record names the folder lookup" bash -c \
  "grep -h -A1 '(GetUserDataFolder)' '$other_log' '$log' 2>/dev/null | grep -q 'ERROR: '"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
