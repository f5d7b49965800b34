#!/usr/bin/env bash
# A one-node Slurm cluster on this machine, for the tests that run the Slurm
# recipes of docs/scale.md as written. Everything the cluster has (munge's key
# and socket, slurm.conf, state, spool, logs, pid files) lives in one folder;
# its daemons run as root with no systemd and no cgroups (where the machine
# has no cgroup file system, slurmd gets the least it needs in a mount
# namespace of its own), and listen on ports
# that were free, so a Slurm the machine may already run is left alone.
#
#   slurm_cluster.sh check                 can a cluster start here? If not, says why, status 77
#   slurm_cluster.sh up DIR [OWNER_PID]    starts munged, slurmctld and slurmd; returns once the node is idle
#   slurm_cluster.sh wait DIR [SECONDS]    returns once no job is pending or running (default at most 600 s);
#                                          lists the jobs, status 1 if one did not complete
#   slurm_cluster.sh down DIR              stops the cluster's jobs, their steps and its daemons
#
# DIR must not exist yet or be empty. Clients reach the cluster with
# SLURM_CONF=DIR/slurm.conf. With OWNER_PID, a watcher brings the cluster down
# and removes DIR once that process is gone, so that nothing outlives a test
# that was killed before it could call down.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")

fail() { echo "slurm_cluster: $*" >&2; exit 1; }

