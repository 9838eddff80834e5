#!/usr/bin/env python3
"""A tree of entries that trouble folder walks, and the listing `dirka --list` must print for it.

  hostile_tree.py build FOLDER    makes FOLDER/tree/ and prints the locked folders as JSON
  hostile_tree.py oracle FOLDER   prints {"lines": [...], "unreadable": [[path, reason], ...]}
  hostile_tree.py remove FOLDER   removes FOLDER whatever its modes and depth

The oracle is the listing of FOLDER/tree/ with SETTINGS, found by a walk of its own, by the
rules the program follows: each folder's line, then its files by name (case counts), then its
subfolders by name (case does not count, then does); a folder reached through a link is entered
only if no folder with its identity was entered before in the run, and no folder on the way down
or above the location is entered again. It must run as the user the program runs as, since what
a locked folder shows depends on who asks. Everything goes by file descriptors: the deep chain
is longer than any path the system takes.
"""
import errno
import json
import os
import socket
import stat
import sys

# Custom style: one line per folder (full path, with the delimiter) and per file (full path);
# hidden and special files included, nothing skipped.
SETTINGS = ['S.Preset=10', 'S.Mode=0', 'S.Base=10', 'S.Folder=0', 'S.File=10', 'S.SortMode=1',
            'S.IsSkip=0', 'S.IsSummary=0', 'S.IsNewLine=0', 'S.IndentMode=2', 'S.IsHeader=0',
            'IsHiddenFiles=1', 'IsSystemFiles=1', 'IsMaxDepth=0', 'Filter=0']

DEEP_LEVELS = 20  # names of 250 bytes: the bottom lies about 5000 bytes below the location
WIDE_FILES = 3000

# Folders no one but root may read, relative to the tree, as the program names them.
LOCKED = ['links/to_locked/', 'locked/no_access/', 'locked/read_only/sub/', 'locked/search_only/']

ODD_NAMES = [b'new\nline', b'tab\there', b'ctl\x01\x1b\x7f', b'c1\xc2\x85nel', b'ls\xe2\x80\xa8',
             b'bad\xff', b'caf\xe9', b'cut\xe2\x82', b'sur\xed\xa0\x80', b' lead', b'trail ',
             b'-x', b'--x', b'L' * 255, b'emoji\xf0\x9f\x98\x80', b'emoji\xee\x80\x80', b'B.txt',
             b'a.txt', b'.dot', b'noncharacter\xef\xbf\xbe']


def mkdir(parent, name, mode=0o755):
    os.mkdir(name, mode, dir_fd=parent)
    return os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=parent)


def touch(parent, name, data=b'', mode=0o644):
    fd = os.open(name, os.O_WRONLY | os.O_CREAT | os.O_EXCL, mode, dir_fd=parent)
    os.write(fd, data)
    os.close(fd)


