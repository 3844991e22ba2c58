#!/bin/bash
# Runs deploy/lumicade-array.sbatch on a one-node Slurm cluster started on
# this machine, then converts the same drawings once more in one local run
# and checks that both gave the same pictures, byte for byte, and the same
# report lines.
#
#   deploy/slurm-local.sh [CONVERTER [DRAWINGS]]
#
# CONVERTER defaults to build/tools/convert/lumicade-convert, DRAWINGS to
# ../shared/data. Run it as root: it installs Debian's slurm-wlm and munge
# when they are missing, and starts munged, slurmctld and slurmd in the
# foreground, without systemd or cgroups, from a throwaway configuration in
# a temporary folder. Everything it started is stopped, and the folder
# removed, when it ends. SLURMCTLD_PORT and SLURMD_PORT (6817 and 6818) pick
# other ports. Exit status 0 when the two runs agree, 1 when they do not.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
convert=$(realpath "${1:-build/tools/convert/lumicade-convert}")
drawings=$(realpath "${2:-../shared/data}")
ctld_port=${SLURMCTLD_PORT:-6817}
slurmd_port=${SLURMD_PORT:-6818}
sbatch_file=$here/lumicade-array.sbatch

say() { printf '== %s\n' "$*"; }
fail() { printf 'FAIL: %s\n' "$*" >&2; exit 1; }

[[ $(id -u) == 0 ]] || fail "run as root: munged and slurmd run as root here"
[[ -x $convert ]] || fail "no converter at $convert (cmake --build build --target lumicade-convert)"
[[ -d $drawings ]] || fail "no drawings folder at $drawings"

if ! command -v slurmctld >/dev/null || ! command -v slurmd >/dev/null || ! command -v munged >/dev/null; then
    say "installing slurm-wlm and munge"
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends slurm-wlm munge >/dev/null
fi

for port in "$ctld_port" "$slurmd_port"; do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
        fail "port $port is taken (another Slurm?); set SLURMCTLD_PORT and SLURMD_PORT"
    fi
done

tmp=$(mktemp -d /tmp/lumicade-slurm.XXXXXX)
pids=()
stop() {
    local pid
    # Tasks still running outlive slurmd, which does not end them when it
    # stops; cancel them while slurmctld can still do so.
    if [[ -n ${SLURM_CONF:-} ]] && squeue -h 2>/dev/null | grep -q .; then
        scancel --quiet --full --user=root 2>/dev/null || true
        for _ in $(seq 30); do squeue -h 2>/dev/null | grep -q . || break; sleep 0.5; done
    fi
    # The daemons in the reverse order of their start; munged last, as the
    # others talk to it while they shut down.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid=${pids[i]}
        kill "$pid" 2>/dev/null || continue
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$tmp"
}
trap stop EXIT
# Long commands run in the background while the script waits for them, as
# bash leaves a signal unhandled until a command in the foreground ends.
# They must be programs, not functions, for the trap to end them.
child=
waited() {
    "$@" &
    child=$!
    local status=0
    wait "$child" || status=$?
    child=
    return "$status"
}
trap '[[ -n $child ]] && kill "$child" 2>/dev/null; exit 130' INT TERM HUP

mkdir -p "$tmp"/{munge,state,spool,logs,pictures,local}
# munged wants its socket's folder open for all to pass through.
chmod 755 "$tmp/munge"

# munged insists on a key only its user can read.
head -c 1024 /dev/urandom >"$tmp/munge/munge.key"
chmod 400 "$tmp/munge/munge.key"
munge_socket=$tmp/munge/munge.socket
# Each daemon in a session of its own, so that an interrupt from the
# terminal reaches this script, which stops them in order, and not them.
setsid munged --foreground --force --key-file="$tmp/munge/munge.key" --socket="$munge_socket" \
    --pid-file="$tmp/munge/munged.pid" --log-file="$tmp/munge/munged.log" \
    --seed-file="$tmp/munge/munged.seed" >"$tmp/munge/munged.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [[ -S $munge_socket ]] && break; sleep 0.1; done
[[ -S $munge_socket ]] || { cat "$tmp/munge/munged.out" >&2 || true; fail "munged did not start"; }

cpus=$(nproc)
# slurmd drains a node that claims more memory than it finds, so leave some.
memory=$(($(awk '/^MemTotal:/ {print $2}' /proc/meminfo) * 9 / 10 / 1024))
cat >"$tmp/slurm.conf" <<EOF
ClusterName=lumicade-local
SlurmctldHost=localhost
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$munge_socket
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
# No cgroups: a container seldom lets a daemon manage them.
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
# Each array task's end state and exit code, one line each.
JobCompType=jobcomp/filetxt
JobCompLoc=$tmp/jobcomp.txt
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
SchedulerType=sched/backfill
MpiDefault=none
ReturnToService=2
NodeName=localhost NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=$memory State=UNKNOWN
PartitionName=local Nodes=localhost Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$tmp/slurm.conf

say "starting slurmctld and slurmd ($cpus CPUs, $memory MB) with $SLURM_CONF"
setsid slurmctld -D -i -f "$SLURM_CONF" >"$tmp/slurmctld.out" 2>&1 &
pids+=($!)
setsid slurmd -D -N localhost -f "$SLURM_CONF" >"$tmp/slurmd.out" 2>&1 &
pids+=($!)

state=
for _ in $(seq 60); do
    state=$(sinfo -h -n localhost -o %T 2>/dev/null || true)
    [[ $state == idle ]] && break
    sleep 1
