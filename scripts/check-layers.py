#!/usr/bin/env python3
"""Checks that the program's includes point down the house and form no circle.

The folders, from the ground up: base/ (knows no part of the program), list/, engine/ and
bars/ (beside each other, each on what is below it), app/ on top. res/ holds resources that
any folder may include. A file names its dependencies by its #include "folder/name.h"
lines; a module is a .cpp with its .h. Two modules that include each other, directly or
through others, are a circle. Prints each fault and exits 1 when there is any."""
import pathlib
import re
import sys

top = pathlib.Path(__file__).resolve().parent.parent
may_include = {
    "base": {"base", "res"},
    "list": {"base", "list", "res"},
    "engine": {"base", "list", "engine", "res"},
    "bars": {"base", "list", "bars", "res"},
    "app": {"base", "list", "engine", "bars", "app", "res"},
}
include = re.compile(r'^#include "([a-z_]+)/([A-Za-z0-9_]+)\.h"', re.M)

faults = []
graph = {}
for folder in may_include:
    for path in sorted((top / folder).glob("*.[ch]*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        module = f"{folder}/{path.stem}"
        edges = graph.setdefault(module, set())
        for target_folder, name in include.findall(path.read_text(encoding="utf-8")):
            if target_folder not in may_include[folder]:
                faults.append(f"{path.relative_to(top)} includes {target_folder}/{name}.h")
            target = f"{target_folder}/{name}"
            if target != module and target_folder != "res":
                edges.add(target)

# Tarjan's strongly connected components: any component of more than one module is a circle.
index, low, stack, on_stack, counter = {}, {}, [], set(), [0]


def visit(node):
    index[node] = low[node] = counter[0]
    counter[0] += 1
    stack.append(node)
    on_stack.add(node)
    for target in graph.get(node, ()):
        if target not in index:
            visit(target)
            low[node] = min(low[node], low[target])
        elif target in on_stack:
            low[node] = min(low[node], index[target])
    if low[node] == index[node]:
        component = []
        while True:
            member = stack.pop()
            on_stack.discard(member)
            component.append(member)
            if member == node:
                break
        if len(component) > 1:
            faults.append("circle: " + " <-> ".join(sorted(component)))


sys.setrecursionlimit(10000)
for module in sorted(graph):
    if module not in index:
        visit(module)

for fault in faults:
    print(fault)
sys.exit(1 if faults else 0)
