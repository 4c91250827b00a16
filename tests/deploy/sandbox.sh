# Sourced by the deploy suites. Makes a scratch directory holding the
# appliance (the demo's file set, the two programs, stub sync and reboot),
# the pages, a login (admin / deploy-secret), and deploy/lighttpd.conf with
# only its var. lines changed, to point there and at free loopback ports;
# start_lighttpd starts the server on it.
#
# The server runs in a mount namespace of its own whose /dev/log is a
# socket of the suite: what it sends to the system log lands in
# $test/syslog, not on this machine's log or console.
#
# Before sourcing, set source_dir, cgi and state (the programs built with
# their root in their working directory; lighttpd runs a program in the
# program's directory, so the links to them sit in the appliance root).
# Afterwards: dir, test (the suite's own files), https, http, cert,
# password, login, form, fail, bad, failures, wait_for, fetch (answering
# names the server), check, check_header, set_ttl_file,
# check_security_headers, check_logs and start_busybox.

lighttpd=$(command -v lighttpd || echo /usr/sbin/lighttpd)
# Not under /dev/shm: the server's namespace puts its own /dev in place.
dir=$(mktemp -d "${TMPDIR:-/tmp}/webcfg-deploy-XXXXXX")
test=$dir/test
pids=
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null && { wait "$p" 2>/dev/null || true; }; done
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
fail() {
    echo "FAIL: $*" >&2
    for f in "$test/start.log" "$test/syslog"; do
        [ -s "$f" ] && { echo "--- $f" >&2; tail -n 40 "$f" >&2; }
    done
    exit 1
}
failures=0
bad() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

mkdir -p "$test" "$dir/bin" "$dir/pages" "$dir/etc" "$dir/run"
"$source_dir/scripts/demo-seed.sh" "$dir/root" >/dev/null
ln -s "$cgi" "$dir/root/webcfg.cgi"
ln -s "$state" "$dir/root/state.cgi"
for stub in sync reboot; do printf '#!/bin/sh\n' > "$dir/bin/$stub"; chmod 755 "$dir/bin/$stub"; done
# Another program beside the pages must never run.
printf '#!/bin/sh\nprintf "Content-type: text/plain\\r\\n\\r\\n"\necho "ran""-other"\n' > "$dir/pages/other.cgi"
chmod 755 "$dir/pages/other.cgi"
cp "$source_dir/web/index.html" "$source_dir/web/style.css" "$source_dir/web/app.js" "$dir/pages/"
cp "$source_dir/deploy/make-certificate.sh" "$source_dir/deploy/guard.lua" "$dir/"
# The certificate must name the address the client connects to.
sed -i 's/^ip=.*/ip=127.0.0.1/' "$dir/root/mnt/autorun.sh"
password=deploy-secret
printf 'admin:webcfg:%s\n' "$(printf 'admin:webcfg:%s' "$password" | md5sum | cut -d' ' -f1)" > "$dir/etc/webcfg.htdigest"

# Free loopback ports (nothing listening on them), none handed out twice.
taken_ports=
port_taken() {
    case " $taken_ports " in *" $1 "*) return 0 ;; esac
    hex=$(printf '%04X' "$1")
    cat /proc/net/tcp /proc/net/tcp6 2>/dev/null |
        awk -v p=":$hex" '$4 == "0A" && substr($2, length($2) - 4) == p { found = 1 } END { exit !found }'
}
free_port() {
    p=$(( $1 + $$ % 2000 ))
    while port_taken "$p"; do p=$((p + 1)); done
    taken_ports="$taken_ports $p"
    echo "$p"
}
http_port=$(free_port 20000)
https_port=$(free_port 24000)

# Every var. line is pointed into the scratch directory; one this suite does
# not know could name a path on this machine, and stops it.
conf=$dir/lighttpd.conf
: > "$conf"
while IFS= read -r line; do
    case $line in
        var.*)
            name=${line#var.}
            name=${name%%[ =]*}
            case $name in
                pages) value="\"$dir/pages\"" ;;
                cgi) value="\"$dir/root/webcfg.cgi\"" ;;
                state_cgi) value="\"$dir/root/state.cgi\"" ;;
                userfile) value="\"$dir/etc/webcfg.htdigest\"" ;;
                guard) value="\"$dir/guard.lua\"" ;;
                rundir) value="\"$dir/run\"" ;;
                cgi_path) value="\"$dir/bin:/usr/bin:/bin\"" ;;
                key) value="\"$dir/etc/key.pem\"" ;;
                certificate) value="\"$dir/etc/cert.pem\"" ;;
                make_certificate) value="\"$dir/make-certificate.sh\"" ;;
                boot_script) value="\"$dir/root/mnt/autorun.sh\"" ;;
                bind) value='"127.0.0.1"' ;;
                http_port) value=$http_port ;;
                https_port) value=$https_port ;;
                *) fail "deploy/lighttpd.conf: unknown var.$name" ;;
            esac
            printf 'var.%s = %s\n' "$name" "$value" >> "$conf" ;;
        *) printf '%s\n' "$line" >> "$conf" ;;
    esac
