#!/usr/bin/env bash
# versalo-find lists exactly what grep lists for 'ENDING$' on the Bulgarian
# word list in Windows-1251, for every two-byte ending that occurs in it and
# a sample of longer ones; and in a UTF-8 locale it speaks UTF-8.
set -u
find_bin=$1
dict=/usr/share/dict/bulgarian
if [[ ! -r $dict ]]; then
  echo "SKIP: $dict is missing (Debian package wbulgarian)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
iconv -f UTF-8 -t CP1251 "$dict" > rym.txt
export LC_ALL=C

{
  # Every two-byte ending of the list, and the three-, four- and seven-byte
  # endings of a spread of its lines.
  awk 'length($0) >= 2 { print substr($0, length($0) - 1) }' rym.txt | sort -u
  awk 'NR % 2999 == 0 { for (n = 3; n <= 7; n += 2) if (length($0) >= n) print substr($0, length($0) - n + 1) }' rym.txt
  # Whole long words, endings that occur nowhere, and spaces and punctuation.
  awk 'length($0) >= 20' rym.txt | head -n 3
  printf '%s\n' 'zz' '  ' '.-' "$(printf '\xFF\xFF')" 'xyzzy'
} > endings

passed=0 failed=0
while IFS= read -r ending; do
  pattern=$(printf '%s' "$ending" | sed 's/[][\.*^$]/\\&/g')
  grep -a -- "$pattern\$" rym.txt > want
  "$find_bin" -- "$ending" > got
  if cmp -s want got; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAIL ending %q: %s lines from grep, %s from versalo-find\n' \
      "$ending" "$(wc -l < want)" "$(wc -l < got)"
  fi
done < endings

# UTF-8 in, UTF-8 out.
LC_ALL=C.UTF-8 "$find_bin" та > got
if LC_ALL=C.UTF-8 grep -- 'та$' "$dict" | cmp -s - got && [[ -s got ]]; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
  echo "FAIL: versalo-find та in a UTF-8 locale does not list the UTF-8 words"
fi

echo "$passed passed, $failed failed"
[[ $failed == 0 ]]
