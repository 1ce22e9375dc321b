#!/bin/sh
# The one place that installs Debian packages (as root, or with sudo); every
# script that needs a package calls it. Never removes a package to make room:
# a foreign-architecture package that would replace a native one fails here.
#
#   scripts/install-packages.sh PACKAGE...          installs those missing
#   scripts/install-packages.sh --installable PKG   exit 0 if apt could install it
set -eu
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
stamp=/tmp/zipcvx-apt-updated

apt_update() {
    # Once per architecture list, so that a newly added one is seen.
    archs=$(dpkg --print-foreign-architectures | tr '\n' ' ')
    [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$archs" ] && return 0
    $sudo_cmd apt-get update -qq || true
    echo "$archs" >"$stamp"
}

is_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

if [ "${1:-}" = "--installable" ]; then
    is_installed "$2" && exit 0
    apt_update
    exec $sudo_cmd apt-get install -s -qq --no-install-recommends --no-remove "$2" >/dev/null 2>&1
fi

missing=""
for p in "$@"; do
    is_installed "$p" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing" >&2
apt_update
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends \
    --no-remove -o DPkg::Lock::Timeout=600 $missing >&2