done < "$source_dir/deploy/lighttpd.conf"

https=https://127.0.0.1:$https_port
http=http://127.0.0.1:$http_port
cert=$dir/etc/cert.pem
login="--digest -u admin:$password"
form="-H Content-Type:application/x-www-form-urlencoded"

# Runs the command every tenth of a second until it succeeds, or fails
# with the message after that many seconds.
wait_until() {
    seconds=$1 message=$2
    shift 2
    tries=0
    until "$@"; do
        tries=$((tries + 1))
        [ "$tries" -lt $((seconds * 10)) ] || fail "$message"
        sleep 0.1
    done
}

# Waits until URL answers (curl's further arguments after it), or fails
# after about ten seconds, or at once when process PID has ended.
wait_for() {
    what=$1 pid=$2 url=$3
    shift 3
    tries=0
    until curl -s -o /dev/null "$@" "$url" 2>/dev/null; do
        tries=$((tries + 1))
        kill -0 "$pid" 2>/dev/null || fail "$what ended"
        [ "$tries" -lt 100 ] || fail "$what did not answer within 10 s"
        sleep 0.1
    done
}

# As on the device: the server may open 1024 files.
start_lighttpd() {
    python3 "$source_dir/tests/deploy/lan_tools.py" syslog "$test/log.socket" "$test/syslog" &
    pids="$pids $!"
    wait_until 10 "the system log receiver did not start" test -S "$test/log.socket"
    namespace=-m
    [ "$(id -u)" -eq 0 ] || namespace=-rm
    # shellcheck disable=SC2016
    unshare "$namespace" sh -c '
        set -e
        mkdir -p "$1/hostdev"
        mount --rbind /dev "$1/hostdev"
        mount -t tmpfs -o mode=755,size=64k webcfg-dev /dev
        # Devices in place (lighttpd opens /dev/null without following a
        # link), the rest as links.
        for name in "$1"/hostdev/*; do
            if [ -c "$name" ] && [ ! -L "$name" ]; then
                : > "/dev/${name##*/}"
                mount --bind "$name" "/dev/${name##*/}"
            else
                ln -s "$name" "/dev/${name##*/}"
            fi
        done
        ln -s "$2" /dev/log
        ulimit -n 1024
        exec "$3" -D -f "$4"
    ' sh "$dir" "$test/log.socket" "$lighttpd" "$conf" >"$test/start.log" 2>&1 &
    lighttpd_pid=$!
    pids="$pids $lighttpd_pid"
    wait_for lighttpd "$lighttpd_pid" "$https/" --cacert "$cert"
}

# One request with curl, trusting only the device's certificate: sets got
# (the status, or why there is none) and keeps the headers of every answer
# in $test/headers.SERVER.SCHEME.N (SERVER is $answering, SCHEME the one of
# the request's URL) and the body of the last one in $test/body.
requests=0
answering=lighttpd
fetch() {
    requests=$((requests + 1))
    scheme=other
    for a in "$@"; do
        case $a in https://*) scheme=https ;; http://*) scheme=http ;; esac
    done
    headers=$test/headers.$answering.$scheme.$requests
    got=$(curl -s --cacert "$cert" -o "$test/body" -D "$headers" -w '%{http_code}' "$@") ||
        got="nothing (curl $?)"
}

# The stored TTL the check rows compare: the lighttpd appliance's unless
# set_ttl_file names another.
ttl_file=$dir/root/mnt/ttl.ini
set_ttl_file() { ttl_file=$1; }
ttl() { cat "$ttl_file"; }

# One table row: what it is, the status it must get, the body it must get
# ("-": any), the stored TTL afterwards, then curl's arguments.
check() {
    what=$1 status=$2 body=$3 stored=$4
    shift 4
    fetch "$@"
    if [ "$got" != "$status" ]; then
        bad "$what: status $got, expected $status"
    elif [ "$body" != - ] && [ "$(cat "$test/body")" != "$body" ]; then
        bad "$what: body '$(head -c 300 "$test/body")', expected '$body'"
    elif [ "$(ttl)" != "$stored" ]; then
        bad "$what: ttl.ini holds '$(ttl)', expected '$stored'"
    fi
}

