#!/bin/sh
# Starts busybox httpd for the configuration pages, with a configuration
# made from deploy/busybox-httpd.conf, once its login is set: it refuses to
# serve while a login line holds anything but an MD5 crypt hash (the
# sample's placeholder, or a password in plain text, which busybox httpd
# would accept), or when no login covers "/".
#
# Usage: busybox-httpd-start.sh [CONFIG]    (default /etc/webcfg/httpd.conf)
# Environment, with the defaults the sample documents:
#   WEBCFG_HOME  the pages, with the programs in cgi-bin/   (/www/webcfg)
#   WEBCFG_PORT  [ADDRESS:]PORT to listen on                (80)
#   WEBCFG_PATH  the programs' PATH; it must name /sbin     (/usr/sbin:/usr/bin:/sbin:/bin)
# The server stays in the foreground; a start-up script puts it in the
# background.
set -eu

config=${1:-/etc/webcfg/httpd.conf}
home=${WEBCFG_HOME:-/www/webcfg}
port=${WEBCFG_PORT:-80}
path=${WEBCFG_PATH:-/usr/sbin:/usr/bin:/sbin:/bin}

say() { echo "busybox-httpd-start: $*" >&2; }

if [ ! -r "$config" ]; then
    say "cannot read $config"
    exit 1
fi
# busybox httpd reads it again on SIGHUP, from its home directory.
case $config in /*) ;; *) config=$PWD/$config ;; esac

# Login lines are PATH:USER:PASSWORD, PATH starting with "/"; comments and
# the blanks around a line are dropped first.
logins=$(sed -e 's/#.*//' -e 's/[[:space:]]*$//' -e 's/^[[:space:]]*//' "$config" | grep '^/' || true)
hash='\$1\$[./0-9A-Za-z]{1,8}\$[./0-9A-Za-z]{22}'
unset_logins=$(printf '%s\n' "$logins" | grep -Ev "^/[^:]*:[^:]+:$hash\$" | grep . || true)
if [ -n "$unset_logins" ]; then
    say "$config: a login holds no password hash (the sample's placeholder, or a password in plain text); make one with"
    say "    busybox httpd -m 'THE PASSWORD'"
    say "and put its output after the user name on the line:"
    printf '%s\n' "$unset_logins" | sed 's/^\([^:]*:[^:]*\):.*/    \1:.../' >&2
    say "not started"
    exit 1
fi
if ! printf '%s\n' "$logins" | grep -Eq "^/:[^:]+:$hash\$"; then
    say "$config: no login line /:USER:HASH covers every address; not started"
    exit 1
fi

busybox=$(command -v busybox) || { say "busybox is not installed"; exit 1; }
exec env -i PATH="$path" "$busybox" httpd -f -p "$port" -h "$home" -c "$config" -r webcfg
