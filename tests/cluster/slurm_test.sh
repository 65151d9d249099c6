#!/usr/bin/env bash
# A suite on a real Slurm cluster of one node, this machine: munged and the
# Slurm daemons are started as root with everything (key, state, spool, logs)
# under a temporary folder; the job array of examples/slurm/stats.sbatch runs
# over 40 dyn files in 4 array tasks for stats, peak and fatigue, as CSV and
# as JSON Lines; `pektor merge` joins the shards, and the result must equal
# one unsharded run byte for byte. The two-step pipeline (merge as a
# dependent job) runs once. Every daemon started here is stopped by its
# process id, on failure too.
#   tests/cluster/slurm_test.sh PEKTOR DYNGEN EXAMPLES_DIR
# Exit code 77 (skipped) when the Slurm packages are missing
# (scripts/setup --cluster installs them) or when not run as root.
set -euo pipefail

pektor=$(realpath "$1")
dyngen=$(realpath "$2")
examples=$(realpath "$3")

for tool in munged slurmctld slurmd sbatch scontrol sinfo; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is not installed (scripts/setup --cluster installs Slurm)"
        exit 77
    fi
done
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: the cluster test starts munged and the Slurm daemons as root"
    exit 77
fi

start=$(date +%s)
work=$(mktemp -d /tmp/pektor-cluster.XXXXXX)
chmod 700 "$work"
pids=()
cleanup() {
    local code=$?
    set +e
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    if [ "$code" -ne 0 ]; then
        for log in "$work"/*.log; do
            [ -f "$log" ] || continue
            echo "---- tail of $(basename "$log")"
            tail -n 20 "$log"
        done
    fi
    rm -rf "$work"
    echo "cluster test: $(($(date +%s) - start)) s"
    exit "$code"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# ---- munge: a fresh key and its own socket
mkdir -p "$work/munge"
chmod 700 "$work/munge"
dd if=/dev/urandom of="$work/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$work/munge/munge.key"
socket="$work/munge/munge.socket"
munged -F --force --key-file="$work/munge/munge.key" --socket="$socket" \
    --pid-file="$work/munge/munged.pid" --seed-file="$work/munge/munged.seed" \
    --log-file="$work/munged.log" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -S "$socket" ] && break; sleep 0.1; done
[ -S "$socket" ] || fail "munged did not start"

# ---- slurm.conf with the node as slurmd sees it (real CPUs and memory)
host=$(hostname -s)
node=$(slurmd -C | head -n 1 | sed "s/^NodeName=[^ ]*/NodeName=$host/")
port=$((20000 + RANDOM % 20000))
mkdir -p "$work/state" "$work/spool"
conf="$work/slurm.conf"
cat > "$conf" <<EOF
ClusterName=pektor
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerType=sched/backfill
SwitchType=switch/none
MpiDefault=none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
ReturnToService=2
MinJobAge=600
MailProg=/bin/true
$node NodeAddr=127.0.0.1 State=UNKNOWN
PartitionName=main Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF="$conf"
echo "node: $node"

slurmctld -D -i -f "$conf" &
pids+=($!)
slurmd -D -f "$conf" -N "$host" &
pids+=($!)
up=0
for _ in $(seq 100); do
    if sinfo -h -o '%T' 2>/dev/null | grep -qx idle; then up=1; break; fi
    sleep 0.2
done
[ "$up" -eq 1 ] || fail "the node did not come up: $(sinfo 2>&1 | tr '\n' ' ')"
sinfo

# ---- the suite: 40 dyn files of different lengths
run="$work/run"
mkdir -p "$run/runs"
cd "$run"
files=()
for i in $(seq 1 40); do
    name=$(printf 'runs/run%02d.dyn' "$i")
    "$dyngen" --dynres 6 --steps $((400 + 37 * (i % 9))) --seed "$i" -o "$name" >/dev/null
    files+=("$name")
done

export PEKTOR="$pektor"
# The array with the test's sizes: 4 tasks, one CPU each, little memory.
array_options=(--array=1-4 --cpus-per-task=1 --mem=200M)

cases=("stats csv" "stats json" "peak csv" "peak json" "fatigue csv" "fatigue json")
options_of() {
    case "$1" in
        stats) echo "-w 5:" ;;
        peak) echo "-c 1-4 -w 5: --sign abs --coincident 5,6" ;;
        fatigue) echo "-c 1,3 -w 5: -m 3,5" ;;
    esac
}

