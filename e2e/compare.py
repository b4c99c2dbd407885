"""Whole-machine comparison of two snapshots: which of the printer's items are
still there, and what else changed."""

import os

import demo_pc


def reg_key_of(line):
    """The key path a registry dump line belongs to, in a form to compare."""
    body = line[2:]
    if line.startswith("V ") or line.startswith("E "):
        body = body.split("|")[0]
    return normal_key(body)


# The roots that stand for other keys on Wine, and the keys the dump walks instead.
ROOT_LINKS = {"hkcr\\": "hklm\\software\\classes\\", "hkcu\\": "hku\\s-1-5-21-0-0-0-1000\\",
              "hkcc\\": "hklm\\system\\currentcontrolset\\hardware profiles\\current\\"}


def normal_key(path):
    p = path.lower()
    for link, real in ROOT_LINKS.items():
        if p.startswith(link):
            p = real + p[len(link):]
    # CurrentControlSet is a link to ControlSet001.
    return p.replace("\\currentcontrolset\\", "\\controlset001\\")


def under(key, prefix):
    return key == prefix or key.startswith(prefix + "\\")


def demo_keys(*kinds):
    """The demo PC's keys of those kinds; "fixed", the printer's fixed keys Wine can hold."""
    keys = [normal_key(path) for kind, path, _ in demo_pc.REGISTRY if kind in kinds]
    if "fixed" in kinds:
        keys += [normal_key(root + "\\" + key) for i, (root, key) in enumerate(demo_pc.FIXED_KEYS)
                 if i not in demo_pc.UNSEEDABLE]
    return list(dict.fromkeys(keys))


def keys_present(dump, keys):
    """Those of keys that the dump holds."""
    present = {reg_key_of(l) for l in dump if l.startswith("K ")}
    return [k for k in keys if k in present]


# Wine's own bookkeeping, not the machine's: a volatile key where Wine keeps
# the mouse settings it reads when a button is first pressed in a window.
WINE_VOLATILE = [normal_key(r"HKCU\Software\Wine\Temporary System Parameters")]


# Wine's start-up after a restart opens the keys of the programs to start,
# creating those that are missing, empty (in both registry views of a 64-bit
# prefix); Windows 95 comes with them.
STARTUP_KEYS = [normal_key(r"HKLM\Software\%sMicrosoft\Windows\CurrentVersion\%s" % (view, run))
                for view in ("", "Wow6432Node\\") for run in ("Run", "RunOnce", "RunServices", "RunServicesOnce")]


def registry_changes(before, after, expected_gone, expected_new=()):
    """Lines removed outside expected_gone, and lines added but for the empty
    keys expected_new."""
    b, a = set(before), set(after)
    wine = lambda l: any(under(reg_key_of(l), p) for p in WINE_VOLATILE)
    removed = [l for l in before if l not in a and not wine(l)
               and not any(under(reg_key_of(l), p) for p in expected_gone)]
    added = [l for l in after if l not in b and not wine(l)
             and not (l.startswith("K ") and reg_key_of(l) in expected_new)]
    return removed, added


def file_changes(before, after, expected_gone=(), expected_new=(), expected_changed=()):
    """Differences between two file trees, apart from the expected ones."""
    lower = lambda names: {n.lower() for n in names}
    gone, new, changed = lower(expected_gone), lower(expected_new), lower(expected_changed)
    out = ["removed: " + r for r in sorted(before) if r not in after and r.lower() not in gone]
    out += ["changed: " + r for r in sorted(before)
            if r in after and after[r] != before[r] and r.lower() not in changed]
    out += ["added: " + r for r in sorted(after) if r not in before and r.lower() not in new]
    out += ["still there: " + r for r in sorted(gone & lower(after))]
    return out


def win_ini_without_printer(data, others=True):
    """win.ini's bytes with the printer's two lines taken out, and device=
    naming the new default printer, or gone when there is no other."""
    out = data
    new = (demo_pc.NEW_DEFAULT_LINE + "\r\n").encode("ascii") if others else b""
    for line, instead in [(l, b"") for l in demo_pc.WIN_INI_PRINTER_LINES] + [(demo_pc.DEFAULT_LINE, new)]:
        raw = (line + "\r\n").encode("ascii")
        assert out.count(raw) == 1, line
        out = out.replace(raw, instead)
    return out


def default_printer(data):
    """The default printer win.ini's [windows] device= names, or "none"."""
    section = None
    for line in data.decode("latin-1").splitlines():
        if line.startswith("["):
            section = line.strip("[] ").lower()
        elif section == "windows" and line.split("=", 1)[0].strip().lower() == "device":
            return line.split("=", 1)[1].split(",", 1)[0].strip()
    return "none"


def wininit_bytes(runs=1, extra=()):
    """The two fixed lines of each run, then a line for each file named in extra."""
    lines = demo_pc.WININIT_LINES * runs + list(extra)
    return b"[rename]\r\n" + b"".join((l + "\r\n").encode("ascii") for l in lines)


def inventory(pc):
    """What of the printer is on the machine: (item, present) pairs, the same
    items in the same order whatever is left of them."""
    items = []
    present = {reg_key_of(l) for l in pc.dump_registry() if l.startswith("K ")}
    for i, (root, key) in enumerate(demo_pc.FIXED_KEYS):
        label = "registry  %s\\%s" % (root, key)
        if i in demo_pc.UNSEEDABLE:
            label += "  (Wine cannot hold this key)"
        items.append((label, normal_key(root + "\\" + key) in present))
    for _, path, item in demo_pc.REGISTRY:
        for base, value in demo_pc.SCAN_BASES:
            if path.startswith(base + "\\") and item["values"].get(value) == demo_pc.PRINTER:
                items.append(("registry  %s  (%s matches)" % (path, value), normal_key(path) in present))
    ini = open(pc.path("windows/win.ini"), "rb").read().decode("latin-1").splitlines()
    for section, line in demo_pc.WIN_INI.items():
        items.append(("win.ini   [%s] %s" % (section, line), line in ini))
    group = demo_pc.group_dir(pc)
    items.append(("folder    %s" % os.path.relpath(group, pc.c), os.path.isdir(group)))
    for name in demo_pc.SHORTCUTS:
        items.append(("shortcut  %s" % name, os.path.exists(os.path.join(group, name))))
    for folder, names in ((demo_pc.SYSTEM_DIR, demo_pc.SYSTEM_FILES), (demo_pc.DEFERRED_DIR, demo_pc.DEFERRED_FILES)):
        for name in names:
            items.append(("file      C:\\%s\\%s" % (folder.upper().replace("/", "\\"), name),
                          pc.find_ci(folder + "/" + name) is not None))
    return items
