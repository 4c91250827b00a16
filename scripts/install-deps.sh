#!/bin/sh
# Installs the Debian packages a target needs, and only those missing:
# apt-get update runs once, and only when something must be installed.
# Usage: install-deps.sh build|test|demo|fuzz|armhf|bench ...
set -eu

pkgs=""
for set in "$@"; do
    case "$set" in
        build) pkgs="$pkgs cmake make g++ libcgicc-dev" ;;
        test)  pkgs="$pkgs cmake make g++ libcgicc-dev googletest libgtest-dev libgmock-dev" ;;
        *) echo "install-deps: unknown set '$set'" >&2; exit 2 ;;
    esac
done

missing=""
for p in $pkgs; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages:$missing (run as root to install them)" >&2
    exit 1
fi
echo "install-deps: installing$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update
# shellcheck disable=SC2086
apt-get install -y --no-install-recommends $missing
