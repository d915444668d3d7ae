#!/usr/bin/env bash
# The installed tree serves a client on its own: `cmake --install` of the runtime into a fresh prefix, the
# installed tessel-regsvr registers the installed driver, and the installed tessel talks to the installed
# TesselEmu, with nothing of the build tree on the way (programs and libraries find each other through their
# install RPATH). Every file lands under the prefix, the udev rule included.
#   installed_tree.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
emu=
cleanup() {
  if [[ -n $emu ]]; then kill "$emu" 2>/dev/null || true; wait "$emu" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "installed_tree: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" --component runtime >"$work/install.log" ||
  fail "cmake --install failed: $(cat "$work/install.log")"
# A destination outside the prefix would show as an installed path that does not start with it.
outside=$(grep -E '^-- (Installing|Up-to-date): ' "$work/install.log" | grep -v -- "$prefix/" || true)
[[ -z $outside ]] || fail "installed outside the prefix: $outside"
[[ -f $prefix/lib/udev/rules.d/60-tessel-serial.rules ]] || fail "the udev rule is not in lib/udev/rules.d"
compgen -G "$prefix/share/tessel/TesselDrv1C-*.zip" >/dev/null || fail "the 1C:Enterprise component's zip is not in share/tessel"
driver=$(find "$prefix" -name libTesselDrv.so -print -quit)
[[ -n $driver ]] || fail "libTesselDrv.so was not installed"
for program in tessel tessel-regsvr TesselEmu; do
  [[ -x $prefix/bin/$program ]] || fail "$program was not installed"
  ! ldd "$prefix/bin/$program" | grep -F -- "$build" || fail "$program loads libraries of the build tree"
done
! ldd "$driver" | grep -E 'not found|'"$build" || fail "the driver's libraries are not all installed"

export TESSEL_REGISTRY_DIR=$work/settings XDG_STATE_HOME=$work/state
"$prefix/bin/tessel-regsvr" "$driver" >/dev/null || fail "tessel-regsvr could not register $driver"
exec {lines}< <(exec "$prefix/bin/TesselEmu" --address 2 </dev/null)
emu=$!
read -r -t 20 -u "$lines" word pty || fail "the emulator did not start"
[[ $word == PTY ]] || fail "the emulator said '$word $pty'"
said=$(TESSEL_COM1=$pty timeout 60 "$prefix/bin/tessel" set Fuel=1 call GetECRStatus get ECRMode) ||
  fail "tessel failed: $said"
[[ $said == "GetECRStatus: (0) Ошибок нет"* ]] || fail "unexpected answer: $said"
echo "$said"
