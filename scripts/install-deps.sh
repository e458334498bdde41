#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need, when missing:
# Clang with its sanitizer and libFuzzer runtimes (and llvm-symbolizer for their reports) for
# the clang, asan, tsan and fuzz presets, clang-format for the format target and test.
set -euo pipefail
packages=(cmake ninja-build g++ qt6-base-dev qt6-qpa-plugins libgl-dev libfontconfig-dev libgtest-dev libgmock-dev
          libbenchmark-dev fonts-liberation fonts-urw-base35 poppler-utils pkg-config libsqlite3-dev
          sqlite3 libpq-dev postgresql postgresql-contrib
          clang libclang-rt-dev llvm clang-format)
# The hash of files' contents (XXH3-128) for the catalogue's checksums, and xxhsum, which the
# tests check those hashes against.
packages+=(libxxhash-dev xxhash)
# The icon's renderings, the package and the checks of the desktop files, the manual pages,
# the completion and the package itself.
packages+=(librsvg2-bin dpkg-dev desktop-file-utils appstream man-db bash lintian)
# The catalogue tests' reference search (Python over Unicode's CaseFolding.txt), which also
# makes the folding table: scripts/make-case-folding.py; the tests' independent decoder of
# ctlgrm's escaped records.
packages+=(python3 unicode-data)
# The export's checks: its JSON against the installed schema, and an import of what ncdu writes.
packages+=(python3-jsonschema ncdu)
# The fonts of names in Chinese, Japanese and Korean, and the reference that printed text
# widths are checked against: the advances read from the font files.
packages+=(fonts-noto-cjk fontconfig python3-fonttools)
# The browser that the tests and the benchmark load ctlgrm's HTML page in, headless.
packages+=(chromium)
# A real X display and keyboard for the tests of keys pressed as a user presses them.
packages+=(xvfb xdotool)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
