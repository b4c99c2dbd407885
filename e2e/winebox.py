"""Wine in Windows 95 mode on an X display, driven as a person would drive it.

Arch     the Wine that runs one build of the program: the shipped i686 exe in a
         32-bit prefix, as on Windows 95, or its x86_64 twin in a 64-bit one
Display  an X display (Xvfb, or the user's own) with xdotool and import
Prefix   one Wine prefix with its own wineserver kept alive from seeding to checks
"""

import glob
import hashlib
import os
import shutil
import struct
import subprocess
import tempfile
import time

import demo_pc

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
TOOLS = {"seed": [], "regdump": [], "wininfo": ["-luser32"]}

THEME_MANAGER = r"HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager"

# Windows 95's "Windows Standard" colour scheme, by the names Wine's system
# colours are read from in HKCU\Control Panel\Colors.  All 31 names Wine reads
# are given: the fresh prefix holds the light style's value for each.
WIN95_COLOURS = [
    # The grey 3-D face with its white, grey and black edges.
    ("ButtonFace", "192 192 192"), ("ButtonShadow", "128 128 128"), ("ButtonHilight", "255 255 255"),
    ("ButtonDkShadow", "0 0 0"), ("ButtonLight", "192 192 192"), ("ButtonText", "0 0 0"),
    ("GrayText", "128 128 128"),
    # Windows 95 has no alternate face: the plain face stands in.
    ("ButtonAlternateFace", "192 192 192"),
    # Navy active captions, grey inactive ones; each gradient's far end is its
    # own colour, so no caption is drawn as a gradient.
    ("ActiveTitle", "0 0 128"), ("GradientActiveTitle", "0 0 128"), ("TitleText", "255 255 255"),
    ("InactiveTitle", "128 128 128"), ("GradientInactiveTitle", "128 128 128"),
    ("InactiveTitleText", "192 192 192"),
    ("ActiveBorder", "192 192 192"), ("InactiveBorder", "192 192 192"), ("WindowFrame", "0 0 0"),
    # White windows with black text; navy selection.
    ("Window", "255 255 255"), ("WindowText", "0 0 0"),
    ("Hilight", "0 0 128"), ("HilightText", "255 255 255"), ("HotTrackingColor", "0 0 128"),
    # Grey menus; the flat-menu colours of later Windows follow them.
    ("Menu", "192 192 192"), ("MenuText", "0 0 0"), ("MenuBar", "192 192 192"), ("MenuHilight", "0 0 128"),
    ("Scrollbar", "192 192 192"),
    # The teal desktop and the grey behind MDI children.
    ("Background", "0 128 128"), ("AppWorkSpace", "128 128 128"),
    # Pale yellow tooltips.
    ("InfoText", "0 0 0"), ("InfoWindow", "255 255 225"),
]

# What the base prefix gets on top of Wine's fresh one.
BASE_SETTINGS = "\n".join([
    # Windows 95: version 4.0, RegDeleteKeyA takes subkeys along.
    r"= HKCU\Software\Wine|Version|sz|win95",
    # No window manager on Xvfb: without this Wine waits 2 s at every window change.
    r"= HKCU\Software\Wine\X11 Driver|Managed|sz|N",
    # Keep win.ini's [devices] and [printerports] in the file, as Windows 95 does.
    r"- HKLM\Software\Microsoft\Windows NT\CurrentVersion\IniFileMapping\win.ini|devices",
    r"- HKLM\Software\Microsoft\Windows NT\CurrentVersion\IniFileMapping\win.ini|printerports",
    # Windows 95 has no visual styles: without this Wine draws every control,
    # the progress bar's smooth fill among them, in its own "light" style.
    r"= %s|ThemeActive|sz|0" % THEME_MANAGER,
    # The style switched off as Wine itself leaves it: no style file, colour
    # variant or size named, and not marked as applied.
    r"- %s|DllName" % THEME_MANAGER,
    r"- %s|ColorName" % THEME_MANAGER,
    r"- %s|SizeName" % THEME_MANAGER,
    r"- %s|LoadedBefore" % THEME_MANAGER,
    # The light style's scroll bars are 17 pixels wide; Windows 95's, 16.
    r"= HKCU\Control Panel\Desktop\WindowMetrics|ScrollWidth|sz|16",
    r"= HKCU\Control Panel\Desktop\WindowMetrics|ScrollHeight|sz|16",
    # Gradient captions came with Windows 98 and flat menus with XP (the light
    # style turns those on): clear their bits, 0x10 of the first byte and 0x02
    # of the third, and keep the other preferences of Wine 8's fresh prefix.
    r"= HKCU\Control Panel\Desktop|UserPreferencesMask|hex|20 00 00 80 12 00 00 00",
] + [r"= HKCU\Control Panel\Colors|%s|sz|%s" % c for c in WIN95_COLOURS]) + "\n"


