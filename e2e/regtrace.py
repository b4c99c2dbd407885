"""The program's registry calls as Wine's +reg trace shows them, and the
instance scan's calls as the scan model (tests/scan_model.cpp) expects them, to
compare the two."""

import os
import re
import subprocess

import demo_pc

OPEN = re.compile(r'^([0-9a-f]+):trace:reg:NtOpenKeyEx \(0x[0-9a-f]+,L"(.*)",[0-9a-f]+,(0x[0-9a-f]+)\)$')
OPENED = re.compile(r'^([0-9a-f]+):trace:reg:NtOpenKeyEx <- (.*)$')
DELETE = re.compile(r'^([0-9a-f]+):trace:reg:RegDeleteKeyExA "(.*)" ret=([0-9a-f]+)$')

BASES = [base[len("HKLM\\"):] for base, _ in demo_pc.SCAN_BASES]   # as the program names them
# Built with the unit tests (cmake --build --preset linux).
SCAN_ORDER = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "build", "linux", "scan-order")


def unescape(s):
    return s.replace("\\\\", "\\")


def parse(text):
    """Registry events in order: ("open", name, pointer, ok) and ("delete", name, result)."""
    events = []
    lines = text.splitlines()
    for i, line in enumerate(lines):
        if m := OPEN.match(line):
            ok = None
            for nxt in lines[i + 1:i + 4]:
                if (r := OPENED.match(nxt)) and r.group(1) == m.group(1):
                    ok = r.group(2) != "(nil)"
                    break
            events.append(("open", unescape(m.group(2)), m.group(3), ok))
        elif m := DELETE.match(line):
            events.append(("delete", unescape(m.group(2)), int(m.group(3), 16)))
    return events


def top_level_deletes(events):
    """RegDeleteKeyA calls the program made (Wine's own deletions of the
    subkeys, while it deletes a tree, name one component only)."""
    return [e[1] for e in events if e[0] == "delete" and "\\" in e[1]]


def scan_calls(events):
    """The scan's opens and deletions: ("open", name, ok) and ("delete", name).
    In each pass the scan's own opens all go to the same handle variable, the
    one its first open used; Wine's opens while it deletes a tree go elsewhere."""
    bases = [b.lower() + "\\" for b in BASES]
    pointers = {}
    out = []
    for e in events:
        name = e[1]
        base = [b for b in bases if name.lower().startswith(b)]
        if not base:
            continue
        if e[0] == "open":
            if pointers.setdefault(base[0], e[2]) == e[2]:
                out.append(("open", name, e[3]))
        else:
            out.append(("delete", name))
    return out


def demo_layout():
    """The demo PC's instance keys, a line each as scan-order reads them."""
    lines = []
    for _, path, item in demo_pc.REGISTRY:
        for n, (base, value) in enumerate(demo_pc.SCAN_BASES, 1):
            if path.lower().startswith(base.lower() + "\\"):
                lines.append("%d %s %s\n" % (n, path[len(base) + 1:], item["values"].get(value, "")))
    return "".join(lines)


def expected_scan(layout):
    """The scan's opens and deletions over a layout, ("open", name, ok) and
    ("delete", name), as the scan model works them out."""
    out = subprocess.run([SCAN_ORDER], input=layout, capture_output=True, text=True, check=True).stdout
    calls = []
    for line in out.splitlines():
        n, verb, number, *result = line.split()
        name = BASES[int(n) - 1] + "\\" + number
        if verb == "open":
            calls.append(("open", name, result == ["=", "0"]))
        elif verb == "delete":
            calls.append(("delete", name))
    return calls
