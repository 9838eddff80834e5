"""The files an installed Dirka consists of, below its prefix; shared by the install and the
package checks."""

import gzip
import os
import struct

APP_ID = "example.pelmora.Dirka"
ICON_SIZES = [16, 24, 32, 48, 64, 128, 256]
SOURCE = os.path.normpath(os.path.join(os.path.dirname(__file__), "..", ".."))

# Exact files; the help pages are checked as a folder, since their list grows.
FILES = [
    "bin/dirka",
    "share/dirka/audio/ListingCompleted.wav",
    "share/dirka/help/index.html",
    "share/applications/%s.desktop" % APP_ID,
    "share/metainfo/%s.metainfo.xml" % APP_ID,
    "share/icons/hicolor/scalable/apps/%s.svg" % APP_ID,
    "share/man/man1/dirka.1.gz",
] + ["share/icons/hicolor/%dx%d/apps/%s.png" % (s, s, APP_ID) for s in ICON_SIZES]
HELP_FOLDER = "share/dirka/help/"


def layout_problems(files):
    """Problems of a set of file paths relative to the prefix: missing or unexpected files."""
    problems = ["missing: %s" % f for f in FILES if f not in files]
    for f in sorted(files):
        if f not in FILES and not f.startswith(HELP_FOLDER):
            problems.append("unexpected: %s" % f)
    return problems


def content_problems(prefix):
    """Problems of the installed files' contents below prefix (a real folder)."""
    problems = []
    for size in ICON_SIZES:
        path = os.path.join(prefix, "share/icons/hicolor/%dx%d/apps/%s.png" % (size, size, APP_ID))
        with open(path, "rb") as f:
            head = f.read(24)
        if head[:8] != b"\x89PNG\r\n\x1a\n" or struct.unpack(">II", head[16:24]) != (size, size):
            problems.append("%s is not a %d pixel PNG" % (path, size))
    with gzip.open(os.path.join(prefix, "share/man/man1/dirka.1.gz"), "rb") as f:
        with open(os.path.join(SOURCE, "resources/man/dirka.1"), "rb") as source:
            if f.read() != source.read():
                problems.append("dirka.1.gz is not the manual page")
    entry = {}
    with open(os.path.join(prefix, "share/applications/%s.desktop" % APP_ID), encoding="utf-8") as f:
        for line in f:
            key, equals, value = line.strip().partition("=")
            if equals:
                entry[key] = value
    wanted = {"Exec": "dirka %f", "Icon": APP_ID, "Type": "Application"}
    for key, value in wanted.items():
        if entry.get(key) != value:
            problems.append("desktop entry: %s=%r, not %r" % (key, entry.get(key), value))
    if "inode/directory" not in entry.get("MimeType", "").split(";"):
        problems.append("desktop entry: folders are not offered to Dirka")
    categories = entry.get("Categories", "").split(";")
    if "Utility" not in categories or "FileTools" not in categories:
        problems.append("desktop entry: categories %r" % categories)
    return problems