# The header NAME of the last answer fetched has a value that matches the
# extended regular expression PATTERN.
check_header() {
    what=$1 name=$2 pattern=$3
    awk -v name="$name" -v pattern="$pattern" '
        /^HTTP\// { found = 0 }
        { line = $0; sub(/\r$/, "", line); colon = index(line, ":") }
        colon && tolower(substr(line, 1, colon - 1)) == tolower(name) {
            value = substr(line, colon + 1); sub(/^[ \t]+/, "", value)
            if (value ~ pattern) found = 1
        }
        END { exit !found }' "$headers" ||
        bad "$what: no $name header matching '$pattern' in the answer"
}

# Every answer lighttpd gave to the requests fetched so far, the server's
# own refusals and redirects included, carries the security headers (and,
# over HTTPS, Strict-Transport-Security) and names no server.
check_security_headers() {
    for file in "$test"/headers.lighttpd.*; do
        [ -e "$file" ] || continue
        https_only=
        case $file in */headers.lighttpd.https.*) https_only=Strict-Transport-Security ;; esac
        awk -v file="${file##*/}" -v https_only="$https_only" '
            function close_answer() {
                if (!status) return
                if (csp !~ /default-src '\''self'\''/ || csp !~ /frame-ancestors '\''none'\''/)
                    print file ": " status ": Content-Security-Policy is \"" csp "\""
                if (!nosniff) print file ": " status ": no X-Content-Type-Options: nosniff"
                if (!referrer) print file ": " status ": no Referrer-Policy: no-referrer"
                if (https_only && !hsts) print file ": " status ": no Strict-Transport-Security"
                if (server != "") print file ": " status ": " server
            }
            { sub(/\r$/, "") }
            /^HTTP\// { close_answer(); status = $0; csp = ""; nosniff = referrer = hsts = 0; server = ""; next }
            tolower($0) ~ /^content-security-policy:/ { csp = $0 }
            tolower($0) ~ /^x-content-type-options: *nosniff$/ { nosniff = 1 }
            tolower($0) ~ /^referrer-policy: *no-referrer$/ { referrer = 1 }
            tolower($0) ~ /^strict-transport-security: *max-age=[1-9]/ { hsts = 1 }
            tolower($0) ~ /^server:/ { server = $0 }
            END { close_answer() }' "$file"
    done > "$test/header-faults"
    [ ! -s "$test/header-faults" ] ||
        bad "answers without the security headers:$(printf '\n'; head -n 20 "$test/header-faults")"
}

# busybox httpd, started as on a device with deploy/busybox-httpd-start.sh,
# on a free port with the sample configuration and a hash of
# $busybox_password, over an appliance of its own (busybox httpd runs the
# programs in cgi-bin/ under its home, and runs them there): sets busybox
# (its URL) and busybox_root.
busybox_password='busybox-secret'
start_busybox() {
    busybox_root=$dir/busybox/home/cgi-bin
    "$source_dir/scripts/demo-seed.sh" "$busybox_root" >/dev/null
    ln -s "$cgi" "$busybox_root/webcfg.cgi"
    ln -s "$state" "$busybox_root/state.cgi"
    cp "$source_dir/web/index.html" "$dir/busybox/home/"
    hash=$(busybox httpd -m "$busybox_password")
    sed "s|^/:admin:.*|/:admin:$hash|" "$source_dir/deploy/busybox-httpd.conf" > "$dir/busybox/httpd.conf"
    busybox_port=$(free_port 28000)
    WEBCFG_HOME=$dir/busybox/home WEBCFG_PORT=127.0.0.1:$busybox_port WEBCFG_PATH=$dir/bin:/usr/bin:/bin \
        sh "$source_dir/deploy/busybox-httpd-start.sh" "$dir/busybox/httpd.conf" >"$test/busybox.log" 2>&1 &
    busybox_pid=$!
    pids="$pids $busybox_pid"
    busybox=http://127.0.0.1:$busybox_port
    wait_for "busybox httpd" "$busybox_pid" "$busybox/"
}

# No line the server logged, to the system log or on its standard error
# (where the programs' own messages go), holds any of the given secrets;
# and the system log has the server's messages.
check_logs() {
    grep -q 'server started' "$test/syslog" ||
        bad "the server's messages did not reach the system log"
    for secret in "$@"; do
        ! grep -qF -- "$secret" "$test/syslog" "$test/start.log" ||
            bad "the server's log holds the secret '$secret'"
    done
}
