#!/bin/sh
# The deploy configuration on a network where other machines are hostile
# (lighttpd in a scratch directory, tests/deploy/sandbox.sh): requests
# forged by another site, plain HTTP, password guessing, a flood of idle
# connections, the security headers, what the server logs and where; and
# the busybox httpd start-up script, which serves no default login.
# Usage: hostile_lan_test.sh SOURCE_DIR CGI_PROGRAM STATE_PROGRAM
set -eu

source_dir=$1
cgi=$2
state=$3
. "$source_dir/tests/deploy/sandbox.sh"
start_lighttpd

# The server's own files, to show that none grows.
server_files() {
    find "$dir" -path "$dir/root" -prune -o -path "$dir/test" -prune -o -path "$dir/busybox" -prune \
        -o -type f -printf '%P %s\n' | sort
}
server_files > "$test/files.before"

cgi_url=$https/cgi-bin/webcfg.cgi
state_url=$https/cgi-bin/state.cgi
change="$form -d ttl_submit= -d ttl"

# Requests that another site makes a logged-in browser send: only the
# device's own pages (same-origin) and the user's own typing (none) reach
# the programs.
# shellcheck disable=SC2086
{
check "same-origin change"           200 "set ttl:50" 50 $login -H 'Sec-Fetch-Site: same-origin' $change=50 "$cgi_url"
check "change typed by the user"     200 "set ttl:51" 51 $login -H 'Sec-Fetch-Site: none' $change=51 "$cgi_url"
check "same-site change"             403 - 51 $login -H 'Sec-Fetch-Site: same-site' $change=7 "$cgi_url"
check "same-site state query"        403 - 51 $login -H 'Sec-Fetch-Site: same-site' "$state_url"
}

# Plain HTTP answers a redirect to HTTPS where the Host allows one and 400
# where none can be made, whatever the path, the Host and the login: it
# never serves a page nor runs a program.
passphrase=$(sed -n 's/^psk="\(.*\)"$/\1/p' "$dir/root/mnt/wifi/wpa.conf")
[ -n "$passphrase" ] || fail "no pass phrase in the appliance's wpa.conf"
plain() {
    what=$1 status=$2
    shift 2
    # shellcheck disable=SC2086
    check "plain HTTP $path, $what" "$status" - 51 $login "$@" "$http$path"
    ! grep -qF -e "$passphrase" -e ran-other -e '<title>Encoder' -e 'set ttl' "$test/body" ||
        bad "$what: served '$(head -c 200 "$test/body")'"
}
for path in / /index.html /other.cgi "/cgi-bin/state.cgi?secrets=1" "/cgi-bin/webcfg.cgi?name44_submit=" \
            "/cgi-bin/webcfg.cgi?ttl_submit=&ttl=9"; do
    plain "HTTP/1.0 without Host"  400 -0 -H 'Host:'
    plain "HTTP/1.1 without Host"  400 -H 'Host:'
    plain "another site's name"    301 -H 'Host: attacker.example'
    plain "an IPv6 address"        301 -H 'Host: [::1]'
    plain "a blank in the name"    400 -H 'Host: a b'
    plain "no such port"           400 -H 'Host: 127.0.0.1:99999'
    plain "a path in the name"     400 -H 'Host: a/b'
done
path=/cgi-bin/webcfg.cgi
# shellcheck disable=SC2086
plain "a change without Host"      400 -0 -H 'Host:' $change=9

# Password guessing: ten wrong passwords from one address (at once, as a
# guesser would) lock it out for a minute, even with the right password;
# another address still logs in. A browser's first request of each login,
# which carries none, is no failure.
guessers=
for n in 1 2 3 4 5 6 7 8 9 10; do
    curl -s --cacert "$cert" --interface 127.0.0.3 --digest -u "admin:guess-$n" -o /dev/null \
        -D "$test/headers.lighttpd.https.guess$n" -w '%{http_code}\n' "$https/" > "$test/guess$n" &
    guessers="$guessers $!"
done
# shellcheck disable=SC2086
wait $guessers || true
[ "$(cat "$test"/guess*)" = "$(printf '401\n%.0s' 1 2 3 4 5 6 7 8 9 10)" ] ||
    bad "the wrong passwords got '$(cat "$test"/guess* | tr '\n' ' ')', not 401 each"
