#!/bin/bash
# Set-up against a package archive that is only partly usable, without any
# network: stand-ins for apt-get, dpkg, dpkg-query, id and sleep come first on
# PATH and answer as such an archive does. Each case runs korvane_install in
# a fresh shell and checks its status, what it said and what it installed.
# Usage: setup_test.sh
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"

failed_index=http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz

# FAKE_UPDATE: ok | i386 (the i386 security list fails its size check).
# FAKE_I386: ok | broken (every install naming an :i386 package fails);
# FAKE_PINNED: ok | broken, the same with the pinned preferences file.
# FAKE_MISSING: a package the archive does not have.
cat >"$work/bin/apt-get" <<EOF
#!/bin/bash
echo "apt-get \$*" >>"\$FAKE_STATE/calls"
if [ "\$1" == update ] || [ "\$2" == update ]; then
  [ "\$FAKE_UPDATE" == ok ] && exit 0
  echo "Err:6 $failed_index"
  echo "E: Failed to fetch $failed_index  File has unexpected size (374820 != 376004). Mirror sync in progress?"
  echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
  exit 100
fi
pinned=ok
packages=()
for arg in "\$@"; do
  case "\$arg" in
    Dir::Etc::Preferences=*) pinned=yes; grep -q 'Pin: release l=Debian-Security' "\${arg#*=}" || exit 3 ;;
    -*|install) ;;
    *) packages+=("\$arg") ;;
  esac
done
for package in "\${packages[@]}"; do
  if [ "\$package" == "\${FAKE_MISSING:-}" ]; then
    echo "E: Unable to locate package \$package"
    exit 100
  fi
done
if printf '%s\n' "\${packages[@]}" | grep -q ':i386\$'; then
  if { [ \$pinned == yes ] && [ "\$FAKE_PINNED" == broken ]; } || { [ \$pinned == ok ] && [ "\$FAKE_I386" == broken ]; }; then
    echo "The following packages have unmet dependencies:"
    echo " libwine:i386 : Depends: libgstreamer-plugins-base1.0-0:i386 (>= 1.0.0) but it is not installable"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100
  fi
fi
printf '%s\n' "\${packages[@]}" >>"\$FAKE_STATE/installed"
EOF
cat >"$work/bin/dpkg-query" <<'EOF'
#!/bin/bash
grep -qxF "${!#}" "$FAKE_STATE/installed" && printf 'install ok installed' && exit 0
exit 1
EOF
cat >"$work/bin/dpkg" <<'EOF'
#!/bin/bash
echo "dpkg $*" >>"$FAKE_STATE/calls"
EOF
printf '#!/bin/sh\necho "${FAKE_UID:-0}"\n' >"$work/bin/id"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/sleep"
chmod +x "$work"/bin/*

failures=0
fail() {
  echo "FAIL: $case_name: $*"
  failures=$((failures + 1))
}

# Runs korvane_install wine against the stand-ins; sets status, out (what it
# printed, both streams), reason (KORVANE_NO_32BIT_REASON) and why (the line
# scripts/test prints when the 32-bit tests do not run).
run_install() {
  rm -rf "$work/state"
  mkdir "$work/state"
  : >"$work/state/calls"
  printf '%s\n' "${preinstalled[@]}" >"$work/state/installed"
  out=$(env PATH="$work/bin:$PATH" FAKE_STATE="$work/state" FAKE_UPDATE="$update" FAKE_I386="$i386" \
    FAKE_PINNED="$pinned" FAKE_MISSING="$missing" FAKE_UID="$uid" bash -c '
      source "$1/scripts/setup.sh"
      korvane_install wine
      status=$?
      echo "reason=${KORVANE_NO_32BIT_REASON:-}"
      echo "why=$(korvane_why_no_32bit)"
      echo "runs32=$(korvane_runs_32bit && echo yes || echo no)"
      exit $status' _ "$root" 2>&1)
  status=$?
  reason=$(sed -n 's/^reason=//p' <<<"$out")
  why=$(sed -n 's/^why=//p' <<<"$out")
}

installed() { grep -qxF "$1" "$work/state/installed"; }
calls() { grep -c "$1" "$work/state/calls"; }

# name | update | i386 | pinned | missing | uid | expected status | expected 32-bit: installed, skipped, unchanged
cases=(
  "i386 list fails, no way to the i386 packages|i386|broken|broken||0|0|skipped"
  "i386 list fails, the pinned install works|i386|broken|ok||0|0|installed"
  "lists fine, the i386 packages held broken|ok|broken|broken||0|0|skipped"
  "lists fine, everything installs|ok|ok|ok||0|0|installed"
  "first group cannot be installed|i386|broken|broken|pev|0|1|unchanged"
  "not root|ok|ok|ok||1000|1|unchanged"
)
preinstalled=()
for row in "${cases[@]}"; do
  IFS='|' read -r case_name update i386 pinned missing uid want_status want_32 <<<"$row"
  run_install
  [ "$status" -eq "$want_status" ] || fail "status $status, not $want_status: $out"
  [ "$want_status" -eq 0 ] && ! installed pev && fail "the first group was not installed"
  [ "$want_status" -eq 0 ] && ! installed cups && fail "cups (printing) was not installed"
  if [ "$update" == i386 ] && [ "$uid" -eq 0 ]; then
    [ "$(calls 'apt-get update')" -eq 3 ] || fail "apt-get update was not tried 3 times"
    grep -q "apt-get update failed 3 times for $failed_index; going on" <<<"$out" || fail "the failed index is not named: $out"
    [ "$(calls 'Dir::Etc::Preferences=')" -eq 1 ] || fail "no install with the security suite pinned"
  else
    [ "$(calls 'Dir::Etc::Preferences=')" -eq 0 ] || fail "the security suite was pinned though every list came"
  fi
  case $want_32 in
    installed)
      installed wine32:i386 && installed libcups2:i386 || fail "the i386 group was not installed"
      [ -z "$reason" ] || fail "a reason was given: $reason"
      ;;
    skipped)
      installed wine32:i386 && fail "wine32:i386 counted as installed"
      [ "$why" == "32-bit Windows tests not run: the i386 Wine packages could not be installed (libwine:i386 : Depends: libgstreamer-plugins-base1.0-0:i386 (>= 1.0.0) but it is not installable)" ] ||
        fail "wrong line: $why"
      grep -q '^runs32=no$' <<<"$out" || fail "the 32-bit path was still taken"
      ;;
  esac
  if [ "$missing" == pev ]; then
    grep -q 'E: Unable to locate package pev' <<<"$out" || fail "apt's own message is not shown"
    grep -q 'set-up cannot go on: apt-get could not install .*pev' <<<"$out" || fail "what is missing is not listed: $out"
  fi
  [ "$uid" -ne 0 ] && { grep -q 'run as root' <<<"$out" || fail "no word on root: $out"; }
done

# Everything there already: apt-get is not called at all.
case_name="nothing missing"
update=ok i386=ok pinned=ok missing= uid=0
run_install
preinstalled=($(cat "$work/state/installed"))
run_install
[ "$status" -eq 0 ] && [ "$(calls apt-get)" -eq 0 ] || fail "status $status, apt-get calls: $(cat "$work/state/calls")"

echo "set-up: ${#cases[@]} + 1 cases, $failures failures"
[ $failures -eq 0 ]
