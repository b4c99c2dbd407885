"""Whole-machine comparison of two snapshots: which of the printer's items are
still there, and what else changed."""

import machine as demo


def reg_key_of(line):
    """The key path a registry dump line belongs to, in a form to compare."""
    body = line[2:]
    if line.startswith("V ") or line.startswith("E "):
        body = body.split("|")[0]
    return normal_key(body)


def normal_key(path):
    p = path.lower()
    # On Wine CurrentControlSet is a link to ControlSet001, and the dump walks
    # the real keys; HKEY_CLASSES_ROOT is HKLM\Software\Classes.
    p = p.replace("\\currentcontrolset\\", "\\controlset001\\")
    if p.startswith("hkcr\\"):
        p = "hklm\\software\\classes\\" + p[5:]
    if p.startswith("hkcu\\"):
        p = "hku\\s-1-5-21-0-0-0-1000\\" + p[5:]
    return p


def under(key, prefix):
    return key == prefix or key.startswith(prefix + "\\")


def printer_keys(kind):
    return [normal_key(k) for k in demo.registry_keys(kind)]


def keys_present(dump, keys):
    """Those of keys that the dump holds."""
    present = {reg_key_of(l) for l in dump if l.startswith("K ")}
    return [k for k in keys if k in present]


def registry_changes(before, after, expected_gone):
    """Lines removed outside expected_gone, and lines added."""
    b, a = set(before), set(after)
    removed = [l for l in before if l not in a
               and not any(under(reg_key_of(l), p) for p in expected_gone)]
    added = [l for l in after if l not in b]
    return removed, added


def file_changes(before, after, expected_gone=(), expected_new=(), expected_changed=()):
    """Differences between two file trees, apart from the expected ones."""
    lower = lambda names: {n.lower() for n in names}
    gone, new, changed = lower(expected_gone), lower(expected_new), lower(expected_changed)
    out = []
    for rel, h in sorted(before.items()):
        if rel not in after:
            if rel.lower() not in gone:
                out.append("removed: " + rel)
        elif after[rel] != h and rel.lower() not in changed:
            out.append("changed: " + rel)
    for rel in sorted(after):
        if rel not in before and rel.lower() not in new:
            out.append("added: " + rel)
    for rel in sorted(gone):
        if rel in {r.lower() for r in after}:
            out.append("still there: " + rel)
    return out


def win_ini_without_printer(data):
    """win.ini's bytes with the printer's two lines taken out and nothing else."""
    out = data
    for line in demo.WIN_INI_PRINTER_LINES:
        raw = (line + "\r\n").encode("ascii")
        assert out.count(raw) == 1, line
        out = out.replace(raw, b"")
    return out


def wininit_bytes(runs=1):
    return b"[rename]\r\n" + b"".join((l + "\r\n").encode("ascii") for l in demo.WININIT_LINES) * runs
