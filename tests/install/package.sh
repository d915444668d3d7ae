#!/usr/bin/env bash
# The Debian package of the build, as `scripts/package` makes it: it recommends Qt's translations (without
# them Qt's own buttons and file dialogs in the windows speak English), and its udev rule gives USB serial
# adapters to the group dialout without keeping ModemManager away from every one of them.
#   package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed: $(tail -20 "$work/cpack.log")"
deb=$(find "$work/out" -maxdepth 1 -name '*.deb' -print -quit)
[[ -n $deb ]] || fail "no package was made: $(tail -20 "$work/cpack.log")"
recommends=$(dpkg-deb -f "$deb" Recommends)
[[ $recommends == *qt6-translations-l10n* ]] || fail "the package recommends '$recommends'"
dpkg-deb -x "$deb" "$work/root"
rule=$(find "$work/root" -name 60-tessel-serial.rules -print -quit)
[[ -n $rule ]] || fail "the udev rule is not in the package"
grep -q 'GROUP="dialout"' "$rule" || fail "the udev rule does not give the adapters to dialout"
! grep -q ID_MM_DEVICE_IGNORE "$rule" || fail "the udev rule keeps ModemManager away from every adapter"
echo "$(basename "$deb"): Recommends: $recommends"
