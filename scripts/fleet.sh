#!/bin/sh
# A fleet of simulated encoders on this machine, for the Ansible collection.
# Each device has its own appliance root (seeded by demo-seed.sh), its own
# lighttpd on its own loopback port behind the digest login of the deploy
# configuration (realm webcfg), and stub sync and reboot first on PATH: sync
# does nothing, reboot records the call and makes the device count as freshly
# started by writing the boot time into the root's proc/stat and, where the
# build has webcfg-boot, a new boot identity, and running webcfg-boot.
#
# Usage:
#   fleet.sh start DIR COUNT PROGRAMS [--first-port P] [--https] [--basic]
#   fleet.sh stop DIR
# PROGRAMS is a build directory holding webcfg-sandbox.cgi and
# state-sandbox.cgi, the builds whose root is their working directory; each
# device runs them through a wrapper that changes into its own root.
# start writes DIR/inventory.yml (group encoders, halves studio and hall) and
# DIR/devices (name, URL, root per line). Login: admin / $FLEET_PASSWORD
# (default fleet-demo). --https serves TLS with a self-signed certificate
# (its fingerprint in the inventory as webcfg_fingerprint),
# --basic asks for a basic login instead of digest.
set -eu

here=$(cd "$(dirname "$0")" && pwd -P)
top=$(dirname "$here")
marker=.webcfg-fleet
user="admin"
realm=webcfg
password=${FLEET_PASSWORD:-fleet-demo}
# Seconds a stopping server may take before stop gives up on it.
STOP_WAIT_TENTHS=50

usage() {
    echo "usage: fleet.sh start DIR COUNT PROGRAMS [--first-port P] [--https] [--basic] | stop DIR" >&2
    exit 2
}

# A port is taken when some socket listens on it (IPv4 or IPv6).
port_taken() {
    hex=$(printf '%04X' "$1")
    cat /proc/net/tcp /proc/net/tcp6 2>/dev/null |
        awk -v p=":$hex" '$4 == "0A" && substr($2, length($2) - 4) == p { found = 1 } END { exit !found }'
}

stop_fleet() {
    dir=$1
    [ -d "$dir" ] || return 0
    [ -e "$dir/$marker" ] || { echo "fleet: '$dir' is no fleet directory" >&2; exit 2; }
    for pidfile in "$dir"/dev*/server/lighttpd.pid; do
        [ -f "$pidfile" ] || continue
        pid=$(cat "$pidfile")
        kill -TERM "$pid" 2>/dev/null || { rm -f "$pidfile"; continue; }
        n=0
        while kill -0 "$pid" 2>/dev/null && [ "$n" -lt "$STOP_WAIT_TENTHS" ]; do
            sleep 0.1
            n=$((n + 1))
        done
        rm -f "$pidfile"
    done
}

[ $# -ge 2 ] || usage
action=$1
dir=$2
shift 2
case "$action" in
    stop) [ $# -eq 0 ] || usage; stop_fleet "$dir"; exit 0 ;;
    start) [ $# -ge 2 ] || usage ;;
    *) usage ;;
esac

count=$1
programs=$2
shift 2
port=18400
scheme=http
method=digest
while [ $# -gt 0 ]; do
    case "$1" in
        --first-port) [ $# -ge 2 ] || usage; port=$2; shift 2 ;;
        --https) scheme=https; shift ;;
        --basic) method=basic; shift ;;
        *) usage ;;
    esac
done
case "$count" in '' | *[!0-9]*) usage ;; esac
[ "$count" -ge 1 ] && [ "$count" -le 999 ] || usage

lighttpd=$(command -v lighttpd || echo /usr/sbin/lighttpd)
[ -x "$lighttpd" ] || { echo "fleet: lighttpd is not installed (scripts/install-deps.sh fleet)" >&2; exit 1; }
programs=$(cd "$programs" && pwd -P)
for p in webcfg-sandbox.cgi state-sandbox.cgi; do
    [ -x "$programs/$p" ] || { echo "fleet: no $programs/$p (build the sandbox programs first)" >&2; exit 1; }
done

# A new fleet replaces an old one in the same place, but only one made here.
if [ -e "$dir" ]; then
    if [ ! -e "$dir/$marker" ] && [ -n "$(ls -A "$dir")" ]; then
        echo "fleet: '$dir' is not empty and is no fleet directory; not touching it" >&2
        exit 2
    fi
    stop_fleet "$dir"
    rm -rf "$dir"
fi
mkdir -p "$dir"
dir=$(cd "$dir" && pwd -P)
case "$dir" in *'"'* | *'\'* | *"'"* | *' '*) echo "fleet: cannot serve from '$dir'" >&2; exit 1 ;; esac
echo "simulated encoder fleet, made by scripts/fleet.sh" > "$dir/$marker"

hash=$(printf '%s:%s:%s' "$user" "$realm" "$password" | md5sum | cut -d' ' -f1)
printf '%s:%s:%s\n' "$user" "$realm" "$hash" > "$dir/htdigest"
chmod 600 "$dir/htdigest"

tls=""
if [ "$scheme" = https ]; then
    openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
        -keyout "$dir/device.key" -out "$dir/device.crt" 2>/dev/null
    # Clients pin it by its fingerprint rather than not checking it.
    fingerprint=sha256:$(openssl x509 -in "$dir/device.crt" -noout -fingerprint -sha256 | cut -d= -f2)
    cat "$dir/device.crt" "$dir/device.key" > "$dir/device.pem"
    chmod 600 "$dir/device.key" "$dir/device.pem"
    tls="server.modules += (\"mod_openssl\")
ssl.engine = \"enable\"
ssl.pemfile = \"$dir/device.pem\""
fi

