#!/bin/sh
# Starts lighttpd with deploy/lighttpd.conf in a scratch directory (only its
# var. lines changed, to point at the scratch paths and free loopback ports)
# and checks it as a browser and an attacker would see it, with curl
# trusting only the certificate the start-up generated.
# Usage: https_test.sh SOURCE_DIR CGI_PROGRAM STATE_PROGRAM
# Both programs are the builds whose root is their working directory;
# lighttpd runs a program in the program's directory, so the links to them
# sit in the appliance root.
set -eu

source_dir=$1
cgi=$2
state=$3
lighttpd=$(command -v lighttpd || echo /usr/sbin/lighttpd)
base=${TMPDIR:-/tmp}
[ -w /dev/shm ] && base=/dev/shm
dir=$(mktemp -d "$base/webcfg-deploy-XXXXXX")
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; cat "$dir/webcfg-error.log" "$dir/start.log" >&2 2>/dev/null; exit 1; }

# The appliance: the demo's file set, the program, stub sync and reboot.
"$source_dir/scripts/demo-seed.sh" "$dir/root" >/dev/null
ln -s "$cgi" "$dir/root/webcfg.cgi"
ln -s "$state" "$dir/root/state.cgi"
mkdir -p "$dir/bin" "$dir/pages" "$dir/etc"
for stub in sync reboot; do printf '#!/bin/sh\n' > "$dir/bin/$stub"; chmod 755 "$dir/bin/$stub"; done
# Another program beside the pages must never run.
printf '#!/bin/sh\nprintf "Content-type: text/plain\\r\\n\\r\\n"\necho "ran""-other"\n' > "$dir/pages/other.cgi"
chmod 755 "$dir/pages/other.cgi"
cp "$source_dir/web/index.html" "$source_dir/web/style.css" "$source_dir/web/app.js" "$dir/pages/"
cp "$source_dir/deploy/make-certificate.sh" "$dir/make-certificate.sh"
# The certificate must name the address the client connects to.
sed -i 's/^ip=.*/ip=127.0.0.1/' "$dir/root/mnt/autorun.sh"
printf 'admin:webcfg:%s\n' "$(printf 'admin:webcfg:deploy-secret' | md5sum | cut -d' ' -f1)" > "$dir/etc/webcfg.htdigest"

# Two free loopback ports (nothing listening on them).
port_taken() {
    hex=$(printf '%04X' "$1")
    cat /proc/net/tcp /proc/net/tcp6 2>/dev/null |
        awk -v p=":$hex" '$4 == "0A" && substr($2, length($2) - 4) == p { found = 1 } END { exit !found }'
}
free_port() {
    p=$(( $1 + $$ % 2000 ))
    while port_taken "$p" || [ "$p" = "${2:-}" ]; do p=$((p + 1)); done
    echo "$p"
}
http_port=$(free_port 20000)
https_port=$(free_port 24000 "$http_port")

conf=$dir/lighttpd.conf
cp "$source_dir/deploy/lighttpd.conf" "$conf"
setvar() {
    grep -q "^var\.$1 *=" "$conf" || fail "deploy/lighttpd.conf has no var.$1 line"
    sed -i "s|^var\.$1 *=.*|var.$1 = $2|" "$conf"
}
setvar pages "\"$dir/pages\""
setvar cgi "\"$dir/root/webcfg.cgi\""
setvar state_cgi "\"$dir/root/state.cgi\""
setvar userfile "\"$dir/etc/webcfg.htdigest\""
setvar logdir "\"$dir\""
setvar rundir "\"$dir\""
setvar cgi_path "\"$dir/bin:/usr/bin:/bin\""
setvar key "\"$dir/etc/key.pem\""
setvar certificate "\"$dir/etc/cert.pem\""
setvar make_certificate "\"$dir/make-certificate.sh\""
setvar boot_script "\"$dir/root/mnt/autorun.sh\""
setvar bind '"127.0.0.1"'
setvar http_port "$http_port"
setvar https_port "$https_port"

"$lighttpd" -D -f "$conf" 2>"$dir/start.log" &
pid=$!
https=https://127.0.0.1:$https_port
tries=0
until curl -s -o /dev/null --cacert "$dir/etc/cert.pem" "$https/" 2>/dev/null; do
    tries=$((tries + 1))
    kill -0 "$pid" 2>/dev/null || { cat "$dir/start.log" >&2; fail "lighttpd did not start"; }
    [ "$tries" -lt 100 ] || fail "no HTTPS answer in 10 s"
    sleep 0.1
