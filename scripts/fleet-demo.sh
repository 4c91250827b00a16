#!/bin/sh
# Runs the sample playbooks of the Ansible collection against a simulated
# fleet (scripts/fleet.sh), then stops the fleet.
# Usage: fleet-demo.sh PROGRAMS DIR COUNT
set -eu

[ $# -eq 3 ] || { echo "usage: fleet-demo.sh PROGRAMS DIR COUNT" >&2; exit 2; }
src=$(cd "$(dirname "$0")/.." && pwd -P)
programs=$1
dir=$2
count=$3

export ANSIBLE_CONFIG="$src/ansible/ansible.cfg"
"$src/scripts/fleet.sh" start "$dir" "$count" "$programs"
trap '"$src/scripts/fleet.sh" stop "$dir"' EXIT
trap 'exit 130' INT TERM
inventory=$dir/inventory.yml
backups=$dir/backups
first=$(head -n 1 "$dir/devices" | cut -d' ' -f1)

step() {
    echo
    echo "== $1"
    shift
    begin=$(date +%s.%N)
    ansible-playbook -i "$inventory" "$@"
    echo "($(echo "$begin $(date +%s.%N)" | awk '{ printf "%.1f", $2 - $1 }') s)"
}

step "back up all $count devices to $backups" \
    "$src/ansible/playbooks/backup.yml" -e "backup_dir=$backups"
step "stream outputs on every device of the group studio" \
    "$src/ansible/playbooks/outputs.yml" -e target=studio
step "what a new bit rate would change on the group hall (check mode)" \
    "$src/ansible/playbooks/bitrate-rollout.yml" -e target=hall -e bitrate=6000000 --check --diff
step "roll the new bit rate across the group hall, three devices at a time" \
    "$src/ansible/playbooks/bitrate-rollout.yml" -e target=hall -e bitrate=6000000 -e batch=3
step "restore $first from its backup (undoes its new outputs)" \
    "$src/ansible/playbooks/restore.yml" -e "backup_dir=$backups" --limit "$first" --diff
echo
echo "fleet-demo: done; the devices stop now (their roots stay in $dir)"
