#!/usr/bin/env python3
"""Keeps the dependency rules of src/: no include circle between folders nor between files (a header and
its .cpp count as one file), only the main window and the composition know MainWindow.h, and the
widget-free files of the core library include no widget header."""
import os
import re
import sys
from collections import defaultdict

src = sys.argv[1]
include = re.compile(r'#include [<"]([^>"]+)[>"]')
folder_deps = defaultdict(set)
file_deps = defaultdict(set)
problems = []

core_files = set()
for cmake_root, _, names in os.walk(src):
    for cmake in (n for n in names if n == 'CMakeLists.txt' or n.endswith('.cmake')):
        text = open(os.path.join(cmake_root, cmake), encoding='utf-8').read()
        for block in re.findall(r'target_sources\(ondivo_core PRIVATE([^)]*)\)', text):
            for name in block.split():
                core_files.add(os.path.normpath(os.path.join(cmake_root, name)))

for root, _, names in os.walk(src):
    for name in names:
        if not name.endswith(('.h', '.cpp')):
            continue
        path = os.path.join(root, name)
        folder = os.path.relpath(path, src).split(os.sep)[0]
        unit = os.path.splitext(os.path.relpath(path, src))[0]
        for target in include.findall(open(path, encoding='utf-8').read()):
            for candidate in (target, os.path.join(os.path.dirname(os.path.relpath(path, src)), target)):
                if os.path.isfile(os.path.join(src, candidate)):
                    other = os.path.splitext(os.path.normpath(candidate))[0]
                    if other != unit:
                        file_deps[unit].add(other)
                    break
            head = target.split('/')[0]
            if '/' in target and head != folder and os.path.isdir(os.path.join(src, head)):
                folder_deps[folder].add(head)
            if target.endswith('mainwindow/MainWindow.h') and folder not in ('mainwindow', 'client'):
                problems.append(f'{path} includes MainWindow.h')
            if os.path.normpath(path) in core_files and re.match(r'Q(Widget|Dialog|MessageBox|Label|Table|Combo)', target):
                problems.append(f'{path} is in the core library but includes <{target}>')


def reaches(deps, start, goal, seen):
    for nxt in deps[start]:
        if nxt == goal:
            return True
        if nxt not in seen:
            seen.add(nxt)
            if reaches(deps, nxt, goal, seen):
                return True
    return False


for folder in sorted(folder_deps):
    if reaches(folder_deps, folder, folder, set()):
        problems.append(f'include circle through src/{folder}')
for unit in sorted(file_deps):
    if reaches(file_deps, unit, unit, set()):
        problems.append(f'include circle through src/{unit}')

for problem in problems:
    print(problem)
print(f'{len(folder_deps)} folders and {len(file_deps)} files checked, {len(problems)} problems')
sys.exit(1 if problems else 0)