def build(out):
    top = os.open(out, os.O_RDONLY | os.O_DIRECTORY)
    tree = mkdir(top, b'tree')
    os.close(top)

    links = mkdir(tree, b'links')
    real = mkdir(links, b'real')
    touch(real, b'f.txt', b'x')
    os.close(real)
    for name, target in ((b'to_parent', b'..'), (b'to_self', b'.'), (b'to_location', b'../'),
                         (b'to_above', b'../..'), (b'to_root', b'/'), (b'to_real', b'real'),
                         (b'a_first', b'zz_later'), (b'loop_a', b'loop_b'), (b'loop_b', b'loop_a'),
                         (b'chase', b'chase'), (b'dangling', b'nowhere'),
                         (b'dangling_abs', b'/nonexistent/dirka-test'), (b'to_file', b'real/f.txt'),
                         (b'to_fifo', b'../special/fifo'), (b'to_null', b'/dev/null'),
                         (b'to_locked', b'../locked/no_access')):
        os.symlink(target, name, dir_fd=links)
    later = mkdir(links, b'zz_later')
    touch(later, b'later.txt')
    os.symlink(b'../real', b'back_to_real', dir_fd=later)
    os.close(later)
    for a, b in ((b'm1', b'm2'), (b'm2', b'm1')):  # two folders that lead to each other
        fd = mkdir(links, a)
        os.symlink(b'../' + b, b'to_' + b, dir_fd=fd)
        touch(fd, a + b'.txt')
        os.close(fd)
    os.close(links)

    locked = mkdir(tree, b'locked')
    for name, mode in ((b'no_access', 0o000), (b'search_only', 0o111)):
        fd = mkdir(locked, name)
        touch(fd, b'secret.txt')
        os.close(mkdir(fd, b'inner'))
        os.close(fd)
        os.chmod(name, mode, dir_fd=locked)
    # Names can be read but not looked up: the files are listed, the subfolder cannot be entered.
    fd = mkdir(locked, b'read_only')
    touch(fd, b'seen.txt')
    os.close(mkdir(fd, b'sub'))
    os.symlink(b'sub', b'link_to_sub', dir_fd=fd)
    os.close(fd)
    os.chmod(b'read_only', 0o444, dir_fd=locked)
    touch(locked, b'unreadable.txt', b'secret', 0o000)
    os.close(locked)

    names = mkdir(tree, b'names')
    for name in ODD_NAMES:
        touch(names, name)
    for name in (b'dir\nnl', b'dir\xfe', b' spaced ', b'-d', b'Mixed', b'apple', b'Zebra',
                 b'.hidden'):
        fd = mkdir(names, name)
        touch(fd, b'in ' + name)
        os.close(fd)
    os.close(names)

    special = mkdir(tree, b'special')
    os.mkfifo(b'fifo', dir_fd=special)
    here = os.open(b'.', os.O_RDONLY | os.O_DIRECTORY)
    try:
        os.fchdir(special)  # a socket's path must fit 108 bytes: bind it by a short name
        with socket.socket(socket.AF_UNIX) as s:
            s.bind('socket')
    finally:
        os.fchdir(here)
        os.close(here)
    os.close(special)

    fd = mkdir(tree, b'deep')
    for level in range(DEEP_LEVELS):
        child = mkdir(fd, b'%03d' % level + b'd' * 247)
        os.close(fd)
        fd = child
    touch(fd, b'bottom.txt')
    os.close(fd)

    wide = mkdir(tree, b'wide')
    for i in range(WIDE_FILES):
        touch(wide, (b'W%d' if i % 3 == 0 else b'w%d') % i)
    os.close(wide)

    empty = mkdir(tree, b'empty')
    os.close(mkdir(empty, b'e1'))
    fd = mkdir(empty, b'e2')
    os.close(mkdir(fd, b'e3'))
    os.close(fd)
    os.close(empty)
    os.close(tree)
    return LOCKED


# --- the oracle --------------------------------------------------------------------------------

def shown(text):
    """A name as a result line shows it: controls, undecodable bytes, lone surrogates, U+2028/9
    and U+FFFE/F as U+FFFD."""
    def bad(ch):
        o = ord(ch)
        return (o < 0x20 or 0x7F <= o <= 0x9F or o in (0x2028, 0x2029, 0xFFFE, 0xFFFF)
                or 0xD800 <= o <= 0xDFFF)
    return ''.join('\ufffd' if bad(ch) else ch for ch in text)


def decoded(name):
    # Undecodable bytes stand for themselves as U+DC80..U+DCFF, as the program decodes them.
    return name.decode('utf-8', 'surrogateescape')


def units(text):
    return text.encode('utf-16-be', 'surrogatepass')


def folded(text):
    """Each UTF-16 unit lower-cased on its own; a unit whose lower case is not one unit stays."""
    raw = units(text)
    out = bytearray()
    for i in range(0, len(raw), 2):
        unit = raw[i] << 8 | raw[i + 1]
        if unit >= 0x41 and not 0xD800 <= unit <= 0xDFFF:
            lower = chr(unit).lower()
            if len(lower) == 1 and ord(lower) < 0x10000:
                unit = ord(lower)
        out += bytes((unit >> 8, unit & 0xFF))
    return bytes(out)


