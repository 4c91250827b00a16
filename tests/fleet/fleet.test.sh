#!/bin/sh
# The Ansible collection against twenty simulated encoders (scripts/fleet.sh):
# every check runs ansible-playbook with the sample playbooks against the real
# programs behind lighttpd, and compares the devices' files byte for byte.
# Usage: fleet.test.sh PROGRAMS WORK
#   PROGRAMS: build directory with webcfg-sandbox.cgi and state-sandbox.cgi
#   WORK: scratch directory (wiped)
set -eu

[ $# -eq 2 ] || { echo "usage: fleet.test.sh PROGRAMS WORK" >&2; exit 2; }
src=$(cd "$(dirname "$0")/../.." && pwd -P)
programs=$1
work=$2
DEVICES=20
PROBLEM=dev07     # gets a value its schema refuses
HAND=dev03        # changed by hand, then restored
LOST=dev04        # out of reach after its restart, until it goes back by itself
FIRST_PORT=18600

# Servers of a run that was killed before it could stop them.
for old in "$work/fleet" "$work/tls"; do
    [ -e "$old/.webcfg-fleet" ] && "$src/scripts/fleet.sh" stop "$old"
done
rm -rf "$work"
mkdir -p "$work/tmp"
work=$(cd "$work" && pwd -P)
fleet=$work/fleet
export ANSIBLE_CONFIG="$src/ansible/ansible.cfg"
export ANSIBLE_NOCOLOR=1 ANSIBLE_LOCAL_TEMP="$work/tmp" ANSIBLE_REMOTE_TEMP="$work/tmp"
export ANSIBLE_HOME="$work/ansible-home"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

cleanup() { "$src/scripts/fleet.sh" stop "$fleet" || true; "$src/scripts/fleet.sh" stop "$work/tls" || true; }
trap cleanup EXIT
trap 'exit 130' INT TERM

"$src/scripts/fleet.sh" start "$fleet" "$DEVICES" "$programs" --first-port "$FIRST_PORT"
devices=$(cut -d' ' -f1 "$fleet/devices")
root_of() { awk -v d="$1" '$1 == d { print $3 }' "$fleet/devices"; }
url_of() { awk -v d="$1" '$1 == d { print $2 }' "$fleet/devices"; }
posts_to() { grep -c '"POST /cgi-bin/\(webcfg\|state\)\.cgi HTTP/1.1"' "$fleet/$1/server/access.log" || true; }
reboots_of() { grep -c '^reboot' "$fleet/$1/server/calls.log" || true; }

# play NAME ARGS...: runs one play, keeps its output in $work/NAME.log and its
# exit status in $status.
play() {
    name=$1
    shift
    status=0
    ansible-playbook -i "$fleet/inventory.yml" "$@" > "$work/$name.log" 2>&1 || status=$?
}
# recap LOG HOST: the host's line of the play recap, as "ok=.. changed=.. failed=..".
recap() {
    awk -v h="$2" '$1 == h && $2 == ":" { print $3, $4, $6 }' "$1"
}
expect_recap() { # LOG WANT HOSTS...
    log=$1
    want=$2
    shift 2
    for h in "$@"; do
        got=$(recap "$log" "$h" | cut -d' ' -f2,3)
        [ "$got" = "$want" ] || { echo "$(basename "$log"): $h has '$got', not '$want'"; return 1; }
    done
}
# same_files DIR HOSTS...: each host's mnt equals DIR byte for byte (the
# boot-script backup copy, which holds whatever came before, left out).
same_files() {
    dir=$1
    shift
    for h in "$@"; do
        diff -r -x autorun.sh.swp -x '.webcfg-*' "$dir" "$(root_of "$h")/mnt" > "$work/diff.out" 2>&1 ||
            { echo "$h: files differ from $dir"; cat "$work/diff.out"; return 1; }
    done
}

# The one configuration, and the files it must leave on every device.
cat > "$work/site.yml" <<'EOF'
webcfg_settings:
  outputs: {transport_stream: http, rtsp_rtmp: rtmp, ts_port: 6000,
            rtmp_url: "rtmp://10.0.8.5/live", rtmp_key: fleet-key-7}
  encoder: {bitrate: 6000000, ttl: 32}
  wifi: {ssid: fleet-net, passphrase: fleet-pass-1}
  overlays: {mg: {x: 64}}
  subtitle: {text: "你好"}
EOF
"$src/scripts/demo-seed.sh" "$work/expected" > /dev/null
e=$work/expected/mnt
sed -e 's/^tc=.*/tc=6000/' -e 's/^bitrate=.*/bitrate=6000000/' \
    -e 's|^url=.*|url=rtmp://10.0.8.5/live/fleet-key-7|' "$e/autorun.sh" > "$e/autorun.sh.new"
mv "$e/autorun.sh.new" "$e/autorun.sh"
chmod 755 "$e/autorun.sh"
printf '0\n' > "$e/ts.ini"
printf '1\n' > "$e/httpts.ini"
printf '1\n' > "$e/rtsp.ini"
printf '1\n' > "$e/rtsporrtmp.ini"
printf '32' > "$e/ttl.ini"
printf '1 64 32 320 180 0 1568 32 320 180' > "$e/m.ini"
printf '1 100 960 \304\343\272\303' > "$e/zk.ini"
printf 'network={\nssid="fleet-net"\npsk="fleet-pass-1"\nkey_mgmt=WPA-PSK\nproto=WPA WPA2\npairwise=CCMP\ngroup=CCMP\npriority=2\n}' \
    > "$e/wifi/wpa.conf"

echo "== one configuration applied to $DEVICES devices"
start=$(date +%s.%N)
play apply "$src/ansible/playbooks/configure.yml" -e "@$work/site.yml"
end=$(date +%s.%N)
seconds=$(echo "$start $end" | awk '{ printf "%.1f", $2 - $1 }')
echo "fleet: one play over $DEVICES devices took $seconds s"
# shellcheck disable=SC2086
if [ "$status" -eq 0 ] && expect_recap "$work/apply.log" "changed=1 failed=0" $devices &&
    same_files "$e" $devices && ! grep -q 'fleet-key-7\|fleet-pass-1' "$work/apply.log"; then
    pass "every device configured, files as wanted, no secret in the output"
else
    fail "configure (status $status)"; tail -40 "$work/apply.log"
fi

echo "== the same play again"
play again "$src/ansible/playbooks/configure.yml" -e "@$work/site.yml"
# shellcheck disable=SC2086
if [ "$status" -eq 0 ] && expect_recap "$work/again.log" "changed=0 failed=0" $devices; then
    pass "changed=0 on every device"
else
    fail "the same play again (status $status)"; tail -40 "$work/again.log"
fi

echo "== check mode with another bit rate"
sed 's/bitrate: 6000000/bitrate: 7000000/' "$work/site.yml" > "$work/site-b.yml"
before=$(for h in $devices; do posts_to "$h"; done)
play check "$src/ansible/playbooks/configure.yml" -e "@$work/site-b.yml" --check --diff
after=$(for h in $devices; do posts_to "$h"; done)
# shellcheck disable=SC2086
if [ "$status" -eq 0 ] && expect_recap "$work/check.log" "changed=1 failed=0" $devices &&
    grep -q '^+ *"bitrate": 7000000' "$work/check.log" &&
    [ "$before" = "$after" ] && same_files "$e" $devices; then
    pass "check mode reports the change and sends nothing"
else
    fail "check mode (status $status)"; tail -40 "$work/check.log"
fi

echo "== back up all, change $HAND by hand, restore it"
play backup "$src/ansible/playbooks/backup.yml" -e "backup_dir=$work/backups"
saved=0
for h in $devices; do
    f=$work/backups/$h.json
    [ "$(stat -c %a "$f" 2>/dev/null)" = 600 ] && grep -q '"passphrase": "fleet-pass-1"' "$f" &&
        grep -q '"rtmp_key": "fleet-key-7"' "$f" &&
        saved=$((saved + 1))
done
play backup-again "$src/ansible/playbooks/backup.yml" -e "backup_dir=$work/backups"
# shellcheck disable=SC2086
if [ "$status" -eq 0 ] && [ "$saved" -eq "$DEVICES" ] && expect_recap "$work/backup-again.log" "changed=0 failed=0" $devices &&
    python3 -c 'import json, sys; d = json.load(open(sys.argv[1])); sys.exit(sorted(d) != ["codec_template", "schema", "settings"] or "passphrase_set" in d["settings"]["wifi"])' \
        "$work/backups/dev01.json"; then
    pass "$saved backups with their secrets, owner-only, the template and the settings only, the same when taken again"
else
    fail "backup: status $status, $saved good files"; tail -40 "$work/backup.log"
fi
auth="admin:${FLEET_PASSWORD:-fleet-demo}"
for form in "name3_submit=&bitrate=3000000" "codec_submit=&ctrlaz=female" "ttl_submit=&ttl=9"; do
    curl -s --digest -u "$auth" -d "$form" "$(url_of $HAND)/cgi-bin/webcfg.cgi" > /dev/null
done
if diff -r -x autorun.sh.swp -x '.webcfg-*' "$e" "$(root_of $HAND)/mnt" > /dev/null; then
    fail "the hand change did not reach $HAND"
fi
play restore "$src/ansible/playbooks/restore.yml" -e "backup_dir=$work/backups" --limit "$HAND"
if [ "$status" -eq 0 ] && expect_recap "$work/restore.log" "changed=1 failed=0" "$HAND" &&
    same_files "$e" "$HAND"; then
    pass "$HAND restored, files as before"
else
    fail "restore (status $status)"; tail -40 "$work/restore.log"
fi

echo "== a value the schema refuses on $PROBLEM"
mkdir -p "$fleet/host_vars"
printf 'webcfg_host_settings:\n  encoder: {ttl: 300}\n' > "$fleet/host_vars/$PROBLEM.yml"
problem_posts=$(posts_to $PROBLEM)
play refused "$src/ansible/playbooks/configure.yml" -e "@$work/site-b.yml"
others=$(echo "$devices" | grep -v -x "$PROBLEM")
cp -r "$work/expected" "$work/expected-b"
sed -i 's/^bitrate=.*/bitrate=7000000/' "$work/expected-b/mnt/autorun.sh"
# shellcheck disable=SC2086
if [ "$status" -ne 0 ] && expect_recap "$work/refused.log" "changed=0 failed=1" "$PROBLEM" &&
    expect_recap "$work/refused.log" "changed=1 failed=0" $others &&
    grep "^fatal: \[$PROBLEM\]" "$work/refused.log" | grep -q 'encoder.ttl: 300 is greater than the maximum 255' &&
    [ "$(grep -c '^fatal:' "$work/refused.log")" -eq 1 ] &&
    [ "$(posts_to $PROBLEM)" = "$problem_posts" ] && same_files "$e" "$PROBLEM" &&
    same_files "$work/expected-b/mnt" $others; then
    pass "$PROBLEM refused naming the setting and rule, nothing sent to it, the others configured"
else
    fail "refused value (status $status)"; grep -E '^(fatal|dev)' "$work/refused.log" || true
fi
rm -f "$fleet/host_vars/$PROBLEM.yml"

echo "== bit-rate roll-out with restarts, two devices at a time"
play rollout "$src/ansible/playbooks/bitrate-rollout.yml" -e bitrate=8000000 -e batch=2 -e target=dev01:dev02:dev03:dev04 -v
restarted=0
for h in dev01 dev02 dev03 dev04; do
    grep -q '^reboot$' "$fleet/$h/server/calls.log" && grep -q '^bitrate=8000000$' "$(root_of "$h")/mnt/autorun.sh" &&
        [ ! -e "$(root_of "$h")/mnt/.webcfg-trial" ] &&
        grep -q "^changed: \[$h\] => .*\"confirmed\": true" "$work/rollout.log" &&
        restarted=$((restarted + 1))
done
if [ "$status" -eq 0 ] && [ "$restarted" -eq 4 ] && ! grep -q '^reboot' "$fleet/dev05/server/calls.log"; then
    pass "four devices set, restarted and confirmed, two at a time"
else
    fail "roll-out: status $status, $restarted restarted and confirmed"; tail -30 "$work/rollout.log"
fi

echo "== a restart whose device does not come back"
# A device of the roll-out: it runs the files it holds, which going back
# must give back.
lost_root=$(root_of $LOST)
lost_srv=$fleet/$LOST/server
lost_boot_id=$lost_root/proc/sys/kernel/random/boot_id
cp -a "$lost_root/mnt" "$work/lost-before"
lost_reboots=$(reboots_of $LOST)
# This restart stops the device's server first, so that nobody can confirm
# its trial; the usual stub, put back for the restart the device then makes
# by itself, does the rest.
mv "$lost_srv/bin/reboot" "$lost_srv/bin/reboot.usual"
cat > "$lost_srv/bin/reboot" <<STUB
#!/bin/sh
kill "\$(cat "$lost_srv/lighttpd.pid")"
mv -f "$lost_srv/bin/reboot.usual" "$lost_srv/bin/reboot"
exec "$lost_srv/bin/reboot" "\$@"
STUB
chmod 755 "$lost_srv/bin/reboot"
asked=$(date +%s)
play lost "$src/ansible/playbooks/bitrate-rollout.yml" -e bitrate=8100000 -e target=$LOST \
    -e confirm_within=10 -e restart_timeout=4
answered=$(date +%s)
# Done once the device has gone back, restarted and recorded that start
# (its countdown has ended by then).
first_boot=$(cat "$lost_boot_id")
n=0
until boot=$(cat "$lost_boot_id") && [ "$boot" != "$first_boot" ] &&
    grep -aqx "boot $boot" "$lost_root/mnt/.webcfg-start" || [ "$n" -ge 300 ]; do
    sleep 0.1
    n=$((n + 1))
done
[ -e "$lost_srv/lighttpd.pid" ] || "$(command -v lighttpd || echo /usr/sbin/lighttpd)" -f "$lost_srv/lighttpd.conf" ||
    fail "$LOST: its server does not start again"
told=$(sed -n 's/.*"msg": "the device did not answer within 4 s after the restart (.*); unless its settings are confirmed, it goes back to its previous settings 10 s after it starts (not before \([0-9:]*\) UTC) and restarts again".*/\1/p' "$work/lost.log")
# The time told is the restart's plus the 10 s, as a time of day in UTC.
told_ok() {
    echo "$told" | awk -F: -v from=$((asked + 10)) -v to=$((answered + 10)) 'NF == 3 {
        late = ($1 * 3600 + $2 * 60 + $3 - from % 86400 + 86400) % 86400; ok = late <= to - from } END { exit !ok }'
}
if [ "$status" -ne 0 ] && grep -q "^fatal: \[$LOST\]" "$work/lost.log" && told_ok &&
    [ "$(reboots_of $LOST)" -eq $((lost_reboots + 2)) ] && [ ! -e "$lost_root/mnt/.webcfg-trial" ] &&
    grep -q '"encoder.bitrate"' "$lost_root/mnt/.webcfg-rolled-back" && same_files "$work/lost-before" $LOST; then
    pass "$LOST unconfirmed: the task says when it goes back, and it went back to the same files and restarted"
