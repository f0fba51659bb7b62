#!/usr/bin/env python3
"""Checks the includes between the project's folders: each folder may lean on others, never in a circle.

    scripts/includes.py [--graph] [ROOT]

Every `#include "..."` of a .h or .cpp under src/, service/, tests/, bench/, fuzz/ and assets/ is
resolved to a file of the project: beside the including file, from a folder it sits in, from src/,
tests/ or the top, or by its name alone (the service's folders put themselves on the include path).
A file named alone must be the only one of that name, or the include could mean either. Generated
headers (cmake/NAME.in, moc output) are left out. The folder of a file is its directory; a circle
of folders (service -> gateway -> service) is printed and fails the check, as does an include that
names no file or a file of an ambiguous name. --graph prints every folder's edges.
"""
import os
import re
import sys
from collections import defaultdict

FOLDERS = ("src", "service", "tests", "bench", "fuzz", "assets")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def project_files(root):
    files = []
    for top in FOLDERS:
        for here, dirs, names in os.walk(os.path.join(root, top)):
            dirs[:] = sorted(d for d in dirs if not d.startswith("."))
            files += [os.path.relpath(os.path.join(here, n), root) for n in sorted(names) if n.endswith((".h", ".cpp"))]
    return files


def generated_names(root):
    cmake = os.path.join(root, "cmake")
    names = {n[:-3] for n in os.listdir(cmake) if n.endswith(".in")} if os.path.isdir(cmake) else set()
    return names


def resolve(name, including, known, by_name):
    """The project file an include names, None when it is generated, or an error text."""
    here = os.path.dirname(including)
    candidates = [os.path.join(here, name)]
    # A qualified name ("core/catalogue.h", "support/files.h") from any folder the file sits in,
    # or from src/ and tests/, which the build puts on every include path.
    parts = here.split(os.sep)
    candidates += [os.path.join(*parts[:i], name) for i in range(len(parts) - 1, 0, -1)]
    candidates += [os.path.join("src", name), os.path.join("tests", name), name]
    for c in candidates:
        c = os.path.normpath(c)
        if c in known:
            return c
    if "/" not in name:
        found = by_name.get(name, [])
        if len(found) == 1:
            return found[0]
        if len(found) > 1:
            return "ambiguous: " + ", ".join(found)
    return "names no file of the project"


def circles(edges):
    """The folders in each strongly connected group of more than one folder (Tarjan)."""
    index, low, stack, on_stack, groups = {}, {}, [], set(), []
    counter = [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on_stack.add(v)
        for w in sorted(edges.get(v, ())):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            group = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                group.append(w)
                if w == v:
                    break
            if len(group) > 1:
                groups.append(sorted(group))

    for v in sorted(edges):
        if v not in index:
            visit(v)
    return groups


def main(argv):
    show_graph = "--graph" in argv
    args = [a for a in argv if a != "--graph"]
    root = os.path.abspath(args[0] if args else os.path.join(os.path.dirname(__file__), ".."))
    files = project_files(root)
    known = set(files)
    by_name = defaultdict(list)
    for f in files:
        by_name[os.path.basename(f)].append(f)
    generated = generated_names(root)

    problems = []
    edges = defaultdict(set)
    why = {}
    count = 0
    for f in files:
        with open(os.path.join(root, f), encoding="utf-8", errors="replace") as text:
            names = INCLUDE.findall(text.read())
        for name in names:
            if name.endswith(".moc") or name in generated:
                continue
            count += 1
            target = resolve(name, f, known, by_name)
            if target not in known:
                problems.append(f'{f}: #include "{name}" {target}')
                continue
            a, b = os.path.dirname(f), os.path.dirname(target)
            if a != b:
                edges[a].add(b)
                why.setdefault((a, b), f"{f} includes {target}")

    if show_graph:
        for a in sorted(edges):
            print(f"{a} -> {', '.join(sorted(edges[a]))}")
    groups = circles(edges)
    for group in groups:
        inside = set(group)
        problems.append("circle between " + ", ".join(group) + ":")
        for a in group:
            for b in sorted(edges[a] & inside):
                problems.append(f"  {a} -> {b} ({why[(a, b)]})")
    for p in problems:
        print(p)
    folders = {os.path.dirname(f) for f in files}
    print(f"{len(files)} files, {count} includes, {len(folders)} folders, "
          f"{sum(len(v) for v in edges.values())} edges between folders, {len(groups)} circles")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
