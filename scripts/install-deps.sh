#!/bin/sh
# Installs the Debian packages a target needs, and only those missing:
# apt-get update runs once, and only when something must be installed.
# Usage: install-deps.sh build|test|demo|web|fuzz|armhf|bench ...
set -eu

pkgs=""
need_node=no
for set in "$@"; do
    case "$set" in
        build) pkgs="$pkgs cmake make g++ libcgicc-dev" ;;
        test)  pkgs="$pkgs cmake make g++ libcgicc-dev googletest libgtest-dev libgmock-dev" ;;
        # The local demo: the pages and the CGI behind lighttpd.
        demo)  pkgs="$pkgs lighttpd" ;;
        # Browser tests: the demo server, Debian's chromium driven by
        # playwright-core from npm (which never downloads a browser).
        web)   pkgs="$pkgs lighttpd chromium"; need_node=yes ;;
        # libFuzzer targets: clang and its fuzzer and sanitizer runtimes.
        fuzz)  pkgs="$pkgs clang libclang-rt-14-dev" ;;
        *) echo "install-deps: unknown set '$set'" >&2; exit 2 ;;
    esac
done

missing=""
for p in $pkgs; do
    # One status line per architecture known for the package (a foreign
    # armhf entry may be listed too): any installed one will do.
    dpkg-query -W -f='${db:Status-Status}\n' "$p" 2>/dev/null | grep -qx installed ||
        case " $missing " in *" $p "*) ;; *) missing="$missing $p" ;; esac
done
# Node.js may come from Debian or from another apt source that bundles npm;
# only a missing command asks for Debian's packages.
if [ "$need_node" = yes ]; then
    command -v node >/dev/null 2>&1 || missing="$missing nodejs"
    command -v npm >/dev/null 2>&1 || missing="$missing npm"
fi
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
