#!/usr/bin/env bash
# The time the real qev.dll under Wine takes to file a burst of spam: COUNT
# messages stamped by the engine arrive one after the other in one Inbox, and
# the add-in marks each read and moves it to the spam folder. The trace is
# off, as on a user's machine; the runner still checks every move and the
# folders at the end.
#
# The simulated Outlook reports two times of the burst: from the first
# item-add event to the end of the last (the whole: its delivery, its own
# bookkeeping and the add-in), and the time spent inside the add-in's items
# sink (the add-in's own part). Its bookkeeping is small with the trace off:
# it waits for the debug channel only when the add-in wrote to it. The whole
# sessions with and without the burst are timed too; they are mostly Wine's
# start and vary with the machine's load: compare runs made side by side.
# Everything is printed, and as rows for bench/summary.py (medians of RUNS).
#
# Usage: mail_burst.sh WINDOWS_BUILD_DIR [COUNT] [RUNS]
set -euo pipefail
build="$1"
count="${2:-1000}"
runs="${3:-3}"
work="$build/bench-mail"
mkdir -p "$work"

session() {  # session N FILE
    local n="$1" file="$2" i
    {
        echo 'store a "Mailbox - Ann"'
        echo 'engine settings f3=1'
        echo 'engine options move=1 read=1'
        echo 'connect'
        echo 'startup'
        for ((i = 1; i <= n; i++)); do
            printf 'deliver a "Inbox" <<EOF\nSubject: Offer %d\nFrom: Deals <deals@spam.example>\nX-MarlowcrestWKS-Spam: Yes\n\nBuy now.\nEOF\n' "$i"
        done
        echo 'expect folder a "Inbox" items=0'
        if ((n > 0)); then echo "expect folder a \"Deleted Items/Spam\" items=$n unread=0"; fi
        echo 'beginshutdown'
        echo 'quit'
        echo 'disconnect'
        echo 'expect released'
    } >"$file"
}

# One run of FILE: its wall time in milliseconds, then the time the add-in's
# items sink spent in its calls and the time from the first call to the end
# of the last (the simulated Outlook reports both on standard error; the
# transcript is unchanged).
run() {  # run FILE
    local file="$1" start end
    start=$(date +%s%N)
    if ! QEV_SIM_SINK_TIME=1 "$build/wine-run" "$build/sim/win/qev-sim.exe" "$file" >"$file.out" 2>"$file.err" </dev/null; then
        echo "the session failed: $(grep -m1 -E '^(FAIL|error)' "$file.out" || tail -1 "$file.err")" >&2
        return 1
    fi
    end=$(date +%s%N)
    echo "$(((end - start) / 1000000)) $(tr -d '\r' <"$file.err" |
        sed -n 's/^items sink: [0-9]* calls, \([0-9.e+-]*\) ms inside, \([0-9.e+-]*\) ms from .*/\1 \2/p')"
}

median() {  # the median of the numbers on standard input
    sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

session 0 "$work/empty.scn"
session "$count" "$work/burst.scn"
: >"$work/times"
for ((r = 0; r < runs; r++)); do
    # Side by side, so that the machine's load falls on both alike.
    echo "empty $(run "$work/empty.scn")" >>"$work/times"
    echo "burst $(run "$work/burst.scn")" >>"$work/times"
done
empty=$(awk '$1 == "empty" { print $2 }' "$work/times" | median)
burst=$(awk '$1 == "burst" { print $2 }' "$work/times" | median)
inside=$(awk '$1 == "burst" { print $3 }' "$work/times" | median)
span=$(awk '$1 == "burst" { print $4 }' "$work/times" | median)
moved=$(grep -c '^\* MOVE' "$work/burst.scn.out" || true)
per() { awk -v t="$1" -v n="$count" 'BEGIN { printf "%.1f", (t * 1000) / n }'; }
echo "spam burst under Wine: $count messages into one Inbox, $moved filed (medians of $runs runs)"
echo "  session with the burst  ${burst} ms"
echo "  session without it      ${empty} ms (Wine's start and the add-in's: they vary most)"
echo "  the burst               ${span} ms, $(per "$span") us a message (first item added to the last filed)"
echo "  inside the items sink   ${inside} ms, $(per "$inside") us a message (the add-in's own part)"
printf 'figure\tWine: session with a burst of %d spam messages\t%s\tms\tthe session without it\t%s\n' "$count" "$burst" "$empty"
printf 'figure\tWine: one spam message filed, inside the items sink\t%s\tus\tthe whole of one message of the burst\t%s\n' \
    "$(per "$inside")" "$(per "$span")"
