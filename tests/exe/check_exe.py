#!/usr/bin/python3
"""Checks the built uninstall.exe files as Windows 95 would load them.

    /usr/bin/python3 tests/exe/check_exe.py build/win32/uninstall.exe build/win64/uninstall.exe
    /usr/bin/python3 tests/exe/check_exe.py --res build/linux/uninstall.res

For each exe: the resource directory holds exactly the two dialog templates,
the icon group and its one image, all Swiss French, and each is byte for byte
what the dialogs and the icon must be; the exe is a GUI program for
subsystem 4.0 with a zero time stamp; it imports only Windows 95 functions
from KERNEL32, USER32, ADVAPI32 and COMCTL32.  Prints each exe's size and
imports; the shipped i686 exe must fit in 16 KiB, and every instruction in
its code must be one of the 80386's (cpu386.py), with its functions, the
start-up and the removal among them, named from the link map.  Ends with "N
passed, M failed"; exits 1 on any failure.  With --res, only the resources,
in the .res file windres compiles for the unit run (ctest): the simulated
machine creates its dialogs from those bytes.

The expected templates are built here from the dialogs' own values (styles,
units, texts), not taken from a compiler's output.
"""

import os
import re
import struct
import sys

import cpu386
from cpu386 import pefile  # Debian's, as cpu386 finds it

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
ICO_FILE = os.path.join(ROOT, 'resources', 'uninstall.ico')

# --- Window and control styles -----------------------------------------------

WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_CAPTION, WS_BORDER, WS_SYSMENU = 0x00C00000, 0x00800000, 0x00080000
WS_GROUP, WS_TABSTOP = 0x00020000, 0x00010000
DS_MODALFRAME, DS_SETFONT, DS_CENTER = 0x80, 0x40, 0x800
BS_PUSHBUTTON, BS_DEFPUSHBUTTON, SS_LEFT = 0, 1, 0
WS_EX_RTLREADING = 0x2000

BUTTON_ATOM, STATIC_ATOM = 0x0080, 0x0082
IDOK, IDCANCEL = 1, 2
IDC_WELCOME_TEXT, IDC_UNINSTALL_TEXT, IDC_PROGRESS = 1000, 1007, 1008

RT_ICON, RT_DIALOG, RT_GROUP_ICON = 3, 5, 14
SWISS_FRENCH = 0x100C  # LANG_FRENCH, SUBLANG_FRENCH_SWISS

MAX_I686_SIZE = 16 * 1024

# Functions the link map and the objects must name in the i686 exe: the
# start-up, and the removal.
KNOWN_FUNCTIONS = ('WinMainCRTStartup', 'RemoveDriver')

# --- The dialogs, as the user sees them ----------------------------------------

WELCOME_STYLE = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT
UNINSTALL_STYLE = WELCOME_STYLE | WS_VISIBLE
TEXT_STYLE = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT
PROGRESS_STYLE = WS_CHILD | WS_VISIBLE | WS_BORDER

# The flag sums above must be the template values themselves.
assert WELCOME_STYLE == 0x80C808C0 and UNINSTALL_STYLE == 0x90C808C0
assert TEXT_STYLE == 0x50020000 and PROGRESS_STYLE == 0x50800000
assert WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON == 0x50010001

WELCOME_TEXT = ("Click the 'OK' button to continue uninstalling the Oxtrel "
                "Lintora 460D driver.\nClick the 'Cancel' button to quit "
                "uninstall procedure.")

WELCOME = dict(
    style=WELCOME_STYLE, rect=(0, 0, 273, 95),
    caption="Welcome to the Lintora Uninstall program",
    points=8, face="MS Sans Serif",
    controls=[
        # class, id, text, style, (x, y, width, height)
        (BUTTON_ATOM, IDOK, "OK",
         WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, (42, 68, 50, 14)),
        (BUTTON_ATOM, IDCANCEL, "Cancel",
         WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, (165, 68, 53, 14)),
        (STATIC_ATOM, IDC_WELCOME_TEXT, WELCOME_TEXT,
         TEXT_STYLE, (23, 17, 226, 37)),
    ])

