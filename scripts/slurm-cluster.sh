#!/usr/bin/env bash
# A one-node Slurm cluster started by hand, everything under one folder, for
# the tests and for trying the farm commands on one machine:
#
#   bash scripts/slurm-cluster.sh start DIR   # munged, slurmctld, slurmd; waits until the
#                                             # node is idle; prints the line to source
#   . DIR/env                                 # SLURM_CONF for sbatch, squeue, ...
#   bash scripts/slurm-cluster.sh stop DIR    # stops the daemons it started, by pid
#
# No systemd: the daemons run from DIR (configuration, munge key and socket,
# state, spool, logs, pid files), on two free ports of 127.0.0.1 picked at
# start. The node is this machine with all its CPUs. Without a cgroup set-up
# the processes are tracked by parent (proctrack/linuxproc; with the default
# the steps fail while the jobs still report success); tasks are not bound
# to CPUs (task/none). Jobs run as the user who submits them; as an ordinary
# user only that user's jobs can start. A start that fails stops what it
# started. Needs the Debian packages slurmctld, slurmd, slurm-client, munge.
set -euo pipefail

usage() {
  echo "usage: $0 start|stop DIR" >&2
  exit 2
}
[ $# -eq 2 ] || usage
action=$1
dir=$2

# Stops the daemons whose pid files are in DIR: slurmd, slurmctld, then
# munged (each with TERM, then waited for; KILL after 10 s).
stop_cluster() {
  local name pid i
  for name in slurmd slurmctld munged; do
    [ -f "$dir/run/$name.pid" ] || continue
    pid=$(cat "$dir/run/$name.pid" 2>/dev/null || true)
    rm -f "$dir/run/$name.pid"
    [[ "$pid" =~ ^[0-9]+$ ]] || continue
    kill -TERM "$pid" 2>/dev/null || continue
    for ((i = 0; i < 100; i++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
  done
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

case "$action" in
stop)
  stop_cluster
  exit 0
  ;;
start) ;;
*) usage ;;
esac

for tool in munged mungekey slurmctld slurmd sinfo; do
  command -v "$tool" >/dev/null 2>&1 || PATH="$PATH:/usr/sbin:/sbin"
  command -v "$tool" >/dev/null 2>&1 || { echo "$0: $tool is not installed" >&2; exit 3; }
done

mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
trap 'status=$?; [ $status -eq 0 ] || stop_cluster; exit $status' EXIT
mkdir -p "$dir/munge" "$dir/run" "$dir/log" "$dir/state" "$dir/spool"
chmod 0700 "$dir/munge"
user=$(id -un)
node=zknode
cpus=$(nproc)
ctld_port=$(free_port)
slurmd_port=$(free_port)
while [ "$slurmd_port" = "$ctld_port" ]; do slurmd_port=$(free_port); done

# munge: a key of its own, its socket in a folder readable by all but
# writable only by its owner.
[ -f "$dir/munge/munge.key" ] || mungekey -c -k "$dir/munge/munge.key"
chmod 0400 "$dir/munge/munge.key"
chmod 0755 "$dir/munge"
munged --key-file="$dir/munge/munge.key" --socket="$dir/munge/munge.socket" \
  --pid-file="$dir/run/munged.pid" --log-file="$dir/log/munged.log" \
  --seed-file="$dir/munge/munged.seed"

cat >"$dir/slurm.conf" <<EOF
ClusterName=zkfarm
SlurmctldHost=localhost
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=$user
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$dir/munge/munge.socket
CredType=cred/munge
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerParameters=batch_sched_delay=0
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/filetxt
JobCompLoc=$dir/log/jobcomp.txt
MailProg=/bin/true
ReturnToService=2
SlurmctldPidFile=$dir/run/slurmctld.pid
SlurmdPidFile=$dir/run/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool/%n
NodeName=$node NodeHostname=localhost NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=zk Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF
if [ "$(id -u)" -ne 0 ]; then
  # slurmd runs as its caller when that is not root.
  sed -i "s/^SlurmdUser=root$/SlurmdUser=$user/" "$dir/slurm.conf"
fi
export SLURM_CONF="$dir/slurm.conf"
printf 'export SLURM_CONF=%q\n' "$SLURM_CONF" >"$dir/env"

slurmctld -f "$SLURM_CONF" -c
slurmd -f "$SLURM_CONF" -N "$node"
for ((i = 0; i < 300; i++)); do
  state=$(sinfo -h -N -n "$node" -o %T 2>/dev/null || true)
  [ "$state" = idle ] && break
  sleep 0.1
done
if [ "$state" != idle ]; then
  echo "$0: the node did not become idle (state \"$state\"); logs in $dir/log" >&2
  exit 1
fi
echo ". $dir/env"
