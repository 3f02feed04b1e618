#!/usr/bin/env python3
"""The one table at the end of ./qev bench: every figure the project tracks,
next to the baseline measured in the same run, and their ratio.

usage: summary.py [--json FILE] [TEXT_FILE ...]

Figures come from:
- rows any benchmark prints, one a line, tab separated:
      figure<TAB>NAME<TAB>VALUE<TAB>UNIT<TAB>BASELINE NAME<TAB>BASELINE VALUE
  (both values in UNIT; a later benchmark joins the table by printing rows);
- the native benchmarks' JSON (qev_bench --benchmark_out_format=json), taken
  as medians when the run was repeated, paired as PAIRS says;
- the table qev-startbench.exe prints: a row "LABEL  START-UP  SHUTDOWN"
  (milliseconds) gives start-up and shutdown under Wine, "trace off" next to
  the native figures, any other next to "trace off"; a line "LABEL  N ms"
  is a figure next to start-up with the trace off.
"""
import json
import re
import sys

# (figure, its benchmark, baseline, the baseline's benchmark, what is compared):
# "rate" compares bytes a second (ratio: the figure's share of the baseline's
# speed), "time" the time of one iteration (ratio: how many baselines it costs).
PAIRS = [
    *[(f"mail text (Mail2Str_), {n} MB", f"MailTextOfLargeMessage/{n}",
       f"memcpy {n} MB", f"MemcpyOfTheSameBytes/{n}", "rate") for n in (1, 10, 100)],
    *[(f"body (MailBody2Str_), {n} MB", f"MailBodyOfLargeMessage/{n}",
       f"memcpy {n} MB", f"MemcpyOfTheSameBytes/{n}", "rate") for n in (1, 10, 100)],
    *[(f"headers (MailHeaders2Str_), {n} MB", f"MailHeadersOfLargeMessage/{n}",
       f"memcpy {n} MB", f"MemcpyOfTheSameBytes/{n}", "rate") for n in (1, 10, 100)],
    *[(f"mail text from memory, {n} MB", f"MailTextFromMemory/{n}/iterations:30",
       f"memcpy from memory {n} MB", f"MemcpyFromMemory/{n}/iterations:30", "rate") for n in (1, 10, 100)],
    ("mail text, 8-bit headers + HTML body, 20 MB made", "MailTextOfEightBitMessage",
     "memcpy 20 MB", "MemcpyOfTheSameBytes/20", "rate"),
    ("spam-mark search, 1 MB of headers", "SpamTagInAMegabyteOfHeaders", "memchr 1 MB", "MemchrOfAMegabyte", "rate"),
    ("sender address (GetFrom_), 1 MB of headers", "SenderInAMegabyteOfHeaders", "memchr 1 MB",
     "MemchrOfAMegabyte", "rate"),
    ("spam item filed, 20 stores", "ItemAddIn20Stores/Spam/iterations:20480", "item not spam",
     "ItemAddIn20Stores/NotSpam/iterations:20480", "time"),
    ("disabled trace site", "DisabledSiteWithExpensiveArguments", "empty loop", "EmptyLoop", "time"),
    ("enabled trace line", "EnabledFormattedLine", "empty loop", "EmptyLoop", "time"),
    ("connect, trace on", "Lifecycle/ConnectTraceOn/manual_time", "trace off",
     "Lifecycle/ConnectTraceOff/manual_time", "time"),
    ("start-up, trace on", "Lifecycle/StartupTraceOn/manual_time", "trace off",
     "Lifecycle/StartupTraceOff/manual_time", "time"),
    ("shutdown, trace on", "Lifecycle/ShutdownTraceOn/manual_time", "trace off",
     "Lifecycle/ShutdownTraceOff/manual_time", "time"),
    ("connect with the command bar", "ConnectCommandBar", "with the ribbon", "ConnectRibbonBaseline", "time"),
    ("SetToolbarStatus_, command bar", "SetToolbarStatusCommandBar", "empty call", "EmptyCallBaseline", "time"),
    ("ribbon getEnabled", "RibbonGetEnabled", "empty call", "EmptyCallBaseline", "time"),
]

# Growth with size, (figure, benchmark family, the copy, its family, the
# names' suffix): the time of the larger message in times the smaller one's, next
# to memcpy's growth over the same sizes in the same run. Linear is 10 x. A
# size that outgrows a cache level (1 MB fits this machine's L2, 10 MB does
# not) costs a pass that reads it again more than that, so the figures of
# passes that start from memory, caches written over, say how the work grows.
GROWTH = [
    ("mail text", "MailTextOfLargeMessage", "memcpy", "MemcpyOfTheSameBytes", ""),
    ("body", "MailBodyOfLargeMessage", "memcpy", "MemcpyOfTheSameBytes", ""),
    ("headers", "MailHeadersOfLargeMessage", "memcpy", "MemcpyOfTheSameBytes", ""),
    ("mail text from memory", "MailTextFromMemory", "memcpy from memory", "MemcpyFromMemory", "/iterations:30"),
]
GROWTH_STEPS = [(1, 10), (10, 100)]

