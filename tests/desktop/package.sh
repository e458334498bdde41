#!/usr/bin/env bash
# package.sh BUILD-DIR VERSION: `cpack -G DEB` makes the package into a folder of its own, and
# dpkg-deb shows that it holds exactly the program's files under /usr and that its control
# fields name the package, its version and architecture, a maintainer with an address, and the
# dependencies found in the binaries together with the fonts. The copyright file is in
# Debian's machine-readable format, the changelog's latest entry is the package's version,
# and lintian (when installed) finds no error or warning.
set -uo pipefail
build=$1 version=$2
for tool in cpack dpkg-deb dpkg-shlibdeps; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: $tool is not installed (scripts/install-deps.sh installs dpkg-dev)"
        exit 77
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    exit 1
fi
arch=$(dpkg --print-architecture)
deb=$work/catalogrium3_${version}_${arch}.deb
[[ -f $deb ]] || { echo "no $deb made"; ls "$work"; exit 1; }

failed=0
fail() {
    echo "$*"
    failed=1
}

expected_files="./usr/bin/catalogrium3
./usr/bin/ctlgrm
./usr/share/applications/catalogrium3.desktop
./usr/share/bash-completion/completions/ctlgrm
./usr/share/catalogrium3/catalogue.schema.json
./usr/share/doc/catalogrium3/changelog.gz
./usr/share/doc/catalogrium3/copyright
./usr/share/icons/hicolor/128x128/apps/catalogrium3.png
./usr/share/icons/hicolor/16x16/apps/catalogrium3.png
./usr/share/icons/hicolor/256x256/apps/catalogrium3.png
./usr/share/icons/hicolor/32x32/apps/catalogrium3.png
./usr/share/icons/hicolor/48x48/apps/catalogrium3.png
./usr/share/icons/hicolor/64x64/apps/catalogrium3.png
./usr/share/icons/hicolor/scalable/apps/catalogrium3.svg
./usr/share/man/man1/catalogrium3.1.gz
./usr/share/man/man1/ctlgrm.1.gz
./usr/share/metainfo/org.example.catalogrium3.metainfo.xml"
files=$(dpkg-deb -c "$deb" | grep -v '^d' | awk '{print $6}' | sort)
if [[ $files != "$expected_files" ]]; then
    fail "the package holds:"$'\n'"$files"$'\n'"instead of:"$'\n'"$expected_files"
fi
# Every file belongs to root and the programs can be run by all.
dpkg-deb -c "$deb" | awk '$2 != "root/root" {print "not root'\''s: " $6}' | grep . && failed=1
dpkg-deb -c "$deb" | grep -E '\./usr/bin/.' | grep -qv '^-rwxr-xr-x' && fail "a program is not 0755"

field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == catalogrium3 ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version: $(field Version)"
[[ $(field Architecture) == "$arch" ]] || fail "Architecture: $(field Architecture)"
[[ $(field Section) == utils ]] || fail "Section: $(field Section)"
[[ $(field Maintainer) =~ ^[^\<\>]*[^\<\>\ ]\ \<[^@\<\>\ ]+@[^@\<\>\ ]+\>$ ]] ||
    fail "Maintainer is not \"Name <address>\": $(field Maintainer)"
[[ $(field Description) == "folder lister for "* ]] || fail "Description: $(field Description)"
depends=$(field Depends)
for dependency in fonts-liberation libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 \
    libqt6printsupport6 libxxhash0; do
    [[ ", $depends," == *", $dependency "* || ", $depends," == *", $dependency,"* ]] ||
        fail "Depends lacks $dependency: $depends"
done
[[ ", $(field Recommends)," == *", fonts-noto-cjk,"* ]] ||
    fail "Recommends lacks fonts-noto-cjk: $(field Recommends)"
# The binaries are stripped: no debugging sections travel in the package.
dpkg-deb -x "$deb" "$work/root"
for program in catalogrium3 ctlgrm; do
    if LC_ALL=C readelf -S "$work/root/usr/bin/$program" | grep -q '\.debug_info'; then
        fail "$program is not stripped"
    fi
done

doc=$work/root/usr/share/doc/catalogrium3
[[ $(head -n1 "$doc/copyright") == "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ]] ||
    fail "the copyright file is not in the machine-readable format"
# Every paragraph of files names its copyright and its licence.
awk -v RS= '/^Files:/ && !(/\nCopyright: ./ && /\nLicense: ./) {print "incomplete: " $0; bad=1}
            END {exit bad}' "$doc/copyright" || failed=1
changelog_version=$(zcat "$doc/changelog.gz" | dpkg-parsechangelog -l - -S Version 2>&1)
[[ $changelog_version == "$version" ]] ||
    fail "the changelog's latest entry is $changelog_version, not $version"

if command -v lintian >/dev/null; then
    lintian_output=$(lintian --allow-root --fail-on error,warning "$deb" 2>&1) ||
        fail "lintian:"$'\n'"$lintian_output"
else
    echo "lintian is not installed: the package's policy checks were skipped"
fi
exit $failed
