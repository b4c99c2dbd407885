"""The Wine that runs one build of the program: the shipped i686 exe in a
32-bit prefix, as on Windows 95, or its x86_64 twin in a 64-bit one."""

import os
import shutil
import struct
import subprocess

WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
# Runs a 32-bit program that needs no library, as scripts/setup does.
PROBE_32BIT = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                           "scripts", "probe-32bit")


class Arch:
    """One kind of Windows prefix: its WINEARCH, the Wine loader that runs its
    programs, and the cross compiler for the helper tools that run inside it."""

    def __init__(self, name, bits, wine, package, mingw):
        self.name, self.bits, self.wine, self.package, self.mingw = name, bits, wine, package, mingw

    def cannot_run(self):
        """Why this machine cannot run the loader, or None when it can: the
        loader is not installed, or the kernel refuses a 32-bit program."""
        if self.bits == 32 and subprocess.run([PROBE_32BIT]).returncode != 0:
            return "this kernel refuses 32-bit programs (even scripts/probe-32bit, which needs no library)"
        if not os.path.exists(self.wine):
            return "%d-bit Wine is not installed (no %s; scripts/setup tried apt-get install %s)" \
                % (self.bits, self.wine, self.package)
        try:
            r = subprocess.run([self.wine, "--version"], capture_output=True, text=True)
        except OSError as e:
            return "%s cannot be started: %s" % (self.wine, e.strerror)
        if r.returncode != 0:
            return "%s --version fails: %s" % (self.wine, (r.stderr.strip() or "exit code %d" % r.returncode))
        return None


# The exe's PE machine type picks the prefix it runs in.
ARCHES = {
    0x014C: Arch("win32", 32, "/usr/lib/wine/wine", "wine32:i386", "i686-w64-mingw32-g++"),
    0x8664: Arch("win64", 64, "/usr/lib/wine/wine64", "wine64", "x86_64-w64-mingw32-g++"),
}
WIN64 = ARCHES[0x8664]


def exe_arch(path):
    """The Arch for an exe, read from the machine field of its PE header."""
    with open(path, "rb") as f:
        head = f.read(4096)
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    if head[:2] != b"MZ" or head[pe:pe + 4] != b"PE\0\0":
        raise ValueError("%s is not a PE file" % path)
    machine = struct.unpack_from("<H", head, pe + 4)[0]
    if machine not in ARCHES:
        raise ValueError("%s is for machine type 0x%04X, which no prefix here runs" % (path, machine))
    return ARCHES[machine]


def wine_env(prefix, display, arch):
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEARCH=arch.name,
               # no Mono or Gecko installer prompts
               WINEDLLOVERRIDES="mscoree,mshtml=")
    if display:
        env["DISPLAY"] = display
    else:
        env.pop("DISPLAY", None)  # nothing is to open a window
    return env


if __name__ == "__main__":
    # e2e/arch.py 32|64: says why this machine cannot run that Wine, exit code 1;
    # silent with exit code 0 when it can.
    import sys
    why = next(a for a in ARCHES.values() if str(a.bits) == sys.argv[1]).cannot_run()
    if why:
        print(why)
    sys.exit(1 if why else 0)
