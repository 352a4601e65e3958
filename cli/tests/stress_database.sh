#!/usr/bin/env bash
# Readers against a release database that is being replaced, with readers
# killed at random:
#   stress_database.sh CARTSCOPE ROM [READERS [ROUNDS]]
# READERS processes (20 by default) run "cartscope info --db" on ROM (a ROM
# of game code KSCE) over and over, while a writer replaces the database
# ROUNDS times (50 by default), in turns by "db build -o" onto the file itself
# and by building a second file and moving it over the first; after each
# round one running reader is killed with SIGKILL. The two lists give the
# other games different names and lengths, so an index that belongs to the
# other file finds another game's record, or none.
#
# Passes when no reader saw another game or no record, none hung (a run that
# takes 60 s counts as hung), and no lock is left held once every process has
# ended. Prints the counts. The test command runs it with small counts; run
# it by hand with large ones.
set -uo pipefail

cli=$1 rom=$2 readers=${3:-20} rounds=${4:-50}
work=$(mktemp -d)
trap 'touch "$work/stop"; pkill -P $$ 2>/dev/null; rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data  # the lock file lives here, apart from the user's
mkdir -p "$XDG_DATA_HOME"
db=$work/nds-rom.dat

# Two lists of the same games: KSCE keeps its name, the games before and
# after it in the index change theirs (and so where its record lies).
make_list() {
  printf 'game code\tROM code\tname\tcountry\tgenre\tpublisher\tlanguage mask\tWiFi\trelease number\trelease group\tCRC-32\n'
  for i in $(seq 100 399); do
    printf 'A%03d\tNTR-A%03d-USA\t%s %d\tUSA\tPuzzle\tStress\t1\tNo\t%04d\tStress\t\n' "$i" "$i" "$1" "$i" "$i"
  done
  printf 'KSCE\tNTR-KSCE-USA\tStar Courier\tUSA\tAction\tStress\t1\tNo\t0001\tStress\t\n'
  for i in $(seq 400 699); do
    printf 'Z%03d\tNTR-Z%03d-USA\t%s %d\tUSA\tPuzzle\tStress\t1\tNo\t%04d\tStress\t\n' "$i" "$i" "$1" "$i" "$i"
  done
}
make_list "Other Game" >"$work/a.tsv"
make_list "Another Game With A Longer Name" >"$work/b.tsv"
"$cli" db build "$work/a.tsv" -o "$db" --version 1 >/dev/null || { echo "FAIL: the first database could not be built"; exit 1; }

# Each reader run looks the ROM up eight times (so that a run lasts long
# enough to be killed now and then): each must find its record.
reader() {
  local log=$work/reader-$1.log out status
  while [ ! -e "$work/stop" ]; do
    out=$(timeout 60 "$cli" info --db "$db" "$rom" "$rom" "$rom" "$rom" "$rom" "$rom" "$rom" "$rom" 2>&1)
    status=$?
    if [ $status -eq 0 ]; then
      if grep '^Name: ' <<<"$out" | grep -vqx 'Name: Star Courier'; then
        echo "wrong: $(grep '^Name: ' <<<"$out" | grep -vx 'Name: Star Courier' | head -n 1)"
      elif [ "$(grep -cx 'Name: Star Courier' <<<"$out")" -eq 8 ]; then echo ok
      else echo missing
      fi
    elif [ $status -eq 137 ]; then echo killed  # by the SIGKILL below
    elif [ $status -eq 124 ]; then echo "failed: hung for 60 s"
    else echo "failed $status: $out"
    fi >>"$log"
  done
}

for i in $(seq "$readers"); do reader "$i" & done

