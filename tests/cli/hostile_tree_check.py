#!/usr/bin/env python3
"""Lists the hostile tree (hostile_tree.py: loops through links, locked folders, odd names,
special files, a chain deeper than any path, a wide folder) with the real `dirka --list` and
compares every line, the exit status and every complaint with the tree's oracle.
Usage: hostile_tree_check.py DIRKA_BINARY [--as-nobody]
--as-nobody runs the program and the oracle as user nobody (setpriv), so the locked folders
are locked for it; exits 77 (skipped) where that cannot be done."""
import difflib
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hostile_tree  # noqa: E402

SKIPPED = 77
NOBODY = ['setpriv', '--reuid=65534', '--regid=65534', '--clear-groups', '--']

# Lines the tree is built to give, and lines it must not give, whoever lists it.
PRESENT = ['links/a_first/later.txt',         # a link to a folder not yet entered is entered
           'links/a_first/back_to_real/f.txt',  # and so is a link in it to another such folder
           'links/real/f.txt', 'links/zz_later/later.txt',  # both entered again as themselves
           'links/m1/to_m2/m2.txt', 'links/m2/m2.txt',
           'links/to_parent/', 'links/to_root/', 'links/chase', 'links/to_fifo',
           'names/new\ufffdline', 'names/bad\ufffd', 'names/sur\ufffd\ufffd\ufffd',
           'names/dir\ufffdnl/in dir\ufffdnl', 'special/socket', 'wide/W2997']
ABSENT = ['links/to_real/f.txt', 'links/m1/to_m2/to_m1/m1.txt', 'links/m2/to_m1/m1.txt',
          'links/to_parent/links/', 'links/zz_later/back_to_real/f.txt']


def main():
    dirka = sys.argv[1]
    as_nobody = sys.argv[2:] == ['--as-nobody']
    if as_nobody and (os.geteuid() != 0 or not shutil.which('setpriv')):
        print('needs root and setpriv to run as user nobody')
        return SKIPPED
    if as_nobody and subprocess.run(NOBODY + [dirka, '--version'],
                                    capture_output=True).returncode != 0:
        print('user nobody cannot run', dirka)
        return SKIPPED
    out = tempfile.mkdtemp(prefix='dirka-hostile-')
    os.chmod(out, 0o755)  # nobody must reach the tree
    try:
        locked = hostile_tree.build(os.fsencode(out))
        return check(dirka, out, locked, as_nobody)
    finally:
        hostile_tree.remove(os.fsencode(out))


def check(dirka, out, locked, as_nobody):
    location = os.path.join(out, 'tree') + '/'
    if as_nobody:
        # A copy beside the tree, since the source tree may be closed to nobody.
        builder = shutil.copy(hostile_tree.__file__, out)
        oracle = json.loads(subprocess.run(
            NOBODY + ['/usr/bin/python3', '-B', builder, 'oracle', out],
            check=True, capture_output=True, timeout=120).stdout)
    else:
        oracle = hostile_tree.oracle(os.fsencode(location))
    command = (NOBODY if as_nobody else []) + [dirka, '--list', location]
    for s in hostile_tree.SETTINGS:
        command += ['--set', s]
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(out, 'config'), LC_ALL='C.UTF-8')
    run = subprocess.run(command, capture_output=True, timeout=120, env=env)
    lines = run.stdout.decode('utf-8').split('\n')
    errors = run.stderr.decode('utf-8').split('\n')

    failures = []
    locked_out = as_nobody or os.geteuid() != 0
    wanted = sorted(location + p for p in locked) if locked_out else []
    if sorted(path for path, _ in oracle['unreadable']) != wanted:
        failures.append(f'the oracle found unreadable {oracle["unreadable"]}, not {wanted}')
    expected = oracle['lines'] + ['']
    for line in PRESENT:
        if location + line not in expected:
            failures.append(f'the oracle lacks {line!r}')
    for line in ABSENT:
        if location + line in expected:
            failures.append(f'the oracle holds {line!r}')
    expected_errors = [f'dirka: cannot read folder {path}: {reason}'
                       for path, reason in oracle['unreadable']] + ['']
    expected_code = 3 if oracle['unreadable'] else 0
    if run.returncode != expected_code:
        failures.append(f'exit status {run.returncode}, expected {expected_code}')
    if errors != expected_errors:
        failures.append('standard error differs:\n' + '\n'.join(
            difflib.unified_diff(expected_errors, errors, 'expected', 'printed', lineterm='')))
    if lines != expected:
        diff = list(difflib.unified_diff(expected, lines, 'expected', 'printed', lineterm=''))
        failures.append('the listing differs:\n' + '\n'.join(diff[:80]))
    if failures:
        print('\n'.join(failures))
        return 1
    print(f'{len(lines) - 1} lines and {len(errors) - 1} unreadable folders as expected')
    return 0


if __name__ == '__main__':
    sys.exit(main())
