#!/usr/bin/env python3
"""Builds the Debian package from the build tree into a temporary folder and checks its name,
its control fields (the library dependencies found by dpkg-shlibdeps) and its file list.

Usage: check_deb.py CPACK BUILD_FOLDER
"""

import glob
import os
import shutil
import subprocess
import sys
import tempfile

from layout import layout_problems

SKIP = 77
# Libraries the program links; each must show up as a dependency.
NEEDED = ["libc6", "libstdc++6", "libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6dbus6",
          "libcanberra0"]


def output(*command):
    return subprocess.run(command, stdout=subprocess.PIPE, text=True, check=True).stdout


def control_problems(deb):
    fields = {}
    for line in output("dpkg-deb", "-f", deb).splitlines():
        key, colon, value = line.partition(":")
        if colon and not line.startswith(" "):
            fields[key] = value.strip()
    problems = []
    if fields.get("Package") != "dirka" or fields.get("Version") != "2.1.0":
        problems.append("package %r version %r" % (fields.get("Package"), fields.get("Version")))
    depends = {d.strip().split(" ")[0] for d in fields.get("Depends", "").split(",")}
    for library in NEEDED:
        if library not in depends:
            problems.append("Depends lacks %s: %r" % (library, fields.get("Depends")))
    return problems


def content_problems(deb):
    files = set()
    problems = []
    for line in output("dpkg-deb", "-c", deb).splitlines():
        mode, owner, _size, _date, _time, path = line.split(None, 5)
        if owner != "root/root":
            problems.append("%s belongs to %s" % (path, owner))
        if mode.startswith("d"):
            continue
        if not path.startswith("./usr/"):
            problems.append("outside /usr: %s" % path)
            continue
        files.add(path[len("./usr/"):])
        if path == "./usr/bin/dirka" and mode != "-rwxr-xr-x":
            problems.append("/usr/bin/dirka has mode %s" % mode)
    return problems + layout_problems(files)


def main():
    cpack, build = sys.argv[1], sys.argv[2]
    for tool, package in (("dpkg-deb", "dpkg"), ("dpkg-shlibdeps", "dpkg-dev")):
        if shutil.which(tool) is None:
            print("SKIP: %s is not installed (Debian package %s; ./test.sh installs it)"
                  % (tool, package))
            return SKIP
    arch = output("dpkg", "--print-architecture").strip()
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([cpack, "--config", os.path.join(build, "CPackConfig.cmake"),
                        "-G", "DEB", "-B", folder], check=True, stdout=subprocess.DEVNULL)
        debs = glob.glob(os.path.join(folder, "*.deb"))
        wanted = os.path.join(folder, "dirka_2.1.0_%s.deb" % arch)
        if debs != [wanted]:
            problems = ["packages built: %r, not %s" % (debs, wanted)]
        else:
            problems = control_problems(wanted) + content_problems(wanted)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
