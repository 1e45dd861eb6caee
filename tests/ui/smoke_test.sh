#!/usr/bin/env bash
# The real program under a virtual display, as a user starts it: a registered user and the
# reference service on loopback; the main window must appear, and a click on Exit must end the
# program with status 0.
#   smoke_test.sh BIN_DIR
set -euo pipefail
bin=$1
work=$(mktemp -d)
server=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export ZARNIK_SETTINGS=$work/settings.reg ZARNIK_HOME=$work/home ZARNIK_DEVICE=127.0.0.1:1

# A loopback address of its own, so that parallel tests never share port 80.
address=
for _ in $(seq 20); do
  candidate=127.0.$((RANDOM % 200 + 20)).$((RANDOM % 250 + 2))
  "$bin/poidb-server" add-user --db "$work/poi.db" --name "Ann Smith" --serial S-1 --email ann@example.com >/dev/null
  "$bin/poidb-server" serve --address "$candidate" --db "$work/poi.db" --quiet 2>"$work/server.log" &
  server=$!
  for _ in $(seq 50); do grep -q listening "$work/server.log" 2>/dev/null && break; sleep 0.1; done
  if grep -q listening "$work/server.log"; then address=$candidate; break; fi
  kill "$server" 2>/dev/null || true
  server=
  rm -f "$work/poi.db"
done
[ -n "$address" ] || { echo "no loopback address for the service" >&2; exit 1; }
"$bin/zarnik-sync" settings set --name "Ann Smith" --serial S-1 --email ann@example.com \
  --url "http://$address/POIDataBase/" --device 2 --language 1033 >/dev/null

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$0/zarnik" &
  pid=$!
  for _ in $(seq 150); do
    window=$(xdotool search --name "^Zarnik Tool$" 2>/dev/null | head -n1) && [ -n "$window" ] && break
    kill -0 $pid 2>/dev/null || { echo "zarnik ended before its window showed" >&2; exit 1; }
    sleep 0.1
  done
  [ -n "${window:-}" ] || { echo "no main window after 15 s" >&2; kill $pid; exit 1; }
  sleep 1
  # The Exit label, in the window at the desktop origin: 430,294 dialog units.
  xdotool mousemove 645 478 click 1
  for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  if kill -0 $pid 2>/dev/null; then echo "Exit did not end the program" >&2; kill $pid; exit 1; fi
  wait $pid
' "$bin"
echo "smoke test: the main window opened and Exit ended the program"
