#!/bin/sh
# Seeds a demo appliance root (kept between runs) and runs one request
# against the relocated program, printing the reply as a browser gets it.
# Usage: demo.sh DEMO_ROOT CGI_PROGRAM
set -eu
root=$1
cgi=$2
bin=$(dirname "$root")/demo-bin

if [ ! -d "$root/mnt" ]; then
    mkdir -p "$root/mnt/wifi" "$root/tmp"
    printf '1 9' > "$root/mnt/format.ini"
    printf '2' > "$root/mnt/mk120.ini"
    printf '0\n' > "$root/mnt/qiehuan"
    printf '1920 1080\n' > "$root/tmp/format.ini"
    echo "demo: seeded $root"
fi

# The demo must never flush or reboot the host: sync and reboot are stubs
# that record the request.
mkdir -p "$bin"
for stub in sync reboot; do
    printf '#!/bin/sh\necho "%s $*" >> "%s/demo-calls.log"\n' "$stub" "$(dirname "$root")" > "$bin/$stub"
    chmod +x "$bin/$stub"
done

query='name129_submit=&menu_set_signal_mode=2'
echo "demo: GET ?$query"
env -i PATH="$bin:/usr/bin:/bin" GATEWAY_INTERFACE=CGI/1.1 REQUEST_METHOD=GET \
    QUERY_STRING="$query" "$cgi"
