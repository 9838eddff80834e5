#!/usr/bin/env python3
"""Checks the files the build puts beside the program and the icon drawn for it.

Usage: check_program_files.py BIN_FOLDER ICON_FOLDER
"""

import os
import re
import sys
import wave
import xml.dom.minidom

PAGES = [
    "index.html", "us0001.html", "us0005.html", "us0006.html", "us0007.html", "us0008.html",
    "us_FAQ.html", "us_License.html",
]
ICONS = ["dirka-16.png", "dirka-32.png", "dirka-64.png", "dirka-256.png"]


def check_help(help_dir, problems):
    for page in PAGES:
        path = os.path.join(help_dir, page)
        try:
            xml.dom.minidom.parse(path)
        except Exception as error:  # a missing file or a parse error: both fail the check
            problems.append("%s: %s" % (page, error))
            continue
        with open(path, encoding="utf-8") as f:
            for target in re.findall(r'(?:href|src)="([^":#]+)', f.read()):
                if not os.path.isfile(os.path.join(help_dir, target)):
                    problems.append("%s: link to missing %s" % (page, target))


def check_sound(path, problems):
    try:
        with open(path, "rb") as f:
            head = f.read(12)
        size = os.path.getsize(path)
        with wave.open(path) as w:
            shape = (w.getnchannels(), w.getsampwidth(), w.getframerate())
            seconds = w.getnframes() / w.getframerate()
    except Exception as error:
        problems.append("sound: %s" % error)
        return
    if head[:4] != b"RIFF" or head[8:12] != b"WAVE" or size <= 10240:
        problems.append("sound: not a RIFF/WAVE file over 10 KB")
    if shape != (1, 2, 44100) or not 0.5 <= seconds <= 1.0:
        problems.append("sound: %r, %.2f s" % (shape, seconds))


def main():
    bin_dir, icon_dir = sys.argv[1], sys.argv[2]
    problems = []
    check_help(os.path.join(bin_dir, "help"), problems)
    check_sound(os.path.join(bin_dir, "audio", "ListingCompleted.wav"), problems)
    for icon in ICONS:
        path = os.path.join(icon_dir, icon)
        if not os.path.isfile(path) or open(path, "rb").read(8) != b"\x89PNG\r\n\x1a\n":
            problems.append("icon: %s missing or not a PNG" % icon)
    for problem in problems:
        print(problem)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
