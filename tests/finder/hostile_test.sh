#!/usr/bin/env bash
# Word lists no one should have to search, searched by versalo-find: huge,
# sparse, one endless line, nothing but NULs, CRs or SUBs, and a line that
# cannot be held. Each ends as the line rules say, in bounded memory.
set -u
find_bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export LC_ALL=C

passed=0 failed=0
ok() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }

# search ENDING: runs versalo-find on ./rym.txt; sets status, out (a file),
# and rss (peak resident KiB).
search() {
  /usr/bin/time -f %M -o rss.txt "$find_bin" -- "$1" > out 2> err
  status=$?
  rss=$(tail -n 1 rss.txt)
}

expect_out() {  # NAME EXPECTED_BYTES
  printf '%s' "$2" > expected
  if cmp -s out expected; then ok; else fail "$1: got $(head -c 200 out | od -An -c | head -n 3)"; fi
}

expect_small() {  # NAME: peak memory under 8 MiB
  if ((rss < 8192)); then ok; else fail "$1: peak RSS $rss KiB"; fi
}

# Over 4 GiB, mostly a sparse hole of NULs: the search reaches its end.
printf 'cat\n' > rym.txt
truncate -s $((4 * 1024 * 1024 * 1024 + 4096)) rym.txt
printf '\nhat\n' >> rym.txt
search at
[[ $status == 0 ]] && ok || fail "4 GiB: status $status"
expect_out "4 GiB" $'cat\nhat\n'
expect_small "4 GiB"

# A 64 MiB line of NULs and one of CRs: the NULs cost no memory, the CRs
# are one line whose text is all CRs.
head -c $((64 << 20)) /dev/zero > rym.txt
search ab
[[ $status == 0 && ! -s out ]] && ok || fail "only NULs: status $status, $(wc -c < out) bytes out"
expect_small "only NULs"
head -c $((8 << 20)) /dev/zero | tr '\0' '\r' > rym.txt
search $'\r\r'
[[ $status == 0 && $(wc -c < out) == $(((8 << 20) + 1)) && $(tr -d '\r' < out) == "" ]] &&
  ok || fail "only CRs: status $status, $(wc -c < out) bytes out"
head -c $((8 << 20)) /dev/zero | tr '\0' '\032' > rym.txt
search ab
[[ $status == 0 && ! -s out ]] && ok || fail "only SUBs: status $status"

# One line of 1 GiB between two short ones: listed whole.
{ printf 'cat\n'; head -c $((1 << 30)) /dev/zero | tr '\0' 'l'; printf 'at\nhat\n'; } > rym.txt
search at
[[ $status == 0 && $(wc -c < out) == $((4 + (1 << 30) + 3 + 4)) && $(head -c 4 out) == "cat" &&
   $(tail -c 4 out) == "hat" ]] && ok || fail "1 GiB line: status $status, $(wc -c < out) bytes out"

# Listing it costs at most twice the line: it is never copied while it
# grows, and it is written out a piece at a time.
((rss <= 2 * (1 << 20))) && ok || fail "1 GiB line: peak RSS $rss KiB, over twice the line"

# The same line where memory runs out: the match before it stands, the
# search ends cleanly with status 1 and says so.
(ulimit -v $((256 * 1024)); "$find_bin" -- at > out 2> err)
status=$?
[[ $status == 1 && $(cat out) == "cat" ]] && grep -q 'reading rym.txt failed' err &&
  ok || fail "no memory for the line: status $status, out $(head -c 20 out), err $(cat err)"

# A list cut short while it is searched: the matches before the cut stand,
# and the search ends like a read error, with status 1. Every line matches
# and is 20 bytes, so the output is the list itself up to where the search
# got; 20 does not divide the output's 64 KiB writes, so the search is held
# up by the full pipe in the middle of a block when the list is cut.
mkfifo pipe
search_while_cut() {  # SIZE: cuts the list to SIZE once 1 MiB has been listed
  cp full rym.txt
  "$find_bin" -- ta > pipe 2> err &
  local pid=$!
  exec 3< pipe
  dd bs=64K count=16 iflag=fullblock <&3 > out 2> /dev/null
  truncate -s "$1" rym.txt
  cat <&3 >> out
  exec 3<&-
  wait "$pid"
  status=$?
}
# Cut ahead of the search, which finds it by the file's size before it
# looks there, and cut to nothing under the blocks being searched, whose
# lost pages are looked at again, which would kill the process. 20 MiB is
# searched whole; 80 MiB in two halves at once, cut in the first half, in
# the second, and to nothing.
for lines in 1048576 4194304; do
  awk -v n=$lines 'BEGIN { for (i = 0; i < n; i++) printf "%017dta\n", i }' > full
  for size in 8M 48M 0; do
    ((lines * 20 > 48 * 1048576)) || [[ $size != 48M ]] || continue
    search_while_cut "$size"
    listed=$(wc -c < out)
    [[ $status == 1 ]] && ((listed >= 1048576 && listed % 20 == 0)) &&
      cmp -s -n "$listed" out full && grep -q 'reading rym.txt failed' err &&
      ok || fail "$lines lines cut to $size: status $status, $listed bytes listed, err $(cat err)"
  done
done

echo "$passed passed, $failed failed"
[[ $failed == 0 ]]
