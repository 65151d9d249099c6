#!/bin/bash
# The suite in two steps: the job array of stats.sbatch, then the merge as a
# job that runs only when every array task ended well (afterok). Run from the
# folder of the suite:
#   examples/slurm/pipeline.sh runs/*.dyn
# Options for the array (such as --array=1-20) go in PEKTOR_SBATCH. Prints
# the two job ids; `sacct -j ID` or `squeue` follow them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
read -r -a array_options <<< "${PEKTOR_SBATCH:-}"
mkdir -p logs
array=$(sbatch --parsable "${array_options[@]}" "$here/stats.sbatch" "$@")
array=${array%%;*}
merge=$(sbatch --parsable --dependency="afterok:$array" "$here/merge.sbatch")
merge=${merge%%;*}
echo "array job $array, merge job $merge"
