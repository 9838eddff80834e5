#!/usr/bin/env python3
"""Saves random trees with the real `dirka --list T --json F`, then lists the saved file as a
location and checks that every preset, and styles with masks, depth limits, hidden files left
out and other orders, print what the tree itself printed (but for the drive line, which names
the catalogue, and the time the statistics took), and that the records of a saved file listed
again are the saved file. Damaged and foreign files are refused with the line they fail at.
Usage: catalog_check.py DIRKA_BINARY"""
import os
import random
import subprocess
import sys
import tempfile

# Every item gets a record: each folder's line in its parent's list, files in the order the
# folder gives them, so a listing of the catalogue "unsorted" sees that order too.
SAVE_STYLE = ['--set', 'S.Preset=10', '--set', 'S.Mode=0', '--set', 'S.IsSkip=0',
              '--set', 'S.Base=10', '--set', 'S.Folder=10', '--set', 'S.File=10',
              '--set', 'S.SortMode=0', '--set', 'IsHiddenFiles=1', '--set', 'IsSystemFiles=1']
STYLES = [['--set', 'S.Preset=%d' % p] for p in range(10)] + [
    ['--set', 'S.Preset=10', '--set', 'S.Mode=1', '--set', 'S.SortMode=%d' % order,
     '--set', 'S.File=%d' % code, '--set', 'S.Folder=%d' % code]
    for order, code in [(0, 11), (2, 2), (3, 12), (4, 8)]] + [
    ['--set', 'IsHiddenFiles=1', '--set', 'IsSystemFiles=1', '--set', 'S.Preset=1'],
    ['--set', 'IsMaxDepth=1', '--set', 'MaxDepth=2', '--set', 'S.Preset=5'],
    ['--set', 'Filter=13', '--set', 'FilterMask.13=*.txt|*.mp3|', '--set', 'S.Preset=3'],
    ['--set', 'Filter=1', '--set', 'S.Preset=10', '--set', 'S.Mode=0', '--set', 'S.IsSkip=1'],
]
PIECES = [b'a', b'B', b'song', b'.', b' ', b'\xff', b'\xe9', b'\xc3\xa9', b'x.txt', b'.mp3',
          b'\n', b'Z', b'~', b'10', b'2']


def build_tree(root, seed, folder_link=True):
    rng = random.Random(seed)
    os.mkdir(root)
    folders = [root]
    for i in range(rng.randint(20, 120)):
        name = b''.join(rng.choice(PIECES) for _ in range(rng.randint(1, 4))) + b'%d' % i
        if name.startswith(b'.') and rng.random() < 0.5:
            name = name.lstrip(b'.') or b'dot'
        parent = rng.choice(folders)
        path = os.path.join(parent, name)
        if rng.random() < 0.2 and parent.count(b'/') - root.count(b'/') < 4:
            os.mkdir(path)
            folders.append(path)
            continue
        with open(path, 'wb') as f:
            f.truncate(rng.choice([0, 1, 999, 4096, 123456, 3 * 2**30]))
        when = rng.choice([0, 86400, 1000000000, 1700000000, 2**31 + 7])
        os.utime(path, (when, when))
    os.symlink(b'nowhere', os.path.join(root, b'dangling'))
    files = sorted(n for n in os.listdir(root) if os.path.isfile(os.path.join(root, n)))
    if files:
        os.symlink(files[0], os.path.join(root, b'file link'))
    if folder_link and len(folders) > 1:
        os.symlink(os.path.relpath(folders[-1], root), os.path.join(root, b'folder link'))
    os.mkfifo(os.path.join(root, b'fifo'))


def run(dirka, args, env):
    return subprocess.run([dirka, '--list'] + args, env=env, capture_output=True, timeout=60)


def comparable(output):
    """The listing without what differs by nature: the time of the listing and the time it
    took, and the drive line."""
    lines = []
    for line in output.split(b'\n'):
        if line.startswith((b':: Dirka ', b':: Drive:', b':: Catalog:')):
            continue
        lines.append(line.split(b'   Time:')[0])
    return lines


def check_tree(dirka, work, seed, env):
    tree = os.path.join(work, b'tree%d' % seed)
    saved = os.path.join(work, b'saved%d.jsonl' % seed)
    build_tree(tree, seed)
    result = run(dirka, [tree, '--json', saved] + SAVE_STYLE, env)
    assert result.returncode == 0, result.stderr
    failures = 0
    for style in STYLES:
        live = run(dirka, [tree] + style, env)
        again = run(dirka, [saved] + style, env)
        if (again.returncode, comparable(again.stdout)) != (live.returncode,
                                                              comparable(live.stdout)):
            failures += 1
            print('seed %d, style %s: the catalogue lists otherwise' % (seed, style))
            print(b'\n'.join(comparable(live.stdout)).decode('utf-8', 'replace'))
            print('--- from the catalogue (status %d):' % again.returncode)
            print(b'\n'.join(comparable(again.stdout)).decode('utf-8', 'replace'))
            print(again.stderr.decode('utf-8', 'replace'))
    resaved = os.path.join(work, b'resaved%d.jsonl' % seed)
    result = run(dirka, [saved, '--json', resaved] + SAVE_STYLE, env)
    with open(saved, 'rb') as a, open(resaved, 'rb') as b:
        if result.returncode != 0 or a.read() != b.read():
            failures += 1
            print('seed %d: the records of the catalogue are not the saved ones' % seed)
    return failures


DAMAGED = [
    (b'', 'no records'),
    (b'type,path,name,size,modified,depth,hidden\r\n', 'line 1:'),
    (b'{"type":"folder","path":"/m/","size":1,"modified":null,"depth":0}\n{"type":"file"', 'line 2:'),
    (b'{"type":"folder","path":"/m/","depth":0}\n\n{"type":"disk","path":"/m/a","depth":1}\n',
     'line 3:'),
    (b'{"type":"file","path":"/m/a","depth":3}\n', 'line 1: "depth" 3'),
    (b'{"type":"file","path":"m/a","depth":1}\n', 'not a full path'),
    (b'{"type":"file","path":"/m/../a","depth":1}\n', 'line 1:'),
    (b'{"type":"file","path":"/m/a","depth":1,"modified":"yesterday"}\n', '"modified"'),
    (b'{"type":"file","path":"/m/a","path_bytes":"%%%","depth":1}\n', 'base64'),
    (b'\xff\xfe\x00\x01binary', 'line 1:'),
]


def check_damaged(dirka, work, env):
    failures = 0
    for i, (content, expected) in enumerate(DAMAGED):
        name = os.path.join(work, b'damaged%d.jsonl' % i)
        with open(name, 'wb') as f:
            f.write(content)
        result = run(dirka, [name], env)
        message = result.stderr.decode('utf-8', 'replace')
        if result.returncode != 2 or expected not in message or result.stdout:
            failures += 1
            print('damaged file %r: status %d, %r' % (content[:40], result.returncode, message))
    return failures


def main():
    dirka = sys.argv[1]
    with tempfile.TemporaryDirectory() as work:
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, 'config'), LC_ALL='C.UTF-8')
        work = os.fsencode(work)
        failures = sum(check_tree(dirka, work, seed, env) for seed in (1, 2, 3))
        failures += check_damaged(dirka, work, env)
    print('%d failures' % failures)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
