#!/usr/bin/env bash
# The wall time the real qev.dll under Wine takes to file a burst of spam:
# COUNT messages stamped by the engine arrive one after the other in one
# Inbox, and the add-in marks each read and moves it to the spam folder. The
# same session without the burst is timed too, and the difference is the
# burst's own time (Wine's start, registration and the add-in's start-up are
# the same in both). The trace is off, as on a user's machine; the runner
# still checks every move and the folders at the end. The time includes the
# runner's own bookkeeping: before it writes an engine call or a move to the
# transcript it waits until the debug channel has delivered what came before,
# so it is an upper bound of the add-in's own time. The machine's other load
# shows in the result: compare runs made side by side.
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

best() {  # best FILE: the shortest of RUNS runs, in milliseconds
    local file="$1" shortest="" start end ms r
    for ((r = 0; r < runs; r++)); do
        start=$(date +%s%N)
        if ! "$build/wine-run" "$build/sim/win/qev-sim.exe" "$file" >"$file.out" 2>&1 </dev/null; then
            echo "the session failed: $(grep -m1 -E '^(FAIL|error)' "$file.out" || tail -1 "$file.out")" >&2
            return 1
        fi
        end=$(date +%s%N)
        ms=$(((end - start) / 1000000))
        if [[ -z "$shortest" || "$ms" -lt "$shortest" ]]; then shortest="$ms"; fi
    done
    echo "$shortest"
}

session 0 "$work/empty.scn"
session "$count" "$work/burst.scn"
empty=$(best "$work/empty.scn")
burst=$(best "$work/burst.scn")
moved=$(grep -c '^\* MOVE' "$work/burst.scn.out" || true)
own=$((burst - empty))
echo "spam burst under Wine: $count messages into one Inbox, $moved filed"
echo "  session with the burst  ${burst} ms (best of $runs)"
echo "  session without it      ${empty} ms"
echo "  the burst               ${own} ms, $(awk -v t="$own" -v n="$count" 'BEGIN { printf "%.1f", (t * 1000) / n }') us a message"
