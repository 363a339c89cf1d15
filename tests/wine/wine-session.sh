# Sourced by the test and demo scripts: one throwaway Wine prefix per run,
# booted once, one persistent wineserver, and an X display (Xvfb when none).
#   qv_wine_start DIR   prepares DIR/prefix (the template for fresh prefixes)
#   qv_wine_fresh_prefix NAME   copies the booted template to a new prefix
#   qv_wine_stop        ends the wineserver(s) and Xvfb started here
# Exports WINEPREFIX, WINEARCH, WINEDEBUG, WINEDLLOVERRIDES and DISPLAY.

qv_wine_started_xvfb=""
qv_wine_prefixes=()

qv_wine_start() {
  local dir=$1
  export WINEARCH=win32
  export WINEDEBUG=${WINEDEBUG:--all}
  # No Mono or Gecko installer may wait for a click in a fresh prefix.
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree=;mshtml="}
  mkdir -p "$dir"
  if [ -z "${DISPLAY:-}" ] || [ "${QV_FORCE_XVFB:-0}" = 1 ]; then
    local n=90
    while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
    qv_wine_started_xvfb=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${n}" ] && break; sleep 0.1; done
  fi
  export QV_WINE_TEMPLATE="$dir/template"
  if [ ! -f "$QV_WINE_TEMPLATE/system.reg" ]; then
    rm -rf "$QV_WINE_TEMPLATE"
    WINEPREFIX="$QV_WINE_TEMPLATE" wineboot -i >"$dir/wineboot.log" 2>&1
    # Xvfb has no window manager: Wine then draws the frames and carries out
    # maximizing itself, as Windows would.
    WINEPREFIX="$QV_WINE_TEMPLATE" wine reg add 'HKCU\Software\Wine\X11 Driver' \
      /v Managed /d N /f >>"$dir/wineboot.log" 2>&1
    # Wine's own Tahoma, MS Sans Serif and Marlett (title-bar buttons), so
    # that text measures as it does on Windows; the 32-bit loader does not
    # look where Debian puts them.
    if [ -d /usr/share/wine/fonts ]; then
      cp /usr/share/wine/fonts/*.ttf "$QV_WINE_TEMPLATE/drive_c/windows/Fonts/" 2>/dev/null || true
    fi
    WINEPREFIX="$QV_WINE_TEMPLATE" wineserver -w
  fi
  qv_wine_use_prefix "$dir/prefix"
}

# Makes PREFIX (a copy of the booted template) the current prefix and keeps
# one wineserver alive in it until qv_wine_stop.
qv_wine_use_prefix() {
  local prefix=$1
  if [ ! -f "$prefix/system.reg" ]; then
    rm -rf "$prefix"
    cp -a "$QV_WINE_TEMPLATE" "$prefix"
  fi
  export WINEPREFIX="$prefix"
  wineserver -p
  # Start the prefix's system processes now, detached from our output: if a
  # test program started them they would inherit its pipes and keep them
  # open after it exits.
  wine cmd /c ver </dev/null >/dev/null 2>&1
  qv_wine_prefixes+=("$prefix")
}

qv_wine_fresh_prefix() {
  local prefix=$1
  rm -rf "$prefix"
  qv_wine_use_prefix "$prefix"
}

qv_wine_stop() {
  local p
  for p in "${qv_wine_prefixes[@]}"; do
    WINEPREFIX="$p" wineserver -k 2>/dev/null || true
  done
  qv_wine_prefixes=()
  if [ -n "$qv_wine_started_xvfb" ]; then
    kill "$qv_wine_started_xvfb" 2>/dev/null || true
    wait "$qv_wine_started_xvfb" 2>/dev/null || true
    qv_wine_started_xvfb=""
  fi
}
