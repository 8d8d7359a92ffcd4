#!/usr/bin/env bash
# The game's command line from the outside: exit codes, messages on standard
# error, the log, --open-home. Usage: dirtwake_cli.sh PATH/TO/dirtwake
set -u
game=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/xdg" SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
unset KWIL_LOGFILE KWIL_LOGFILE_FLAGS DISPLAY WAYLAND_DISPLAY
fail=0

expect() {  # expect NAME RC STDERR-SUBSTRING -- ARGS...
  local name=$1 rc=$2 text=$3
  shift 4
  local err out code
  err=$("$@" 2>&1 >/dev/null)
  code=$?
  if [ "$code" != "$rc" ]; then echo "FAIL $name: exit code $code, wanted $rc ($err)"; fail=1; fi
  if [ -n "$text" ] && ! grep -qF -- "$text" <<<"$err"; then echo "FAIL $name: stderr '$err' lacks '$text'"; fail=1; fi
}

mkdir -p "$work/empty"
export DW_HOME="$work/empty"
expect bad-lock-fps 1 "Bad arg for --lock-fps" -- "$game" --lock-fps x
expect bad-option 1 "bad option '-q'" -- "$game" -q
expect too-many-files 1 "Too many files!" -- "$game" a.dwdemo b.dwdemo
expect no-tracks 1 "No tracks found" -- "$game"
expect lock-fps-equals 1 "No tracks found" -- "$game" --lock-fps=30
grep -q "Dirtwake version 2017-04-19-1346 snapshot" "$work/xdg/Dirtwake/lastlog.txt" || { echo "FAIL version line missing from the log"; fail=1; }

DW_HOME="$work/missing" expect no-data 1 "Can't find game data" -- "$game"

rm -rf "$work/xdg"
DW_HOME="$work/missing" expect open-home 0 "" -- "$game" --open-home
[ -d "$work/xdg/Dirtwake" ] || { echo "FAIL --open-home did not create the home folder"; fail=1; }
[ ! -e "$work/xdg/Dirtwake/lastlog.txt" ] || { echo "FAIL --open-home alone must not start the log"; fail=1; }

exit $fail
