#!/usr/bin/env python3
"""Checks the rooms of src/core against their layering, from the #include lines alone.

Each room may include its own headers and those of the rooms listed for it below; an include of
any other room's header is reported with its file and line. Room-to-room includes must also form
no cycle. Headers are included by bare name (the rooms are include directories), so a name is
resolved to the room whose folder holds it; names outside src/core (Qt, SQLite, the standard
library) are not looked at.

    tools/check-layers.py [--dot]     exit status 1 when a rule is broken

With --dot it prints the rooms and the includes between them as a Graphviz drawing instead.
"""

import os
import re
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "core")

# What each room may include besides itself. Arrows only run down.
ALLOWED = {
    "base": set(),
    "formats": {"base"},
    "db": {"base"},
    "commands": {"base", "formats", "db"},
    "browse": {"base", "formats", "db"},
}

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def sources():
    for room in sorted(os.listdir(ROOT)):
        folder = os.path.join(ROOT, room)
        if not os.path.isdir(folder):
            continue
        for dirpath, _, names in os.walk(folder):
            for name in sorted(names):
                if name.endswith((".h", ".cpp")):
                    yield room, os.path.join(dirpath, name)


def main():
    files = list(sources())
    problems = []
    room_of = {}
    for room, path in files:
        name = os.path.basename(path)
        if name in room_of and room_of[name] != room:
            problems.append(f"{name} is in both {room_of[name]}/ and {room}/")
        room_of[name] = room
    for room, _ in files:
        if room not in ALLOWED:
            problems.append(f"src/core/{room}/ is no known room")

    edges = {}  # (from room, to room) -> first "file:line" that makes it
    for room, path in files:
        with open(path, encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = room_of.get(os.path.basename(m.group(1)))
                if target is None or target == room:
                    continue
                where = f"{os.path.relpath(path, os.path.join(ROOT, '..', '..'))}:{number}"
                edges.setdefault((room, target), where)
                if target not in ALLOWED.get(room, set()):
                    problems.append(f"{where}: {room}/ includes {m.group(1)} of {target}/")

    if "--dot" in sys.argv[1:]:
        print("digraph core {")
        for a, b in sorted(edges):
            print(f'  "{a}" -> "{b}";')
        print("}")
        return 0

    # A cycle between rooms, found by a depth-first walk over the room-to-room includes.
    graph = {}
    for a, b in edges:
        graph.setdefault(a, set()).add(b)
    state = {}

    def walk(node, trail):
        state[node] = "open"
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == "open":
                cycle = trail[trail.index(nxt):] + [nxt]
                problems.append("include cycle: " + " -> ".join(cycle))
            elif nxt not in state:
                walk(nxt, trail + [nxt])
        state[node] = "done"

    for node in sorted(graph):
        if node not in state:
            walk(node, [node])

    for p in problems:
        print(p)
    if problems:
        return 1
    print("rooms: " + ", ".join(f"{a} -> {b}" for a, b in sorted(edges)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
