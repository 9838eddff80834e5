#!/usr/bin/env python3
"""Checks that the manual page names exactly the options that 'dirka --help' names, and that
the help text ends by pointing at the manual page.

Usage: check_man_options.py DIRKA_BINARY MAN_PAGE
"""

import re
import subprocess
import sys

OPTION = re.compile(r"(?<![\w-])--[a-z][a-z0-9-]*")


def man_text(path):
    with open(path, encoding="utf-8") as f:
        roff = f.read()
    return re.sub(r"\\f[BIRP]", "", roff).replace("\\-", "-")


def main():
    binary, page = sys.argv[1], sys.argv[2]
    help_text = subprocess.run([binary, "--help"], stdout=subprocess.PIPE, text=True,
                               check=True).stdout
    in_help = set(OPTION.findall(help_text))
    in_page = set(OPTION.findall(man_text(page)))
    problems = []
    if len(in_help) < 5:
        problems.append("--help names only %s" % sorted(in_help))
    for name in sorted(in_help - in_page):
        problems.append("%s is in --help but not in the manual page" % name)
    for name in sorted(in_page - in_help):
        problems.append("%s is in the manual page but not in --help" % name)
    last = [line for line in help_text.splitlines() if line.strip()][-1]
    if "man dirka" not in last:
        problems.append("--help does not end by pointing at 'man dirka': %r" % last)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
