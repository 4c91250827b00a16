#!/bin/sh
# What the programs themselves keep out, behind the deploy configuration's
# lighttpd and behind busybox httpd, which has no rules of its own about
# where a request comes from (tests/deploy/sandbox.sh): no reply holds the
# Wi-Fi pass phrase; a GET never changes anything; a POST from another site
# is refused; the replies are not cached.
# Usage: program_refusals_test.sh SOURCE_DIR CGI_PROGRAM STATE_PROGRAM
set -eu

source_dir=$1
cgi=$2
state=$3
. "$source_dir/tests/deploy/sandbox.sh"
start_lighttpd

cgi_url=$https/cgi-bin/webcfg.cgi
change="$form -d ttl_submit= -d ttl"

# Replies that show Wi-Fi settings never hold the pass phrase the device's
# wpa.conf holds when they are made.
passphrase() { sed -n 's/^psk="\(.*\)"$/\1/p' "$dir/root/mnt/wifi/wpa.conf"; }
phrases=
no_passphrase() {
    what=$1
    shift
    held=$(passphrase)
    [ -n "$held" ] || fail "$what: no pass phrase in the appliance's wpa.conf"
    phrases="$phrases $held"
    # shellcheck disable=SC2086
    check "$what" 200 - 64 $login $form "$@" "$cgi_url"
    ! grep -qF -- "$held" "$test/body" || bad "$what: the reply holds the pass phrase"
}
no_passphrase "status with Wi-Fi"    -d name44_submit=
no_passphrase "network name change"  -d ssid_submit= -d ssid=lan-test
no_passphrase "pass phrase change"   -d passkey_submit= -d passkey=lan-test-phrase
phrases="$phrases $(passphrase)"

# A GET carrying a change is refused and changes nothing; one that only
# asks is answered. Nothing the programs answer is kept by a cache.
# shellcheck disable=SC2086
{
check "GET with a change"  405 "only a POST may change settings; nothing was done" 64 $login "$cgi_url?ttl_submit=&ttl=71"
check_header "GET with a change" Allow '^POST$'
check_header "GET with a change" Cache-Control 'no-store'
check "GET of the status"  200 - 64 $login "$cgi_url?name44_submit="
check_header "GET of the status" Cache-Control 'no-store'
check "a change"           200 "set ttl:65" 65 $login $change=65 "$cgi_url"
check_header "a change" Cache-Control 'no-store'
check "state document"     200 - 65 $login "$https/cgi-bin/state.cgi"
check_header "state document" Cache-Control 'no-store'
revision=$(awk 'tolower($1) == "etag:" { sub(/\r$/, ""); print $2 }' "$headers")
set_body='{"settings": {"encoder": {"ttl": 66}}}'
check "a change set, stale"  412 - 65 $login -H 'Content-Type: application/json' -H 'If-Match: "0000000000000000"' -d "$set_body" "$https/cgi-bin/state.cgi"
check "a change set"         200 - 66 $login -H 'Content-Type: application/json' -H "If-Match: $revision" -d "$set_body" "$https/cgi-bin/state.cgi"
check_header "a change set" ETag '^"[0-9a-f]+"$'
check "a change set, again"  412 - 66 $login -H 'Content-Type: application/json' -H "If-Match: $revision" -d '{"settings": {"encoder": {"ttl": 67}}}' "$https/cgi-bin/state.cgi"
}

check_security_headers
# shellcheck disable=SC2086
check_logs "$password" $phrases

# busybox httpd passes every request on: the programs refuse another site's
# posts themselves, by Sec-Fetch-Site and by Origin.
start_busybox
answering=busybox
set_ttl_file "$busybox_root/mnt/ttl.ini"
bb_login="-u admin:$busybox_password"
refusal="the request comes from another site; nothing was done"
json_refusal="{\"error\":\"$refusal\"}"
# shellcheck disable=SC2086
{
check "busybox, own page's post"       200 "set ttl:44" 44 $bb_login -H "Origin: $busybox" -H 'Sec-Fetch-Site: same-origin' $change=44 "$busybox/cgi-bin/webcfg.cgi"
check "busybox, same-site post"        403 "$refusal" 44 $bb_login -H 'Sec-Fetch-Site: same-site' $change=7 "$busybox/cgi-bin/webcfg.cgi"
check "busybox, cross-site post"       403 "$refusal" 44 $bb_login -H 'Sec-Fetch-Site: cross-site' $change=7 "$busybox/cgi-bin/webcfg.cgi"
check "busybox, another site's origin" 403 "$refusal" 44 $bb_login -H 'Origin: https://attacker.example' $change=7 "$busybox/cgi-bin/webcfg.cgi"
check "busybox, origin of HTTPS"       403 "$refusal" 44 $bb_login -H "Origin: https://127.0.0.1:$busybox_port" $change=7 "$busybox/cgi-bin/webcfg.cgi"
check "busybox, state, same-site post" 403 "$json_refusal" 44 $bb_login -H 'Sec-Fetch-Site: same-site' -d '' "$busybox/cgi-bin/state.cgi"
check "busybox, state, other origin"   403 "$json_refusal" 44 $bb_login -H 'Origin: https://attacker.example' -d '' "$busybox/cgi-bin/state.cgi"
check "busybox, state, own page's set" 200 - 45 $bb_login -H "Origin: $busybox" -H 'Content-Type: application/json' -d '{"settings": {"encoder": {"ttl": 45}}}' "$busybox/cgi-bin/state.cgi"
}

[ "$failures" -eq 0 ] || fail "$failures failed"
echo "ok"
