#!/bin/sh
# Starts lighttpd with deploy/lighttpd.conf in a scratch directory
# (tests/deploy/sandbox.sh) and checks it as a browser would see it, with
# curl trusting only the certificate the start-up generated: the login, a
# change, the other site's requests refused, no other program run, plain
# HTTP redirected, the certificate kept by a second start.
# Usage: https_test.sh SOURCE_DIR CGI_PROGRAM STATE_PROGRAM
set -eu

source_dir=$1
cgi=$2
state=$3
. "$source_dir/tests/deploy/sandbox.sh"
start_lighttpd

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
check "opaque origin, same-site"     403 - 43 $login $form -H 'Origin: null' -H 'Sec-Fetch-Site: same-site' -d ttl_submit= -d ttl=7 "$cgi_url"
check "own form under no-referrer"   200 "set ttl:44" 44 $login $form -H 'Origin: null' -H 'Sec-Fetch-Site: same-origin' -d ttl_submit= -d ttl=44 "$cgi_url"
check "state program"                200 - 44 $login "$https/cgi-bin/state.cgi"
check "state program, other origin"  403 - 44 $login -H 'Origin: https://attacker.example' "$https/cgi-bin/state.cgi"
check "state program, cross-site"    403 - 44 $login -H 'Sec-Fetch-Site: cross-site' "$https/cgi-bin/state.cgi"
check "other program"                403 - 44 $login "$https/other.cgi"
}

# Plain HTTP answers only with a redirect, before any login.
location=$(curl -s -o /dev/null -w '%{http_code} %{redirect_url}' "$http/cgi-bin/webcfg.cgi?name44_submit=")
[ "$location" = "301 $https/cgi-bin/webcfg.cgi?name44_submit=" ] ||
    bad "plain HTTP answered '$location'"

# The start-up made the key and certificate; a second run keeps both.
cp "$dir/etc/key.pem" "$test/key.before"
cp "$dir/etc/cert.pem" "$test/cert.before"
WEBCFG_KEY=$dir/etc/key.pem WEBCFG_CERTIFICATE=$dir/etc/cert.pem \
    WEBCFG_BOOT_SCRIPT=$dir/root/mnt/autorun.sh "$dir/make-certificate.sh" >"$test/second.out"
cmp -s "$test/key.before" "$dir/etc/key.pem" && cmp -s "$test/cert.before" "$dir/etc/cert.pem" ||
    bad "a second run changed the key or the certificate"
[ ! -s "$test/second.out" ] || bad "the certificate script printed on standard output"

[ "$failures" -eq 0 ] || fail "$failures failed"
echo "ok"
