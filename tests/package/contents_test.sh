#!/usr/bin/env bash
# What a Windows user unpacks: one folder with the program, the Bulgarian
# word list as rym.txt, its licence and a read-me, each as Windows expects.
#   contents_test.sh ZIP win32|win64 VERSION PE_TEST
set -u
export LC_ALL=C
zip=$1 arch=$2 version=$3 pe_test=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$(dirname "$0")/../support/checks.sh"

folder=versalo-$version-$arch
check "the zip unpacks" unzip -q "$zip" -d "$work"
names=$(cd "$work" && find . -mindepth 1 | sort | tr '\n' ' ')
want="./$folder ./$folder/readme.txt ./$folder/rym.txt ./$folder/versalo.exe ./$folder/wordlist-GPL-2.txt ./$folder/wordlist-copyright.txt "
check "one folder with exactly the five files (got: $names)" test "$names" = "$want"
cd "$work/$folder" || exit 1

check "versalo.exe is a $arch GUI program with only system DLLs" bash "$pe_test" versalo.exe "$arch"

lines=$(wc -l < rym.txt)
check "rym.txt has 867,136 lines (got $lines)" test "$lines" = 867136
check "rym.txt is valid Windows-1251" iconv -f CP1251 -t UTF-8 -o /dev/null rym.txt
check "every line of rym.txt ends with CR LF" test "$(grep -c $'\r$' rym.txt)" = "$lines"
check "rym.txt ends with a line break" test "$(tail -c 2 rym.txt | od -An -tx1 | tr -d ' ')" = 0d0a
if [[ -r /usr/share/dict/bulgarian ]]; then
  check "rym.txt holds Debian's Bulgarian word list" \
    cmp -s <(iconv -f CP1251 -t UTF-8 rym.txt | tr -d '\r') /usr/share/dict/bulgarian
fi

check "readme.txt starts with a UTF-8 BOM" test "$(head -c 3 readme.txt | od -An -tx1 | tr -d ' ')" = efbbbf
check "readme.txt is valid UTF-8" iconv -f UTF-8 -t UTF-8 -o /dev/null readme.txt
check "readme.txt names the version" grep -q "Versalo $version" readme.txt
check "readme.txt tells, in both languages, that any Windows from XP on will do" \
  bash -c 'grep -q "всеки Windows от XP" readme.txt && grep -q "any Windows from XP" readme.txt'
check "readme.txt asks for no system setting" bash -c '! grep -q "CodePage" readme.txt'
check "readme.txt speaks Bulgarian and English" \
  bash -c 'grep -q "речник" readme.txt && grep -q "word list" readme.txt'
for text in readme.txt wordlist-copyright.txt wordlist-GPL-2.txt; do
  check "$text has only CR LF line ends" test "$(grep -c $'[^\r]$\\|^$' "$text")" = 0
done
check "the licence is the GPL, version 2" grep -q 'GNU GENERAL PUBLIC LICENSE' wordlist-GPL-2.txt
check "the copyright notice names the list's author" grep -q 'Radostin Radnev' wordlist-copyright.txt

finish
