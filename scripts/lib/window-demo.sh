# Shared by scripts/cmdtester and scripts/tester: one of the desktop test programs on this display against the
# register emulator. Installs what is missing, builds, registers the driver in the demo's settings folder
# (build/demo-settings, as scripts/run does), starts TesselEmu on a pseudo-terminal as COM1 with a register at
# address 2 reading this terminal, and opens the program. Closing the window stops the emulator; ending the
# emulator (Ctrl-C) closes the window.
#   window_demo SCRIPT PROGRAM     e.g. window_demo scripts/tester TesselTst

window_demo() {
  local script=$1 program=$2
  if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
    echo "$script: no display (DISPLAY or WAYLAND_DISPLAY is not set)" >&2
    exit 2
  fi

  scripts/setup
  local log="build/$(basename "$script")-build.log"
  echo "Building the driver, its dialogs, the emulator and $program (log: $log)"
  mkdir -p build
  if ! { cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
         cmake --build build -j"$(nproc)" --target TesselDrv TesselDrvUi tessel-regsvr TesselEmu tessel "$program"; } \
       >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "$script: the build failed (whole log: $log)" >&2
    exit 1
  fi

  # The demo's settings store and its copy of the driver, with the dialogs module beside it for the driver's
  # settings.
  local demo="$PWD/build/demo-settings"
  mkdir -p "$demo/emulator/COM1"
  export TESSEL_REGISTRY_DIR="$demo"
  local lib
  for lib in libTesselDrv.so libTesselDrvUi.so; do
    if ! cmp -s "build/lib/$lib" "$demo/$lib"; then
      cp "build/lib/$lib" "$demo/$lib.new"
      mv -f "$demo/$lib.new" "$demo/$lib"
    fi
  done
  build/bin/tessel-regsvr "$demo/libTesselDrv.so" >/dev/null
  # The driver's current device: COM1, the register at address 2, at 4800 baud, the one speed the emulator
  # answers.
  build/bin/tessel set PortNumber=1 set DstAddress=2 set BaudRate=3 >/dev/null

  emulator=""
  window=""
  trap 'for pid in "$window" "$emulator"; do [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null || true; done
        wait 2>/dev/null || true' EXIT

  echo "Register emulator at address 2 on COM1; type its commands here (help lists them)."
  # The emulator reads this terminal: a background job's input would otherwise be /dev/null.
  exec 3<&0
  build/bin/TesselEmu --address 2 --com 1 --counters "$demo/emulator/COM1" --timeout 5000 <&3 &
  emulator=$!
  "build/bin/$program" &
  window=$!
  # Whichever ends first ends the other.
  wait -n "$emulator" "$window" || true
}
