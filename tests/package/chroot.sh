#!/usr/bin/env bash
# Runs COMMAND (a shell command, with the chroot's folder as $1) in a clean Debian RELEASE
# (bookworm, trixie) made by mmdebstrap from this machine's package archive, and throws it away.
#   usage: chroot.sh RELEASE VARIANT PACKAGES COMMAND
# The sources name that release's own suites at the addresses this machine uses. Downloaded .deb
# files are kept in one folder for every chroot ($KESTREL_DEB_CACHE, else ~/.cache/kestrel/debs),
# but each chroot starts clean. Before COMMAND, the chroot must be the release asked for, with its
# FFmpeg (5.1 on Debian 12, 7.1 on 13): anything else fails. It trusts the certificate
# authorities this machine added to its own (a proxy's, for the npm registry).
set -euo pipefail
release=$1 variant=$2 packages=$3 command=$4
case $release in
    bookworm) ffmpeg=5.1 number=12 ;;
    trixie) ffmpeg=7.1 number=13 ;;
    *) echo "chroot.sh: unknown release $release" >&2 && exit 2 ;;
esac

# The archive's and the security archive's addresses, from the one-line and the deb822 files.
addresses=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    awk '$1 == "deb" { for (i = 2; i <= NF && $i ~ /^\[/; i++) {} ; print $i, $(i + 1) }' || :)
addresses+=$'\n'$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '
    /^URIs:/ { uri = $2 } /^Suites:/ { for (i = 2; i <= NF; i++) print uri, $i } /^$/ { uri = "" }' || :)
mine=$(. /etc/os-release && echo "$VERSION_CODENAME")
main=$(awk -v s="$mine" '$2 == s { print $1; exit }' <<<"$addresses")
security=$(awk -v s="$mine-security" '$2 == s { print $1; exit }' <<<"$addresses")
[ -n "$main" ] || { echo "chroot.sh: no source of $mine in this machine's apt files" >&2 && exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
{
    printf 'Types: deb\nURIs: %s\nSuites: %s %s-updates\nComponents: main\n' "$main" "$release" "$release"
    printf 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n'
    [ -z "$security" ] || printf '\nTypes: deb\nURIs: %s\nSuites: %s-security\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$security" "$release"
} >"$work/$release.sources"

cache=${KESTREL_DEB_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kestrel/debs}
mkdir -p "$cache/partial"
export CHROOT_RELEASE=$number CHROOT_FFMPEG=$ffmpeg CHROOT_COMMAND=$command CHROOT_CACHE=$cache
# shellcheck disable=SC2016 # the hooks expand $1 and the variables themselves
mmdebstrap --variant="$variant" --include="ffmpeg,ca-certificates,$packages" --format=null --quiet \
    --skip=essential/unlink,cleanup/apt/cache \
    --aptopt='APT::Keep-Downloaded-Packages "true"' \
    --setup-hook='mkdir -p "$1/var/cache/apt/archives" && mount --bind "$CHROOT_CACHE" "$1/var/cache/apt/archives"' \
    --customize-hook='status=0
        { chroot "$1" sh -c ". /etc/os-release; test \"\$VERSION_ID\" = $CHROOT_RELEASE" ||
            { echo "the chroot is not Debian $CHROOT_RELEASE:"; cat "$1/etc/os-release"; false; } >&2; } &&
        { [ "$(chroot "$1" ffmpeg -version | head -1 | cut -d" " -f3 | cut -d. -f1-2)" = "$CHROOT_FFMPEG" ] ||
            { echo "the chroot has not FFmpeg $CHROOT_FFMPEG"; false; } >&2; } &&
        { [ -z "$(ls /usr/local/share/ca-certificates)" ] ||
            { cp -r /usr/local/share/ca-certificates/. "$1/usr/local/share/ca-certificates/" &&
              chroot "$1" update-ca-certificates >/dev/null; }; } &&
        sh -ec "$CHROOT_COMMAND" chroot "$1" || status=$?
        umount "$1/var/cache/apt/archives"; exit $status' \
    "$release" /dev/null "$work/$release.sources"
