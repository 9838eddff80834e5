#!/usr/bin/env python3
"""Saves random trees with the real `dirka --list T --json F`, changes them at random (files
added, removed, grown, touched, a file replaced by a folder, a folder removed, names that are
not UTF-8), and checks `dirka --compare F T` against a plain model built from os.lstat/os.stat
before and after: the same difference lines, the same summary and the status for "different";
a tree compared with itself, or with its own catalogue, gives none.
Usage: compare_check.py DIRKA_BINARY"""
import datetime
import json
import os
import random
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from catalog_check import SAVE_STYLE, build_tree  # noqa: E402

ALL = ['--set', 'IsHiddenFiles=1', '--set', 'IsSystemFiles=1']
EXIT_DIFFERENT = 4


def snapshot(root):
    """Relative path -> (is a folder, type, size, time) as the listing sees each item."""
    items = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root)
            st = os.lstat(path)
            link = os.path.islink(path)
            try:
                target = os.stat(path)
            except OSError:
                target = None
            is_dir = target is not None and (target.st_mode & 0o170000) == 0o040000
            kind = 'link' if link else 'folder' if is_dir else \
                'file' if (st.st_mode & 0o170000) == 0o100000 else 'special'
            facts = target or st
            items[rel] = (is_dir, kind, 0 if target is None else facts.st_size,
                          int(facts.st_mtime))
    return items


def iso(seconds):
    when = datetime.datetime(1970, 1, 1) + datetime.timedelta(seconds=seconds)
    return when.strftime('%Y-%m-%dT%H:%M:%S') + '+00:00'


def shown(root, rel, is_dir):
    """A path as a line shows it: bytes that are not UTF-8 and controls as U+FFFD."""
    text = os.fsdecode(os.path.join(root, rel)).encode('utf-8', 'surrogateescape').decode(
        'utf-8', 'replace')
    return ''.join('\ufffd' if ord(c) < 0x20 else c for c in text) + ('/' if is_dir else '')


def model(root, old, new):
    lines = []
    added = removed = changed = grown = shrunk = 0
    for rel in sorted(set(old) | set(new)):
        a, b = old.get(rel), new.get(rel)
        size_a = a[2] if a and not a[0] else 0
        size_b = b[2] if b and not b[0] else 0
        if a is None:
            added += 1
            lines.append('+ ' + shown(root, rel, b[0]))
        elif b is None:
            removed += 1
            lines.append('- ' + shown(root, rel, a[0]))
        else:
            parts = []
            if a[0] != b[0] or a[1] != b[1]:
                parts.append('type: %s -> %s' % (a[1], b[1]))
            elif not b[0]:
                if a[2] != b[2]:
                    parts.append('size: %d -> %d' % (a[2], b[2]))
                if a[3] != b[3]:
                    parts.append('modified: %s -> %s' % (iso(a[3]), iso(b[3])))
            if not parts:
                continue
            changed += 1
            lines.append('~ ' + shown(root, rel, b[0]) + '  ' + '; '.join(parts))
        grown += max(0, size_b - size_a)
        shrunk += max(0, size_a - size_b)
    if added + removed + changed == 0:
        return sorted(lines), ':: No differences.'
    return sorted(lines), (':: Added: %d; Removed: %d; Changed: %d; Bytes added: %d; '
                           'Bytes removed: %d' % (added, removed, changed, grown, shrunk))


def change(root, rng):
    """Changes a tree at random, as a month of use would."""
    everything = []
    for folder, dirs, files in os.walk(root):
        everything += [(os.path.join(folder, n), n in dirs) for n in dirs + files]
    rng.shuffle(everything)
    for i, (path, is_dir) in enumerate(everything[:max(6, len(everything) // 4)]):
        if not os.path.lexists(path):
            continue
        step = i % 6
        if step == 0 and not is_dir:
            os.remove(path)
        elif step == 1 and not is_dir and not os.path.islink(path) and os.path.isfile(path):
            with open(path, 'ab') as f:
                f.write(b'x' * rng.randint(1, 5000))
        elif step == 2 and not os.path.islink(path):
            os.utime(path, (1234567890, 1234567890), follow_symlinks=False)
        elif step == 3 and not is_dir and os.path.isfile(path) and not os.path.islink(path):
            os.remove(path)
            os.mkdir(path)
            open(os.path.join(path, 'inside \xe9'.encode() + b'\xfe'), 'wb').close()
        elif step == 4 and is_dir and not os.path.islink(path):
            subprocess.run(['rm', '-rf', path], check=True)
        else:
            folder = path if is_dir and not os.path.islink(path) else os.path.dirname(path)
            with open(os.path.join(folder, b'new \xff%d' % i), 'wb') as f:
                f.write(b'y' * rng.randint(0, 300))


def compare(dirka, old, new, env):
    return subprocess.run([dirka, '--compare', old, new] + ALL, env=env, capture_output=True,
                          timeout=60)


def check_seed(dirka, work, seed, env):
    root = os.path.join(work, b'tree%d' % seed)
    saved = os.path.join(work, b'saved%d.jsonl' % seed)
    # A link to a folder is entered once, where the walk meets it first: the model leaves
    # links to folders to the listing's own check.
    build_tree(root, seed, folder_link=False)
    subprocess.run([dirka, '--list', root, '--json', saved] + SAVE_STYLE, env=env, check=True,
                   capture_output=True)
    failures = 0
    same = compare(dirka, saved, root, env)
    if same.returncode != 0 or same.stdout != b':: No differences.\n':
        failures += 1
        print('seed %d: the tree differs from its own catalogue: %r' % (seed, same.stdout[:300]))
    before = snapshot(root)
    change(root, random.Random(seed * 7))
    expected_lines, expected_summary = model(root, before, snapshot(root))
    records = os.path.join(work, b'changes%d.jsonl' % seed)
    result = subprocess.run([dirka, '--compare', saved, root, '--json', records] + ALL,
                            env=env, capture_output=True, timeout=60)
    out = result.stdout.decode('utf-8').split('\n')
    got_lines, got_summary = sorted(out[:-2]), out[-2]
    if (result.returncode, got_lines, got_summary) != (EXIT_DIFFERENT, expected_lines,
                                                       expected_summary):
        failures += 1
        print('seed %d: status %d' % (seed, result.returncode))
        print('\n'.join(sorted(set(expected_lines) - set(got_lines))[:10]), '<- only the model')
        print('\n'.join(sorted(set(got_lines) - set(expected_lines))[:10]), '<- only dirka')
        print(expected_summary, '<- model;', got_summary)
    with open(records, 'rb') as f:
        changes = [json.loads(line)['change'] for line in f]
    if sorted(changes) != sorted({'+': 'added', '-': 'removed', '~': 'changed'}[line[0]]
                                 for line in expected_lines):
        failures += 1
        print('seed %d: the records do not follow the lines' % seed)
    return failures


def main():
    dirka = sys.argv[1]
    with tempfile.TemporaryDirectory() as work:
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, 'config'), LC_ALL='C.UTF-8',
                   TZ='UTC')
        work = os.fsencode(work)
        failures = sum(check_seed(dirka, work, seed, env) for seed in range(1, 7))
    print('%d failures' % failures)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