def kind_of(folder, entry):
    """'folder', 'file', 'special', or None for an entry gone since the folder was read."""
    try:
        st = os.stat(entry.name, dir_fd=folder)
    except FileNotFoundError:
        try:
            os.stat(entry.name, dir_fd=folder, follow_symlinks=False)
            return 'file'  # a link that leads nowhere
        except FileNotFoundError:
            return None
    except OSError:
        if entry.is_symlink():
            return 'file'  # a link that cannot be followed (a loop, a folder that hides it)
        if entry.is_dir(follow_symlinks=False):
            return 'folder'
        return 'file' if entry.is_file(follow_symlinks=False) else 'special'
    if stat.S_ISDIR(st.st_mode):
        return 'folder'
    return 'file' if stat.S_ISREG(st.st_mode) else 'special'


def identities_up_to(path):
    found = set()
    for p in (path, os.path.realpath(path)):
        while True:
            st = os.stat(p)
            found.add((st.st_dev, st.st_ino))
            if p in (b'/', b''):
                break
            p = os.path.dirname(p.rstrip(b'/')) or b'/'
    return found


def oracle(location):
    lines, unreadable = [], []
    entered = set()
    on_the_way = identities_up_to(location)  # the location and its ancestors

    def visit(fd, path, via_link, is_location):
        lines.append(shown(path))
        if fd is None:
            return
        st = os.fstat(fd)
        identity = st.st_dev, st.st_ino
        if (not is_location and identity in on_the_way) or (via_link and identity in entered):
            os.close(fd)
            return
        entered.add(identity)
        on_the_way.add(identity)
        files, folders = [], []
        with os.scandir(fd) as entries:
            for entry in entries:
                kind = kind_of(fd, entry)
                name = entry.name  # scandir on a descriptor decodes as the program does
                if kind == 'folder':
                    folders.append((name, entry.is_symlink()))
                elif kind is not None:
                    files.append(name)
        for name in sorted(files, key=units):
            lines.append(shown(path + name))
        for name, is_link in sorted(folders, key=lambda f: (folded(f[0]), units(f[0]))):
            raw = name.encode('utf-8', 'surrogateescape')
            try:
                child = os.open(raw, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            except FileNotFoundError:
                continue
            except OSError as e:
                unreadable.append([shown(path + name + '/'), os.strerror(e.errno)])
                child = None
            visit(child, path + name + '/', is_link, False)
        on_the_way.discard(identity)
        os.close(fd)

    visit(os.open(location, os.O_RDONLY | os.O_DIRECTORY), decoded(location), False, True)
    return {'lines': lines, 'unreadable': unreadable}


# --- removal -----------------------------------------------------------------------------------

def remove_below(parent, name):
    st = os.stat(name, dir_fd=parent, follow_symlinks=False)
    if not stat.S_ISDIR(st.st_mode):
        os.unlink(name, dir_fd=parent)
        return
    os.chmod(name, 0o700, dir_fd=parent)
    fd = os.open(name, os.O_RDONLY | os.O_DIRECTORY | os.O_NOFOLLOW, dir_fd=parent)
    try:
        for child in os.listdir(fd):
            remove_below(fd, os.fsencode(child))
    finally:
        os.close(fd)
    os.rmdir(name, dir_fd=parent)


def remove(out):
    parent, name = os.path.split(out.rstrip(b'/'))
    fd = os.open(parent or b'.', os.O_RDONLY | os.O_DIRECTORY)
    try:
        remove_below(fd, name)
    finally:
        os.close(fd)


def main():
    command, out = sys.argv[1], os.fsencode(sys.argv[2])
    if command == 'build':
        print(json.dumps(build(out)))
    elif command == 'oracle':
        print(json.dumps(oracle(os.path.join(out, b'tree/'))))
    elif command == 'remove':
        remove(out)
    else:
        sys.exit('usage: hostile_tree.py build|oracle|remove FOLDER')


if __name__ == '__main__':
    main()