# Native figures the Wine ones stand next to: the start-up benchmark's start-up
# is the object's creation, the connection and the start-up work.
NATIVE = {
    "start-up": ["Lifecycle/ConnectTraceOff/manual_time", "Lifecycle/StartupTraceOff/manual_time"],
    "shutdown": ["Lifecycle/ShutdownTraceOff/manual_time"],
}

UNIT_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1000.0}


def benchmarks(path):
    """run name -> (milliseconds an iteration, bytes a second), medians where repeated."""
    with open(path) as f:
        runs = json.load(f)["benchmarks"]
    found = {}
    for run in runs:
        repeated = run.get("run_type") == "aggregate"
        if repeated and run.get("aggregate_name") != "median":
            continue
        name = run.get("run_name", run["name"])
        if not repeated and name in found:
            continue
        # A benchmark that times itself reports that time as its real time.
        manual = name.startswith("Lifecycle/")
        seconds = run["real_time"] if manual else run["cpu_time"]
        ms = seconds * UNIT_MS[run["time_unit"]]
        if repeated or name not in found:
            found[name] = (ms, run.get("bytes_per_second"))
    return found


def time_text(ms):
    if ms >= 1000:
        return f"{ms / 1000:.2f} s"
    if ms >= 1:
        return f"{ms:.2f} ms"
    if ms >= 1e-3:
        return f"{ms * 1e3:.2f} us"
    return f"{ms * 1e6:.2f} ns"


def native_rows(found):
    rows = []
    for figure, name, baseline, base_name, kind in PAIRS:
        if name not in found or base_name not in found:
            continue
        (ms, rate), (base_ms, base_rate) = found[name], found[base_name]
        if kind == "rate" and rate and base_rate:
            rows.append((figure, f"{rate / 1e9:.2f} GB/s", baseline, f"{base_rate / 1e9:.2f} GB/s",
                         f"{rate / base_rate:.2f} of its speed"))
        else:
            rows.append((figure, time_text(ms), baseline, time_text(base_ms), f"{ms / base_ms:.2f} x"))
    for figure, family, copy_label, copy, suffix in GROWTH:
        for small, large in GROWTH_STEPS:
            names = [f"{family}/{small}{suffix}", f"{family}/{large}{suffix}",
                     f"{copy}/{small}{suffix}", f"{copy}/{large}{suffix}"]
            if not all(name in found for name in names):
                continue
            grew, copy_grew = (found[names[1]][0] / found[names[0]][0], found[names[3]][0] / found[names[2]][0])
            rows.append((f"{figure}, {large} MB in times {small} MB", f"{grew:.1f} x",
                         f"{copy_label} {large} MB in times {small} MB", f"{copy_grew:.1f} x", f"{grew / copy_grew:.2f} x"))
    return rows


def text_rows(lines, found):
    rows = []
    wine_off = None
    for line in lines:
        line = line.rstrip("\n")
        if line.startswith("figure\t"):
            parts = line.split("\t")
            if len(parts) == 6:
                _, name, value, unit, baseline, base_value = parts
                v, b = float(value), float(base_value)
                rows.append((name, f"{v:g} {unit}", baseline, f"{b:g} {unit}", f"{v / b:.2f} x" if b else "-"))
            continue
        two = re.match(r"^  (\S.*?)\s+(\d+\.\d+)\s+(\d+\.\d+)$", line)
        if two:
            label, up, down = two.group(1), float(two.group(2)), float(two.group(3))
            if label == "trace off":
                wine_off = up
            for what, ms in (("start-up", up), ("shutdown", down)):
                if label == "trace off":
                    parts = [found[name][0] for name in NATIVE[what] if name in found]
                    if len(parts) == len(NATIVE[what]):
                        native = sum(parts)
                        rows.append((f"Wine {what}, {label}", time_text(ms), "natively", time_text(native),
                                     f"{ms / native:.0f} x"))
                    else:
                        rows.append((f"Wine {what}, {label}", time_text(ms), "-", "-", "-"))
            continue
        one = re.match(r"^  (\S.*?)\s+(\d+\.\d+) ms$", line)
        if one and wine_off:
            ms = float(one.group(2))
            rows.append((f"Wine: {one.group(1)}", time_text(ms), "Wine start-up, trace off", time_text(wine_off),
                         f"{ms / wine_off:.2f} x"))
    return rows


def main(argv):
    found = {}
    texts = []
    args = argv[1:]
    while args:
        if args[0] == "--json":
            found = benchmarks(args[1])
            args = args[2:]
        else:
            with open(args[0]) as f:
                texts.extend(f.readlines())
            args = args[1:]
    rows = native_rows(found) + text_rows(texts, found)
    head = ("figure", "value", "baseline", "baseline value", "ratio")
    widths = [max(len(r[i]) for r in rows + [head]) for i in range(5)]
    print("== summary: every figure next to its baseline of the same run (medians)")
    for r in [head] + rows:
        print("  " + "  ".join(c.ljust(w) if i in (0, 2) else c.rjust(w) for i, (c, w) in enumerate(zip(r, widths))))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