class Arch:
    """One kind of Windows prefix: its WINEARCH, the Wine loader that runs its
    programs, and the cross compiler for the helper tools that run inside it."""

    def __init__(self, name, bits, wine, mingw):
        self.name, self.bits, self.wine, self.mingw = name, bits, wine, mingw

    def runs(self):
        """Whether this machine can run the loader at all (a kernel without
        32-bit support fails it at once)."""
        try:
            return subprocess.run([self.wine, "--version"], capture_output=True).returncode == 0
        except OSError:
            return False


# The exe's PE machine type picks the prefix it runs in.
ARCHES = {
    0x014C: Arch("win32", 32, "/usr/lib/wine/wine", "i686-w64-mingw32-g++"),
    0x8664: Arch("win64", 64, "/usr/lib/wine/wine64", "x86_64-w64-mingw32-g++"),
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


def base_dir(build_dir, arch):
    """Where the base prefix of an architecture is kept."""
    return os.path.join(build_dir, "base-" + arch.name)


def log(*args):
    print(*args, flush=True)


def win_path(unix_path):
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def build_tools(build_dir, arch):
    """Cross-compiles the small helper programs for the prefix's architecture
    when their sources changed."""
    out = os.path.join(build_dir, "tools-" + arch.name)
    os.makedirs(out, exist_ok=True)
    for name, libs in TOOLS.items():
        src = os.path.join(HERE, "tools", name + ".cpp")
        exe = os.path.join(out, name + ".exe")
        if not os.path.exists(exe) or os.path.getmtime(exe) < os.path.getmtime(src):
            subprocess.run([arch.mingw, "-O2", "-Wall", "-static", "-mconsole", "-o", exe, src] + libs, check=True)
    return out


def wine_env(prefix, display, arch):
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEARCH=arch.name,
               # no Mono or Gecko installer prompts
               WINEDLLOVERRIDES="mscoree,mshtml=")
    if display:
        env["DISPLAY"] = display
    return env


