"""The program's registry calls as Wine's +reg trace shows them, and the
instance scan's calls worked out from its rules, to compare the two."""

import re

import demo_pc

OPEN = re.compile(r'^([0-9a-f]+):trace:reg:NtOpenKeyEx \(0x[0-9a-f]+,L"(.*)",[0-9a-f]+,(0x[0-9a-f]+)\)$')
OPENED = re.compile(r'^([0-9a-f]+):trace:reg:NtOpenKeyEx <- (.*)$')
DELETE = re.compile(r'^([0-9a-f]+):trace:reg:RegDeleteKeyExA "(.*)" ret=([0-9a-f]+)$')

BASES = [r"Enum\Root\printer", r"System\CurrentControlSet\Services\Class\Printer"]


def unescape(s):
    return s.replace("\\\\", "\\")


def parse(text):
    """Registry events in order: ("open", name, pointer, ok) and ("delete", name, result)."""
    events = []
    lines = text.splitlines()
    for i, line in enumerate(lines):
        m = OPEN.match(line)
        if m:
            ok = None
            for nxt in lines[i + 1:i + 4]:
                r = OPENED.match(nxt)
                if r and r.group(1) == m.group(1):
                    ok = r.group(2) != "(nil)"
                    break
            events.append(("open", unescape(m.group(2)), m.group(3), ok))
            continue
        m = DELETE.match(line)
        if m:
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
            pointer = pointers.setdefault(base[0], e[2])
            if e[2] == pointer:
                out.append(("open", name, e[3]))
        else:
            out.append(("delete", name))
    return out


def expected_scan(keys):
    """The calls the scan makes on a machine holding keys {name: description}:
    the search rules, step by step, with the miss budget of 100."""
    keys = dict(keys)
    out = []
    for base, value in zip(BASES, ("DeviceDesc", "DriverDesc")):
        def name(n):
            return "%s\\%04d" % (base, n)

        def open_(n):
            ok = name(n) in keys
            out.append(("open", name(n), ok))
            return ok

        nxt, miss = 1, 0
        cur = 0
        state = "examine" if open_(0) else "search"
        while state != "end":
            if state == "examine":
                desc = keys[name(cur)].get(value)
                if desc == demo_pc.PRINTER:
                    del keys[name(cur)]
                    out.append(("delete", name(cur)))
                else:
                    cur, nxt = nxt, nxt + 1
                if open_(cur):
                    continue
                miss += 1
                state = "end" if miss > 100 else "search"
            else:
                cur, nxt = nxt, nxt + 1
                miss += 1
                if not open_(cur):
                    state = "end" if miss > 100 else "search"
                    continue
                miss += 1
                state = "end" if miss > 100 else "examine"
    return out


def demo_instance_keys():
    """The demo PC's instance keys as the program names them."""
    out = {}
    for _, path, item in demo_pc.REGISTRY:
        for base in BASES:
            prefix = "HKLM\\" + base + "\\"
            if path.lower().startswith(prefix.lower()):
                out[base + "\\" + path[len(prefix):]] = item.get("values", {})
    return out