UNINSTALL = dict(
    style=UNINSTALL_STYLE, rect=(0, 0, 186, 68),
    caption="Uninstalling the Oxtrel Lintora 460D driver",
    points=10, weight=0, italic=0, charset=1, face="MS Sans Serif",
    controls=[
        # class, id, text, style, extended style, (x, y, width, height)
        (STATIC_ATOM, IDC_UNINSTALL_TEXT,
         "Uninstalling the Oxtrel Lintora 460D driver.",
         TEXT_STYLE, 0, (27, 13, 125, 20)),
        ("msctls_progress32", IDC_PROGRESS, "Progress1",
         PROGRESS_STYLE, WS_EX_RTLREADING, (26, 40, 126, 9)),
    ])

# --- Template encoding ---------------------------------------------------------


def sz(text):
    """A zero-terminated UTF-16 string."""
    return (text + '\0').encode('utf-16-le')


def sz_or_ord(value):
    """A class or menu field: an atom after 0xFFFF, or a name."""
    if isinstance(value, int):
        return struct.pack('<HH', 0xFFFF, value)
    return sz(value)


def align4(data):
    return data + b'\0' * (-len(data) % 4)


def dlgtemplate(d):
    """DLGTEMPLATE header, font, then DLGITEMTEMPLATE items."""
    out = struct.pack('<IIH4h', d['style'], 0, len(d['controls']), *d['rect'])
    out += struct.pack('<HH', 0, 0)  # no menu, predefined dialog class
    out += sz(d['caption']) + struct.pack('<H', d['points']) + sz(d['face'])
    for cls, ident, text, style, rect in d['controls']:
        out = align4(out)
        out += struct.pack('<II4hH', style, 0, *rect, ident)
        out += sz_or_ord(cls) + sz(text) + struct.pack('<H', 0)  # no data
    return out


def dlgtemplateex(d):
    """DLGTEMPLATEEX header, font, then DLGITEMTEMPLATEEX items."""
    out = struct.pack('<HHIIIH4h', 1, 0xFFFF, 0, 0, d['style'],
                      len(d['controls']), *d['rect'])
    out += struct.pack('<HH', 0, 0)
    out += sz(d['caption'])
    out += struct.pack('<HHBB', d['points'], d['weight'], d['italic'], d['charset'])
    out += sz(d['face'])
    for cls, ident, text, style, exstyle, rect in d['controls']:
        out = align4(out)
        out += struct.pack('<III4hI', 0, exstyle, style, *rect, ident)
        out += sz_or_ord(cls) + sz(text) + struct.pack('<H', 0)
    return out


# --- The icon --------------------------------------------------------------------

ICON_BYTES = 744
ICON_GROUP = (struct.pack('<HHH', 0, 1, 1) +
              struct.pack('<BBBBHHIH', 32, 32, 16, 0, 1, 4, ICON_BYTES, 1))
