#!/usr/bin/env python3
"""Lists a tree with the real `dirka --list ... --csv F --json G`, reads both files back with
Python's csv and json modules, and checks that they hold exactly the items the listing printed,
in its order, with the type, name, size, time, depth and hidden flag the file system gives
(os.lstat, and os.stat for what a link leads to, as the listing follows links). The CSV's text
cells that a spreadsheet would take for formulas must begin with "'", unless --csv-raw was
given; the JSON must hold no bidirectional control unescaped.
Usage: records_check.py DIRKA_BINARY [--tree FOLDER]
Without --tree it checks the hostile tree (hostile_tree.py beside it) and a generated tree of
odd names, sizes and times; with --tree it checks an existing FOLDER."""
import base64
import csv
import datetime
import io
import json
import os
import random
import re
import stat
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import hostile_tree  # noqa: E402

HEADER = b'\xef\xbb\xbftype,path,name,size,modified,depth,hidden\r\n'
FIELDS = ['type', 'path', 'name', 'size', 'modified', 'depth', 'hidden']
FORMULA_STARTS = tuple(c.encode() for c in '=+-@\t\r')
BIDI_CONTROLS = re.compile('[\u202a-\u202e\u2066-\u2069]')


def generated_tree(out):
    """Names with commas, quotes, line breaks, bytes that are not UTF-8; sparse sizes beyond
    32 bits; times before 1970 and after 2038; links of every kind."""
    rng = random.Random(22)
    root = os.path.join(out, b'gen')
    os.mkdir(root)
    pieces = [b'a', b'B', b',', b'"', b'""', b'\n', b'\r\n', b' ', b';', b'=x', b'\xff', b'\xe9',
              b'\xc3\xa9', b'\xf0\x9f\x98\x80', b'\t', b'\\', b'.', b'{"k":1}', b'\xe2\x80\xa8',
              b'+', b'-1', b'@', b'\xe2\x80\xae', b'\xe2\x81\xa7']
    folders = [root]
    for i in range(240):
        name = b''.join(rng.choice(pieces) for _ in range(rng.randint(1, 5))) + b'%d' % i
        parent = rng.choice(folders)
        path = os.path.join(parent, name)
        if i % 7 == 0 and parent.count(b'/') - root.count(b'/') < 5:
            os.mkdir(path)
            folders.append(path)
            continue
        with open(path, 'wb') as f:
            f.truncate(rng.choice([0, 1, 4095, 65537, 5 * 2**30]))
        when = rng.choice([-631152000, 0, 1, 1700000000, 2**31 + 5, 4102444800])
        os.utime(path, ns=(when * 10**9 + rng.randint(0, 10**9 - 1),) * 2)
    os.symlink(b'nowhere', os.path.join(root, b'dangling,link'))
    os.symlink(os.path.basename(folders[1]), os.path.join(root, b'folder\nlink'))
    files = [n for n in os.listdir(root) if os.path.isfile(os.path.join(root, n))]
    os.symlink(sorted(files)[0], os.path.join(root, b'.file link'))
    os.mkfifo(os.path.join(root, b'fifo "special"'))
    return root + b'/'


