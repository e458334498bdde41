#!/usr/bin/python3
"""average_widths.py FONT-FILE TEXT...: the font's PostScript name, then for each text its
width in average characters of the font: the sum of its characters' advance widths in the
font file's horizontal metrics, divided by the font's average character width, which weights
the advances of the blank and the lower-case letters by how often each occurs in a thousand
characters of English text."""
import sys

from fontTools.ttLib import TTFont

LETTER_WEIGHTS = {
    " ": 166, "a": 64, "b": 14, "c": 27, "d": 35, "e": 100, "f": 20, "g": 14, "h": 42,
    "i": 63, "j": 3, "k": 6, "l": 35, "m": 20, "n": 56, "o": 56, "p": 17, "q": 4, "r": 49,
    "s": 56, "t": 71, "u": 31, "v": 10, "w": 18, "x": 3, "y": 18, "z": 2,
}


def main():
    font = TTFont(sys.argv[1], fontNumber=0)
    glyphs = font.getBestCmap()
    metrics = font["hmtx"].metrics

    def advance(character):
        return metrics[glyphs[ord(character)]][0]

    print(font["name"].getDebugName(6))
    average = sum(w * advance(c) for c, w in LETTER_WEIGHTS.items()) / 1000
    for text in sys.argv[2:]:
        print(f"{sum(advance(c) for c in text) / average:.9f}")


main()
