#!/usr/bin/env python3
"""Finds include circles between the modules of engine/ and platform/.

A module is a file stem with its path (engine/finders/shortcut_repair stands
for shortcut_repair.h and shortcut_repair.cpp). Module A points at module B
when a file of A has `#include "B.h"` (quoted, as written from the repository
root). A circle is a strongly connected component of more than one module.

Exits 1 when a circle is found that KNOWN_TODAY does not hold, 0 otherwise;
with --report it prints every circle and exits 0.
"""

import argparse
import os
import re
import sys

# The folders whose modules are looked at, below the repository root.
FOLDERS = ("engine", "platform")
SOURCE_SUFFIXES = (".h", ".cpp")

# Include circles of the engine still waived, given as the include edges
# (includer, included) inside them: a circle made only of these edges is
# printed as still to remove; a circle with any other edge fails. Empty: the
# engine's last circles are taken apart, and a new one fails.
KNOWN_TODAY = set()

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def module_of(relative_path):
    """engine/finders/x.cpp -> engine/finders/x, with forward slashes."""
    stem, _ = os.path.splitext(relative_path)
    return stem.replace(os.sep, "/")


def read_graph(root, folders=FOLDERS):
    """The modules and, for each edge (a, b), the files of a that include b."""
    modules = set()
    edges = {}
    sources = []
    for folder in folders:
        top = os.path.join(root, folder)
        for directory, subfolders, files in os.walk(top):
            subfolders.sort()
            for name in sorted(files):
                if name.endswith(SOURCE_SUFFIXES):
                    path = os.path.join(directory, name)
                    sources.append(os.path.relpath(path, root))
    for source in sources:
        modules.add(module_of(source))
    for source in sources:
        includer = module_of(source)
        with open(os.path.join(root, source), encoding="utf-8", errors="replace") as f:
            for line in f:
                match = INCLUDE.match(line)
                if not match:
                    continue
                included = match.group(1)
                if not included.endswith(SOURCE_SUFFIXES):
                    continue
                target = module_of(os.path.normpath(included))
                # x.cpp including x.h is the module itself; includes of other
                # folders (or system headers in quotes) are not ours to judge.
                if target == includer or target not in modules:
                    continue
                edges.setdefault((includer, target), []).append(source.replace(os.sep, "/"))
    return modules, edges


def strongly_connected(modules, edges):
    """Tarjan's components, iteratively (no recursion limit on big trees)."""
    successors = {m: [] for m in modules}
    for a, b in edges:
        successors[a].append(b)
    for m in successors:
        successors[m].sort()
    index = {}
    low = {}
    on_stack = set()
    stack = []
    components = []
    counter = 0
    for start in sorted(modules):
        if start in index:
            continue
        work = [(start, iter(successors[start]))]
        index[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, children = work[-1]
            advanced = False
            for child in children:
                if child not in index:
                    index[child] = low[child] = counter
                    counter += 1
                    stack.append(child)
                    on_stack.add(child)
                    work.append((child, iter(successors[child])))
                    advanced = True
                    break
                if child in on_stack:
                    low[node] = min(low[node], index[child])
            if advanced:
                continue
            work.pop()
            if work:
                parent = work[-1][0]
                low[parent] = min(low[parent], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                components.append(sorted(component))
    return components


def circles(modules, edges):
    """Each circle as (its modules, its edges inside it), in a stable order."""
    found = []
    for component in strongly_connected(modules, edges):
        if len(component) < 2:
            continue
        members = set(component)
        inside = sorted(e for e in edges if e[0] in members and e[1] in members)
        found.append((component, inside))
    return sorted(found)


def shortest_loop(start, inside):
    """One shortest way round from `start` back to it, for the message."""
    successors = {}
    for a, b in inside:
        successors.setdefault(a, []).append(b)
    paths = {start: [start]}
    queue = [start]
    while queue:
        node = queue.pop(0)
        for child in sorted(successors.get(node, [])):
            if child == start:
                return paths[node] + [start]
            if child not in paths:
                paths[child] = paths[node] + [child]
                queue.append(child)
    return [start]


def describe(circle, edges):
    component, inside = circle
    lines = ["  circle of %d modules: %s" % (len(component), " ".join(component))]
    lines.append("    e.g. " + " -> ".join(shortest_loop(component[0], inside)))
    for a, b in inside:
        lines.append("    %s -> %s  (%s)" % (a, b, ", ".join(edges[(a, b)])))
    return "\n".join(lines)


def check(root, known, report=False):
    """The exit code and the text to print for the tree at `root`."""
    modules, edges = read_graph(root)
    if not modules:
        # A wrong root must not pass as a tree without circles.
        return 1, "no modules found below %s in %s\n" % (", ".join(FOLDERS), root)
    found = circles(modules, edges)
    out = []

    if report:
        out.append("%d modules, %d include edges, %d circles"
                   % (len(modules), len(edges), len(found)))
        for circle in found:
            known_now = all(e in known for e in circle[1])
            out.append(("(in KNOWN_TODAY)\n" if known_now else "") + describe(circle, edges))
        return 0, "\n".join(out) + "\n"

    still_to_remove = []
    new = []
    for circle in found:
        (still_to_remove if all(e in known for e in circle[1]) else new).append(circle)
    in_circles = {e for circle in found for e in circle[1]}
    stale = sorted(e for e in known if e not in in_circles)

    if still_to_remove:
        out.append("Known circles, still to remove (KNOWN_TODAY):")
        out.extend(describe(circle, edges) for circle in still_to_remove)
    if stale:
        out.append("In KNOWN_TODAY but closing no circle now (take them off the list):")
        out.extend("  %s -> %s" % e for e in stale)
    if new:
        out.append("Include circles not in KNOWN_TODAY:")
        for circle in new:
            out.append(describe(circle, edges))
            out.extend("    new edge: %s -> %s" % e for e in circle[1] if e not in known)
        return 1, "\n".join(out) + "\n"
    out.append("No new include circle among %d modules." % len(modules))
    return 0, "\n".join(out) + "\n"


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.join(os.path.dirname(__file__), ".."),
                        help="the repository root (default: this script's parent folder)")
    parser.add_argument("--report", action="store_true",
                        help="print every circle and exit 0")
    args = parser.parse_args(argv)
    code, text = check(os.path.abspath(args.root), KNOWN_TODAY, report=args.report)
    sys.stdout.write(text)
    return code


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
