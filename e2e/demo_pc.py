"""The demo PC: a Windows 95 PC on which the Oxtrel Lintora 460D driver was
installed, next to things of other programs that the uninstaller must leave
alone.

The printer's own items are the unit tests' description of it; the items of
the registry below carry a kind:
  "scan"   a numbered instance key the instance scan deletes
  "keep"   something that must still be there, byte for byte, after a run
"""

import os
import subprocess

DESCRIBE = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "build", "linux",
                        "printer-description")


def _description():
    """The installed printer as the unit tests describe it: each kind of item
    with its fields, in order."""
    if not os.path.exists(DESCRIBE):
        raise RuntimeError("no %s (cmake --build --preset linux)" % DESCRIBE)
    out = {}
    for line in subprocess.run([DESCRIBE], capture_output=True, text=True, check=True).stdout.splitlines():
        kind, *fields = line.split("\t")
        out.setdefault(kind, []).append(fields[0] if len(fields) == 1 else tuple(fields))
    return out


_PRINTER = _description()
PRINTER = _PRINTER["name"][0]
PRINT = r"HKLM\System\CurrentControlSet\control\Print"
ROOT_PRINTER = r"HKLM\Enum\Root\printer"
CLASS_PRINTER = r"HKLM\System\CurrentControlSet\Services\Class\Printer"
# The keys the instance scan walks, in its order, with the description each pass reads.
SCAN_BASES = [(ROOT_PRINTER, "DeviceDesc"), (CLASS_PRINTER, "DriverDesc")]

# The printer's fixed keys, (root, key), in the order the program deletes
# them.  On Wine HKEY_CLASSES_ROOT is HKLM\Software\Classes, so a key named
# under both roots is one key; the first deletion takes it.  One of them
# Wine 8 cannot create, under HKEY_CURRENT_CONFIG's Print.
FIXED_KEYS = _PRINTER["fixed_key"]
UNSEEDABLE = {int(_PRINTER["wine_cannot_hold"][0])}


def multi_sz(*strings):
    data = b"".join(s.encode("ascii") + b"\0" for s in strings) + b"\0"
    return ("hex", " ".join("%02x" % b for b in data))


def lpt_device(port):
    return {
        "values": {"DeviceDesc": PRINTER, "Class": "Printer", "Mfg": "Oxtrel",
                   "HardwareID": "LPTENUM\\OXTRELLINTORA_460D", "Driver": "Printer\\0000"},
        "subkeys": {port: {"values": {"DeviceDesc": PRINTER, "Port": port + ":"},
                           "subkeys": {"LogConfig": {"values": {"0000": ("hex", "00 04 00 00 78 03")}}}}},
    }


# What each of the printer's fixed keys holds: a value of each type, and
# subkeys, so that the key goes only with its whole tree.
FIXED_ITEM = {
    "values": {"@": PRINTER, "Driver": "OX46PRIN.DLL", "Version": ("dword", 0x400),
               "Dependent Files": multi_sz("OX4632.DLL", "OX46RAST.DLL", "OX46LANG.DLL")},
    "subkeys": {"PrinterDriverData": {"values": {"TonerSave": ("hex", "01 00")},
                                      "subkeys": {"Fonts": {"values": {"Courier": "1"}}}}},
}

