# Sourced by the test and demo scripts: one throwaway Wine prefix per run,
# booted once, one persistent wineserver, and an X display (Xvfb when none).
#   qv_wine_probe_archs   sets QV_WINE_ARCHS to the architectures this machine
#                         can run ("win32 win64", "win64" or empty) and
#                         QV_WINE_ARCH_NOTE to why one of them cannot run
#   qv_pe_arch FILE       prints win32 or win64 for a Windows program
#   qv_wine_start DIR [ARCH]   prepares DIR/prefix for ARCH (win32 unless
#                         QV_WINE_ARCH says otherwise) from a booted template
#   qv_wine_fresh_prefix NAME   copies the booted template to a new prefix
#   qv_wine_drop_prefix NAME    removes a prefix made here
#   qv_wine_stop          ends the wineserver(s) and Xvfb started here
# QV_WINE_PREFIX_OVERLAY=1 (root only; the emulated guest sets it) makes each
# prefix an overlay on the template instead of a copy: a copy of some 600 MB
# takes long under emulation, an overlay a fraction of a second.
# Exports WINEPREFIX, WINEARCH, WINEDEBUG, WINEDLLOVERRIDES, DISPLAY and, for
# win64, WINELOADER; puts the chosen loader first in PATH as wine, wineboot
# and winepath.

qv_wine_started_xvfb=""
qv_wine_saved_display=""
qv_wine_prefixes=()
qv_wine_saved_path=""

qv_wine_loader() {  # qv_wine_loader ARCH
  case $1 in
    win32) echo /usr/lib/wine/wine ;;
    win64) echo /usr/lib/wine/wine64 ;;
    *) return 1 ;;
  esac
}

# Some kernels refuse every 32-bit program ("32-bit emulation disabled"):
# exec fails at once with ENOEXEC, so one start of the 32-bit loader tells.
# Debian's wine and wineboot scripts would pick that loader regardless, which
# is why the sessions below call the loaders by their own paths.
qv_wine_probe_archs() {
  QV_WINE_ARCHS=""
  QV_WINE_ARCH_NOTE=""
  local loader out
  loader=$(qv_wine_loader win32)
  if [ "${QV_WINE_NO_WIN32:-0}" = 1 ]; then
    QV_WINE_ARCH_NOTE="win32 left out (QV_WINE_NO_WIN32=1)"
  elif [ ! -x "$loader" ]; then
    QV_WINE_ARCH_NOTE="win32 cannot run: $loader is missing (package wine32:i386)"
  elif out=$(timeout 20 bash -c 'exec "$0" --version' "$loader" 2>&1); then
    QV_WINE_ARCHS="win32"
  else
    out=$(head -n 1 <<<"$out")
    QV_WINE_ARCH_NOTE="win32 cannot run: the 32-bit loader does not start (${out##*: })"
  fi
  loader=$(qv_wine_loader win64)
  if [ -x "$loader" ] && timeout 20 "$loader" --version >/dev/null 2>&1; then
    QV_WINE_ARCHS="${QV_WINE_ARCHS:+$QV_WINE_ARCHS }win64"
  else
    QV_WINE_ARCH_NOTE="${QV_WINE_ARCH_NOTE:+$QV_WINE_ARCH_NOTE; }win64 cannot run: $loader is missing or fails (package wine64)"
  fi
  export QV_WINE_ARCHS QV_WINE_ARCH_NOTE
}

qv_pe_arch() {  # qv_pe_arch FILE: the architecture a Windows program needs
  case $(file -b "$1") in
    *PE32+*) echo win64 ;;
    *PE32*) echo win32 ;;
    *) return 1 ;;
  esac
}

qv_wine_start() {
  local dir=$1 arch=${2:-${QV_WINE_ARCH:-win32}} loader tool
  loader=$(qv_wine_loader "$arch") || {
    echo "wine-session: unknown architecture $arch" >&2
    return 1
  }
  export WINEARCH=$arch
  export QV_WINE_ARCH=$arch
  if [ "$arch" = win64 ]; then
    export WINELOADER=$loader
  else
    unset WINELOADER
  fi
  export WINEDEBUG=${WINEDEBUG:--all}
  # No Mono or Gecko installer may wait for a click in a fresh prefix.
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree=;mshtml="}
  mkdir -p "$dir/bin"
  printf '#!/bin/sh\nexec %s "$@"\n' "$loader" >"$dir/bin/wine"
  for tool in wineboot winepath; do
    printf '#!/bin/sh\nexec %s %s.exe "$@"\n' "$loader" "$tool" >"$dir/bin/$tool"
  done
  chmod +x "$dir/bin/"*
  [ -n "$qv_wine_saved_path" ] || qv_wine_saved_path=$PATH
  export PATH="$dir/bin:$qv_wine_saved_path"
  if [ -z "${DISPLAY:-}" ] || [ "${QV_FORCE_XVFB:-0}" = 1 ]; then
    local n=90
    while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
    qv_wine_started_xvfb=$!
    qv_wine_saved_display=${DISPLAY:-}
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
  local prefix=$1 layer
  if [ ! -f "$prefix/system.reg" ]; then
    qv_wine_drop_prefix "$prefix"
    if [ "${QV_WINE_PREFIX_OVERLAY:-0}" = 1 ]; then
      # The changes go to /tmp, in memory in the guest: a run's prefix is
      # thrown away, and they are a few megabytes.
      layer=$(mktemp -d /tmp/qv-prefix.XXXXXX)
      mkdir -p "$layer/upper" "$layer/work" "$prefix"
      mount -t overlay overlay \
        -o "lowerdir=$QV_WINE_TEMPLATE,upperdir=$layer/upper,workdir=$layer/work" "$prefix" ||
        return 1
      echo "$layer" >"$layer/upper/.qv-layer"
    else
      cp -a "$QV_WINE_TEMPLATE" "$prefix"
    fi
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
  qv_wine_drop_prefix "$1"
  qv_wine_use_prefix "$1"
}

qv_wine_drop_prefix() {  # qv_wine_drop_prefix PREFIX: gone, copy or overlay
  local prefix=$1 layer=""
  if [ -f "$prefix/.qv-layer" ] && mountpoint -q "$prefix"; then
    layer=$(cat "$prefix/.qv-layer")
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    WINEPREFIX="$prefix" wineserver -w 2>/dev/null || true
    umount "$prefix" || umount -l "$prefix"
  fi
  rm -rf "$prefix"
  case $layer in /tmp/qv-prefix.*) rm -rf "$layer" ;; esac
}

qv_wine_stop() {
  local p
  for p in "${qv_wine_prefixes[@]}"; do
    WINEPREFIX="$p" wineserver -k 2>/dev/null || true
    if [ -f "$p/.qv-layer" ]; then
      qv_wine_drop_prefix "$p"
    fi
  done
  qv_wine_prefixes=()
  if [ -n "$qv_wine_started_xvfb" ]; then
    kill "$qv_wine_started_xvfb" 2>/dev/null || true
    wait "$qv_wine_started_xvfb" 2>/dev/null || true
    qv_wine_started_xvfb=""
    # The next session must not take the display just ended for a live one.
    if [ -n "$qv_wine_saved_display" ]; then
      export DISPLAY=$qv_wine_saved_display
    else
      unset DISPLAY
    fi
  fi
  if [ -n "$qv_wine_saved_path" ]; then
    export PATH=$qv_wine_saved_path
    qv_wine_saved_path=""
  fi
}
