#!/usr/bin/env bash
# versalo-find with pipes at either end: rym.txt as a FIFO fed by a writer,
# a list that shrinks while a long line waits on a full pipe, and a reader
# of the output that goes away.
set -u
find_bin=$(realpath "$1")
source "$(dirname "$0")/../support/checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export LC_ALL=C

# A FIFO is opened once and read to its end, every time.
fifo_ok=0
for i in $(seq 20); do
  rm -f rym.txt
  mkfifo rym.txt
  (printf 'xab\nyab\nzz\r\nwab\r\n' > rym.txt &)
  out=$(timeout 20 "$find_bin" ab)
  status=$?
  [[ $status == 0 && $out == $'xab\nyab\nwab' ]] && fifo_ok=$((fifo_ok + 1))
done
check "FIFO read whole in 20 of 20 tries (got $fifo_ok)" [ "$fifo_ok" = 20 ]
rm -f rym.txt

# A list cut to nothing while a line longer than one of the output's writes
# waits on a full pipe: only whole lines come out, then status 1. 200 lines
# are searched whole; 600 (42 MB) in two halves at once.
line=$(printf 'x%.0s' $(seq 69997))ab
for lines in 200 600; do
  for first in 100000 1000000; do
    for ((i = 0; i < lines; i++)); do printf '%s\n' "$line"; done > rym.txt
    { "$find_bin" ab; echo $? > status; } 2> err |
      { head -c "$first"; truncate -s 0 rym.txt; cat; } > out
    bad=$(grep -cvxF -- "$line" out)
    check "$lines lines cut after $first bytes out: $bad lines not whole, status $(cat status)" \
      [ "$bad" = 0 -a "$(cat status)" = 1 -a "$(tail -c 1 out | od -An -c | tr -d ' ')" = '\n' ]
    check "$lines lines cut: says so" grep -q 'reading rym.txt failed' err
  done
done

# The reader of the output goes away, with SIGPIPE ignored: the first failed
# write ends the search, with status 3. The list is a FIFO that would never
# end, so a search that went on would not come back.
rm -f rym.txt
mkfifo rym.txt
(yes xab > rym.txt 2> /dev/null &)
{ (trap '' PIPE; exec timeout 60 "$find_bin" ab 2> err); echo $? > status; } | head -n 1 > out
check "reader gone: status $(cat status), $(cat out)" [ "$(cat status)" = 3 -a "$(cat out)" = xab ]
check "reader gone: says so" grep -q 'cannot write the results' err

finish
