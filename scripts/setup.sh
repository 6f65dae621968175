# Shared set-up of scripts/test and scripts/run: installs what is missing on a
# Debian 12 machine and prepares a private, quiet, headless Wine.
# Sourced, not run.

KORVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

korvane_log() { echo "[korvane] $*" >&2; }

# Installs the Debian packages that are missing. "cross" adds the mingw-w64
# cross compilers (i686 and x86_64); "package" adds them with the tools that
# make and check the release packages; "wine" adds all of that with Wine (the
# 64-bit loader, and the 32-bit one for machines that can run it), a headless
# display and the CUPS PDF printer.
korvane_install() {
  # binutils (objdump), pev (readpe) and time are the peers and the memory
  # gauge of bench/peers; clang-format checks the layout of the sources.
  local want=(cmake ninja-build g++ googletest libbenchmark-dev clang libclang-rt-14-dev clang-format hyperfine
              binutils pev time)
  local cross=(g++-mingw-w64-i686-posix mingw-w64-i686-dev g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev)
  local packaging=(dpkg-dev lintian zip unzip man-db)
  case "${1:-}" in
    cross) want+=("${cross[@]}") ;;
    package) want+=("${cross[@]}" "${packaging[@]}") ;;
    wine) want+=("${cross[@]}" "${packaging[@]}" wine wine64 wine32:i386 xvfb xauth imagemagick
                 cups cups-client cups-bsd printer-driver-cups-pdf libcups2:i386 poppler-utils) ;;
  esac
  local missing=()
  for package in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    korvane_log "missing packages: ${missing[*]} (run as root to install them)"
    return 1
  fi
  korvane_log "installing: ${missing[*]}"
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >&2 && apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
}

# The loaders of Wine: Debian's "wine" wrapper always starts the 32-bit one
# when it is installed, so 64-bit programs name the 64-bit loader itself.
KORVANE_WINE32=wine
KORVANE_WINE64=/usr/lib/wine/wine64

# True when this machine runs 32-bit code (some run 64-bit code only, and
# every i386 program fails there with "Exec format error").
# KORVANE_NO_32BIT=1 makes a machine that can behave as one that cannot.
korvane_runs_32bit() {
  [ -z "${KORVANE_NO_32BIT:-}" ] && /usr/lib/wine/wine --version </dev/null >/dev/null 2>&1
}

# A private 64-bit Wine prefix and display for this checkout; it runs the
# programs of both builds where the machine runs 32-bit code. Starts
# wineserver and Xvfb detached, so test runners do not wait on their
# inherited pipes.
korvane_wine_up() {
  export WINEPREFIX="${KORVANE_WINEPREFIX:-$KORVANE_ROOT/build/wineprefix64}"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
  # KORVANE_USE_DISPLAY=1 keeps the caller's $DISPLAY instead of a private Xvfb.
  if [ -z "${KORVANE_XVFB_PID:-}" ] && { [ -z "${KORVANE_USE_DISPLAY:-}" ] || [ -z "${DISPLAY:-}" ]; }; then
    local display
    for display in $(seq 91 120); do
      [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] && continue
      Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
      KORVANE_XVFB_PID=$!
      export DISPLAY=":$display"
      break
    done
    local waited=0
    until [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] || [ $waited -ge 100 ]; do sleep 0.1; waited=$((waited + 1)); done
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    korvane_log "creating the Wine prefix"
    mkdir -p "$WINEPREFIX"
    timeout 300 "$KORVANE_WINE64" wineboot -i </dev/null >/dev/null 2>&1 || true
  fi
  timeout 60 wineserver -p 600 </dev/null >/dev/null 2>&1 || true
  timeout 120 "$KORVANE_WINE64" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

korvane_wine_down() {
  [ -n "${WINEPREFIX:-}" ] && timeout 30 wineserver -k </dev/null >/dev/null 2>&1 || true
  if [ -n "${KORVANE_XVFB_PID:-}" ]; then
    kill "$KORVANE_XVFB_PID" 2>/dev/null || true
    wait "$KORVANE_XVFB_PID" 2>/dev/null || true
    KORVANE_XVFB_PID=
  fi
}

# A CUPS queue "PDF" (cups-pdf, files land in $HOME/PDF) as the default
# printer, for the print tests. Starts cupsd in the foreground of a child when
# none runs, so that korvane_printer_down stops only that one. Must run before
# korvane_wine_up creates a new prefix: a prefix made earlier may see no printer.
korvane_printer_up() {
  if ! lpstat -r 2>/dev/null | grep -q 'is running'; then
    /usr/sbin/cupsd -f </dev/null >/dev/null 2>&1 &
    KORVANE_CUPSD_PID=$!
    local waited=0
    until lpstat -r 2>/dev/null | grep -q 'is running' || [ $waited -ge 100 ]; do sleep 0.1; waited=$((waited + 1)); done
  fi
  if ! lpstat -p PDF >/dev/null 2>&1; then
    lpadmin -p PDF -E -v cups-pdf:/ -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd 2>/dev/null || return 1
  fi
  lpadmin -d PDF
}

korvane_printer_down() {
  if [ -n "${KORVANE_CUPSD_PID:-}" ]; then
    kill "$KORVANE_CUPSD_PID" 2>/dev/null || true
    wait "$KORVANE_CUPSD_PID" 2>/dev/null || true
    KORVANE_CUPSD_PID=
  fi
}