# key -> {"values": {name: text | ("dword", n) | ("hex", "..")}, "subkeys": {...}}
REGISTRY = [
    # -- numbered device instances under Enum\Root\printer
    ("keep", ROOT_PRINTER + r"\0000", {"values": {"DeviceDesc": "Generic / Text Only", "Class": "Printer"}}),
    ("scan", ROOT_PRINTER + r"\0001", {"values": {"DeviceDesc": PRINTER, "Class": "Printer"},
                                       "subkeys": {"LogConfig": {"values": {"0000": ("hex", "00 04")}}}}),
    ("keep", ROOT_PRINTER + r"\0002", {"values": {"DeviceDesc": PRINTER.lower(), "Class": "Printer"}}),
    ("scan", ROOT_PRINTER + r"\0003", {"values": {"DeviceDesc": PRINTER}}),
    # 0004 to 0006 are a gap
    ("keep", ROOT_PRINTER + r"\0007", {"values": {"DeviceDesc": PRINTER + " ", "Class": "Printer"}}),
    ("scan", ROOT_PRINTER + r"\0008", {"values": {"DeviceDesc": PRINTER},
                                       "subkeys": {"Device Parameters": {"values": {"Port": "LPT2:"}}}}),
    # far beyond what the search spends on misses: never looked at
    ("keep", ROOT_PRINTER + r"\0150", {"values": {"DeviceDesc": PRINTER}}),

    # -- numbered printer-class instances
    ("scan", CLASS_PRINTER + r"\0000", {"values": {"DriverDesc": PRINTER, "InfPath": "OX46.INF"},
                                        "subkeys": {"DEFAULT": {"values": {"Port": "LPT1:"}}}}),
    ("keep", CLASS_PRINTER + r"\0001", {"values": {"DriverDesc": "HP LaserJet 4", "InfPath": "MSPRINT.INF"}}),
    ("keep", CLASS_PRINTER + r"\0002", {"values": {"DeviceDesc": PRINTER, "DriverDesc": "Lintora 460"}}),
    # 0003 is a gap
    ("scan", CLASS_PRINTER + r"\0004", {"values": {"DriverDesc": PRINTER},
                                        "subkeys": {"DEFAULT": {"values": {"Port": "LPT2:"}}}}),

    # -- other programs' things, close to the printer's
    ("keep", r"HKLM\SOFTWARE\Classes\CLSID\{7c52e1a0-d3f9-11d0-b6a4-0a2b3c4d5e70}", {
        "values": {"@": "Another Shell Extension"},
        "subkeys": {"InProcServer32": {"values": {"@": "OTHER.DLL"}}}}),
    ("keep", r"HKLM\SOFTWARE\Classes\Printers\shellex\ContextMenuHandlers\Other Shell Extension", {
        "values": {"@": "{7c52e1a0-d3f9-11d0-b6a4-0a2b3c4d5e70}"}}),
    ("keep", r"HKLM\Enum\LPTENUM\OXTRELLINTORA_460D_0E1C", lpt_device("LPT1")),
    ("keep", r"HKLM\Enum\LPTENUM\HEWLETT-PACKARDHP_LA2E7F", {"values": {"DeviceDesc": "HP LaserJet 4"}}),
    ("keep", PRINT + r"\Printers\HP LaserJet 4", {
        "values": {"Name": "HP LaserJet 4", "Port": "LPT1:", "Printer Driver": "HP LaserJet 4"},
        "subkeys": {"PrinterDriverData": {"values": {"Resolution": ("dword", 300)}}}}),
    ("keep", PRINT + r"\Printers\Oxtrel Lintora 460", {"values": {"Name": "Oxtrel Lintora 460"}}),
    ("keep", PRINT + r"\Environments\Windows 4.0\Drivers\HP LaserJet 4", {
        "values": {"Driver": "HPPCL5MS.DRV", "Version": ("dword", 0x400)}}),
    ("keep", PRINT + r"\Monitors\Lintora 460 LanguageMonitor", {"values": {"Driver": "OX40LANG.DLL"}}),
    ("keep", r"HKLM\Config\0001\System\CurrentControlSet\control\Print\Printers\HP LaserJet 4", {
        "values": {"ResolutionX": ("dword", 300)}}),
    ("keep", r"HKLM\SOFTWARE\Oxtrel\Lintora 460D", {"values": {"InstallDir": r"C:\OXTREL", "Version": "1.02"}}),
    ("keep", r"HKCU\Software\Oxtrel\Lintora 460D", {"values": {"LastPort": "LPT1:"}}),
]


def _seed_lines(path, item, out):
    out.append("+ " + path)
    for name, value in item.get("values", {}).items():
        if isinstance(value, str):
            out.append("= %s|%s|sz|%s" % (path, name, value))
        else:
            out.append("= %s|%s|%s|%s" % (path, name, value[0], value[1]))
    for sub, child in item.get("subkeys", {}).items():
        _seed_lines(path + "\\" + sub, child, out)


