#!/usr/bin/env bash
# scripts/deps.sh's package step on a machine that lacks packages, with fake dpkg-query, apt-get
# and id first on PATH: one package dpkg has never heard of, one removed with its configuration
# left ("rc"), the rest installed. Exactly those two must be installed, in one apt-get install,
# and a failing apt-get must stop the set-up with a message that says what failed.
set -u
REPO=${1:?usage: deps_packages_test.sh REPO}
WORK=$(mktemp -d)
trap "rm -rf $WORK" EXIT
FAKES=$WORK/bin
mkdir -p "$FAKES"
passed=0 failed=0
check() { # description command...
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $what"
    fi
}

# The package list as deps.sh has it, to pick the two that are missing.
mapfile -t packages < <(sed -n '/^PACKAGES=(/,/^)/p' "$REPO/scripts/deps.sh" | sed '1d;$d' | tr -s ' ' '\n' | sed '/^$/d')
((${#packages[@]} > 10)) || { echo "could not read the package list of scripts/deps.sh"; exit 1; }
UNKNOWN=${packages[3]}
REMOVED=${packages[7]}

# dpkg-query -W -f=FORMAT PKG...: "PKG=ii " for installed ones, "PKG=rc " for REMOVED, and for
# UNKNOWN only a message on stderr and exit status 1, as dpkg-query does.
cat >"$FAKES/dpkg-query" <<FAKE
#!/usr/bin/env bash
status=0
for p in "\$@"; do
    case \$p in
    -*) ;;
    $UNKNOWN) echo "dpkg-query: no packages found matching \$p" >&2; status=1 ;;
    $REMOVED) echo "\$p=rc " ;;
    *) echo "\$p=ii " ;;
    esac
done
exit \$status
FAKE
# apt-get records each call; FAKE_APT_FAIL=install makes "install" fail like a broken mirror.
cat >"$FAKES/apt-get" <<'FAKE'
#!/usr/bin/env bash
echo "$*" >>"$FAKE_APT_LOG"
for a in "$@"; do
    if [[ $a == install && ${FAKE_APT_FAIL:-} == install ]]; then
        echo "E: Unable to fetch some archives" >&2
        exit 100
    fi
done
exit 0
FAKE
printf '#!/bin/sh\n[ "$1" = -un ] && echo root || echo 0\n' >"$FAKES/id"
chmod +x "$FAKES"/*

run_deps() { # log-file -> output of deps.sh --packages-only, status in $status
    : >"$1"
    out=$(PATH="$FAKES:$PATH" FAKE_APT_LOG=$1 XDG_CACHE_HOME=$WORK/cache bash "$REPO/scripts/deps.sh" --packages-only 2>&1)
    status=$?
}

# 1. Exactly the two missing packages, in one install, after one update.
run_deps "$WORK/apt1.log"
check "set-up succeeds (status $status): $out" test "$status" = 0
installs=$(grep -cw install "$WORK/apt1.log")
check "one apt-get install (saw $installs)" test "$installs" = 1
line=$(grep -w install "$WORK/apt1.log")
named=$(tr ' ' '\n' <<<"$line" | grep -v -e '^-' -e '^install$' | sed '/^$/d' | sort | tr '\n' ' ')
expected=$(printf '%s\n' "$UNKNOWN" "$REMOVED" | sort | tr '\n' ' ')
check "installs exactly '$expected' (got '$named')" test "$named" = "$expected"
check "apt-get update before the install" test "$(head -1 "$WORK/apt1.log" | grep -c update)" = 1
check "names what it installs" grep -q "installing: .*$UNKNOWN" <<<"$out"

# 2. A failing apt-get stops the set-up and says what failed and what to do.
FAKE_APT_FAIL=install run_deps "$WORK/apt2.log"
check "a failed install fails the set-up" test "$status" != 0
check "says the install failed: $out" grep -q "FAILED: apt-get install" <<<"$out"
check "says what to do" grep -q "what to do:" <<<"$out"

# 3. Nothing missing: no apt-get at all.
sed -i "s/    $UNKNOWN) .*/    $UNKNOWN) echo \"\$p=ii \" ;;/; s/    $REMOVED) .*/    $REMOVED) echo \"\$p=ii \" ;;/" "$FAKES/dpkg-query"
run_deps "$WORK/apt3.log"
check "all present: success" test "$status" = 0
check "all present: apt-get not called" test ! -s "$WORK/apt3.log"
check "all present: says so" grep -q "Debian packages: all ${#packages[@]} present" <<<"$out"

echo "$passed passed, $failed failed"
((failed == 0))
