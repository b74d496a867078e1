#!/usr/bin/env bash
# Rewrites the expected outputs listed in cases.list (text reports and JSON
# documents) with the output of the given program on the repository's
# database. Run it from the repository root after a change that is meant to
# move the printed numbers, and review the difference before committing it.
#   tests/golden/regenerate.sh build/release/lre-perf
set -euo pipefail

program=${1:?usage: tests/golden/regenerate.sh PATH_TO_LRE_PERF}
golden_dir=$(dirname "$0")
database=data/thermo.inp

while IFS= read -r line; do
    case $line in '' | '#'*) continue ;; esac
    name=${line%%:*}
    read -r -a options <<<"${line#*:}"
    mkdir -p "$(dirname "$golden_dir/$name")"
    # A case that fails must not leave a half-written expected file behind.
    if ! "$program" "$database" ${options[@]+"${options[@]}"} >"$golden_dir/$name.new"; then
        rm -f "$golden_dir/$name.new"
        echo "regenerate.sh: the program failed on: $line" >&2
        exit 1
    fi
    mv "$golden_dir/$name.new" "$golden_dir/$name"
done <"$golden_dir/cases.list"