ICON_HEADER = struct.pack('<IiiHHIIiiII', 40, 32, 64, 1, 4, 0, 512, 0, 0, 0, 0)
STANDARD_16 = [  # (red, green, blue)
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
ICON_PALETTE = b''.join(bytes((b, g, r, 0)) for r, g, b in STANDARD_16)

# --- Imports ---------------------------------------------------------------------

# Everything the program may call, all present in Windows 95 as shipped.
ALLOWED_IMPORTS = {
    'KERNEL32.DLL': {
        # the start-up: WinMain's arguments, and the exit code
        'GetModuleHandleA', 'GetCommandLineA', 'GetStartupInfoA', 'ExitProcess',
        'HeapCreate', 'HeapDestroy', 'GetLastError', 'GetVersion',
        'lstrcpyA', 'lstrcpynA', 'lstrcatA', 'lstrcmpA', 'lstrcmpiA', 'lstrlenA', 'GetProcAddress',
        'DeleteFileA', 'RemoveDirectoryA', 'MoveFileA', 'GetFileAttributesA', 'GetShortPathNameA',
        'GetSystemDirectoryA', 'GetWindowsDirectoryA', 'GetTempFileNameA',
        'GetProfileStringA', 'WriteProfileStringA', 'WritePrivateProfileStringA', 'CreateFileA', 'ReadFile', 'WriteFile',
        'SetFilePointer', 'GetFileSize', 'SetFileAttributesA', 'CloseHandle', 'GetCurrentProcess',
    },
    'USER32.DLL': {
        'DialogBoxParamA', 'EndDialog', 'GetDlgItem', 'MessageBoxA',
        'SetTimer', 'KillTimer', 'SendMessageA', 'SendMessageTimeoutA', 'PostMessageA',
        'ExitWindowsEx', 'wsprintfA',
    },
    'ADVAPI32.DLL': {
        'RegOpenKeyExA', 'RegQueryValueExA', 'RegCloseKey', 'RegDeleteKeyA',
        'RegFlushKey', 'RegEnumKeyA', 'RegSetValueExA', 'RegDeleteValueA',
    },
    'COMCTL32.DLL': {'InitCommonControls'},
}

# --- Running the checks ------------------------------------------------------------


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.exe = ''  # names the exe in every check's name

    def check(self, name, ok, detail=''):
        name = f'{self.exe} {name}'
        if ok:
            self.passed += 1
            print(f'  PASS {name}')
        else:
            self.failed += 1
            print(f'  FAIL {name}' + (f': {detail}' if detail else ''))
        return ok

    def same_bytes(self, name, actual, expected):
        if actual is None:
            return self.check(name, False, 'missing')
        if actual == expected:
            return self.check(name, True)
        n = min(len(actual), len(expected))
        at = next((i for i in range(n) if actual[i] != expected[i]), n)
        return self.check(
            name, False,
            f'{len(actual)} bytes, expected {len(expected)}; first difference at '
            f'offset {at}: got {actual[at:at + 8].hex(" ")}, '
            f'expected {expected[at:at + 8].hex(" ")}')


def entry_key(pe, entry):
    """An entry's integer id, or its name read as stored (UTF-16, counted)."""
    raw = entry.struct.Name
    if not raw & 0x80000000:
        return raw
    rva = pe.OPTIONAL_HEADER.DATA_DIRECTORY[2].VirtualAddress + (raw & 0x7FFFFFFF)
    length = struct.unpack('<H', pe.get_data(rva, 2))[0]
    return pe.get_data(rva + 2, 2 * length).decode('utf-16-le')


def read_resources(pe):
    """{(type, name): {language: bytes}} for every resource in the exe."""
    found = {}
    root = getattr(pe, 'DIRECTORY_ENTRY_RESOURCE', None)
    if root is None:
        return found
    for rtype in root.entries:
        for name in rtype.directory.entries:
            langs = found.setdefault((entry_key(pe, rtype), entry_key(pe, name)), {})
            for lang in name.directory.entries:
                d = lang.data.struct
                langs[entry_key(pe, lang)] = pe.get_data(d.OffsetToData, d.Size)
    return found


def read_id(data, at):
    """A type or name field of a .res record: an ordinal after 0xFFFF, or a
    zero-terminated UTF-16 name; and the offset after it."""
    if data[at:at + 2] == b'\xff\xff':
        return struct.unpack_from('<H', data, at + 2)[0], at + 4
    end = at
    while data[end:end + 2] not in (b'\0\0', b''):
        end += 2
    return data[at:end].decode('utf-16-le'), end + 2


def read_res(data):
    """{(type, name): {language: bytes}} for every resource in a 32-bit .res
    file: one record a resource, a header (data size, header size, type,
    name, then language at offset 6 of the aligned tail) and its data, each
    record on a DWORD boundary; the first record, empty, marks the format."""
    found, pos = {}, 0
    while pos < len(data):
        size, header = struct.unpack_from('<II', data, pos)
        rtype, at = read_id(data, pos + 8)
        name, at = read_id(data, at)
        lang = struct.unpack_from('<H', data, at + -at % 4 + 6)[0]
        end = pos + header + size
        if end > len(data):
            raise ValueError(f'the record at offset {pos} runs past the end')
        if (rtype, name) != (0, 0):
            found.setdefault((rtype, name), {})[lang] = data[pos + header:end]
        pos = end + -end % 4
    return found


def check_res_file(c, path):
    print(f'res: {path}')
    c.exe = 'res'
    try:
        with open(path, 'rb') as f:
            res = read_res(f.read())
    except (OSError, ValueError, struct.error) as e:
        c.check('is a .res file', False, str(e))
        return
    check_resources(c, res)


def check_resources(c, res):
    """The resources, {(type, name): {language: bytes}}, from an exe or a .res."""
    welcome = (RT_DIALOG, 'WELCOME')
    uninstall = (RT_DIALOG, 'UNINSTALL')
    group = (RT_GROUP_ICON, 'IDI_UNINICON')
    image = (RT_ICON, 1)
    wanted = [welcome, uninstall, group, image]

    data = {}
    for key in wanted:
        langs = res.get(key, {})
        c.check(f'resource {key[0]}/{key[1]} present', langs)
        c.check(f'resource {key[0]}/{key[1]} only in language 0x{SWISS_FRENCH:04X}',
                list(langs) == [SWISS_FRENCH],
                ', '.join(f'0x{lang:04X}' for lang in langs))
        data[key] = langs.get(SWISS_FRENCH, next(iter(langs.values()), None))
    extra = [key for key in res if key not in wanted]
    c.check('no other resource', not extra,
            ', '.join(f'{t}/{n}' for t, n in extra))

    c.same_bytes('WELCOME template bytes', data[welcome], dlgtemplate(WELCOME))
    c.same_bytes('UNINSTALL template bytes', data[uninstall],
                 dlgtemplateex(UNINSTALL))
    c.same_bytes('IDI_UNINICON group bytes', data[group], ICON_GROUP)
    check_icon_image(c, data[image])


def check_icon_image(c, img):
    if not c.check('icon image is 744 bytes', img is not None and len(img) == ICON_BYTES,
                   'missing' if img is None else f'{len(img)} bytes'):
        return
    c.same_bytes('icon image header', img[:40], ICON_HEADER)
    c.same_bytes('icon image palette', img[40:104], ICON_PALETTE)
    colours, mask = img[104:616], img[616:744]
    clear = 0
    coloured_clear = []
    for row in range(32):
        bits = struct.unpack_from('>I', mask, row * 4)[0]
        for x in range(32):
            index = colours[row * 16 + x // 2] >> (4 if x % 2 == 0 else 0) & 0xF
            if bits >> (31 - x) & 1:
                clear += 1
                if index != 0:
                    coloured_clear.append((31 - row, x))
    c.check('icon transparent pixels have colour index 0', not coloured_clear,
            f'{len(coloured_clear)} pixels, first at (row, column) {coloured_clear[:1]}')
    c.check('icon is partly transparent and partly drawn', 0 < clear < 32 * 32,
            f'{clear} transparent, {32 * 32 - clear} drawn')
    try:
        with open(ICO_FILE, 'rb') as f:
            ico = f.read()
    except OSError as e:
        c.check('icon image is the committed uninstall.ico', False, str(e))
        return
    c.same_bytes('icon image is the committed uninstall.ico', img, ico[22:])


def read_imports(pe):
    """[(dll, [function, ...])] in the exe's import order."""
    return [(dll.dll.decode(), [imp.name.decode() if imp.name else f'#{imp.ordinal}' for imp in dll.imports])
            for dll in getattr(pe, 'DIRECTORY_ENTRY_IMPORT', [])]


def check_imports(c, imports):
    dlls = [dll for dll, _ in imports]
    strange = [d for d in dlls if d.upper() not in ALLOWED_IMPORTS]
    c.check('imports only KERNEL32, USER32, ADVAPI32, COMCTL32', not strange,
            ', '.join(strange))
    outside = [f'{dll}!{fn}' for dll, fns in imports for fn in fns
               if fn not in ALLOWED_IMPORTS.get(dll.upper(), ())]
    c.check('imports only allowed Windows 95 functions', not outside,
            ', '.join(outside))
    c.check('imports COMCTL32!InitCommonControls (registers the progress bar)',
            any(dll.upper() == 'COMCTL32.DLL' and 'InitCommonControls' in fns for dll, fns in imports))


def check_exe(c, path, machine, label, max_size=None):
    print(f'{label}: {path}')
    c.exe = label
    if not c.check('exe exists', os.path.isfile(path)):
        return
    size = os.path.getsize(path)
    print(f'  size: {size} bytes')
    if max_size is not None:
        c.check(f'size at most {max_size} bytes', size <= max_size,
                f'{size} bytes')
    try:
        pe = pefile.PE(path)
    except pefile.PEFormatError as e:
        c.check('is a PE file', False, str(e))
        return
    oh = pe.OPTIONAL_HEADER
    c.check('machine', pe.FILE_HEADER.Machine == machine,
            f'0x{pe.FILE_HEADER.Machine:04X}, expected 0x{machine:04X}')
    c.check('GUI subsystem', oh.Subsystem == 2, f'{oh.Subsystem}')
    for name, field in (('subsystem', 'Subsystem'), ('OS', 'OperatingSystem')):
        version = getattr(oh, f'Major{field}Version'), getattr(oh, f'Minor{field}Version')
        c.check(f'{name} version 4.0', version == (4, 0), '%d.%d' % version)
    # A link time in the header (and the checksum over it) would make two
    # builds of the same sources differ.
    c.check('time stamp 0', pe.FILE_HEADER.TimeDateStamp == 0,
            f'0x{pe.FILE_HEADER.TimeDateStamp:08X}')
    imports = read_imports(pe)
    for dll, fns in imports:
        print(f'  imports {dll}: {" ".join(fns)}')
    check_imports(c, imports)
    if machine == cpu386.I386_MACHINE:
        check_code(c, path)
    check_resources(c, read_resources(pe))


def check_code(c, path):
    _, report = cpu386.scan(path)
    print(f'  code: {report.count} instructions')
    c.check('code runs on an 80386', report.count and not report.findings,
            '; '.join(cpu386.describe(f) for f in report.findings[:5]) +
            (f'; {len(report.findings)} in all' if len(report.findings) > 5 else ''))
    # Named as written, without parameters or a stdcall suffix.
    named = {re.split(r'[(@]', name)[0] for _, name in report.functions}
    unnamed = [name for name in KNOWN_FUNCTIONS if name not in named]
    c.check('functions named from the link map', not report.unnamed() and not unnamed,
            report.unnamed() or f'not named: {", ".join(unnamed)}')


def main(argv):
    if len(argv) not in (1, 3):
        print(__doc__.split('\n\n')[1])
        return 2
    c = Checks()
    if argv[1:2] == ['--res']:
        check_res_file(c, argv[2])
    else:
        i686, x86_64 = argv[1:] if len(argv) == 3 else (
            os.path.join(ROOT, 'build/win32/uninstall.exe'),
            os.path.join(ROOT, 'build/win64/uninstall.exe'))
        check_exe(c, i686, 0x014C, 'i686', MAX_I686_SIZE)
        check_exe(c, x86_64, 0x8664, 'x86_64')
    print(f'{c.passed} passed, {c.failed} failed')
    return 1 if c.failed else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
