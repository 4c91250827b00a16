#!/bin/sh
# Installs the Debian packages a target needs, and only those missing:
# apt-get update runs once, and only when something must be installed.
# Usage: install-deps.sh build|test|demo|web|fuzz|armhf|bench|fleet ...
# The armhf set also unpacks the target's libraries into the directory named
# by WEBCFG_ARMHF_SYSROOT (the Makefile passes one under the build tree).
set -eu

# Target libraries for the cross build. libcgicc-dev:armhf cannot be
# installed next to the host's libcgicc-dev (both ship cgicc-config), so the
# packages are downloaded and unpacked instead of installed; the JSON
# library is headers only, the same for every architecture.
ARMHF_SYSROOT_PACKAGES="libcgicc-dev:armhf libcgicc3:armhf libc6:armhf nlohmann-json3-dev"

pkgs=""
need_node=no
armhf=no
for set in "$@"; do
    case "$set" in
        build) pkgs="$pkgs cmake make g++ libcgicc-dev nlohmann-json3-dev" ;;
        test)  pkgs="$pkgs cmake make g++ libcgicc-dev nlohmann-json3-dev googletest libgtest-dev libgmock-dev python3-jsonschema"
               # The deploy tests serve the configuration over HTTPS with lighttpd
               # (mod_magnet runs its Lua script), and on a hostile network:
               # python3 holds idle connections and receives the system log,
               # busybox httpd serves the programs without header rules.
               pkgs="$pkgs lighttpd lighttpd-mod-openssl lighttpd-modules-lua openssl curl python3 busybox"
               # Every network block the Wi-Fi tests produce is read by
               # wpa_supplicant's own parser (util-linux gives unshare).
               pkgs="$pkgs wpasupplicant util-linux" ;;
        # The local demo: the pages and the CGI behind lighttpd.
        demo)  pkgs="$pkgs lighttpd" ;;
        # Browser tests: the demo server, Debian's chromium driven by
        # playwright-core from npm (which never downloads a browser), axe-core
        # for the accessibility checks, a CJK font for the Chinese pages.
        # The server checks also serve the programs with busybox httpd
        # and request them with curl; their lighttpd runs the deploy
        # configuration (TLS, Lua).
        web)   pkgs="$pkgs lighttpd lighttpd-mod-openssl lighttpd-modules-lua chromium fonts-wqy-zenhei busybox curl"
               need_node=yes ;;
        # The appliance build and its emulated test run.
        armhf) pkgs="$pkgs cmake make g++-arm-linux-gnueabihf binutils-arm-linux-gnueabihf qemu-user"
               armhf=yes ;;
        # make bench: the floor program is C, callgrind counts instructions.
        bench) pkgs="$pkgs cmake make gcc g++ libcgicc-dev nlohmann-json3-dev valgrind binutils" ;;
        # libFuzzer targets: clang and its fuzzer and sanitizer runtimes.
        fuzz)  pkgs="$pkgs clang libclang-rt-14-dev" ;;
        # The Ansible collection and its simulated fleet: each device a
        # lighttpd (TLS module for the HTTPS check), curl for the hand-made
        # changes, openssl for the self-signed certificate.
        fleet) pkgs="$pkgs ansible-core python3-pytest python3-voluptuous pycodestyle lighttpd lighttpd-mod-openssl curl openssl" ;;
        *) echo "install-deps: unknown set '$set'" >&2; exit 2 ;;
    esac
done

need_root() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "install-deps: $1 (run as root to do it)" >&2
        exit 1
    fi
}

updated=no
apt_update() {
    [ "$updated" = yes ] && return 0
    apt-get update
    updated=yes
}

export DEBIAN_FRONTEND=noninteractive

if [ "$armhf" = yes ] && ! dpkg --print-foreign-architectures | grep -qx armhf; then
    need_root "the armhf architecture must be added to dpkg"
    dpkg --add-architecture armhf
    apt_update
fi

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
if [ -n "$missing" ]; then
    need_root "missing packages:$missing"
    echo "install-deps: installing$missing"
    apt_update
    # shellcheck disable=SC2086
    apt-get install -y --no-install-recommends $missing
fi

[ "$armhf" = yes ] || exit 0
sysroot=${WEBCFG_ARMHF_SYSROOT:-}
[ -n "$sysroot" ] || exit 0
stamp="$sysroot/.packages"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$ARMHF_SYSROOT_PACKAGES" ]; then
    exit 0
fi

echo "install-deps: unpacking $ARMHF_SYSROOT_PACKAGES into $sysroot"
debs=$(mktemp -d)
trap 'rm -rf "$debs"' EXIT
download() {
    # As root apt would hand the download to its unprivileged user, which
    # cannot write into our private directory.
    # shellcheck disable=SC2086
    (cd "$debs" && apt-get download -o APT::Sandbox::User="$(id -un)" $ARMHF_SYSROOT_PACKAGES)
}
if ! download; then
    # The armhf package lists may never have been fetched.
    need_root "the armhf package lists must be updated"
    apt_update
    download
fi
rm -rf "$sysroot"
mkdir -p "$sysroot"
for deb in "$debs"/*.deb; do
    dpkg-deb -x "$deb" "$sysroot"
done
echo "$ARMHF_SYSROOT_PACKAGES" > "$stamp"
