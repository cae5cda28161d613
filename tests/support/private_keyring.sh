#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test program against a keyring of its own, never the user's: a private D-Bus session and
# an unlocked gnome-keyring (Secret Service only) whose files live in a scratch HOME. Afterwards
# neither daemon may be left running: one that is gets stopped by its PID, and the run fails.
#   tests/support/private_keyring.sh PROGRAM [ARGUMENTS...]
set -euo pipefail
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME=$scratch TESSALINE_KEYRING_PIDS=$scratch/daemons
# QtKeychain picks its backend by the desktop; none named, it takes the Secret Service.
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION

# Inside the session: the keyring started and unlocked, the PIDs of both daemons noted, the test run.
inside() {
  bus() { dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus "$@"; }
  pid_of() { bus org.freedesktop.DBus.GetConnectionUnixProcessID "string:$1" | awk '{print $2}'; }
  echo keyring-test-password | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null &
  for _ in $(seq 100); do
    bus org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets | grep -q true && break
    sleep 0.1
  done
  echo "$(pid_of org.freedesktop.DBus) $(pid_of org.freedesktop.secrets)" >"$TESSALINE_KEYRING_PIDS"
  status=0
  "$@" || status=$?
  kill "$(pid_of org.freedesktop.secrets)" 2>/dev/null || true
  return $status
}
export -f inside
status=0
dbus-run-session -- bash -c 'inside "$@"' bash "$@" || status=$?

running() { [ -n "$(ps -o stat= -p "$1" | grep -v Z)" ]; }
[ -s "$TESSALINE_KEYRING_PIDS" ] || { echo "private_keyring.sh: the keyring did not start" >&2; status=1; }
for pid in $(cat "$TESSALINE_KEYRING_PIDS" 2>/dev/null); do
  for _ in $(seq 50); do running "$pid" || break; sleep 0.1; done
  if running "$pid"; then
    echo "private_keyring.sh: $(ps -o comm= -p "$pid") (PID $pid) was left running; stopped" >&2
    kill "$pid"
    status=1
  fi
done
exit $status
