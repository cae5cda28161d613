# shellcheck shell=bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers the benchmark scripts share: timing a run, checking what it delivered, ordering the tools
# and taking medians. Sourced, not run; same_tree writes its diff into "$logs".
# shellcheck disable=SC2034,SC2154  # run_* are what timed hands back; logs is the caller's

# Runs a command under /usr/bin/time -v, sets run_seconds, run_rss (KiB) and run_rc.
timed() {
    local out="$1"; shift
    local start end
    start=$EPOCHREALTIME
    set +e
    /usr/bin/time -v -o "$out.time" "$@" >"$out.stdout" 2>"$out.stderr"
    run_rc=$?
    set -e
    end=$EPOCHREALTIME
    run_seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    run_rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$out.time")
    run_rss=${run_rss:-0}
}

same_file() {  # same_file EXPECTED ACTUAL: "ok" or what is wrong
    if [ ! -f "$2" ]; then
        echo "missing"
    elif [ "$(stat -c %s "$2")" != "$(stat -c %s "$1")" ]; then
        echo "size $(stat -c %s "$2")"
    elif ! cmp -s "$1" "$2"; then
        echo "content"
    else
        echo ok
    fi
}

same_tree() {  # same_tree EXPECTED_DIR ACTUAL_DIR: "ok" or what is wrong
    if [ ! -d "$2" ]; then
        echo "missing"
    elif ! diff -r -q "$1" "$2" >"$logs/tree-diff" 2>&1; then
        echo "$(wc -l <"$logs/tree-diff")-differences"
    else
        echo ok
    fi
}

# The order of the tools turns by one each repetition, so none is always first after a pause
# or always last behind the others' page-cache traffic.
rotated() {  # rotated REP TOOL...
    local rep="$1"; shift
    local tools=("$@") n=$# i
    for ((i = 0; i < n; i++)); do echo "${tools[(i + rep) % n]}"; done
}

# The median of the numbers on standard input, one a line; nothing when there are none.
median_of() { sort -g | awk '{ v[NR] = $1 } END { if (NR) printf "%.3f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
