#!/usr/bin/env python3
"""Lists include loops among the units of a source folder.

A unit is a .h with its .cpp (and a private header `name_p.h` with
`name`). An edge A -> B means a file of A includes a header of B. Every
strongly connected group of more than one unit is a loop; the edges inside
it are printed. Exit status 1 when there is a loop.

    python3 tools/includeloops.py src/webview/engine [src]
"""
import os
import re
import sys


def unit_of(path, src_root):
    name = os.path.splitext(os.path.relpath(path, src_root))[0]
    return name[:-2] if name.endswith('_p') else name


def main():
    folder = sys.argv[1]
    src_root = sys.argv[2] if len(sys.argv) > 2 else 'src'
    files = {}
    for directory, _, names in os.walk(folder):
        for name in names:
            if name.endswith(('.h', '.cpp')):
                path = os.path.join(directory, name)
                files.setdefault(unit_of(path, src_root), []).append(path)
    include = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
    edges = {unit: set() for unit in files}
    for unit, paths in files.items():
        for path in paths:
            with open(path, encoding='utf-8', errors='replace') as text:
                for line in text:
                    found = include.match(line)
                    if not found:
                        continue
                    target = found.group(1)
                    # Includes are written from src/ (or src/webview/ inside
                    # the engine), or relative to the including file.
                    for candidate in (target, 'webview/' + target,
                                      os.path.relpath(os.path.join(os.path.dirname(path), target), src_root)):
                        other = unit_of(os.path.normpath(candidate), '.')
                        if other in files:
                            if other != unit:
                                edges[unit].add(other)
                            break
    # Tarjan's strongly connected components.
    index, low, stack, on_stack, loops = {}, {}, [], set(), []
    counter = [0]

    def visit(unit):
        index[unit] = low[unit] = counter[0]
        counter[0] += 1
        stack.append(unit)
        on_stack.add(unit)
        for other in edges[unit]:
            if other not in index:
                visit(other)
                low[unit] = min(low[unit], low[other])
            elif other in on_stack:
                low[unit] = min(low[unit], index[other])
        if low[unit] == index[unit]:
            group = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.append(member)
                if member == unit:
                    break
            if len(group) > 1:
                loops.append(sorted(group))

    sys.setrecursionlimit(10000)
    for unit in sorted(files):
        if unit not in index:
            visit(unit)
    for group in loops:
        print('loop:', ' '.join(group))
        for unit in group:
            for other in sorted(edges[unit]):
                if other in group:
                    print('   ', unit, '->', other)
    print(len(loops), 'loop(s) among', len(files), 'units')
    return 1 if loops else 0


if __name__ == '__main__':
    sys.exit(main())
