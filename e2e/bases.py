"""The base prefix of each architecture, a fresh Wine prefix in Windows 95
mode made once and copied for every run, and the helper tools that run in it."""

import os
import subprocess
import shutil

from prefix import Prefix
import win95

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
TOOLS = {"seed": [], "regdump": [], "wininfo": ["-luser32"]}


def base_dir(build_dir, arch):
    """Where the base prefix of an architecture is kept."""
    return os.path.join(build_dir, "base-" + arch.name)


def log(*args):
    print(*args, flush=True)


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


def ensure_base(base, tools, display, arch):
    """A fresh Wine prefix in Windows 95 mode, made once and kept."""
    stamp = os.path.join(base, ".e2e-base")
    want = "\n".join([subprocess.run([arch.wine, "--version"], capture_output=True, text=True).stdout.strip(),
                      win95.BASE_SETTINGS, "fonts: " + " ".join(sorted(os.listdir(win95.WINE_FONTS)))])
    if os.path.exists(stamp) and open(stamp).read() == want:
        return False
    shutil.rmtree(base, ignore_errors=True)
    os.makedirs(os.path.dirname(base), exist_ok=True)
    log("e2e: creating the %d-bit base Wine prefix in %s (once)" % (arch.bits, base))
    p = Prefix(base, tools, display, arch)
    subprocess.run([arch.wine, "wineboot", "--init"], env=p.env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    win95.install_fonts(base)
    p.seed(win95.BASE_SETTINGS)
    p.stop()
    with open(stamp, "w") as f:
        f.write(want)
    return True