else
    fail "a restart without an answer: status $status, told '$told', $(($(reboots_of $LOST) - lost_reboots)) restarts"
    grep -E '^(fatal|ok|changed)' "$work/lost.log" || true
fi

echo "== no secret anywhere: a restore at -vvvv through a refusal, a device gone and a success, with a syslog receiver"
LEAK=dev05
leak_psk=leak-check-phrase-5
leak_key=leak-check-key-6
python3 - "$work/backups/$LEAK.json" "$work" "$leak_psk" "$leak_key" <<'EOF'
import json, sys
backup, work, psk, key = sys.argv[1:]
doc = json.load(open(backup))
doc['settings']['wifi']['passphrase'] = psk
doc['settings']['outputs']['rtmp_key'] = key
json.dump(doc, open(work + '/leak-good.json', 'w'))
doc['settings']['encoder']['ttl'] = 300
json.dump(doc, open(work + '/leak-refused.json', 'w'))
EOF
# Ansible's modules log their invocation to syslog (/dev/log): a receiver
# takes its place for these plays, in a mount namespace of their own when a
# system log already listens there.
python3 - "$work/log.sock" "$work/syslog.txt" <<'EOF' &
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
with open(sys.argv[2], 'ab') as out:
    while True:
        out.write(s.recv(65536) + b'\n')
        out.flush()
