#!/usr/bin/env python3
"""Runs a validator on a file; skips (exit 77) when the validator is not installed.

Usage: run_validator.py [--silent] DEBIAN_PACKAGE COMMAND [ARG...]
--silent: any output of the command is a failure (for tools that warn but answer 0).
"""

import shutil
import subprocess
import sys

SKIP = 77


def main():
    args = sys.argv[1:]
    silent = args[0] == "--silent"
    if silent:
        args = args[1:]
    package, command = args[0], args[1:]
    if shutil.which(command[0]) is None:
        print("SKIP: %s is not installed (Debian package %s; ./test.sh installs it)"
              % (command[0], package))
        return SKIP
    run = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    print(run.stdout, end="")
    if run.returncode != 0:
        print("%s answered %d" % (command[0], run.returncode))
        return 1
    if silent and run.stdout.strip():
        print("%s printed warnings" % command[0])
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