: > "$dir/devices"
hosts=""
i=1
while [ "$i" -le "$count" ]; do
    name=$(printf 'dev%02d' "$i")
    root=$dir/$name/root
    srv=$dir/$name/server
    "$top/scripts/demo-seed.sh" "$root" > /dev/null
    mkdir -p "$root/proc" "$srv/bin" "$srv/cgi-bin"
    # The boot time the state program compares the settings files with.
    [ -f "$root/proc/stat" ] || printf 'btime %s\n' "$(date +%s)" > "$root/proc/stat"
    cat > "$srv/bin/sync" <<EOF
#!/bin/sh
echo "sync\${*:+ \$*}" >> "$srv/calls.log"
EOF
    # A real restart takes a while; the device then counts as started after
    # every change made before it.
    cat > "$srv/bin/reboot" <<EOF
#!/bin/sh
echo "reboot\${*:+ \$*}" >> "$srv/calls.log"
sleep 1
printf 'btime %s\n' "\$(date +%s)" > "$root/proc/stat.new"
mv -f "$root/proc/stat.new" "$root/proc/stat"
EOF
    # Where webcfg-boot is built, the device comes back through it, with a
    # new boot identity, as a device's start-up does; and it starts so now.
    if [ -x "$programs/webcfg-boot-sandbox" ]; then
        ln -sfn /proc/uptime "$root/proc/uptime"
        cat >> "$srv/bin/reboot" <<EOF
cat /proc/sys/kernel/random/uuid > "$root/proc/sys/kernel/random/boot_id"
(cd "$root" && "$programs/webcfg-boot-sandbox") </dev/null >/dev/null 2>&1 &
EOF
        (cd "$root" && PATH="$srv/bin:/usr/bin:/bin" "$programs/webcfg-boot-sandbox" </dev/null) ||
            echo "fleet: webcfg-boot failed in $root" >&2
    fi
    for prog in webcfg state; do
        printf '#!/bin/sh\ncd "%s" || exit 1\nexec "%s/%s-sandbox.cgi"\n' "$root" "$programs" "$prog" \
            > "$srv/cgi-bin/$prog.cgi"
    done
    chmod 755 "$srv/bin/sync" "$srv/bin/reboot" "$srv/cgi-bin/webcfg.cgi" "$srv/cgi-bin/state.cgi"
    : > "$srv/calls.log"

    while port_taken "$port"; do port=$((port + 1)); done
    cat > "$srv/lighttpd.conf" <<EOF
# Generated by scripts/fleet.sh: one simulated device, not for a device.
server.modules = ("mod_access", "mod_auth", "mod_authn_file", "mod_alias", "mod_cgi", "mod_setenv", "mod_accesslog")
server.bind = "127.0.0.1"
server.port = $port
server.document-root = "$top/web"
server.errorlog = "$srv/error.log"
accesslog.filename = "$srv/access.log"
server.pid-file = "$srv/lighttpd.pid"
index-file.names = ("index.html")
mimetype.assign = (
    ".html" => "text/html; charset=utf-8",
    ".css" => "text/css; charset=utf-8",
    ".js" => "text/javascript; charset=utf-8",
)
$tls
auth.backend = "htdigest"
auth.backend.htdigest.userfile = "$dir/htdigest"
auth.require = ("" => (
    "method"  => "$method",
    "realm"   => "$realm",
    "require" => "valid-user",
))
alias.url = ("/cgi-bin/webcfg.cgi" => "$srv/cgi-bin/webcfg.cgi",
             "/cgi-bin/state.cgi" => "$srv/cgi-bin/state.cgi")
\$HTTP["url"] =~ "^/cgi-bin/(webcfg|state)\.cgi$" {
    cgi.assign = ("" => "")
    setenv.set-environment = ("PATH" => "$srv/bin:/usr/bin:/bin")
}
EOF
    "$lighttpd" -f "$srv/lighttpd.conf" ||
        { echo "fleet: $name did not start (see $srv/error.log)" >&2; stop_fleet "$dir"; exit 1; }
    url="$scheme://127.0.0.1:$port"
    printf '%s %s %s\n' "$name" "$url" "$root" >> "$dir/devices"
    hosts="$hosts $name=$url"
    port=$((port + 1))
    i=$((i + 1))
done

# Halves of the fleet as two sites, for plays on one group.
half=$(((count + 1) / 2))
{
    echo "# Generated by scripts/fleet.sh for the simulated fleet in $dir."
    echo "all:"
    echo "  vars:"
    echo "    ansible_connection: local"
    echo "    ansible_python_interpreter: \"{{ ansible_playbook_python }}\""
    echo "    webcfg_username: $user"
    echo "    webcfg_password: $password"
    [ "$scheme" = https ] && echo "    webcfg_fingerprint: \"$fingerprint\""
    echo "  children:"
    echo "    encoders:"
    echo "      children:"
    n=0
    for h in $hosts; do
        if [ "$n" -eq 0 ]; then echo "        studio:"; echo "          hosts:"; fi
        if [ "$n" -eq "$half" ]; then echo "        hall:"; echo "          hosts:"; fi
        host=${h%%=*}
        echo "            $host:"
        echo "              webcfg_url: ${h#*=}"
        echo "              webcfg_root: $dir/$host/root"
        n=$((n + 1))
    done
} > "$dir/inventory.yml"

# Up once every server answers (the login challenge is enough).
for h in $hosts; do
    n=0
    until curl -s -k -o /dev/null "${h#*=}/"; do
        n=$((n + 1))
        [ "$n" -lt "$STOP_WAIT_TENTHS" ] || { echo "fleet: ${h%%=*} does not answer" >&2; stop_fleet "$dir"; exit 1; }
        sleep 0.1
    done
done
echo "fleet: $count devices up in $dir (inventory $dir/inventory.yml)"