EOF
receiver=$!
n=0
until [ -S "$work/log.sock" ] || [ "$n" -ge 50 ]; do sleep 0.1; n=$((n + 1)); done
logged_play() { # NAME FILE
    cmd="ansible-playbook -i '$fleet/inventory.yml' '$src/ansible/playbooks/restore.yml' -e restore_from='$2' --limit $LEAK -vvvv"
    if [ -e /dev/log ]; then
        unshare -m sh -c "mount --bind '$work/log.sock' /dev/log && $cmd" > "$work/$1.log" 2>&1
    else
        ln -s "$work/log.sock" /dev/log
        sh -c "$cmd" > "$work/$1.log" 2>&1
        status=$?
        rm -f /dev/log
        return $status
    fi
}
status=0
logged_play leak-refused "$work/leak-refused.json" || status=$?
refused_status=$status
kill "$(cat "$fleet/$LEAK/server/lighttpd.pid")" || true
n=0
while [ -e "$fleet/$LEAK/server/lighttpd.pid" ] && [ "$n" -lt 50 ]; do sleep 0.1; n=$((n + 1)); done
status=0
logged_play leak-gone "$work/leak-good.json" || status=$?
gone_status=$status
"$(command -v lighttpd || echo /usr/sbin/lighttpd)" -f "$fleet/$LEAK/server/lighttpd.conf"
n=0
until curl -s -o /dev/null "$(url_of $LEAK)/" || [ "$n" -ge 50 ]; do sleep 0.1; n=$((n + 1)); done
status=0
logged_play leak-good "$work/leak-good.json" || status=$?
good_status=$status
kill "$receiver" 2>/dev/null || true
if [ "$refused_status" -ne 0 ] && [ "$gone_status" -ne 0 ] && [ "$good_status" -eq 0 ] &&
    grep -q 'encoder.ttl: 300 is greater than the maximum 255' "$work/leak-refused.log" &&
    grep -q "psk=\"$leak_psk\"" "$(root_of $LEAK)/mnt/wifi/wpa.conf" &&
    grep -q 'Invoked with' "$work/syslog.txt" &&
    ! grep -q "$leak_psk\|$leak_key" "$work/leak-refused.log" "$work/leak-gone.log" "$work/leak-good.log" "$work/syslog.txt"; then
    pass "the pass phrase and the stream key in no output and no syslog line, refused, unreachable or applied"
