#!/usr/bin/env bash
# Times lre-sweep against lre-perf, side by side in one run: whole processes,
# wall time from start to exit (database load and chamber open included).
#
#   bench/time_sweep.sh [BUILD_DIR [DATABASE]]
#
# BUILD_DIR defaults to build/release and DATABASE to data/thermo.inp (run it
# from the repository root after `cmake --build --preset release`). REPEATS
# (default 5) sets the runs of each sweep and RUNS (default 50) the single
# lre-perf runs, and JOBS (default 2) the threads of the parallel sweeps;
# medians are printed. Each sweep runs with --jobs 1 and --jobs JOBS. Pairs,
# alternated so that the load of a shared machine falls on both sides alike:
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
jobs=${JOBS:-2}
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

grid1=() gridn=() yf1=() yfn=() runs_s=()
for ((r = 0; r < repeats; ++r)); do
    for j in 1 "$jobs"; do
        g=$(wall_s "$sweep" "$database" --jobs "$j" --vary k=2:3.98:0.02 --vary pc-mpa=5:14.9:0.1)
        y=$(wall_s "$sweep" "$database" --jobs "$j" --engine yf100k --vary "throttle-pct=$throttles" \
            --vary "epsilon=$epsilons")
        if [[ $j == 1 ]]; then grid1+=("$g") yf1+=("$y"); else gridn+=("$g") yfn+=("$y"); fi
    done
    for ((i = 0; i < runs / repeats; ++i)); do
        runs_s+=("$(wall_s "$single" "$database")")
    done
done

m() { printf '%s\n' "$@" | median; }
awk -v g1="$(m "${grid1[@]}")" -v gn="$(m "${gridn[@]}")" -v y1="$(m "${yf1[@]}")" -v yn="$(m "${yfn[@]}")" \
    -v r="$(m "${runs_s[@]}")" -v j="$jobs" 'BEGIN {
    printf "%-44s %12s %12s\n", "", "--jobs 1", "--jobs " j
    printf "%-44s %10.3f s %10.3f s\n", "10,000 nominal tq12b cases (lre-sweep)", g1, gn
    printf "%-44s %9.1f us %9.1f us\n", "a case of it", g1 / 10000 * 1e6, gn / 10000 * 1e6
    printf "%-44s %9.3f ms\n", "one nominal tq12b run (lre-perf)", r * 1e3
    printf "%-44s %10.0f x %10.0f x\n", "a case in the sweep is cheaper by", r / (g1 / 10000), r / (gn / 10000)
    printf "%-44s %10.3f s %10.3f s\n", "1,000 throttled yf100k cases (lre-sweep)", y1, yn
}'
