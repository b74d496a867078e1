#!/usr/bin/env bash
# Times lre-sweep against lre-perf, side by side in one run: whole processes,
# wall time from start to exit (database load and chamber open included).
#
#   bench/time_sweep.sh [BUILD_DIR [DATABASE]]
#
# BUILD_DIR defaults to build/release and DATABASE to data/thermo.inp (run it
# from the repository root after `cmake --build --preset release`). REPEATS
# (default 5) sets the runs of each sweep and RUNS (default 50) the single
# lre-perf runs; medians are printed. Pairs, alternated so that the load of a
# shared machine falls on both sides alike:
#   - 10,000 nominal tq12b cases (k 2.00 to 3.98 by 0.02 x pc-mpa 5.0 to 14.9
#     by 0.1) in one lre-sweep, against one lre-perf run of a nominal case;
#     the cost of a case in the sweep is the sweep's time / 10,000;
#   - 1,000 throttled yf100k cases (throttle 65 to 105 % in 25 steps x
#     epsilon 20 to 36 in 40 steps).
set -euo pipefail

build=${1:-build/release}
database=${2:-data/thermo.inp}
repeats=${REPEATS:-5}
runs=${RUNS:-50}
sweep=$build/lre-sweep
single=$build/lre-perf
for program in "$sweep" "$single"; do
    if [[ ! -x $program ]]; then
        echo "time_sweep.sh: no program at $program (build it first)" >&2
        exit 1
    fi
done

throttles=$(awk 'BEGIN { for (i = 0; i < 25; ++i) printf "%s%.10g", (i ? "," : ""), 65 + 40 * i / 24 }')
epsilons=$(awk 'BEGIN { for (i = 0; i < 40; ++i) printf "%s%.10g", (i ? "," : ""), 20 + 16 * i / 39 }')

# Wall seconds of one command, output discarded.
wall_s() {
    local start=$EPOCHREALTIME
    "$@" > /dev/null
    awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.6f\n", b - a }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

grid=() yf=() runs_s=()
for ((r = 0; r < repeats; ++r)); do
    grid+=("$(wall_s "$sweep" "$database" --vary k=2:3.98:0.02 --vary pc-mpa=5:14.9:0.1)")
    yf+=("$(wall_s "$sweep" "$database" --engine yf100k --vary "throttle-pct=$throttles" --vary "epsilon=$epsilons")")
    for ((i = 0; i < runs / repeats; ++i)); do
        runs_s+=("$(wall_s "$single" "$database")")
    done
done

grid_s=$(printf '%s\n' "${grid[@]}" | median)
yf_s=$(printf '%s\n' "${yf[@]}" | median)
run_s=$(printf '%s\n' "${runs_s[@]}" | median)
awk -v g="$grid_s" -v y="$yf_s" -v r="$run_s" 'BEGIN {
    printf "10,000 nominal tq12b cases (lre-sweep)     %8.3f s   (%.1f us a case)\n", g, g / 10000 * 1e6
    printf "one nominal tq12b run (lre-perf)           %8.3f ms\n", r * 1e3
    printf "a case in the sweep is cheaper by          %8.0f x\n", r / (g / 10000)
    printf "1,000 throttled yf100k cases (lre-sweep)   %8.3f s\n", y
}'