else
    fail "secrets: statuses $refused_status $gone_status $good_status"
    grep -n "$leak_psk\|$leak_key" "$work"/leak-*.log "$work/syslog.txt" | cut -c1-300 | head -5
    grep -c 'Invoked' "$work/syslog.txt" || true
fi

echo "== the collection's integration target against one device"
cat > "$work/integration.yml" <<EOF
- hosts: dev06
  gather_facts: false
  module_defaults:
    group/webcfg.encoder.device:
      url: "{{ webcfg_url }}"
      username: "{{ webcfg_username }}"
      password: "{{ webcfg_password }}"
  tasks:
    - ansible.builtin.include_tasks: $src/ansible/collections/ansible_collections/webcfg/encoder/tests/integration/targets/settings/tasks/main.yml
EOF
ttl_before=$(cat "$(root_of dev06)/mnt/ttl.ini")
play integration "$work/integration.yml"
if [ "$status" -eq 0 ] && expect_recap "$work/integration.log" "changed=3 failed=0" dev06 &&
    [ "$(cat "$(root_of dev06)/mnt/ttl.ini")" = "$ttl_before" ]; then
    pass "the integration target passes, the device as it was"
else
    fail "integration target (status $status)"; grep -E '^(fatal|failed|dev06)' "$work/integration.log" | head
