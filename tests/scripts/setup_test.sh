#!/usr/bin/env bash
# When apt cannot install what the Windows side needs (32-bit Wine among
# it), setup stops with a message that names what failed and what to run;
# it never goes on as if all were there. apt-get, dpkg and dpkg-query are
# stand-ins here, so nothing is installed.
set -u
setup=$(cd "$(dirname "$0")/../.." && pwd)/scripts/setup.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$(dirname "$0")/../support/checks.sh"

# stub NAME BODY: a command of that name that runs BODY and logs its call.
stub() {
  printf '#!/usr/bin/env bash\necho "%s $*" >> %s/calls\n%s\n' "$1" "$work" "$2" > "$work/bin/$1"
  chmod +x "$work/bin/$1"
}
mkdir -p "$work/bin"
stub dpkg-query 'exit 1'  # nothing is installed
stub sudo '"$@"'
# run CASE: setup's windows group with apt-get failing as CASE says.
run() {
  : > "$work/calls"
  stub dpkg "case \$1 in --print-foreign-architectures) exit 0;; --add-architecture) $1;; esac"
  stub apt-get "case \$1 in update) $2;; install) $3;; esac"
  out=$(PATH="$work/bin:$PATH" bash "$setup" windows 2>&1)
  status=$?
}

run 'exit 0' 'exit 100' 'exit 0'
check "a failed apt-get update stops setup (status $status)" test "$status" = 1
check "it says what failed and what to run (said: $out)" \
  grep -qzE 'apt-get update failed.*sudo apt-get update' <<<"$out"
check "the i386 architecture was added first" grep -q 'dpkg --add-architecture i386' "$work/calls"
check "nothing was installed after the failure" bash -c "! grep -q 'apt-get install' '$work/calls'"

run 'exit 0' 'exit 0' 'exit 100'
check "a failed install stops setup (status $status)" test "$status" = 1
check "it names the packages, 32-bit Wine among them (said: $out)" \
  grep -qzE 'installing .*wine32:i386.* failed.*sudo apt-get install .*wine32:i386' <<<"$out"

run 'exit 2' 'exit 0' 'exit 0'
check "a failed architecture stops setup (status $status)" test "$status" = 1
check "it says what to run (said: $out)" grep -q 'sudo dpkg --add-architecture i386' <<<"$out"

finish
