#!/bin/bash
# The same split on one large machine with GNU parallel: 8 shards, each
# with one thread, then the merge.
#   examples/slurm/parallel.sh runs/*.dyn
set -euo pipefail
n=${PEKTOR_SHARDS_N:-8}
mkdir -p shards
parallel --halt never pektor stats -q -j 1 -w 100: --shard {}/"$n" --shard-by size \
    -f csv -o shards/stats_{}.csv "$@" ::: $(seq "$n") || true
pektor merge -o stats.csv shards/stats_*.csv