class Display:
    """An X display; a private Xvfb unless an existing display is given."""

    def __init__(self, display=None, size="1024x768x24"):
        self.proc = None
        if display:
            self.name = display
            return
        # Another run may be starting its own display at the same moment: a
        # server that finds its number taken exits, and the next one is tried.
        n = 91
        for _ in range(20):
            while os.path.exists("/tmp/.X11-unix/X%d" % n) or os.path.exists("/tmp/.X%d-lock" % n):
                n += 1
            proc = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", size, "-nolisten", "tcp"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(100):
                if proc.poll() is not None or os.path.exists("/tmp/.X11-unix/X%d" % n):
                    break
                time.sleep(0.05)
            time.sleep(0.2)
            if proc.poll() is None:
                self.proc, self.name = proc, ":%d" % n
                return
            n += 1
        raise RuntimeError("no X display could be started")

    def close(self):
        if self.proc:
            self.proc.terminate()
            self.proc.wait()

    def xdotool(self, *args):
        env = dict(os.environ, DISPLAY=self.name)
        return subprocess.run(["xdotool"] + list(args), env=env, capture_output=True, text=True)

    def find(self, caption):
        r = self.xdotool("search", "--name", "^%s$" % caption)
        ids = r.stdout.split()
        return ids[0] if ids else None

    def wait_window(self, caption, timeout=15.0, interval=0.05):
        end = time.time() + timeout
        while time.time() < end:
            w = self.find(caption)
            if w:
                return w
            time.sleep(interval)
        return None

    def wait_gone(self, caption, timeout=10.0):
        end = time.time() + timeout
        while time.time() < end:
            if not self.find(caption):
                return True
            time.sleep(0.05)
        return False

    def key(self, name):
        self.xdotool("key", name)

    def key_until(self, name, done, tries=3, wait=3.0):
        """Presses a key, and again if done() has not come true a while later.
        Under load a key can reach Wine before the window has taken the
        keyboard, and is then lost."""
        for _ in range(tries):
            self.key(name)
            end = time.time() + wait
            while time.time() < end:
                if done():
                    return True
                time.sleep(0.05)
        return False

    def key_until_gone(self, caption, name):
        """Presses a key that closes the window captioned so."""
        return self.key_until(name, lambda: not self.find(caption))

    def key_until_shown(self, caption, name):
        """Presses a key that brings up the window captioned so."""
        return self.key_until(name, lambda: self.find(caption) is not None)

    def click(self, x, y):
        self.xdotool("mousemove", str(x), str(y))
        time.sleep(0.05)
        self.xdotool("click", "1")

    def screenshot(self, path, rect=None):
        """The whole screen, or the part rect ("x y w h") covers."""
        env = dict(os.environ, DISPLAY=self.name)
        crop = ["-crop", "%sx%s+%s+%s" % tuple(rect.split()[2:] + rect.split()[:2]), "+repage"] if rect else []
        subprocess.run(["import", "-window", "root"] + crop + [path], env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


# Wine's own fonts (Marlett for the caption buttons, MS Sans Serif, Tahoma, the
# bitmap system fonts) as Debian's fonts-wine installs them.  Debian's Wine 8
# looks for them in <data dir>/../fonts, that is /usr/share/fonts, where they are
# not, so a fresh prefix has none: every caption's close box shows Marlett's "r"
# in another font, and dialogs get a stand-in for MS Sans Serif.  Wine also
# loads every font in the prefix's C:\windows\Fonts, so they go there.
WINE_FONTS = "/usr/share/wine/fonts"


def install_fonts(prefix):
    fonts = os.path.join(prefix, "drive_c", "windows", "Fonts")
    os.makedirs(fonts, exist_ok=True)
    for name in os.listdir(WINE_FONTS):
        shutil.copyfile(os.path.join(WINE_FONTS, name), os.path.join(fonts, name))


def ensure_base(base, tools, display, arch):
    """A fresh Wine prefix in Windows 95 mode, made once and kept."""
    stamp = os.path.join(base, ".e2e-base")
    want = "\n".join([subprocess.run([arch.wine, "--version"], capture_output=True, text=True).stdout.strip(),
                      BASE_SETTINGS, "fonts: " + " ".join(sorted(os.listdir(WINE_FONTS)))])
    if os.path.exists(stamp) and open(stamp).read() == want:
        return False
    shutil.rmtree(base, ignore_errors=True)
    os.makedirs(os.path.dirname(base), exist_ok=True)
    env = wine_env(base, display, arch)
    log("e2e: creating the %d-bit base Wine prefix in %s (once)" % (arch.bits, base))
    subprocess.run([arch.wine, "wineboot", "--init"], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    install_fonts(base)
    settings = os.path.join(base, "e2e-base.txt")
    with open(settings, "w") as f:
        f.write(BASE_SETTINGS)
    subprocess.run([arch.wine, os.path.join(tools, "seed.exe"), win_path(settings)], env=env, check=True,
                   stdout=subprocess.DEVNULL)
    os.remove(settings)
    subprocess.run([WINESERVER, "-k"], env=env)  # writes the registry files out
    subprocess.run([WINESERVER, "-w"], env=env)
    with open(stamp, "w") as f:
        f.write(want)
    return True


_hashes = {}  # (path on drive C:, size, modification time) -> sha1 of the bytes


def file_hash(path, rel):
    """The sha1 of a file's bytes, worked out once for each size and
    modification time: a prefix holds hundreds of megabytes of DLLs, copied
    from the base with their times, and nothing the program calls can write a
    file without changing its time."""
    st = os.stat(path)
    key = (rel, st.st_size, st.st_mtime_ns)
    if key not in _hashes:
        with open(path, "rb") as f:
            _hashes[key] = hashlib.sha1(f.read()).hexdigest()
    return _hashes[key]


class Prefix:
    """One Wine prefix, a copy of the base, with the printer installed."""

    def __init__(self, path, tools, display, arch):
        self.dir = os.path.abspath(path)
        self.tools = tools
        self.display = display
        self.wine = arch.wine
        self.env = wine_env(self.dir, display.name, arch)
        self.c = os.path.join(self.dir, "drive_c")
        self.server_up = False

    # -- building
    def build(self, base, printer=True, exe=None):
        """Copies the base prefix and installs the printer; returns seconds taken."""
        t0 = time.time()
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(os.path.dirname(self.dir), exist_ok=True)
        subprocess.run(["cp", "-a", base, self.dir], check=True)
        self.start()
        if printer:
            self.install_printer()
        # The desktop comes up: the display driver registers its (volatile)
        # keys now rather than during the program's run.
        self.hold_desktop()
        if exe:
            os.makedirs(os.path.join(self.c, "OXTREL"), exist_ok=True)
            shutil.copyfile(exe, os.path.join(self.c, "OXTREL", "UNINSTALL.EXE"))
        return time.time() - t0

    def start(self):
        # One wineserver from seeding to the checks: a new one would run wineboot,
        # and wineboot processes WININIT.INI.
        subprocess.run([WINESERVER, "-p"], env=self.env, check=True)
        self.server_up = True

    def stop(self):
        if self.server_up:
            subprocess.run([WINESERVER, "-k"], env=self.env, stderr=subprocess.DEVNULL)
            subprocess.run([WINESERVER, "-w"], env=self.env, stderr=subprocess.DEVNULL)
            self.server_up = False

    def hold_desktop(self):
        """Keeps the desktop up for the whole session, as on a PC: the display
        driver's volatile keys are then there before and after a run."""
        subprocess.Popen([self.wine, os.path.join(self.tools, "wininfo.exe"), "--desktop"], env=self.env,
                         cwd=self.c, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        end = time.time() + 20
        while time.time() < end and self.wininfo("e2e desktop") is None:
            time.sleep(0.05)
        # The first pointer motion makes Wine note the mouse settings in the
        # registry; let it happen now, before anything is compared.
        self.display.xdotool("mousemove", "1", "1")
        self.display.xdotool("mousemove", "0", "0")
        time.sleep(0.2)

    def install_printer(self):
        seed = os.path.join(self.dir, "e2e-seed.txt")
        with open(seed, "w") as f:
            f.write(demo_pc.seed_text())
            f.write("= HKCU\\%s|Programs|sz|%s\n" % (demo_pc.SHELL_FOLDERS, self.programs_folder()))
        r = self.tool("seed", win_path(seed))
        os.remove(seed)
        if r.returncode != 0:
            raise RuntimeError("seeding failed: " + r.stderr)
        c = self.c
        for name in demo_pc.SYSTEM_FILES:
            self.put(demo_pc.SYSTEM_DIR + "/" + name)
        for name in demo_pc.DEFERRED_FILES:
            self.put(demo_pc.DEFERRED_DIR + "/" + name)
        for rel in demo_pc.KEEP_FILES:
            self.put(rel)
        group = self.group_dir()
        for name in demo_pc.SHORTCUTS:
            self.put(os.path.relpath(os.path.join(group, name), c))
        other = os.path.join(os.path.dirname(group), "Oxtrel Tools")
        self.put(os.path.relpath(os.path.join(other, demo_pc.SHORTCUTS[0]), c))
        with open(self.path("windows/win.ini"), "ab") as f:
            f.write(demo_pc.win_ini_addition())

    def set_windows_version(self, version):
        """The Windows Wine reports to programs started from now on."""
        seed = os.path.join(self.dir, "e2e-version.txt")
        with open(seed, "w") as f:
            f.write("= HKCU\\Software\\Wine|Version|sz|%s\n" % version)
        r = self.tool("seed", win_path(seed))
        os.remove(seed)
        if r.returncode != 0:
            raise RuntimeError("setting the Windows version failed: " + r.stderr)

    def put(self, rel):
        p = self.path(rel)
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "wb") as f:
            f.write(demo_pc.file_bytes(os.path.basename(rel)))

    def path(self, rel):
        return os.path.join(self.c, rel)

    def find_ci(self, rel):
        """The file's real path, its name matched case-insensitively as Windows does."""
        d, name = os.path.split(self.path(rel))
        if os.path.isdir(d):
            for entry in os.listdir(d):
                if entry.lower() == name.lower():
                    return os.path.join(d, entry)
        return None

    def programs_folder(self):
        """The user's Programs folder as Wine set it up in the base prefix."""
        section = None
        with open(os.path.join(self.dir, "user.reg"), encoding="latin-1") as f:
            for line in f:
                if line.startswith("["):
                    section = line.split("]")[0]
                elif section == r"[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders" \
                        and line.startswith('"Programs"='):
                    return line.split("=", 1)[1].strip().strip('"').replace("\\\\", "\\")
        raise RuntimeError("no Programs folder in the base prefix")

    def group_dir(self):
        folder = self.programs_folder()            # C:\users\...\Programs
        assert folder[:3].lower() == "c:\\"
        return os.path.join(self.c, folder[3:].replace("\\", "/"), demo_pc.PRINTER)

    # -- running
    def tool(self, name, *args):
        # Output through files, not pipes: Wine's service processes started by
        # the first program inherit its handles and would keep a pipe open.
        with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
            r = subprocess.run([self.wine, os.path.join(self.tools, name + ".exe")] + list(args),
                               env=self.env, stdout=out, stderr=err, cwd=self.c)
            out.seek(0)
            err.seek(0)
            r.stdout, r.stderr = out.read(), err.read()
        return r

    def wininfo(self, *args):
        r = self.tool("wininfo", *args)
        return r.stdout.strip() if r.returncode == 0 else None

    def launch(self, exe=r"C:\OXTREL\UNINSTALL.EXE", trace=None):
        env = dict(self.env)
        stderr = subprocess.DEVNULL
        if trace:
            env["WINEDEBUG"] = trace[0]
            stderr = open(trace[1], "w")
        return subprocess.Popen([self.wine, exe], env=env, cwd=self.c,
                                stdout=subprocess.DEVNULL, stderr=stderr)

    def wineboot_running(self):
        """Whether Wine's start-up program runs in this prefix (after a restart request)."""
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                cmd = open("/proc/%s/cmdline" % pid, "rb").read()
                env = open("/proc/%s/environ" % pid, "rb").read().split(b"\0")
            except OSError:
                continue
            if b"wineboot" in cmd.lower() and ("WINEPREFIX=" + self.dir).encode() in env:
                return True
        return False

    def wait_wineboot(self, timeout=30):
        time.sleep(0.3)
        end = time.time() + timeout
        while time.time() < end and self.wineboot_running():
            time.sleep(0.1)

    # -- looking at the machine
    def dump_registry(self):
        out = os.path.join(self.dir, "e2e-regdump.txt")
        self.tool("regdump", win_path(out))
        with open(out, encoding="latin-1") as f:
            lines = f.read().splitlines()
        os.remove(out)
        return lines

    def file_tree(self):
        """Every folder and file on drive C: with a hash of its bytes."""
        tree = {}
        for root, dirs, files in os.walk(self.c):
            rel_root = os.path.relpath(root, self.c)
            for d in dirs:
                p = os.path.join(root, d)
                tree[os.path.normpath(os.path.join(rel_root, d))] = "link" if os.path.islink(p) else "dir"
            for name in files:
                p = os.path.join(root, name)
                rel = os.path.normpath(os.path.join(rel_root, name))
                if os.path.islink(p):
                    tree[rel] = "link:" + os.readlink(p)
                else:
                    tree[rel] = file_hash(p, rel)
        return tree

    def snapshot(self):
        return {"registry": self.dump_registry(), "files": self.file_tree(),
                "win.ini": open(self.path("windows/win.ini"), "rb").read()}

    def remove(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)