for n in 1 2 3 4 5 6 7 8 9 10 11 12; do
    fetch --interface 127.0.0.5 "$https/"
done
# shellcheck disable=SC2086
{
check "right password after 10 wrong"  429 - 51 --interface 127.0.0.3 $login "$https/"
check_header "locked-out address" Retry-After '^[1-9][0-9]*$'
check "locked out, no login"           429 - 51 --interface 127.0.0.3 "$https/"
check "locked out, program"            429 - 51 --interface 127.0.0.3 $login $change=8 "$cgi_url"
check "another address"                200 - 51 --interface 127.0.0.4 $login "$https/"
check "after 12 browser challenges"    200 - 51 --interface 127.0.0.5 $login "$https/"
}
grep -q 'login: 127\.0\.0\.3 refused' "$test/syslog" || bad "the lock-out was not logged"

# A flood of idle connections, more than the server takes at once, holds
# it only until they time out: a client from another address, queued
# behind them, gets the page through the login within 10 seconds.
python3 "$source_dir/tests/deploy/lan_tools.py" idle 127.0.0.1 "$https_port" 600 > "$test/idle" &
idle_pid=$!
pids="$pids $idle_pid"
wait_until 30 "the idle connections were not opened within 30 s" test -s "$test/idle"
[ "$(cat "$test/idle")" = "connected 600" ] || fail "idle connections: $(cat "$test/idle")"
# The server is full once connections wait in its listening socket's queue.
queued() {
    q=$(awk -v p=":$(printf '%04X' "$https_port")" \
        '$4 == "0A" && substr($2, length($2) - 4) == p { split($5, n, ":"); print n[2] }' /proc/net/tcp)
    [ $((0x${q:-0})) -gt 0 ]
}
wait_until 10 "600 idle connections did not fill the server" queued
# shellcheck disable=SC2086
fetch --interface 127.0.0.2 --max-time 10 $login "$https/"
if [ "$got" != 200 ] || ! grep -q '<title>Encoder configuration</title>' "$test/body"; then
    bad "during the flood of idle connections: status $got, not the page within 10 s"
fi
kill "$idle_pid"

check_security_headers
check_logs "$password" "$passphrase"
server_files > "$test/files.after"
cmp -s "$test/files.before" "$test/files.after" ||
    bad "the server's files changed: $(diff "$test/files.before" "$test/files.after" | grep '^[<>]' | tr '\n' ' ')"

# busybox httpd: the start-up script refuses to serve without a real hash
# for every login, and says why.
cp "$source_dir/deploy/busybox-httpd.conf" "$test/shipped.conf"
sed 's|^/:admin:.*|/:admin:change-me|' "$test/shipped.conf" > "$test/plain-password.conf"
sed '/^\/:admin:/d' "$test/shipped.conf" > "$test/no-login.conf"
{ sed "s|^/:admin:.*|/:admin:$(busybox httpd -m x)|" "$test/shipped.conf"; echo '/cgi-bin:admin:secret'; } \
    > "$test/second-login.conf"
for config in shipped plain-password no-login second-login; do
    status=0
    WEBCFG_HOME=$dir/pages WEBCFG_PORT=127.0.0.1:$(free_port 28500) WEBCFG_PATH=$dir/bin:/usr/bin:/bin \
        timeout 10 sh "$source_dir/deploy/busybox-httpd-start.sh" "$test/$config.conf" \
        >"$test/$config.out" 2>"$test/$config.err" || status=$?
    if [ "$status" -eq 0 ] || [ "$status" -eq 124 ]; then
        bad "busybox-httpd-start.sh served with the $config configuration (exit $status)"
    elif ! grep -q 'not started' "$test/$config.err"; then
        bad "busybox-httpd-start.sh, $config configuration: no reason given: $(cat "$test/$config.err")"
    fi
done
! grep -rqE ':\$1\$[./0-9A-Za-z]+\$[./0-9A-Za-z]{22}' "$source_dir/deploy" ||
    bad "a file under deploy/ holds a password hash"

# With a real hash it serves, behind the login.
start_busybox
answering=busybox
set_ttl_file "$busybox_root/mnt/ttl.ini"
check "busybox httpd, no login"        401 - 64 "$busybox/"
check "busybox httpd, login"           200 - 64 -u "admin:$busybox_password" "$busybox/"

[ "$failures" -eq 0 ] || fail "$failures failed"
echo "ok"
