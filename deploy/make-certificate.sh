#!/bin/sh
# Creates the device's own TLS key and self-signed certificate for the
# configuration pages, when they do not exist yet; an existing key or
# certificate (the device's earlier one, or an integrator's) is never
# replaced. The certificate names the address of the boot script's ip= line.
#
# No arguments. deploy/lighttpd.conf runs it at every start of the server,
# passing its own paths in WEBCFG_KEY, WEBCFG_CERTIFICATE and
# WEBCFG_BOOT_SCRIPT; the defaults below are the same paths. It prints
# nothing on standard output, which the server reads as configuration.
set -eu

key=${WEBCFG_KEY:-/etc/lighttpd/webcfg-key.pem}
certificate=${WEBCFG_CERTIFICATE:-/etc/lighttpd/webcfg-cert.pem}
boot_script=${WEBCFG_BOOT_SCRIPT:-/mnt/autorun.sh}
# A device is rarely revisited to renew anything: ten years.
VALID_DAYS=3650

say() { echo "make-certificate: $*" >&2; }

if [ -e "$certificate" ]; then
    [ -e "$key" ] && exit 0
    say "$certificate exists but its key $key does not; put the key there or remove the certificate"
    exit 1
fi

# The address as the boot script sets it, when it is a plain IPv4 address.
ip=$(sed -n 's/^ip=//p' "$boot_script" 2>/dev/null | head -n 1 | tr -d '\r')
if ! printf '%s\n' "$ip" | grep -Eqx '([0-9]{1,3}\.){3}[0-9]{1,3}'; then
    say "no address on an ip= line of $boot_script; the certificate names none"
    ip=
fi

# Written beside the final files and renamed into place, so that a failure
# or a power cut never leaves half a file under the final name.
umask 077
tmp_key="$key.new.$$"
tmp_certificate="$certificate.new.$$"
trap 'rm -f "$tmp_key" "$tmp_certificate"' EXIT
mkdir -p "$(dirname "$key")" "$(dirname "$certificate")"

# A key without its certificate (a start cut short between the two) is
# kept, and the certificate is made for it.
if [ ! -e "$key" ]; then
    openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$tmp_key" 2>/dev/null
    mv "$tmp_key" "$key"
fi

if [ -n "$ip" ]; then
    set -- -subj "/CN=$ip" -addext "subjectAltName=IP:$ip"
else
    set -- -subj "/CN=webcfg"
fi
openssl req -new -x509 -key "$key" -days "$VALID_DAYS" -sha256 "$@" \
    -addext "basicConstraints=critical,CA:FALSE" -out "$tmp_certificate" 2>/dev/null
chmod 644 "$tmp_certificate"
mv "$tmp_certificate" "$certificate"
say "created $certificate${ip:+ for $ip}"
