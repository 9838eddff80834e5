#!/usr/bin/env python3
"""Saves random trees with the real `dirka --list T --json F --csv F2`, then lists each saved file
as a location and checks that every preset, and styles with masks, depth limits, hidden files left
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
# What a CSV file quotes or guards: commas, quotes, a leading "=".
CSV_PIECES = PIECES + [b',', b'"', b'=']


def build_tree(root, seed, folder_link=True, pieces=PIECES):
    rng = random.Random(seed)
    os.mkdir(root)
    folders = [root]
    for i in range(rng.randint(20, 120)):
        name = b''.join(rng.choice(pieces) for _ in range(rng.randint(1, 4))) + b'%d' % i
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


def check_tree(dirka, work, seed, env, pieces=PIECES):
    tree = os.path.join(work, b'tree%d' % seed)
    saved = os.path.join(work, b'saved%d.jsonl' % seed)
    saved_csv = os.path.join(work, b'saved%d.csv' % seed)
    # A link to a folder of the tree is entered where the walk meets it first, which another
    # order of the catalogue's listing meets elsewhere: the trees of other names have none.
    build_tree(tree, seed, folder_link=pieces is PIECES, pieces=pieces)
    result = run(dirka, [tree, '--json', saved, '--csv', saved_csv] + SAVE_STYLE, env)
    assert result.returncode == 0, result.stderr
    failures = 0
    for style in STYLES:
        live = run(dirka, [tree] + style, env)
        for catalogue in (saved, saved_csv):
            again = run(dirka, [catalogue] + style, env)
            if (again.returncode, comparable(again.stdout)) != (live.returncode,
                                                                  comparable(live.stdout)):
                failures += 1
                print('seed %d, style %s: %s lists otherwise' % (seed, style, catalogue))
                print(b'\n'.join(comparable(live.stdout)).decode('utf-8', 'replace'))
                print('--- from the catalogue (status %d):' % again.returncode)
                print(b'\n'.join(comparable(again.stdout)).decode('utf-8', 'replace'))
                print(again.stderr.decode('utf-8', 'replace'))
    for catalogue in (saved, saved_csv):
        resaved = os.path.join(work, b'resaved%d.jsonl' % seed)
        result = run(dirka, [catalogue, '--json', resaved] + SAVE_STYLE, env)
        with open(saved, 'rb') as a, open(resaved, 'rb') as b:
            if result.returncode != 0 or a.read() != b.read():
                failures += 1
                print('seed %d: the records of %s are not the saved ones' % (seed, catalogue))
    return failures


DAMAGED = [
    (b'', 'no records'),
    (b'type,path,name,size,modified,depth,hidden\r\n', 'no records'),
    (b'\xef\xbb\xbftype,path,name,size,modified,depth,hidden\r\nfolder,/m/,m,1,,0,false\r\n'
     b'file,"/m/a\nb,a\nb,1,,1,false\r\n', 'line 3: a quoted cell does not end'),
    (b'type,path,name,size,modified,depth,hidden\r\nfolder,/m/,m,1,,0\r\n',
     'line 2: a row of fewer than 7 cells'),
    (b'type,path,name,size,modified,depth,hidden\r\nfolder,/m/,m,-1,,0,false\r\n',
     'line 2: "size"'),
    (b'type,path,name,size,modified,depth,hidden\r\nfile,"/m/a\nb",a,1,,1,false\r\n'
     b'file,/m/c,c,1,soon,1,false\r\n', 'line 4: "modified"'),
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
        failures += sum(check_tree(dirka, work, seed, env, CSV_PIECES) for seed in (4, 5))
        failures += check_damaged(dirka, work, env)
    print('%d failures' % failures)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
