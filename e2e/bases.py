"""The base prefix of each architecture, a fresh Wine prefix in Windows 95
mode made once and copied for every run, and the helper tools that run in it."""

import fcntl
import os
import subprocess
import shutil

from prefix import Prefix
import win95

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
TOOLS = {"seed": [], "regdump": [], "wininfo": ["-luser32"], "hold": [], "module": ["-shared"]}

_held = []  # the locks this process holds until it ends


def prepare(build_dir, arch, display=None):
    """The helper tools and the base prefix of arch: (tools, base, whether the
    base was made now).  A run holds a shared lock on them while it lives, and
    they are made under an exclusive one: runs side by side make them once, and
    none is remade while another run copies or runs it."""
    tools = os.path.join(build_dir, "tools-" + arch.name)
    base = os.path.join(build_dir, "base-" + arch.name)
    os.makedirs(tools, exist_ok=True)
    lock = open(os.path.join(build_dir, arch.name + ".lock"), "w")
    _held.append(lock)
    fcntl.flock(lock, fcntl.LOCK_SH)
    stamp = base_stamp(arch)
    if not stale_tools(tools) and base_is(base, stamp):
        return tools, base, False
    fcntl.flock(lock, fcntl.LOCK_EX)  # waits for the other runs to end
    for name in stale_tools(tools):
        subprocess.run([arch.mingw, "-O2", "-Wall", "-static", "-mconsole", "-o", built(tools, name),
                        source(name)] + TOOLS[name], check=True)
    made = not base_is(base, stamp)
    if made:
        make_base(base, stamp, tools, display, arch)
    fcntl.flock(lock, fcntl.LOCK_SH)
    return tools, base, made


def stale_tools(tools):
    """The helper programs not compiled since their sources last changed."""
    def stale(name):
        exe = built(tools, name)
        return not os.path.exists(exe) or os.path.getmtime(exe) < os.path.getmtime(source(name))
    return [name for name in TOOLS if stale(name)]


def built(tools, name):
    """The program, or the DLL, a helper's source is compiled to."""
    return os.path.join(tools, name + (".dll" if "-shared" in TOOLS[name] else ".exe"))


def source(tool):
    return os.path.join(HERE, "tools", tool + ".cpp")


def base_stamp(arch):
    """What a base prefix is made from: Wine's version, the settings, the fonts."""
    return "\n".join([subprocess.run([arch.wine, "--version"], capture_output=True, text=True).stdout.strip(),
                      win95.BASE_SETTINGS, "fonts: " + " ".join(sorted(os.listdir(win95.WINE_FONTS)))])


def base_is(base, stamp):
    path = os.path.join(base, ".e2e-base")
    return os.path.exists(path) and open(path).read() == stamp


def make_base(base, stamp, tools, display, arch):
    """A fresh Wine prefix in Windows 95 mode."""
    shutil.rmtree(base, ignore_errors=True)
    print("e2e: creating the %d-bit base Wine prefix in %s (once)" % (arch.bits, base), flush=True)
    p = Prefix(base, tools, display, arch)
    subprocess.run([arch.wine, "wineboot", "--init"], env=p.env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    win95.install_fonts(base)
    p.seed(win95.BASE_SETTINGS)
    p.stop()
    with open(os.path.join(base, ".e2e-base"), "w") as f:
        f.write(stamp)
