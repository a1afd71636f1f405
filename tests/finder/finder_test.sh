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
check three-args C 2 '' 'exactly one ENDING, and at most one LIST' -- at at at
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

# The options, on a list made for them (written here in UTF-8).
rmdir rym.txt
printf '%s\n' град брат брак грозд прост дина дена дъна ната рата заплата та 'кой?' гладко сладко \
  | iconv -t CP1251 > rym.txt
printf '%s\n' ната та | iconv -t CP1251 > other.txt
u=C.UTF-8
check plain-unchanged $u 0 $'град\n' '^$' -- ад
check sound-last-letter $u 0 $'град\nбрат\n' '^$' -- --sound ад
check sound-final-run $u 0 $'грозд\nпрост\n' '^$' -- --sound зд
check order-file $u 0 $'ната\nрата\nзаплата\nта\n' '^$' -- --order=file та
check order-reverse $u 0 $'та\nзаплата\nната\nрата\n' '^$' -- --order=reverse та
check order-reverse-bytes C 0 "$(printf '%s\n' та заплата ната рата | iconv -t CP1251)"$'\n' '^$' -- \
  --order=reverse "$(printf та | iconv -t CP1251)"
check order-syllables $u 0 $'та\nната\nрата\nзаплата\n' '^$' -- --order syllables та
check syllables-kept $u 0 $'заплата\nта\n' '^$' -- --syllables=1,3 та
check syllables-range-reverse $u 0 $'заплата\nната\nрата\n' '^$' -- --syllables=2-3 --order=reverse та
check pattern $u 0 $'дина\nдена\nдъна\n' '^$' -- -p 'д?на'
check pattern-off $u 0 '' '^$' -- 'д?на'
check pattern-literal-off $u 0 $'кой?\n' '^$' -- 'й?'
check count $u 0 $'4\n' '^$' -- -c та
check count-none $u 0 $'0\n' '^$' -- --count яя
check count-sound $u 0 $'2\n' '^$' -- --count --sound ад
check word $u 0 $'ко\t2\nдко\t2\nадко\t2\nладко\t2\nгладко\t1\n' '^$' -- --word гладко
check word-too-short $u 2 '' 'word needs at least 2 bytes' -- --word о
check list-operand $u 0 $'ната\nта\n' '^$' -- та other.txt
check list-operand-held $u 0 $'та\nната\n' '^$' -- --order=syllables та other.txt
check list-operand-missing $u 1 '' 'nowhere.txt: cannot be opened' -- та nowhere.txt
check bad-order $u 2 '' 'order is file, reverse or syllables' -- --order=random та
check bad-syllables $u 2 '' 'syllables takes counts' -- --syllables=x та
check backward-range $u 2 '' 'syllables takes counts' -- --syllables=3-1 та
check trailing-comma $u 2 '' 'syllables takes counts' -- --syllables=1, та
check missing-value $u 2 '' 'unknown option' -- --order
check word-with-count $u 2 '' 'word takes no other option' -- --word -c та
check option-after-dash-dash $u 0 '' '^$' -- -- --sound
# Closest rhymes: the longest shared ending first, the order chosen within
# each length; never the word itself (here twice, once as a CR LF line).
printf '%s\r\n' игрище лобище пасбище гробище | iconv -t CP1251 > rhymes.txt
printf '%s\n' стълбище ще гробище огробище | iconv -t CP1251 >> rhymes.txt
check rhymes $u 0 $'огробище\nлобище\nпасбище\nстълбище\nигрище\nще\n' '^$' -- --rhymes гробище rhymes.txt
check rhymes-absent $u 0 $'гробище\nгробище\nогробище\nлобище\nпасбище\nстълбище\nигрище\nще\n' '^$' -- \
  --rhymes подгробище rhymes.txt
check rhymes-reverse $u 0 $'огробище\nлобище\nстълбище\nпасбище\nигрище\nще\n' '^$' -- \
  --rhymes --order=reverse гробище rhymes.txt
check rhymes-syllables $u 0 $'лобище\nстълбище\nпасбище\nигрище\n' '^$' -- \
  --rhymes --syllables=3 --order=reverse гробище rhymes.txt
check rhymes-syllables-order $u 0 $'огробище\nще\n' '^$' -- \
  --rhymes --syllables=1,4 --order=syllables гробище rhymes.txt
check rhymes-count $u 0 $'6\n' '^$' -- --rhymes -c гробище rhymes.txt
check rhymes-count-kept $u 0 $'4\n' '^$' -- --rhymes -c --syllables=3 гробище rhymes.txt
check rhymes-two-letters $u 0 $'игрище\nлобище\nпасбище\nгробище\nстълбище\nгробище\nогробище\n' '^$' -- \
  --rhymes ще rhymes.txt
check rhymes-none $u 0 '' '^$' -- --rhymes грозд
check rhymes-sound $u 0 $'прост\n' '^$' -- --rhymes --sound грозд
check rhymes-bytes C 0 "$(printf '%s\n' ната рата та | iconv -t CP1251)"$'\n' '^$' -- \
  --rhymes "$(printf заплата | iconv -t CP1251)"
check rhymes-one-byte $u 2 '' 'word needs at least 2 bytes' -- --rhymes о
check rhymes-pattern $u 2 '' 'not a pattern' -- --rhymes -p та
check rhymes-word $u 2 '' 'word takes no other option' -- --rhymes --word та
check rhymes-no-word $u 2 '' 'exactly one ENDING' -- --rhymes
check rhymes-pipe $u 0 $'огробище\nлобище\nпасбище\nстълбище\nигрище\nще\n' '^$' -- \
  --rhymes гробище <(cat rhymes.txt)
check rhymes-missing-list $u 1 '' 'nowhere.txt: cannot be opened' -- --rhymes та nowhere.txt
# Output that cannot be written: status 3, whichever way the lines were found.
for args in "--order=reverse та" "--word гладко" "-c та" "--count --sound ад" "--rhymes заплата" \
  "--rhymes -c та"; do
  LC_ALL=$u "$find_bin" $args >/dev/full 2>/dev/null
  if [[ $? == 3 ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1)); echo "FAIL full disk: $args"
  fi
done
if [[ $("$find_bin" --version) =~ ^versalo-find\ [0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  passed=$((passed + 1))
else
  failed=$((failed + 1)); echo "FAIL version"
fi

echo "$passed passed, $failed failed"
[[ $failed == 0 ]]
