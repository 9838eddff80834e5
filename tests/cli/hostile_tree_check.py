#!/usr/bin/env python3
"""Lists a tree of hostile entries (loops, odd names, special files, deep paths) with the real
`dirka --list` and checks that every entry the tree's manifest expects is listed, exactly once
per path, and that the walk ends. Usage: hostile_tree_check.py DIRKA_BINARY TOOLS_FOLDER
Exits 77 (skipped) when the tree builder is not there."""
import json
import os
import subprocess
import sys
import tempfile

SKIPPED = 77


def shown(path):
    """A name as a result line shows it: controls and undecodable bytes as U+FFFD."""
    def bad(ch):
        o = ord(ch)
        return (o < 0x20 or 0x7F <= o <= 0x9F or o in (0x2028, 0x2029, 0xFFFE, 0xFFFF)
                or 0xDC80 <= o <= 0xDCFF)
    return ''.join('\ufffd' if bad(ch) else ch for ch in path)


def main():
    dirka, tools = sys.argv[1], sys.argv[2]
    builder = os.path.join(tools, 'hostile_tree.py')
    if not os.path.isfile(builder):
        print('no hostile_tree.py in', tools)
        return SKIPPED
    with tempfile.TemporaryDirectory() as out:
        subprocess.run([sys.executable, builder, out, '--huge', '300', '--no-sparse',
                        '--deep-levels', '400', '--deep-long', '20'],
                       check=True, stdout=subprocess.DEVNULL)
        try:
            return check(dirka, out)
        finally:
            subprocess.run([sys.executable, builder, out, '--clean'],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def check(dirka, out):
    root = os.path.join(out, 'tree') + '/'
    sets = ['S.Preset=10', 'S.Base=10', 'S.Folder=0', 'S.File=10', 'S.IsSkip=0',
            'S.IsSummary=0', 'S.IsNewLine=0', 'S.IndentMode=2', 'S.IsHeader=0',
            'IsHiddenFiles=1', 'IsSystemFiles=1']
    command = [dirka, '--list', root]
    for s in sets:
        command += ['--set', s]
    env = dict(os.environ, XDG_CONFIG_HOME=out, LC_ALL='C.UTF-8')
    run = subprocess.run(command, capture_output=True, timeout=120, env=env)
    if run.returncode not in (0, 3):
        print('dirka exited with', run.returncode, run.stderr.decode(errors='replace'))
        return 1
    lines = run.stdout.decode('utf-8').split('\n')
    listed = set(lines)
    # Different names can show alike once their control characters are replaced.
    seen = set()
    duplicates = [l for l in lines if l in seen or seen.add(l)]
    duplicates = [l for l in duplicates if '\ufffd' not in l and l]
    manifest = json.load(open(os.path.join(out, 'manifest.json')))
    missing = []
    for entry in manifest['entries']:
        if entry['expect'].get('listed') != 'yes':
            continue
        path = root + shown(bytes.fromhex(entry['path_hex']).decode('utf-8', 'surrogateescape'))
        if path not in listed and path + '/' not in listed:
            missing.append(entry['id'])
    if missing or duplicates:
        print('missing:', missing, 'duplicate lines:', duplicates)
        return 1
    print(f'{len(lines) - 1} lines; every expected entry listed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
