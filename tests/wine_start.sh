# Sourced by the scripts that run Windows programs under Wine. A Wine process
# can end before the program in it has run: the loader's own message
# ("wine: ...", "wine client error:...") or the exit code 1 that the
# wineserver gives the processes it ends, with nothing else written. The
# programs under test always write something when they run (a report line, a
# "korvane-report:" message, GoogleTest's first line), so such an end is told
# apart from a failure of the program, and its start is tried once more;
# nothing else is retried.

# True when OUTPUT (stdout and stderr of the run, or stderr alone when
# STDOUT, its standard output, is given and empty) holds nothing but Wine's
# start-up messages.
korvane_wine_did_not_start() { # STATUS OUTPUT [STDOUT]
  # Success, and a run that timeout(1) ended (a hang is the program's), are kept.
  case $1 in 0 | 124 | 137) return 1 ;; esac
  [ $# -lt 3 ] || [ ! -s "$3" ] || return 1
  ! grep -q -v -e '^wine: ' -e '^wine client error:' -e '^preloader: ' "$2"
}

# Runs COMMAND with its stdout in OUT and its stderr in ERR; a run that did
# not start is run once more, said on stderr (or appended to the file
# KORVANE_WINE_RETRY_LOG, for callers whose stderr is checked) and counted in
# KORVANE_WINE_RETRIES. Returns the status of the last run.
KORVANE_WINE_RETRIES=0
# OUT and ERR may name the same file: the streams then go there together.
korvane_wine_run() { # OUT ERR COMMAND...
  local out=$1 err=$2 status
  shift 2
  korvane_wine_start "$out" "$err" "$@"
  status=$?
  if if [ "$out" == "$err" ]; then korvane_wine_did_not_start $status "$out"; else
    korvane_wine_did_not_start $status "$err" "$out"; fi; then
    echo "retried once: the Wine process ended before the program ran (status $status, \"$(head -c 200 "$err" | tr '\n' ' ')\"): $*" >>"${KORVANE_WINE_RETRY_LOG:-/dev/stderr}"
    KORVANE_WINE_RETRIES=$((KORVANE_WINE_RETRIES + 1))
    korvane_wine_start "$out" "$err" "$@"
    status=$?
  fi
  return $status
}

korvane_wine_start() { # OUT ERR COMMAND...
  local out=$1 err=$2
  shift 2
  if [ "$out" == "$err" ]; then
    "$@" </dev/null >"$out" 2>&1
  else
    "$@" </dev/null >"$out" 2>"$err"
  fi
}
