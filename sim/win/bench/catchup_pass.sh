#!/usr/bin/env bash
# What a catch-up pass costs, natively (the release build's qev-sim) and with
# the real qev.dll under Wine (qev-sim.exe), on the same scenario: an Inbox of
# 100,000 items, all read, then 1,000 new unread ones (half stamped as spam)
# whose item-add events Outlook drops but for the first 16. The pass over the
# Inbox with nothing new runs after start-up; the pass over the 1,000 new
# ones once the burst is quiet. The runners time every timer the add-in runs
# (QEV_SIM_TIMER_STATS): a timer's run is the user-interface thread held,
# so the longest of them is the longest hold. Under Wine the add-in's clock
# runs in real time (QEV_SIM_REAL_CLOCK), so that its 25 ms limit on a piece
# of the pass works as on a user's machine; the native runner's clock stays
# the scenario's (its items cost microseconds: the 50-item limit decides).
# Under Wine an item's time includes the simulated Outlook's bookkeeping
# (each move waits for the debug channel before it is written). Trace off.
# Wall times of the machine at hand: its other load shows in them.
#
# Usage: catchup_pass.sh NATIVE_RELEASE_BUILD_DIR WINDOWS_BUILD_DIR [OLD] [NEW]
set -euo pipefail
native="$1"
windows="$2"
old="${3:-99000}"
new="${4:-1000}"
work="$windows/bench-catchup"
mkdir -p "$work"
file="$work/pass.scn"
{
    echo 'store a "Mailbox - Ann"'
    echo 'engine settings f3=1'
    echo 'engine options move=1 read=1'
    echo 'catchup user on'
    echo "burst a \"Inbox\" $old read events=0"
    echo 'connect'
    echo 'startup'
    echo 'idle'
    echo 'wait 60000'
    echo "burst a \"Inbox\" $new spam=$((new / 2)) events=16"
    echo 'idle'
    echo "expect folder a \"Deleted Items/Spam\" items=$((new / 2)) unread=0"
    echo 'quit'
    echo 'expect released'
} >"$file"

report() {  # report NAME STATS_FILE
    local name="$1" stats="$2"
    local nothing new_pass
    nothing=$(grep -m1 '^idle:' "$stats")
    new_pass=$(grep '^idle:' "$stats" | sed -n 2p)
    field() { sed -E "s/.*$1=([0-9.]+).*/\\1/" <<<"$2"; }
    echo "catch-up pass, $name: Inbox of $((old + new)) items, nothing new: $(field total_ms "$nothing") ms in $(field timers "$nothing") timers"
    echo "catch-up pass, $name: Inbox of $((old + new)) items, $new new: $(field total_ms "$new_pass") ms in $(field timers "$new_pass") timers"
    echo "catch-up pass, $name: longest hold of the user-interface thread: $(field longest_ms "$new_pass") ms (nothing new: $(field longest_ms "$nothing") ms)"
    # Rows for the summary table at the end of ./qev bench.
    printf 'figure\tcatch-up pass %s, %s new of %s\t%s\tms\tnothing new\t%s\n' "$name" "$new" "$((old + new))" \
        "$(field total_ms "$new_pass")" "$(field total_ms "$nothing")"
    printf 'figure\tcatch-up pass %s, longest hold of the UI thread\t%s\tms\tthe 50 ms aim\t50\n' "$name" \
        "$(field longest_ms "$new_pass")"
}

QEV_SIM_TIMER_STATS=1 "$native/sim/qev-sim" "$file" >"$file.native.out" 2>"$file.native.err" ||
    { echo "the native session failed: $(grep -m1 -E '^(FAIL|error)' "$file.native.out")" >&2; exit 1; }
report native "$file.native.err"
QEV_SIM_TIMER_STATS=1 QEV_SIM_REAL_CLOCK=1 "$windows/wine-run" "$windows/sim/win/qev-sim.exe" "$file" >"$file.wine.out" 2>"$file.wine.err" </dev/null ||
    { echo "the Wine session failed: $(grep -m1 -E '^(FAIL|error)' "$file.wine.out")" >&2; exit 1; }
report "under Wine" "$file.wine.err"
