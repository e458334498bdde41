#!/usr/bin/env python3
"""Writes catalogue/CaseFoldingTable.inc, the simple case folding that catalogue searches use:
the C and S mappings of Unicode's CaseFolding.txt (Debian's unicode-data package).

    scripts/make-case-folding.py [/usr/share/unicode/CaseFolding.txt] > catalogue/CaseFoldingTable.inc
"""
import re
import sys


def simple_folds(path):
    folds = []
    version = ""
    with open(path, encoding="utf-8") as source:
        for line in source:
            found = re.match(r"# CaseFolding-(\S+)\.txt", line)
            if found:
                version = found.group(1)
            fields = [f.strip() for f in line.split("#")[0].split(";")]
            if len(fields) >= 3 and fields[1] in ("C", "S"):
                folds.append((int(fields[0], 16), int(fields[2], 16)))
    return version, sorted(folds)


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/unicode/CaseFolding.txt"
    version, folds = simple_folds(path)
    print(f"// Made by scripts/make-case-folding.py from CaseFolding-{version}.txt: each character")
    print("// that simple case folding changes, with the character it folds to, in code point order.")
    for i in range(0, len(folds), 4):
        print(" ".join(f"{{0x{a:05X}, 0x{b:05X}}}," for a, b in folds[i:i + 4]))


main()
