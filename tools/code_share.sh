#!/usr/bin/env bash
# Prints how the code divides: tests against all code, the harness against the
# add-in. Counts non-blank, non-comment lines of C++, CMake, shell and scenario
# files; build folders and hidden folders are not code of the tree.
set -euo pipefail

cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}"

find . \( -name build -o -name 'build-*' -o -name '.*' ! -name . \) -prune -o -type f -print |
    sed 's|^\./||' |
    awk '
        # Which files are code, and how their comments are written.
        function kind(p,   base, line) {
            if (p ~ /\.(cpp|cc|c|h|hpp|inl)$/) return "c"
            base = p; sub(/.*\//, "", base)
            if (base == "CMakeLists.txt" || p ~ /\.cmake$/ || p ~ /\.scn$/ || p ~ /\.sh$/) return "hash"
            if (base !~ /\./ || p ~ /\.in$/) {
                line = ""; getline line < p; close(p)
                if (line ~ /^#!.*(ba)?sh/) return "hash"
            }
            return ""
        }
        # Group of a path; a scenario file is a test wherever it lives.
        function group(p) {
            if (p ~ /\.scn$/ || p ~ /^(tests|fuzz|bench)\//) return "tests"
            if (p ~ /^(host\/fake|sim|standins)\//) return "harness"
            if (p ~ /^(addin|engine|mail|filing|commands|cmdbar|ribbon|text|host)\//) return "addin"
            return "other"
        }
        function count(p, k,   n, line, t, inblock) {
            n = 0; inblock = 0
            while ((getline line < p) > 0) {
                t = line; gsub(/^[ \t\r]+|[ \t\r]+$/, "", t)
                if (k == "hash") {
                    if (t != "" && t !~ /^#/) n++
                    continue
                }
                if (inblock) {
                    if (index(t, "*/") == 0) continue
                    t = substr(t, index(t, "*/") + 2); gsub(/^[ \t]+/, "", t); inblock = 0
                }
                while (substr(t, 1, 2) == "/*") {
                    if (index(substr(t, 3), "*/") == 0) { inblock = 1; t = ""; break }
                    t = substr(t, index(substr(t, 3), "*/") + 4); gsub(/^[ \t]+/, "", t)
                }
                if (t != "" && substr(t, 1, 2) != "//") n++
            }
            close(p)
            return n
        }
        {
            k = kind($0)
            if (k == "") next
            lines[group($0)] += count($0, k)
        }
        END {
            all = lines["tests"] + lines["harness"] + lines["addin"] + lines["other"]
            printf "%-9s %7d  tests/, fuzz/, bench/, *.scn\n", "tests", lines["tests"]
            printf "%-9s %7d  host/fake/, sim/, standins/\n", "harness", lines["harness"]
            printf "%-9s %7d  addin/, engine/, mail/, filing/, commands/, cmdbar/, ribbon/, text/, host/ but fake/\n", "add-in", lines["addin"]
            printf "%-9s %7d  tools/, resources/, cmake/, the top level\n", "other", lines["other"]
            printf "%-9s %7d\n", "all", all
            printf "tests / all code:   %.2f (aim: at most 0.30)\n", all ? lines["tests"] / all : 0
            printf "harness / add-in:   %.2f\n", lines["addin"] ? lines["harness"] / lines["addin"] : 0
        }'
