# Sourced by the Wine scripts: a virtual display of their own for the windows the Windows programs show.
# Xvfb says its number on a descriptor once it takes connections; no window manager runs on it, so Wine
# draws the windows' captions and frames itself (set in the prefix by wine_undecorated).
#   start_display LOG_FILE   sets DISPLAY and xvfb_pid
start_display() {
  exec {display_fd}< <(exec Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2>"$1")
  xvfb_pid=$!
  local display
  read -t 30 -r display <&"$display_fd" || {
    cat "$1"
    echo "FAIL Xvfb did not start"
    exit 1
  }
  export DISPLAY=:$display
}
# Waits for the prefix to settle afterwards: a regsvr32 started while the server still wrote the registry once
# failed to start at all ("ShellExecuteEx failed").
wine_undecorated() {
  timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1 || true
  timeout 60 wineserver -w || true
}
