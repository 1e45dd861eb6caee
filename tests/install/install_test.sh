#!/usr/bin/env bash
# install_test.sh BUILD_DIR VERSION
# Installs BUILD_DIR into a temporary prefix, then, with no variable pointing at the build or
# the sources: the programs' --version; settings that need the installed data (a device model of
# devices.ini, a language pack); a synchronisation against the installed service on a loopback
# address; a program built against the installed library, once with find_package(KlxpXClnt)
# and once with pkg-config, talking to the installed device agent. Port 80 on loopback needs
# root or a private network namespace (scripts/test gives one).
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
here=$(cd "$(dirname "$0")" && pwd)

tmp=$(mktemp -d "${TMPDIR:-/tmp}/zarnik-install.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "install test: $*" >&2; exit 1; }

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" || { cat "$tmp/install.log"; fail "cmake --install failed"; }

# The programs must not lean on anything of the build: no resource folder, no library path.
unset ZARNIK_RESOURCES ZARNIK_SETTINGS ZARNIK_HOME ZARNIK_DEVICE ZARNIK_DRIVES LD_LIBRARY_PATH
export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config XDG_DATA_HOME=$tmp/home/.local/share
mkdir -p "$HOME"
bin=$prefix/bin

# ---- what is where -------------------------------------------------------------------------------
libdir=$(dirname "$(find "$prefix" -name 'libklxpxclnt.so' | head -n1)")
[ -n "$libdir" ] && [ "$libdir" != . ] || fail "libklxpxclnt.so not installed"
for f in "$bin/zarnik-sync" "$bin/poidb-server" "$bin/devagent" \
         "$libdir/libklxpxclnt.so.${version%%.*}" "$libdir/libklxpclnt.so.${version%%.*}" \
         "$libdir/cmake/KlxpXClnt/KlxpXClntConfig.cmake" "$libdir/pkgconfig/klxpxclnt.pc" \
         "$prefix/include/zarnik/klxpxclnt/klxp_xclient.h" "$prefix/include/zarnik/devicekit/klxpclnt/klxp_client.h" \
         "$prefix/share/zarnik/devices.ini" "$prefix/share/zarnik/shutdown.exe" \
         "$prefix/share/man/man1/zarnik-sync.1.gz" "$prefix/share/man/man1/poidb-server.1.gz" \
         "$prefix/share/man/man1/devagent.1.gz" "$prefix/share/doc/zarnik/copyright" \
         "$prefix/share/doc/zarnik/changelog.Debian.gz"; do
  [ -e "$f" ] || fail "not installed: ${f#"$prefix"/}"
done
ls "$prefix"/share/zarnik/lang/*.txt >/dev/null 2>&1 || fail "no language pack installed"
# Debian's changelog names the version installed.
entry=$(zcat "$prefix/share/doc/zarnik/changelog.Debian.gz" | sed -n 1p)
[[ "$entry" == "zarnik ($version"* ]] || fail "changelog.Debian.gz begins '$entry', not version $version"
soname=$(objdump -p "$libdir/libklxpxclnt.so" | awk '$1 == "SONAME" {print $2}')
[ "$soname" = "libklxpxclnt.so.${version%%.*}" ] || fail "SONAME is '$soname'"

# With the window: its program, desktop entry and icons.
if [ -e "$prefix/share/applications/zarnik.desktop" ]; then
  [ -x "$bin/zarnik" ] || fail "a desktop entry without the program zarnik"
  [ -e "$prefix/share/man/man1/zarnik.1.gz" ] || fail "zarnik without its man page"
  desktop-file-validate "$prefix/share/applications/zarnik.desktop" || fail "desktop entry not valid"
  for size in 48 256; do
    [ ! -e "$here/../../resources/icons/zarnik-$size.png" ] ||
      [ -e "$prefix/share/icons/hicolor/${size}x${size}/apps/zarnik.png" ] || fail "no ${size}x${size} icon"
  done
fi

for program in zarnik-sync poidb-server devagent; do
  out=$("$bin/$program" --version) || fail "$program --version failed"
  [[ "$out" == *"$version"* ]] || fail "$program --version printed '$out'"
done

# ---- settings from the installed data --------------------------------------------------------------
# A pack other than the built-in English proves the installed language folder is found.
language=$(basename "$(ls "$prefix"/share/zarnik/lang/*.txt | grep -v /1033.txt | head -n1)" .txt)
[ -n "$language" ] || language=1033
host=127.0.250.$(( $$ % 250 + 2 ))
"$bin/zarnik-sync" settings set --url "http://$host/POIDataBase/" --name "Ann Smith" --serial "INST-0001" \
  --email "ann@example.com" --device 0 --language "$language" -q || fail "settings set failed"
"$bin/zarnik-sync" settings >"$tmp/settings.txt" || fail "settings failed"
grep -q "INST-0001" "$tmp/settings.txt" || fail "settings do not show the serial: $(cat "$tmp/settings.txt")"
[ -f "$XDG_CONFIG_HOME/zarnik/settings.reg" ] || fail "settings not stored under XDG_CONFIG_HOME"

# ---- a synchronisation against the installed service -------------------------------------------------
db=$tmp/poi.db
"$bin/poidb-server" sample --db "$db" --cameras 500 --mutations 20 --seed 3 2>/dev/null || fail "sample failed"
"$bin/poidb-server" add-user --db "$db" --name "Ann Smith" --serial "INST-0001" --email "ann@example.com" >/dev/null \
  || fail "add-user failed"
"$bin/poidb-server" serve --address "$host" --db "$db" --quiet 2>"$tmp/server.log" &
pids+=($!)
for _ in $(seq 100); do grep -q listening "$tmp/server.log" && break; sleep 0.05; done
grep -q listening "$tmp/server.log" || fail "the service did not start: $(cat "$tmp/server.log")"

"$bin/zarnik-sync" sync --pc-only >"$tmp/sync.log" 2>&1 || { cat "$tmp/sync.log"; fail "sync --pc-only failed"; }
cameras=$("$bin/zarnik-sync" count-mtc -q) || fail "count-mtc failed"
[ "$cameras" -gt 400 ] || fail "the camera file holds $cameras cameras"

# ---- a program of someone else's against the installed library ---------------------------------------
mkdir -p "$tmp/device"
"$bin/devagent" --root "$tmp/device" --listen "$host:9470" --quiet >"$tmp/agent.log" 2>&1 &
pids+=($!)
export CMAKE_GENERATOR=${CMAKE_GENERATOR:-Ninja}
cmake -S "$here/consumer" -B "$tmp/with-cmake" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_COMPILER="${CXX:-c++}" >"$tmp/consumer.log" 2>&1 &&
  cmake --build "$tmp/with-cmake" >>"$tmp/consumer.log" 2>&1 || { cat "$tmp/consumer.log"; fail "find_package build failed"; }

export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2046 # pkg-config gives several words on purpose
"${CXX:-c++}" -std=c++20 -o "$tmp/with-pkg-config" "$here/consumer/main.cpp" $(pkg-config --cflags --libs klxpxclnt) \
  "-Wl,-rpath,$libdir" 2>"$tmp/pc.log" || { cat "$tmp/pc.log"; fail "pkg-config build failed"; }

for _ in $(seq 100); do grep -q listening "$tmp/agent.log" && break; sleep 0.05; done
grep -q listening "$tmp/agent.log" || fail "the device agent did not start: $(cat "$tmp/agent.log")"
for consumer in "$tmp/with-cmake/consumer" "$tmp/with-pkg-config"; do
  out=$("$consumer" "$host:9470" 2>&1) || fail "$(basename "$consumer"): $out"
done
echo "install test: $cameras cameras synchronised from the installed service; both consumers talked to the agent"