done
if [[ $state != idle ]]; then
    tail -n 20 "$tmp/slurmctld.log" "$tmp/slurmd.log" "$tmp"/*.out >&2 || true
    fail "the node did not become idle (state: ${state:-none})"
fi
sinfo

# The documented array, with what one node of this size can give each task
# in place of its eight cores and 8 GB: one core, and its share of memory.
task_memory=$((memory / cpus))
((task_memory > 8192)) && task_memory=8192
submit=(env LUMICADE_DRAWINGS="$drawings" LUMICADE_PICTURES="$tmp/pictures" LUMICADE_CONVERT="$convert"
    sbatch --wait --cpus-per-task=1 --mem="${task_memory}M" --output="$tmp/logs/lumicade-%A_%a.out")
say "sbatch $sbatch_file over $drawings"
started=$(date +%s)
sbatch_status=0
waited "${submit[@]}" "$sbatch_file" || sbatch_status=$?
say "the array ended after $(($(date +%s) - started)) s; sbatch --wait exited $sbatch_status"

# sbatch --wait exits with the highest exit code of the tasks; the
# completion log says which task ended how. A task whose part holds a
# failed drawing exits 1, as the converter does.
tasks=0 worst=0 bad_tasks=0
for _ in $(seq 20); do [[ -s $tmp/jobcomp.txt ]] && break; sleep 0.5; done
while read -r line; do
    [[ $line =~ JobState=([A-Z_]+) ]] || continue
    job_state=${BASH_REMATCH[1]}
    [[ $line =~ ExitCode=([0-9]+) ]] && code=${BASH_REMATCH[1]} || code='?'
    tasks=$((tasks + 1))
    case $job_state:$code in
        COMPLETED:0) ;;
        FAILED:1) worst=1 ;;
        *) bad_tasks=$((bad_tasks + 1)); echo "task ended $job_state, exit code $code: $line" ;;
    esac
done <"$tmp/jobcomp.txt"
echo "$tasks tasks ended; $bad_tasks ended otherwise than with the converter's status 0 or 1"

say "one local run over $drawings"
local_status=0
waited env QT_QPA_PLATFORM=offscreen "$convert" --recursive --jobs "$cpus" --skip-up-to-date \
    --report "$tmp/local.jsonl" --output-dir "$tmp/local" "$drawings" >"$tmp/local.out" 2>&1 || local_status=$?
tail -n 1 "$tmp/local.out"

say "comparing"
problems=()
((tasks == 16)) || problems+=("$tasks of 16 array tasks ended")
((bad_tasks == 0)) || problems+=("$bad_tasks array tasks did not end with the converter's status")
((worst == local_status)) ||
    problems+=("the tasks' worst exit status is $worst, the local run's $local_status")

# Pictures: the same names, the same bytes. The shards' reports lie in the
# pictures' folder; they are compared below.
(cd "$tmp/pictures" && find . -type f ! -path './reports/*' | sort) >"$tmp/pictures.list"
(cd "$tmp/local" && find . -type f | sort) >"$tmp/local.list"
if ! diff "$tmp/pictures.list" "$tmp/local.list" >"$tmp/list.diff"; then
    problems+=("the two runs wrote different files: $(grep -c '^[<>]' "$tmp/list.diff") differ")
    head -n 20 "$tmp/list.diff"
fi
pictures=0 same=0
while read -r name; do
    pictures=$((pictures + 1))
    if [[ -f $tmp/local/$name ]] && cmp -s "$tmp/pictures/$name" "$tmp/local/$name"; then
        same=$((same + 1))
    else
        if ((pictures - same <= 10)); then echo "differs: $name"; fi
    fi
done <"$tmp/pictures.list"
((same == pictures)) || problems+=("$((pictures - same)) of $pictures pictures differ")

# Reports: the same lines in any order, once the time taken is left out
# and each output is named relative to its run's folder.
normalise() { jq -c --arg dir "$2/" 'del(.milliseconds) | .output |= ltrimstr($dir)' "$1" | sort; }
cat "$tmp"/pictures/reports/part-*.jsonl >"$tmp/shards.jsonl"
normalise "$tmp/shards.jsonl" "$tmp/pictures" >"$tmp/shards.sorted"
normalise "$tmp/local.jsonl" "$tmp/local" >"$tmp/local.sorted"
report_lines=$(wc -l <"$tmp/local.sorted")
if ! diff "$tmp/shards.sorted" "$tmp/local.sorted" >"$tmp/report.diff"; then
    problems+=("the reports differ in $(grep -c '^[<>]' "$tmp/report.diff") lines")
    head -n 10 "$tmp/report.diff" | cut -c 1-300
fi
((report_lines > 0)) || problems+=("the local report is empty")

echo "pictures: $same of $pictures the same; report lines: $report_lines local," \
    "$(wc -l <"$tmp/shards.sorted") from the parts ($(find "$tmp/pictures/reports" -type f | wc -l) files)"
counts=()
for ((k = 0; k < 16; k++)); do
    f=$tmp/pictures/reports/part-$k.jsonl
    counts+=("part-$k=$([[ -f $f ]] && wc -l <"$f" || echo missing)")
done
echo "drawings per task: ${counts[*]}"

# A task submitted again, as after running out of time, finds its part
# done and leaves every drawing of it as it is.
part5=$tmp/pictures/reports/part-5.jsonl
before=$(wc -l <"$part5")
say "sbatch --array=5 once more"
waited "${submit[@]}" --array=5 "$sbatch_file" || problems+=("task 5 submitted again exited $?")
skipped=$(jq -r .status "$part5" | grep -cx skipped || true)
echo "task 5 again: $skipped of $before drawings skipped as up to date"
((skipped == before && $(wc -l <"$part5") == before)) ||
    problems+=("task 5 submitted again skipped $skipped of $before drawings")

if ((${#problems[@]})); then
    for p in "${problems[@]}"; do echo "FAIL: $p"; done
    exit 1
fi
echo "PASS: the Slurm array and one local run agree"
