#!/usr/bin/env bash
# versalo-find as a user runs it: arguments, locales, output and exit status.
set -u
find_bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

passed=0 failed=0
# check NAME LOCALE EXPECTED_STATUS EXPECTED_STDOUT STDERR_PATTERN -- ARGS...
check() {
  local name=$1 locale=$2 want_status=$3 want_out=$4 want_err=$5
  shift 6
  local out err status
  LC_ALL=$locale "$find_bin" "$@" >"$work/stdout" 2>"$work/stderr"
  status=$?
  out=$(cat "$work/stdout"; printf x)
  out=${out%x}
  err=$(cat "$work/stderr")
  if [[ $status == "$want_status" && $out == "$want_out" && $err =~ $want_err ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAIL %s: status %s (want %s)\n  stdout: %q\n  want:   %q\n  stderr: %q\n' \
      "$name" "$status" "$want_status" "$out" "$want_out" "$err"
  fi
}

# A Windows-1251 list: котка, КОТКА, тата, ата, та, a CR LF line, a lone CR,
# a line cut by NUL, 0x98, and an unterminated last line.
printf '\xEA\xEE\xF2\xEA\xE0\n\xCA\xCE\xD2\xCA\xC0\n\xF2\xE0\xF2\xE0\r\n\xE0\xF2\xE0\n\xF2\xE0\nab\rcd\nx\xF2\xE0\x00tail\n\x98\xE0\nend\xF2\xE0' > rym.txt

check utf8-ending C.UTF-8 0 $'тата\nата\nта\nxта\nendта\n' '^$' -- та
check utf8-upper C.UTF-8 0 $'КОТКА\n' '^$' -- КА
check bytes-c C 0 $'\xF2\xE0\xF2\xE0\n\xE0\xF2\xE0\n\xF2\xE0\nx\xF2\xE0\nend\xF2\xE0\n' '^$' -- $'\xF2\xE0'
check lone-cr-kept C 0 $'ab\rcd\n' '^$' -- $'\rcd'
check nothing-matches C.UTF-8 0 '' '^$' -- яя
check dash-dash C 0 '' '^$' -- -- -x
check one-byte C.UTF-8 2 '' 'at least 2 bytes' -- т
check empty C 2 '' 'at least 2 bytes' -- ''
check not-in-1251 C.UTF-8 2 '' 'cannot be written in Windows-1251' -- 日本
check no-args C 2 '' 'exactly one ENDING' --
check two-args C 2 '' 'exactly one ENDING' -- at at
check unknown-option C 2 '' 'unknown option' -- -x
if "$find_bin" --help | grep -q '^Usage: versalo-find'; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL help: no usage line"
fi
# Endings no one types: each is searched exactly, nothing trimmed or folded.
long=$(printf 'w%.0s' $(seq 5000))
printf 'a\r\r\nb \xFF\xFF\nc  \n\xFF\xFF\n%s\n%s\x1A\n' "x$long" "$long" > rym.txt
check ending-cr C 0 $'a\r\n' '^$' -- -- $'a\r'
check ending-ff C 0 $'b \xFF\xFF\n\xFF\xFF\n' '^$' -- -- $'\xFF\xFF'
check ending-leading-space C 0 $'b \xFF\xFF\n' '^$' -- -- $' \xFF\xFF'
check ending-spaces C 0 $'c  \n' '^$' -- -- '  '
check ending-sub C 0 '' '^$' -- -- $'w\x1A'
check ending-5000-bytes C 0 "x$long"$'\n'"$long"$'\n' '^$' -- -- "$long"
rm rym.txt
check missing C 1 '' '^rym\.txt\?$' -- та
mkdir rym.txt
check folder C 1 '' '^rym\.txt\?$' -- та

echo "$passed passed, $failed failed"
[[ $failed == 0 ]]