# A reader that runs for 20 s is on its way to hanging: what it waits for is
# written down while it still waits (its state, kernel wait channel and
# stack, who holds or waits for the lock file, and its threads' backtraces
# when gdb is at hand), and shown when the run fails.
describe() {
  local pid=$1 inode
  echo "== reader $pid, running $(ps -o etimes= -p "$pid" | tr -d ' ') s"
  grep -E '^(State|Threads):' "/proc/$pid/status" 2>/dev/null
  echo "wait channel: $(cat "/proc/$pid/wchan" 2>/dev/null)"
  cat "/proc/$pid/stack" 2>/dev/null
  inode=$(stat -c %i "$XDG_DATA_HOME/cartscope/nds-rom.lock" 2>/dev/null)
  [ -z "$inode" ] || { echo "locks on the lock file:"; grep ":$inode " /proc/locks; }
  ps -o pid,stat,etimes,wchan:24,args --ppid "$pid" 2>/dev/null | tail -n +2
  if command -v gdb >/dev/null; then
    timeout 30 gdb -p "$pid" -batch -ex 'thread apply all bt' 2>/dev/null | grep -E '^(Thread|#)'
  fi
}
watchdog() {
  local pid seen=" "
  while [ ! -e "$work/stop" ]; do
    for pid in $(pgrep -f "^$cli info --db "); do
      case $seen in *" $pid "*) continue ;; esac
      if [ "$(ps -o etimes= -p "$pid" 2>/dev/null | tr -d ' ')" -ge 20 ] 2>/dev/null; then
        seen="$seen$pid "
        describe "$pid" >>"$work/hung.log" 2>&1
      fi
    done
    sleep 2
  done
}
watchdog &

# Kills one running reader, chosen at random (readers come and go within
# milliseconds: some tries). Only a process that timeout started is a
# reader: a sanitizer's runtime may start helpers under the same command line
# (LeakSanitizer's tracer at exit), and killing one of those would leave the
# reader waiting for it instead of testing the lock.
kill_a_reader() {
  local try pid parent comm
  for try in $(seq 40); do
    for pid in $(pgrep -f "^$cli info --db " | shuf); do
      read -r _ _ _ parent _ 2>/dev/null <"/proc/$pid/stat" || continue
      read -r comm 2>/dev/null <"/proc/$parent/comm" || continue
      [ "$comm" = timeout ] && kill -KILL "$pid" 2>/dev/null && return 0
    done
  done
  return 1
}

for round in $(seq "$rounds"); do
  version=$((round + 1))
  if [ $((round % 2)) -eq 1 ]; then
    "$cli" db build "$work/b.tsv" -o "$db" --version "$version" >/dev/null || echo "FAIL: round $round: db build failed"
  else
    "$cli" db build "$work/a.tsv" -o "$db.tmp" --version "$version" >/dev/null && mv "$db.tmp" "$db" ||
      echo "FAIL: round $round: the replacement failed"
  fi
  kill_a_reader
  sleep 0.05
done

touch "$work/stop"
wait

cat "$work"/reader-*.log >"$work/all.log" 2>/dev/null
count() { grep -c "$1" "$work/all.log" || true; }
ok=$(count '^ok$') wrong=$(count '^wrong') missing=$(count '^missing$') killed=$(count '^killed$') failed=$(count '^failed')
echo "stress: $readers readers, $rounds rounds: $ok reads with the right record, $wrong with another game's," \
  "$missing without a record, $failed failed (hung runs among them), $killed killed"
status=0
if [ "$wrong" -ne 0 ] || [ "$missing" -ne 0 ] || [ "$failed" -ne 0 ]; then
  grep -v '^ok$\|^killed$' "$work/all.log" | sort | uniq -c | head -20
  [ ! -s "$work/hung.log" ] || cat "$work/hung.log"
  status=1
fi
[ "$ok" -gt 0 ] || { echo "FAIL: no reader read anything"; status=1; }

# Every process has ended: nobody may hold the lock now.
lock=$XDG_DATA_HOME/cartscope/nds-rom.lock
if [ -e "$lock" ] && ! flock -n -x "$lock" true; then
  echo "FAIL: the database lock is still held after every process ended"
  status=1
fi
if ! timeout 10 "$cli" info --db "$db" "$rom" >/dev/null; then
  echo "FAIL: a reader after the run did not get through"
  status=1
fi
[ $status -eq 0 ] && echo "stress: passed"
exit $status
