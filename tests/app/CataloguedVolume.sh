#!/usr/bin/env bash
# Runs the app tests' CataloguedVolumeTest cases in a mount namespace of their own, with an
# ext4 volume on a loop device mounted in two places and the link to it by UUID that udev
# makes (bound over /dev there, as no udev runs here). Skipped (77) when not root.
# Usage: CataloguedVolume.sh APP_TESTS
set -euo pipefail
if [ "$(id -u)" != 0 ]; then
    echo "skipped: mounting a volume on a loop device needs root"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
exec unshare -m bash -c '
set -euo pipefail
tests=$1 t=$2 uuid=5e1f0c3a-7b2d-4e6f-8a9b-0c1d2e3f4a5b
truncate -s 8M "$t/volume.img"
mkfs.ext4 -q -F -U "$uuid" "$t/volume.img"
device=$(losetup -f --show "$t/volume.img")
trap "umount -l \"$t/a\" \"$t/b\" 2>/dev/null || true; losetup -d \"$device\"" EXIT
mkdir -p "$t/dev/disk/by-uuid" "$t/a" "$t/b"
cp -a /dev/null /dev/zero /dev/urandom "$device" "$t/dev/"
ln -s "../../${device#/dev/}" "$t/dev/disk/by-uuid/$uuid"
mount --bind "$t/dev" /dev
mount "$device" "$t/a"
mount "$device" "$t/b"
CATALOGRIUM3_TEST_VOLUME="$t/a" CATALOGRIUM3_TEST_VOLUME_AGAIN="$t/b" \
    "$tests" --gtest_filter="CataloguedVolumeTest.*"
' sh "$1" "$work"