fi

echo "== HTTPS with a self-signed certificate and a basic login: the password only to a checked certificate"
"$src/scripts/fleet.sh" start "$work/tls" 1 "$programs" --first-port $((FIRST_PORT + DEVICES + 10)) --https --basic > /dev/null
tls_url=$(cut -d' ' -f2 "$work/tls/devices")
pin=$(sed -n 's/^ *webcfg_fingerprint: "\(.*\)"$/\1/p' "$work/tls/inventory.yml")
other_pin=sha256:$(printf '%064d' 0)
adhoc() { # ARGS (key=value): one state read of the TLS device
    ansible dev01 -i "$work/tls/inventory.yml" -m webcfg.encoder.state \
        -a "url=$tls_url username=admin $*" > "$work/tls.log" 2>&1
}
tls_ok=0
# Each row: arguments, whether the read succeeds, what the output must say.
while IFS='|' read -r args works says; do
    if adhoc $args; then got=yes; else got=no; fi
    if [ "$got" = "$works" ] && grep -q "$says" "$work/tls.log"; then
        tls_ok=$((tls_ok + 1))
    else
        echo "TLS: '$args' gave $got, not $works, or its output lacks '$says'"; tail -5 "$work/tls.log"
    fi
done <<EOF
password=fleet-demo validate_certs=true|no|certificate verify failed
password=fleet-demo validate_certs=false|no|asks for a basic login, which would send the password in clear
password=fleet-demo fingerprint=$other_pin|no|is not the pinned one
password=wrong fingerprint=$pin|no|HTTP 401
password=fleet-demo fingerprint=$pin|yes|"reboot_pending": false
password=fleet-demo ca_path=$work/tls/device.crt|yes|"reboot_pending": false
EOF
if [ "$tls_ok" -eq 6 ] && ! grep -q 'fleet-demo' "$work/tls.log"; then
    pass "basic login only to a certificate checked by the CAs given or its pinned fingerprint"