def lstat_long(path, follow):
    """os.stat of a path of any length: a folder at a time when it is too long for one call."""
    try:
        return os.stat(path, follow_symlinks=follow)
    except OSError as e:
        if e.errno != 36:  # ENAMETOOLONG
            raise
    parts = [p for p in path.split(b'/') if p]
    fd = os.open(b'/', os.O_RDONLY | os.O_DIRECTORY)
    try:
        for part in parts[:-1]:
            child = os.open(part, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            os.close(fd)
            fd = child
        return os.stat(parts[-1], dir_fd=fd, follow_symlinks=follow)
    finally:
        os.close(fd)


def expected_record(path, location):
    """The record the file system gives for a listed path (bytes, folders ending in '/')."""
    bare = path.rstrip(b'/') or b'/'
    own = lstat_long(bare, False)
    size, when = own.st_size, own.st_mtime_ns
    if stat.S_ISLNK(own.st_mode):
        kind = 'link'
        try:
            target = lstat_long(bare, True)
            size, when = target.st_size, target.st_mtime_ns
        except OSError:
            size = 0  # a dangling link lists as a file of size 0
    elif stat.S_ISDIR(own.st_mode):
        kind = 'folder'
    elif stat.S_ISREG(own.st_mode):
        kind = 'file'
    else:
        kind = 'special'
    seconds = when // 10**9
    below = path[len(location):].rstrip(b'/')
    name = bare if bare == b'/' else bare.rsplit(b'/', 1)[1]
    return {'type': kind, 'path': path, 'name': name, 'size': size,
            'modified': datetime.datetime.fromtimestamp(seconds).astimezone().isoformat(),
            'depth': below.count(b'/') + 1 if below else 0, 'hidden': name.startswith(b'.')}


def guarded(cell):
    """A text cell's bytes as a spreadsheet should get them: "'" in front of a formula."""
    return b"'" + cell if cell.startswith(FORMULA_STARTS) else cell


def read_csv(data):
    text = data.decode('utf-8', 'surrogateescape')  # the raw bytes of the names survive
    rows = list(csv.reader(io.StringIO(text, newline='')))
    # Written back the way RFC 4180 asks (quotes only where needed, CR LF), it is the same file.
    again = io.StringIO(newline='')
    csv.writer(again, lineterminator='\r\n').writerows(rows)
    if again.getvalue() != text:
        raise AssertionError('the CSV is not in the minimal RFC 4180 form')
    if rows[0] != ['\ufefftype'] + FIELDS[1:]:
        raise AssertionError(f'header {rows[0]!r}')
    records = []
    for row in rows[1:]:
        r = dict(zip(FIELDS, row))
        r['path'] = os.fsencode(r['path'])
        r['name'] = os.fsencode(r['name'])
        r['size'] = int(r['size'])
        r['depth'] = int(r['depth'])
        r['hidden'] = {'true': True, 'false': False}[r['hidden']]
        records.append(r)
    return records


def shown_line(path):
    """The line the listing prints for a path: hostile_tree.shown, and the bidirectional
    controls as U+FFFD too."""
    return ''.join('\ufffd' if 0x202A <= ord(c) <= 0x202E or 0x2066 <= ord(c) <= 0x2069 else c
                   for c in hostile_tree.shown(hostile_tree.decoded(path)))


def per_byte_replaced(raw):
    """Every byte that is not part of UTF-8 as one U+FFFD."""
    return ''.join('\ufffd' if 0xDC80 <= ord(c) <= 0xDCFF else c
                   for c in raw.decode('utf-8', 'surrogateescape'))


def read_json(data):
    records = []
    for line in data.split(b'\n')[:-1]:
        r = json.loads(line)
        for key in ('path', 'name'):
            exact = r.pop(key + '_bytes', None)
            text = r[key]
            r[key] = base64.b64decode(exact) if exact is not None else text.encode('utf-8')
            if exact is not None and text != per_byte_replaced(r[key]):
                raise AssertionError(f'{key} {text!r} is not the bytes with U+FFFD')
        if list(r) != FIELDS:
            raise AssertionError(f'fields {list(r)}')
        records.append(r)
    if data[-1:] != b'\n':
        raise AssertionError('the JSON Lines file does not end in a line feed')
    return records


def reaches(location, folder):
    """Whether the records of location can hold folder's modification time, which each output
    written into folder changes: folder is in the tree, or a link in it leads there (a link's
    record has its target's time)."""
    folder = os.path.realpath(os.fsencode(folder))
    tree = os.path.realpath(os.fsencode(location))
    if (folder + b'/').startswith(tree + b'/'):
        return True
    for parent, folders, files in os.walk(tree):
        for name in folders + files:
            path = os.path.join(parent, name)
            if os.path.islink(path) and os.path.realpath(path) == folder:
                return True
    return False


def check(dirka, location, outputs, raw):
    if reaches(location, outputs):
        return [f'the outputs go to {outputs}, whose time the records of {location} hold']
    csv_file, json_file = os.path.join(outputs, 'r.csv'), os.path.join(outputs, 'r.json')
    command = [dirka, '--list', location, '--csv', csv_file, '--json', json_file]
    if raw:
        command.append('--csv-raw')
    for s in hostile_tree.SETTINGS:
        command += ['--set', s]
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(outputs, 'config'), LC_ALL='C.UTF-8')
    run = subprocess.run(command, capture_output=True, timeout=120, env=env)
    if run.returncode not in (0, 3):
        return [f'exit status {run.returncode}: {run.stderr.decode(errors="replace")}']
    lines = run.stdout.decode('utf-8').split('\n')[:-1]  # with this style every line is an item
    failures = []
    with open(csv_file, 'rb') as f:
        data = f.read()
    if not data.startswith(HEADER):
        failures.append(f'the CSV begins {data[:60]!r}')
    raw_location = os.fsencode(location)
    json_data = open(json_file, 'rb').read()
    if BIDI_CONTROLS.search(json_data.decode('utf-8')):
        failures.append('the JSON holds a bidirectional control unescaped')
    csv_records = read_csv(data)
    for kind, records in (('CSV', csv_records), ('JSON', read_json(json_data))):
        shown = [shown_line(r['path']) for r in records]
        if shown != lines:
            failures.append(f'the {kind} records are not the {len(lines)} listed items '
                            f'({len(records)} records)')
            continue
        for r in records:
            want = expected_record(r['path'], raw_location)
            if kind == 'CSV' and not raw:
                want['name'] = guarded(want['name'])
                want['modified'] = guarded(want['modified'].encode()).decode()
            if r != want:
                failures.append(f'{kind}: {r!r}\n  expected {want!r}')
    if not failures:
        kinds = sorted({r['type'] for r in records})
        guards = sum(r['name'].startswith(b"'") for r in csv_records)
        print(f'{location}: {len(lines)} items as CSV{" (raw)" if raw else ""} and JSON records '
              f'({", ".join(kinds)}; {guards} names begin with "\'") match the listing and the '
              'file system')
    return failures


def main():
    dirka = sys.argv[1]
    work = tempfile.mkdtemp(prefix='dirka-records-')
    # Apart from the trees: the hostile tree's link to_above leads to work, whose time each file
    # written there would change while the records holding it are checked.
    outputs = tempfile.mkdtemp(prefix='dirka-records-out-')
    try:
        if sys.argv[2:3] == ['--tree']:
            trees = [os.path.abspath(sys.argv[3]).rstrip('/') + '/']
        else:
            hostile_tree.build(os.fsencode(work))
            trees = [os.path.join(work, 'tree') + '/', os.fsdecode(generated_tree(os.fsencode(work)))]
        failures = []
        for tree in trees:
            for raw in (False, True):
                failures += check(dirka, tree, outputs, raw)[:20]
        if failures:
            print('\n'.join(failures))
            return 1
        return 0
    finally:
        hostile_tree.remove(os.fsencode(work))
        hostile_tree.remove(os.fsencode(outputs))


if __name__ == '__main__':
    sys.exit(main())