# Every array of the six cases at once, each with sbatch --wait.
waits=()
for c in "${cases[@]}"; do
    read -r command format <<< "$c"
    dir="$run/$command-$format"
    mkdir -p "$dir/logs"
    PEKTOR_COMMAND=$command PEKTOR_FORMAT=$format PEKTOR_OPTIONS=$(options_of "$command") \
        PEKTOR_SHARDS=$dir/shards sbatch --wait "${array_options[@]}" \
        --output="$dir/logs/%x_%A_%a.out" --error="$dir/logs/%x_%A_%a.err" \
        "$examples/stats.sbatch" "${files[@]}" > "$dir/sbatch.out" 2>&1 &
    waits+=($!)
done
status=0
for w in "${waits[@]}"; do wait "$w" || status=1; done
for c in "${cases[@]}"; do
    read -r command format <<< "$c"
    dir="$run/$command-$format"
    echo "---- $command $format: $(cat "$dir/sbatch.out")"
    cat "$dir"/logs/*.out
    cat "$dir"/logs/*.err
done
[ "$status" -eq 0 ] || fail "an array job failed"

# Merged shards against one unsharded run.
for c in "${cases[@]}"; do
    read -r command format <<< "$c"
    dir="$run/$command-$format"
    ext=$format
    [ "$format" = json ] && ext=jsonl
    ls "$dir/shards/${command}"_*."$ext" > /dev/null
    read -r -a options <<< "$(options_of "$command")"
    "$pektor" "$command" "${options[@]}" -q -f "$format" -o "$dir/whole.$ext" "${files[@]}"
    "$pektor" merge -o "$dir/merged.$ext" "$dir/shards/${command}"_*."$ext"
    cmp "$dir/whole.$ext" "$dir/merged.$ext" ||
        fail "$command $format: the merge differs from the unsharded run"
    rows=$(wc -l < "$dir/whole.$ext")
    echo "$command $format: merge of 4 shards equals the unsharded run ($rows lines)"
done

# A lost task: the merge refuses, task 3 alone runs again, the merge is whole.
dir="$run/stats-csv"
rm "$dir/shards/stats_3.csv"
if "$pektor" merge -o "$dir/lost.csv" "$dir/shards/stats_"*.csv 2> "$dir/lost.err"; then
    fail "the merge without shard 3 did not refuse"
fi
cat "$dir/lost.err"
grep -q "shard 3/4 is missing" "$dir/lost.err" || fail "the missing shard was not named"
PEKTOR_SHARD_COUNT=4 PEKTOR_OPTIONS="-w 5:" PEKTOR_SHARDS=$dir/shards \
    sbatch --wait --array=3 --cpus-per-task=1 --mem=200M \
    --output="$dir/logs/%x_%A_%a.out" --error="$dir/logs/%x_%A_%a.err" \
    "$examples/stats.sbatch" "${files[@]}"
"$pektor" merge -o "$dir/again.csv" "$dir/shards/stats_"*.csv
cmp "$dir/whole.csv" "$dir/again.csv" || fail "the merge after the rerun differs"
echo "stats csv: shard 3 run again alone, merged again: equal"

# The two-step pipeline: the array, then the merge as a dependent job.
dir="$run/pipeline"
mkdir -p "$dir"
ids=$(PEKTOR_SBATCH="${array_options[*]}" PEKTOR_OPTIONS="-w 5:" PEKTOR_SHARDS=$dir/shards \
    PEKTOR_MERGED=$dir/stats.csv "$examples/pipeline.sh" "${files[@]}")
echo "pipeline: $ids"
merge_job=${ids##* }
state=""
for _ in $(seq 600); do
    state=$(scontrol show job "$merge_job" 2>/dev/null | sed -n 's/.*JobState=\([A-Z_]*\).*/\1/p')
    case "$state" in
        COMPLETED | FAILED | CANCELLED | TIMEOUT | OUT_OF_MEMORY | NODE_FAIL) break ;;
    esac
    sleep 0.2
done
cat logs/pektor-*.out logs/pektor-*.err
[ "$state" = COMPLETED ] || fail "pipeline: the merge job ended $state"
cmp "$run/stats-csv/merged.csv" "$dir/stats.csv" ||
    fail "pipeline: its merge differs from the array's"
echo "pipeline: the dependent merge job wrote the same stats.csv"
echo "PASSED"