# Everything the cluster needs: Debian's slurm-wlm and munge, and root, as
# which slurmd must run to start jobs.
check() {
  [ "$(id -u)" -eq 0 ] || { echo "not root: slurmd must run as root to start jobs"; return 77; }
  local missing=() c
  for c in munged slurmctld slurmd sbatch squeue scontrol sinfo; do
    command -v "$c" >/dev/null 2>&1 || missing+=("$c")
  done
  ((${#missing[@]} == 0)) ||
    { echo "missing ${missing[*]}: install slurm-wlm and munge (tools/setup.sh does)"; return 77; }
}

# A TCP port nothing listens on, from /proc so that no tool is needed. Another
# program may take it before our daemon binds it; up then fails and says so.
free_port() {
  local port hex
  while :; do
    port=$((20000 + RANDOM % 40000))
    printf -v hex ':%04X ' "$port"
    grep -q "$hex" /proc/net/tcp /proc/net/tcp6 2>/dev/null || { echo "$port"; return; }
  done
}

# The ancestors of this process, itself included: down must not stop the
# test that calls it, whose environment carries the cluster's SLURM_CONF, nor
# the watcher that becomes it.
ancestors() {
  local pid=$$ stat
  while [ "$pid" -gt 1 ] 2>/dev/null; do
    echo "$pid"
    read -r stat 2>/dev/null < "/proc/$pid/stat" || return 0
    stat=${stat##*) }   # the name in parentheses may hold spaces
    read -r _ pid _ <<< "$stat"
  done
}

# The processes of the cluster in DIR: those started with its SLURM_CONF in
# their environment (the daemons, the watcher, the jobs, to which sbatch hands
# the submitter's environment) and those working in its log folder (slurmd and
# slurmctld move there, and so do the slurmstepd they fork, whose title
# overwrites part of the environment it was started with). Read from /proc with
# builtins only: a fork per process would make down slow on a busy machine.
cluster_pids() {
  local dir=$1 p pid env joined
  local -A skip=()
  for p in $(ancestors); do skip[$p]=1; done
  for p in /proc/[0-9]*; do
    pid=${p#/proc/}
    [ -z "${skip[$pid]:-}" ] || continue
    if [ "$p/cwd" -ef "$dir/log" ]; then
      echo "$pid"
      continue
    fi
    mapfile -d '' env 2>/dev/null < "$p/environ" || continue
    printf -v joined '\n%s' "${env[@]}"
    [[ $joined$'\n' == *$'\n'"SLURM_CONF=$dir/slurm.conf"$'\n'* ]] && echo "$pid"
  done
  return 0
}

alive() {  # a zombie has ended: its parent (init) reaps it when it will
  local state
  read -r state 2>/dev/null < "/proc/$1/stat" || return 1
  state=${state##*) }
  [ "${state:0:1}" != Z ]
}

# Waits up to $1 tenths of a second for the processes $2... to end; prints
# those still running.
outlive() {
  local tenths=$1 p left i
  shift
  for ((i = 0; i <= tenths; ++i)); do
    left=""
    for p in "$@"; do alive "$p" && left+=" $p"; done
    [ -n "$left" ] || return 0
    sleep 0.1
  done
  echo $left
}

down() {
  local dir=$1 pids left
  pids=$(cluster_pids "$dir")
  [ -n "$pids" ] || return 0
  kill -TERM $pids 2>/dev/null || true
  [ -n "$(outlive 20 $pids)" ] || return 0
  # slurmstepd ignores SIGTERM while its job runs. What is left of the
  # cluster after two seconds is killed; found again, so that no process that
  # took the number of one that ended is.
  pids=$(cluster_pids "$dir")
  [ -n "$pids" ] || return 0
  kill -KILL $pids 2>/dev/null || true
  left=$(outlive 50 $pids)
  [ -z "$left" ] || fail "could not stop the processes $left"
}

# Runs a Slurm client against the cluster in DIR.
client() { local dir=$1; shift; SLURM_CONF=$dir/slurm.conf "$@"; }

logs() {
  local dir=$1 f
  for f in "$dir"/log/*.log; do
    [ -f "$f" ] && { echo "== $f"; tail -n 20 "$f"; }
  done >&2
}

up() {
  local dir=$1 owner=${2:-}
  local why
  why=$(check) || fail "$why"
  [ ! -e "$dir" ] || [ -z "$(ls -A "$dir")" ] || fail "$dir is not empty"
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  # Anything started before a failure is stopped again.
  trap 'status=$?; if [ $status -ne 0 ]; then logs "$dir"; down "$dir"; fi; exit $status' EXIT

  # munged checks that every user can reach its socket's folder and that no
  # one else can read its key.
  chmod 755 "$dir"
  mkdir -p "$dir/munge" "$dir/state" "$dir/spool" "$dir/log"
  chmod 755 "$dir/munge"
  head -c 1024 /dev/urandom > "$dir/munge/munge.key"
  chmod 600 "$dir/munge/munge.key"

  # The node as slurmd sees this machine; the recipes ask for two CPUs a
  # task, which a one-CPU machine may promise when told to.
  local node_line node cpus memory overrides=""
  node_line=$(slurmd -C | head -n 1)
  node=$(sed -n 's/^NodeName=\([^ ]*\).*/\1/p' <<< "$node_line")
  cpus=$(sed -n 's/.* CPUs=\([0-9]*\).*/\1/p' <<< "$node_line")
  memory=$(sed -n 's/.* RealMemory=\([0-9]*\).*/\1/p' <<< "$node_line")
  [ -n "$node" ] && [ -n "$cpus" ] && [ -n "$memory" ] || fail "slurmd -C gave: $node_line"
  node_line="NodeName=$node NodeAddr=127.0.0.1 ${node_line#NodeName=$node }"
  if [ "$cpus" -lt 2 ]; then
    node_line="NodeName=$node NodeAddr=127.0.0.1 CPUs=2 RealMemory=$memory"
    overrides="SlurmdParameters=config_overrides"
  fi

  local ctld_port slurmd_port
  ctld_port=$(free_port)
  slurmd_port=$(free_port)
  [ "$ctld_port" != "$slurmd_port" ] || slurmd_port=$((ctld_port + 1))
  # 127.0.0.1 everywhere: the machine's name need not resolve.
  cat > "$dir/slurm.conf" <<EOF
ClusterName=zarveltest
SlurmctldHost=$node(127.0.0.1)
SlurmUser=root
SlurmdUser=root
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
AuthType=auth/munge
AuthInfo=socket=$dir/munge/munge.socket
CredType=cred/munge
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
MpiDefault=none
ReturnToService=2
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MailProg=/bin/true
$overrides
$node_line
PartitionName=main Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF

  export SLURM_CONF=$dir/slurm.conf
  munged --socket="$dir/munge/munge.socket" --key-file="$dir/munge/munge.key" \
    --pid-file="$dir/munge/munged.pid" --seed-file="$dir/munge/munged.seed" \
    --log-file="$dir/log/munged.log" < /dev/null > "$dir/log/munged.out" 2>&1 ||
    fail "munged did not start: $(cat "$dir/log/munged.out")"
  slurmctld -f "$dir/slurm.conf" < /dev/null > "$dir/log/slurmctld.out" 2>&1 ||
    fail "slurmctld did not start: $(cat "$dir/log/slurmctld.out")"
  start_slurmd "$dir" < /dev/null > "$dir/log/slurmd.out" 2>&1 ||
    fail "slurmd did not start: $(cat "$dir/log/slurmd.out")"
  if [ -n "$owner" ]; then
    setsid bash -c 'while kill -0 "$1" 2>/dev/null; do sleep 1; done; bash "$2" down "$3" && rm -rf "$3"' \
      watcher "$owner" "$here" "$dir" < /dev/null > "$dir/log/watcher.log" 2>&1 &
  fi

  local state="" deadline=$((SECONDS + 30))
  while ((SECONDS < deadline)); do
    state=$(sinfo -h -n "$node" -o %T 2>/dev/null || true)
    [ "$state" = idle ] && break
    sleep 0.1
  done
  [ "$state" = idle ] || fail "the node $node is not idle after 30 s (state: ${state:-no answer})"
  trap - EXIT
}

# slurmd will not start without a cgroup file system at /sys/fs/cgroup, even
# with no plugin that uses one (Debian 12's Slurm), and a container or a
# chroot such as a fresh build root may have none. Then slurmd runs in a mount
# namespace of its own with the least it asks for (a folder of hierarchies and
# the named one it looks for), which goes when it and its jobs end and is
# never seen by the machine: the machine's own cgroups are left alone.
start_slurmd() {
  local dir=$1
  case "$(stat -f -c %T /sys/fs/cgroup 2>/dev/null)" in
    tmpfs | cgroup2fs) slurmd -f "$dir/slurm.conf"; return ;;
  esac
  command -v unshare >/dev/null || { echo "no cgroup file system at /sys/fs/cgroup, and no unshare"; return 1; }
  # A chroot's root is no mount point, so unshare cannot make the whole tree
  # private; the mount that holds /sys/fs/cgroup is made private instead,
  # before anything is mounted on it.
  unshare --mount --propagation unchanged bash -c '
    mount --make-rprivate "$(findmnt -n -o TARGET -T /sys/fs/cgroup)" &&
      mount -t tmpfs -o mode=755 zarvel-slurm /sys/fs/cgroup &&
      mkdir /sys/fs/cgroup/systemd &&
      mount -t cgroup -o none,name=systemd zarvel-slurm /sys/fs/cgroup/systemd ||
      { echo "no cgroup file system at /sys/fs/cgroup, and none could be mounted for slurmd"; exit 1; }
    exec slurmd -f "$1"' start_slurmd "$dir/slurm.conf"
}

# Waits until the queue is empty, then lists every job the controller still
# knows (it keeps ended jobs five minutes): id, name, state and why. A job
# that exited with a status other than 0 is FAILED.
wait_jobs() {
  local dir=$1 seconds=${2:-600} queue
  local deadline=$((SECONDS + seconds))
  while :; do
    queue=$(client "$dir" squeue -h -o %i) || fail "the controller does not answer"
    [ -n "$queue" ] && ((SECONDS < deadline)) || break
    sleep 0.2
  done
  [ -z "$queue" ] || fail "jobs still queued after $seconds s: $(echo $queue)"
  local jobs
  jobs=$(client "$dir" squeue -h -t all -o '%i %j %T %r') || fail "the controller does not answer"
  [ -n "$jobs" ] || fail "the controller knows no jobs"
  sort -n <<< "$jobs"
  ! grep -qv ' COMPLETED ' <<< "$jobs"
}

case "${1:-}" in
  check) check ;;
  up) [ $# -ge 2 ] || fail "usage: $0 up DIR [OWNER_PID]"; up "$2" "${3:-}" ;;
  wait) [ $# -ge 2 ] || fail "usage: $0 wait DIR [SECONDS]"; wait_jobs "$2" "${3:-600}" ;;
  down) [ $# -ge 2 ] || fail "usage: $0 down DIR"; down "$(cd "$2" 2>/dev/null && pwd || echo "$2")" ;;
  *) fail "usage: $0 check | up DIR [OWNER_PID] | wait DIR [SECONDS] | down DIR" ;;
esac