else
    fail "HTTPS: $tls_ok of 6 as expected"
fi

echo "== a value the device itself refuses: a header line it cannot write back, written by hand"
tls_root=$(cut -d' ' -f3 "$work/tls/devices")
# Never outside the fleet's own roots.
[ -n "$tls_root" ] && [ -f "$tls_root/mnt/autorun.sh" ] &&
    sed -i 's/^tc=.*/tc=5000   # receiver/' "$tls_root/mnt/autorun.sh"
tls_ttl=$(cat "$tls_root/mnt/ttl.ini")
ansible dev01 -i "$work/tls/inventory.yml" -m webcfg.encoder.settings \
    -a "{\"url\": \"$tls_url\", \"username\": \"admin\", \"password\": \"fleet-demo\", \"fingerprint\": \"$pin\",
         \"settings\": {\"encoder\": {\"ttl\": 7, \"bitrate\": 3100000}}}" \
    > "$work/device-refusal.log" 2>&1 && fail "a change over an unreadable header passed"
if grep -q '"msg": "the device refused the change set, nothing was changed: POST [^ ]* answered HTTP 409 Conflict: refused: encoder.bitrate: .*tc cannot be read' "$work/device-refusal.log" &&
    grep -q '"status": 409' "$work/device-refusal.log" &&
    [ "$(cat "$tls_root/mnt/ttl.ini")" = "$tls_ttl" ] && grep -q '^tc=5000   # receiver$' "$tls_root/mnt/autorun.sh"; then
    pass "the device's refusal quoted, nothing of the change set made, the header left as it was"
else
    fail "device refusal"; cat "$work/device-refusal.log"
fi

echo "fleet: one play over $DEVICES devices took $seconds s"
[ "$failures" -eq 0 ] || { echo "$failures failures (logs in $work)"; exit 1; }
echo "all fleet checks passed"
