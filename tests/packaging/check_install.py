#!/usr/bin/env python3
"""Installs the build tree into a temporary prefix, checks the layout, and runs the installed
program there: --version, and --list on its own share/dirka/ folder.

Usage: check_install.py CMAKE BUILD_FOLDER
"""

import os
import subprocess
import sys
import tempfile

from layout import APP_ID, content_problems, layout_problems


def installed_files(prefix):
    found = set()
    for folder, _, names in os.walk(prefix):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), prefix))
    return found


def run_problems(prefix):
    program = os.path.join(prefix, "bin", "dirka")
    env = dict(os.environ, HOME=os.path.join(prefix, "home"),
               XDG_CONFIG_HOME=os.path.join(prefix, "config"))
    version = subprocess.run([program, "--version"], stdout=subprocess.PIPE, text=True, env=env)
    if version.returncode != 0 or not version.stdout.startswith("Dirka 2.1.0"):
        return ["installed --version: %d %r" % (version.returncode, version.stdout)]
    data = os.path.join(prefix, "share", "dirka")
    listing = subprocess.run([program, "--list", data, "--set", "S.Preset=6",
                              "--set", "S.IsHeader=0"],
                             stdout=subprocess.PIPE, text=True, env=env, timeout=60)
    lines = listing.stdout.splitlines()
    problems = []
    if listing.returncode != 0:
        problems.append("installed --list answered %d" % listing.returncode)
    for wanted in ("help/index.html", "audio/ListingCompleted.wav"):
        if os.path.join(data, wanted) not in lines:
            problems.append("installed --list did not list %s: %r" % (wanted, lines[:5]))
    return problems


def main():
    cmake, build = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as prefix:
        subprocess.run([cmake, "--install", build, "--prefix", prefix], check=True,
                       stdout=subprocess.DEVNULL)
        problems = layout_problems(installed_files(prefix))
        if os.path.exists(os.path.join(prefix, "bin", "help")):
            problems.append("help/ beside the installed program")
        if not problems:
            problems = content_problems(prefix) + run_problems(prefix)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
