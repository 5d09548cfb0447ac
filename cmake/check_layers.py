#!/usr/bin/env python3
"""Fails on any include that points up or sideways against the folder order of cmake/layers.txt.

Usage: check_layers.py <source root> <table>. Reads src/, tests/ and bench/ below the root and names file,
line and include of every offence.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
SUFFIXES = ('.c', '.cpp', '.h', '.rc')


def read_table(path):
    rows = {}
    with open(path, encoding='utf-8') as table:
        for number, line in enumerate(table, 1):
            line = line.split('#', 1)[0].strip()
            if not line:
                continue
            name, sep, uses = line.partition(':')
            if not sep:
                sys.exit(f'{path}:{number}: expected "<folder>: <folders>"')
            rows[name.strip()] = set(uses.split())
    return rows


def allowed_for(rows, top, folder):
    """The subsystem folders a file below top/folder may include, or None when nothing decides it."""
    anywhere = rows.get('anywhere', set())
    own = f'{top}/{folder}'
    if top == 'src':
        return rows[folder] | anywhere | {folder} if folder in rows else None
    if own in rows:
        return rows[own] | anywhere
    if top == 'tests' and folder in rows:
        return rows[folder] | anywhere | {folder}
    return None


def main():
    root, table = sys.argv[1], sys.argv[2]
    rows = read_table(table)
    subsystems = {d for d in os.listdir(os.path.join(root, 'src')) if os.path.isdir(os.path.join(root, 'src', d))}
    offences = []
    for top in ('src', 'tests', 'bench'):
        base = os.path.join(root, top)
        if not os.path.isdir(base):
            continue
        for folder in sorted(os.listdir(base)):
            if not os.path.isdir(os.path.join(base, folder)):
                continue
            allowed = allowed_for(rows, top, folder)
            if allowed is None:
                offences.append(f'{top}/{folder}: no row in {table}; add one so its includes can be checked')
                continue
            for dirpath, _, names in sorted(os.walk(os.path.join(base, folder))):
                for name in sorted(n for n in names if n.endswith(SUFFIXES)):
                    path = os.path.join(dirpath, name)
                    shown = os.path.relpath(path, root)
                    with open(path, encoding='utf-8', errors='replace') as source:
                        for number, line in enumerate(source, 1):
                            match = INCLUDE.match(line)
                            if not match:
                                continue
                            target = match.group(1)
                            where = f'{shown}:{number}: #include "{target}"'
                            if target.startswith('../') or '/../' in target:
                                offences.append(f'{where}: relative path, write includes from src/')
                                continue
                            first = target.split('/', 1)[0]
                            if '/' not in target:
                                if top == 'src' and os.path.exists(os.path.join(dirpath, target)):
                                    offences.append(f'{where}: write it from src/ ("{folder}/{target}")')
                                continue
                            if first in subsystems and first not in allowed:
                                who = f'{top}/{folder}' if top != 'src' else folder
                                offences.append(f'{where}: {who} may not include {first} '
                                                f'(it may include: {" ".join(sorted(allowed)) or "nothing"})')
    for offence in offences:
        print(offence)
    if offences:
        print(f'{len(offences)} include(s) against the folder order of {table}')
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