def seed_text():
    """The registry part of the machine, in the seeding program's format:
    every fixed key Wine can hold, then the other items."""
    out = ["# the demo PC's registry"]
    for i, (root, key) in enumerate(FIXED_KEYS):
        if i not in UNSEEDABLE:
            _seed_lines(root + "\\" + key, FIXED_ITEM, out)
    for _, path, item in REGISTRY:
        _seed_lines(path, item, out)
    return "\n".join(out) + "\n"


def drive_c(path):
    """C:\\A\\B as Wine's drive_c holds it: a/b, in its small letters."""
    return path[3:].replace("\\", "/").lower()


# -- files, relative to drive_c
SYSTEM_FILES = _PRINTER["system_file"]
SYSTEM_DIR = drive_c(_PRINTER["wine_system_dir"][0])   # GetSystemDirectoryA on Wine
WININIT_LINES = _PRINTER["wininit_line"]
DEFERRED_DIR, _ = os.path.split(drive_c(WININIT_LINES[0][len("NUL="):]))   # C:\WINDOWS\SYSTEM
DEFERRED_FILES = [line.rsplit("\\", 1)[1] for line in WININIT_LINES]
GROUP = _PRINTER["group"][0]
SHORTCUTS = _PRINTER["shortcut"]

KEEP_FILES = [
    SYSTEM_DIR + "/OX47PRIN.DLL",
    SYSTEM_DIR + "/OX46PRIN.DL_",
    DEFERRED_DIR + "/OX46RAST.DLL",       # only the two deferred names go from here
    "OXTREL/README.TXT",
]

WIN_INI = dict(_PRINTER["win_ini"])   # section: the printer's line
WIN_INI_PRINTER_LINES = [WIN_INI["Devices"], WIN_INI["PrinterPorts"]]
# The printer is the default; once it is gone, the first other printer of
# [Devices] is, or none on a PC with no other printer.
DEFAULT_LINE = WIN_INI["windows"]
NEW_DEFAULT_LINE = "device=HP LaserJet 4,HPPCL5MS,LPT1:"


def win_ini_sections(others=True):
    """win.ini's sections, with or without the other programs' printers."""
    mine = lambda *lines: [line for line in lines if others or line in WIN_INI_PRINTER_LINES]
    return [
        ("windows", ["load=", "run=", DEFAULT_LINE]),
        ("Devices", mine("HP LaserJet 4=HPPCL5MS,LPT1:", WIN_INI_PRINTER_LINES[0],
                         "Oxtrel Lintora 460=OX40PRIN,LPT2:")),
        ("PrinterPorts", mine("HP LaserJet 4=HPPCL5MS,LPT1:,15,45", WIN_INI_PRINTER_LINES[1],
                              "Oxtrel Lintora 460=OX40PRIN,LPT2:,15,45")),
        ("Ports", ["LPT1:=", "LPT2:="]),
    ]

SHELL_FOLDERS = r"Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"


def install(prefix, others=True):
    """Puts the printer and the other programs' things on a prefix; without
    others, the printer is the only one in win.ini."""
    prefix.seed(seed_text() + "= HKCU\\%s|Programs|sz|%s\n" % (SHELL_FOLDERS, prefix.programs_folder()))
    group = os.path.relpath(group_dir(prefix), prefix.c)
    files = [SYSTEM_DIR + "/" + name for name in SYSTEM_FILES] + \
        [DEFERRED_DIR + "/" + name for name in DEFERRED_FILES] + KEEP_FILES + \
        [group + "/" + name for name in SHORTCUTS] + \
        [os.path.join(os.path.dirname(group), "Oxtrel Tools", SHORTCUTS[0])]
    for rel in files:
        path = prefix.path(rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:   # a file that names itself, so every file is different
            f.write(("%s\r\nfile of the demo PC\r\n" % os.path.basename(rel)).encode("ascii") * 4)
    with open(prefix.path("windows/win.ini"), "ab") as f:
        for section, lines in win_ini_sections(others):
            f.write(("[%s]\r\n" % section + "".join(line + "\r\n" for line in lines)).encode("ascii"))


def group_dir(prefix):
    """The printer's Start-menu group in the user's Programs folder."""
    folder = prefix.programs_folder()            # C:\users\...\Programs
    assert folder[:3].lower() == "c:\\"
    return os.path.join(prefix.c, folder[3:].replace("\\", "/"), GROUP)
