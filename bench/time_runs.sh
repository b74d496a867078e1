#!/usr/bin/env bash
# Times whole runs of the built program: the wall time of the process, from
# start to exit, which is what a user (or the user interface that runs it
# once per case) waits for. Each case is the nominal case of a module or a
# throttled case of a module that can be throttled; the median of many runs
# is printed, with the fastest and slowest, in milliseconds. For reference it
# also times /bin/true, the cost of starting any process on the machine.
#
#   bench/time_runs.sh [PROGRAM [DATABASE...]]
#
# PROGRAM defaults to build/release/lre-perf, and the databases to the text
# one and its compiled form, data/thermo.inp and build/release/thermo.lib,
# timed one after the other in the same run (run it from the repository
# root after `cmake --build --preset release`).
# RUNS (default 50) and WARMUP (default 5) set the number of timed and
# untimed runs of each case. hyperfine is used when it is installed
# (`apt-get install hyperfine`; it runs the program without a shell in
# between) unless USE_HYPERFINE=0; otherwise a plain shell loop times each
# run (with bash's clock, or `date +%s%N`), and its figures also hold the
# shell's fork and exec.
set -euo pipefail

program=${1:-build/release/lre-perf}
if (($# > 1)); then
    databases=("${@:2}")
else
    databases=(data/thermo.inp build/release/thermo.lib)
fi
runs=${RUNS:-50}
warmup=${WARMUP:-5}

if [[ ! -x $program ]]; then
    echo "time_runs.sh: no program at $program (build it first)" >&2
    exit 1
fi

# label|options
cases=(
    "tq12b nominal|"
    "tq15b nominal|--engine tq15b"
    "yf100k nominal|--engine yf100k"
    "tq12b throttled 75 %|--throttle-pct 75"
    "yf100k throttled 80 %|--engine yf100k --throttle-pct 80"
)

# Prints "median min max" in milliseconds for one command.
time_with_hyperfine() {
    local csv
    local csv log
    csv=$(mktemp)
    log=$(mktemp)
    # Its warnings about outliers go to the log; it is shown if hyperfine fails.
    if ! hyperfine -N --style none -w "$warmup" -r "$runs" --export-csv "$csv" -- "$*" >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$csv" "$log"
        return 1
    fi
    # Columns: command,mean,stddev,median,user,system,min,max (seconds).
    awk -F, 'NR == 2 { printf "%.2f %.2f %.2f\n", $4 * 1000, $7 * 1000, $8 * 1000 }' "$csv"
    rm -f "$csv" "$log"
}

# Bash's own clock ($EPOCHREALTIME, microseconds) costs nothing to read;
# without it, `date +%s%N` runs as a process of its own at each end of the
# interval, and its start and exit are then in the figures too.
time_with_loop() {
    local i start end
    for ((i = 0; i < warmup; ++i)); do
        "$@" >/dev/null
    done
    for ((i = 0; i < runs; ++i)); do
        if [[ -n ${EPOCHREALTIME:-} ]]; then
            start=${EPOCHREALTIME/[.,]/}
            "$@" >/dev/null
            end=${EPOCHREALTIME/[.,]/}
            echo $(((end - start) * 1000))
        else
            start=$(date +%s%N)
            "$@" >/dev/null
            end=$(date +%s%N)
            echo $((end - start))
        fi
    done | sort -n | awk '{ t[NR] = $1 } END {
        m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
        printf "%.2f %.2f %.2f\n", m / 1e6, t[1] / 1e6, t[NR] / 1e6 }'
}

if [[ ${USE_HYPERFINE:-1} != 0 ]] && command -v hyperfine >/dev/null 2>&1; then
    timer=time_with_hyperfine
    method="hyperfine -N, $warmup warm-up and $runs timed runs"
else
    timer=time_with_loop
    method="shell loop, $warmup warm-up and $runs timed runs"
fi

for database in "${databases[@]}"; do
    echo "Whole runs of $program on $database ($method)"
    printf '%-26s %10s %10s %10s\n' "case" "median ms" "min ms" "max ms"
    for entry in "${cases[@]}"; do
        label=${entry%%|*}
        read -r -a options <<<"${entry#*|}"
        command=("$program" "$database" ${options[@]+"${options[@]}"})
        # A run that fails is not a time worth printing.
        if ! "${command[@]}" >/dev/null; then
            echo "time_runs.sh: the program failed on: ${command[*]}" >&2
            exit 1
        fi
        read -r median low high < <($timer "${command[@]}")
        printf '%-26s %10s %10s %10s\n' "$label" "$median" "$low" "$high"
    done
done
read -r median low high < <($timer /bin/true)
printf '%-26s %10s %10s %10s\n' "(process start: /bin/true)" "$median" "$low" "$high"