done

ttl() { cat "$dir/root/mnt/ttl.ini"; }
login="--digest -u admin:deploy-secret"
form="-H Content-Type:application/x-www-form-urlencoded"
# One row per request: what it is, the status it must get, the body it must
# get ("-": any), the stored ttl afterwards, then curl's arguments.
failures=0
check() {
    what=$1 status=$2 body=$3 stored=$4
    shift 4
    got=$(curl -s --cacert "$dir/etc/cert.pem" -o "$dir/body" -w '%{http_code}' "$@") || got="curl failed ($?)"
    if [ "$got" != "$status" ]; then
        echo "FAIL: $what: status $got, expected $status" >&2; failures=$((failures + 1))
    elif [ "$body" != - ] && [ "$(cat "$dir/body")" != "$body" ]; then
        echo "FAIL: $what: body '$(cat "$dir/body")', expected '$body'" >&2; failures=$((failures + 1))
    elif [ "$(ttl)" != "$stored" ]; then
        echo "FAIL: $what: ttl.ini holds '$(ttl)', expected '$stored'" >&2; failures=$((failures + 1))
    fi
}
cgi_url=$https/cgi-bin/webcfg.cgi
# shellcheck disable=SC2086
{
check "no login"                     401 - 64 "$https/"
check "no login, program"            401 - 64 $form -d ttl_submit= -d ttl=42 "$cgi_url"
check "wrong password"               401 - 64 --digest -u admin:guess "$https/"
check "login, page"                  200 - 64 $login "$https/"
check "login, change"                200 "set ttl:42" 42 $login $form -d ttl_submit= -d ttl=42 "$cgi_url"
check "own page's origin"            200 "set ttl:43" 43 $login $form -H "Origin: $https" -d ttl_submit= -d ttl=43 "$cgi_url"
check "marked cross-site"            403 - 43 $login $form -H 'Sec-Fetch-Site: cross-site' -d ttl_submit= -d ttl=7 "$cgi_url"
check "another site's origin"        403 - 43 $login $form -H 'Origin: https://attacker.example' -d ttl_submit= -d ttl=7 "$cgi_url"
check "plain HTTP origin"            403 - 43 $login $form -H "Origin: http://127.0.0.1:$https_port" -d ttl_submit= -d ttl=7 "$cgi_url"
check "opaque origin"                403 - 43 $login $form -H 'Origin: null' -d ttl_submit= -d ttl=7 "$cgi_url"
check "state program"                200 - 43 $login "$https/cgi-bin/state.cgi"
check "state program, other origin"  403 - 43 $login -H 'Origin: https://attacker.example' "$https/cgi-bin/state.cgi"
check "state program, cross-site"    403 - 43 $login -H 'Sec-Fetch-Site: cross-site' "$https/cgi-bin/state.cgi"
check "other program"                403 - 43 $login "$https/other.cgi"
}

# Plain HTTP answers only with a redirect, before any login.
location=$(curl -s -o /dev/null -w '%{http_code} %{redirect_url}' "http://127.0.0.1:$http_port/cgi-bin/webcfg.cgi?name44_submit=")
[ "$location" = "301 $https/cgi-bin/webcfg.cgi?name44_submit=" ] ||
    { echo "FAIL: plain HTTP answered '$location'" >&2; failures=$((failures + 1)); }

# The start-up made the key and certificate; a second run keeps both.
cp "$dir/etc/key.pem" "$dir/key.before"
cp "$dir/etc/cert.pem" "$dir/cert.before"
WEBCFG_KEY=$dir/etc/key.pem WEBCFG_CERTIFICATE=$dir/etc/cert.pem \
    WEBCFG_BOOT_SCRIPT=$dir/root/mnt/autorun.sh "$dir/make-certificate.sh" >"$dir/second.out"
cmp -s "$dir/key.before" "$dir/etc/key.pem" && cmp -s "$dir/cert.before" "$dir/etc/cert.pem" ||
    { echo "FAIL: a second run changed the key or the certificate" >&2; failures=$((failures + 1)); }
[ ! -s "$dir/second.out" ] ||
    { echo "FAIL: the certificate script printed on standard output" >&2; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] || fail "$failures failed"
echo "ok"
