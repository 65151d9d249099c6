#!/usr/bin/env bash
# Runs every example of the documentation: the fenced blocks opened with
# ```sh example in README.md and docs/*.md. Each block runs with bash -e in a
# fresh directory that holds the files the examples name:
#   sample.dyn    the demo's sample file (6 DynRes, 2000 steps of 0.05 s)
#   second.dyn    another sea of the same kind, every value times 1.2
#   runs/a.dyn, runs/b.dyn   8 DynRes, 4000 steps (200 s), two seeds
#   static.dyn    a reference file for daf (8 DynRes, 4000 steps)
#   legs.txt      a combination input for the files of runs/
# with pektor and dyngen first on PATH. A block that fails (a command with
# a non-zero exit) fails the test, naming the file and
# the block's first line and showing the end of its standard error.
#   tests/docs_examples.sh SOURCE_DIR PEKTOR DYNGEN
set -euo pipefail
src=$(realpath "$1")
pektor=$(realpath "$2")
dyngen=$(realpath "$3")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/inputs/runs"
ln -s "$pektor" "$work/bin/pektor"
ln -s "$dyngen" "$work/bin/dyngen"
export PATH="$work/bin:$PATH"

(
    cd "$work/inputs"
    dyngen --dynres 6 --steps 2000 -o sample.dyn >/dev/null
    dyngen --dynres 6 --steps 2000 --seed 7 --scale 1.2 -o second.dyn >/dev/null
    dyngen --dynres 8 --steps 4000 -o runs/a.dyn >/dev/null
    dyngen --dynres 8 --steps 4000 --seed 3 -o runs/b.dyn >/dev/null
    dyngen --dynres 8 --steps 4000 --seed 5 --scale 0.8 -o static.dyn >/dev/null
    printf '1\n6\n1 2 3 4 5 6\n1 0 0\n0 1 0\n0 0 1\n1\nBase force Fx\n1 0 0 0 0 0\n' >legs.txt
)

# extract FILE: writes the example blocks of FILE as block-N.sh files into
# $work/blocks/<name>/ and prints their count.
extract() {
    local file=$1 dir=$2
    mkdir -p "$dir"
    awk -v dir="$dir" '
        /^```sh example[[:space:]]*$/ { n++; out = sprintf("%s/block-%03d.sh", dir, n); inside = 1; next }
        inside && /^```/ { inside = 0; close(out); next }
        inside { print > out }
        END { print n + 0 }
    ' "$file"
}

failed=0
total=0
for file in "$src/README.md" "$src"/docs/*.md; do
    name=$(basename "$file" .md)
    dir="$work/blocks/$name"
    count=$(extract "$file" "$dir")
    for ((i = 1; i <= count; i++)); do
        block=$(printf '%s/block-%03d.sh' "$dir" "$i")
        total=$((total + 1))
        run="$work/run-$name-$i"
        cp -r "$work/inputs" "$run"
        if (cd "$run" && bash -euo pipefail "$block" >"$run.out" 2>"$run.err"); then
            echo "ok: ${file#"$src"/} example $i: $(head -n 1 "$block")"
        else
            failed=$((failed + 1))
            echo "FAILED: ${file#"$src"/} example $i: $(head -n 1 "$block")"
            sed 's/^/    /' "$run.err" | tail -n 20
        fi
    done
done
echo "$((total - failed)) passed, $failed failed"
[ "$total" -gt 0 ] || { echo "no example found" >&2; exit 1; }
[ "$failed" -eq 0 ]
