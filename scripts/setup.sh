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
#
# The archive may be only partly usable (a mirror between two syncs, a point
# release half published), so the packages go in as two groups: first what
# the native build, the 64-bit Windows tests, printing and packaging need
# (amd64 or arch-independent; set-up stops when one of these cannot be
# installed), then the i386 group of the 32-bit Windows tests. When that group
# cannot be installed, set-up goes on and sets KORVANE_NO_32BIT_REASON, and the
# 32-bit Windows tests are not run.
korvane_install() {
  # binutils (objdump), pev (readpe) and time are the peers and the memory
  # gauge of bench/peers; python3-pefile is the peer the data form is
  # checked against; clang-format checks the layout of the sources.
  local want=(cmake ninja-build g++ googletest libbenchmark-dev clang libclang-rt-14-dev clang-format hyperfine
              binutils pev time python3-jsonschema python3-pefile jq)
  local cross=(g++-mingw-w64-i686-posix mingw-w64-i686-dev g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev)
  local packaging=(dpkg-dev lintian zip unzip man-db)
  # Wine and printing: packages whose libraries have i386 twins that must
  # come from the same suite, then the i386 group itself.
  local twins=(wine wine64 cups cups-client cups-bsd printer-driver-cups-pdf)
  local i386=(wine32:i386 libcups2:i386)
  case "${1:-}" in
    cross) want+=("${cross[@]}") ;;
    package) want+=("${cross[@]}" "${packaging[@]}") ;;
    wine) want+=("${cross[@]}" "${packaging[@]}" "${twins[@]}" xvfb xauth imagemagick poppler-utils) ;;
  esac
  [ "${1:-}" == wine ] || i386=()
  local missing missing_i386
  mapfile -t missing < <(korvane_missing "${want[@]}")
  mapfile -t missing_i386 < <(korvane_missing "${i386[@]}")
  [ ${#missing[@]} -eq 0 ] && [ ${#missing_i386[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    korvane_log "missing packages: ${missing[*]} ${missing_i386[*]} (run as root to install them)"
    return 1
  fi
  korvane_log "installing: ${missing[*]} ${missing_i386[*]}"
  export DEBIAN_FRONTEND=noninteractive
  [ ${#missing_i386[@]} -gt 0 ] && dpkg --add-architecture i386
  korvane_apt_update

  # An i386 list that failed leaves the i386 libraries older than their amd64
  # twins from the security suite; with that suite pinned below the main one
  # for this one command, both come from the same suite.
  local pinned_tried= reason=
  if [ ${#missing_i386[@]} -gt 0 ] && [[ "$KORVANE_APT_FAILED_INDEXES" == *i386* ]]; then
    pinned_tried=yes
    local pin
    pin=$(mktemp)
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' >"$pin"
    local pinned
    mapfile -t pinned < <(korvane_missing "${twins[@]}")
    if korvane_apt_install -o Dir::Etc::Preferences="$pin" "${pinned[@]}" "${missing_i386[@]}"; then
      korvane_log "the i386 security list failed: Wine and printing were installed with the security suite" \
        "pinned below the main suite (without its latest fixes), for the test set-up only"
    else
      reason=$KORVANE_APT_REASON
    fi
    rm -f "$pin"
  fi

  mapfile -t missing < <(korvane_missing "${want[@]}")
  if [ ${#missing[@]} -gt 0 ] && ! korvane_apt_install "${missing[@]}"; then
    mapfile -t missing < <(korvane_missing "${want[@]}")
    korvane_log "set-up cannot go on: apt-get could not install ${missing[*]}"
    return 1
  fi

  mapfile -t missing_i386 < <(korvane_missing "${i386[@]}")
  if [ ${#missing_i386[@]} -gt 0 ] && [ -z "$pinned_tried" ]; then
    korvane_apt_install "${missing_i386[@]}" || reason=$KORVANE_APT_REASON
    mapfile -t missing_i386 < <(korvane_missing "${i386[@]}")
  fi
  if [ ${#missing_i386[@]} -gt 0 ]; then
    export KORVANE_NO_32BIT_REASON="${reason:-apt-get could not install ${missing_i386[*]}}"
    korvane_log "the i386 Wine packages were not installed: $KORVANE_NO_32BIT_REASON"
  fi
  return 0
}

# Prints each of the named packages that is not installed.
korvane_missing() {
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || echo "$package"
  done
}

# apt-get update, tried three times: when an index still fails (a mirror
# between two syncs), set-up goes on with the lists there are and names it in
# KORVANE_APT_FAILED_INDEXES.
korvane_apt_update() {
  KORVANE_APT_FAILED_INDEXES=
  local attempt output
  for attempt in 1 2 3; do
    output=$(apt-get update -q 2>&1) && return 0
    [ $attempt -lt 3 ] && sleep "${KORVANE_APT_RETRY_PAUSE:-10}"
  done
  KORVANE_APT_FAILED_INDEXES=$(sed -n 's/^E: Failed to fetch \([^ ]*\).*/\1/p' <<<"$output" | tr '\n' ' ')
  if [ -n "$KORVANE_APT_FAILED_INDEXES" ]; then
    korvane_log "apt-get update failed 3 times for ${KORVANE_APT_FAILED_INDEXES% }; going on with the lists there are"
  else
    korvane_log "apt-get update failed 3 times ($(grep '^E: ' <<<"$output" | tail -1)); going on with the lists there are"
  fi
}

# apt-get install, its output on stderr; on failure KORVANE_APT_REASON holds
# apt's reason in one line (the first unmet dependency, else its last error).
korvane_apt_install() {
  local log status
  log=$(mktemp)
  apt-get install -y -q --no-install-recommends "$@" 2>&1 | tee "$log" >&2
  status=${PIPESTATUS[0]}
  KORVANE_APT_REASON=
  if [ "$status" -ne 0 ]; then
    KORVANE_APT_REASON=$(grep -m1 ' : Depends: ' "$log" | sed 's/^ *//')
    [ -n "$KORVANE_APT_REASON" ] || KORVANE_APT_REASON=$(grep '^E: ' "$log" | tail -1 | sed 's/^E: //')
    [ -n "$KORVANE_APT_REASON" ] || KORVANE_APT_REASON="apt-get install exited with $status"
  fi
  rm -f "$log"
  return "$status"
}

# The loaders of Wine: Debian's "wine" wrapper always starts the 32-bit one
# when it is installed, so 64-bit programs name the 64-bit loader itself.
KORVANE_WINE32=wine
KORVANE_WINE64=/usr/lib/wine/wine64

# True when this machine runs 32-bit code (some run 64-bit code only, and
# every i386 program fails there with "Exec format error").
# KORVANE_NO_32BIT=1 makes a machine that can behave as one that cannot.
korvane_runs_32bit() {
  [ -z "${KORVANE_NO_32BIT:-}" ] && [ -z "${KORVANE_NO_32BIT_REASON:-}" ] && /usr/lib/wine/wine --version </dev/null >/dev/null 2>&1
}

# The line that says why the 32-bit Windows tests do not run here.
korvane_why_no_32bit() {
  if [ -n "${KORVANE_NO_32BIT_REASON:-}" ]; then
    echo "32-bit Windows tests not run: the i386 Wine packages could not be installed ($KORVANE_NO_32BIT_REASON)"
  else
    echo "32-bit Windows tests not run: this machine runs no 32-bit code"
  fi
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
    # wineboot's server ends by itself once the prefix's first programs have.
    timeout 60 wineserver -w </dev/null >/dev/null 2>&1 || true
  fi
  korvane_wineserver_up || return 1
  timeout 120 "$KORVANE_WINE64" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# The server that a Wine program starts for itself is Debian's wrapper with
# -p0: it shuts down the moment no program of the prefix runs. A program that
# starts in that moment is cut off ("wine client error:0: recvmsg: Connection
# reset by peer") or killed with exit code 1 by the server's shutdown, which
# stops the prefix's services and, 2 s later, kills every process left. The
# tests start Wine programs one after another, two at a time: they run on a
# server started here that stays for an hour after the last program.
# A server of the prefix that runs already (left by an earlier run, perhaps
# without that delay) would refuse it; it is ended first.
korvane_wineserver_up() {
  local attempt
  for attempt in 1 2 3; do
    timeout 30 wineserver -k </dev/null >/dev/null 2>&1 || true
    timeout 60 wineserver -w </dev/null >/dev/null 2>&1
    # Exit status 2: another server holds the prefix's lock.
    timeout 60 wineserver -p3600 </dev/null >/dev/null 2>&1 && return 0
  done
  korvane_log "could not start a lasting wineserver for $WINEPREFIX"
  return 1
}

korvane_wine_down() {
  if [ -n "${WINEPREFIX:-}" ]; then
    timeout 30 wineserver -k </dev/null >/dev/null 2>&1 || true
    timeout 30 wineserver -w </dev/null >/dev/null 2>&1 || true
  fi
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
