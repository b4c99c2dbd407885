"""One Wine prefix with its own wineserver kept alive from seeding to checks."""

import hashlib
import os
import shutil
import subprocess
import tempfile
import time

from arch import WINESERVER, wine_env
from display import until


def win_path(unix_path):
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


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
    """One Wine prefix, a copy of the base."""

    def __init__(self, path, tools, display, arch):
        self.dir = os.path.abspath(path)
        self.tools = tools
        self.display = display
        self.wine = arch.wine
        self.env = wine_env(self.dir, display.name if display else None, arch)
        self.c = os.path.join(self.dir, "drive_c")
        self.desktop_log = os.path.join(self.dir, "e2e-desktop.log")

    def copy(self, base):
        """Makes this prefix a copy of the base prefix, and starts its session."""
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(os.path.dirname(self.dir), exist_ok=True)
        subprocess.run(["cp", "-a", base, self.dir], check=True)
        # One wineserver from seeding to the checks: a new one would run wineboot,
        # and wineboot processes WININIT.INI.
        subprocess.run([WINESERVER, "-p"], env=self.env, check=True)

    def stop(self):
        """Ends the session, which writes the registry files out."""
        subprocess.run([WINESERVER, "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=self.env, stderr=subprocess.DEVNULL)

    def hold_desktop(self):
        """Keeps the desktop up for the whole session, as on a PC: the display
        driver's volatile keys are then there before and after a run. Its
        window is a program that runs through the removal: what it was told
        is in told()."""
        with open(self.desktop_log, "a") as log:
            subprocess.Popen([self.wine, os.path.join(self.tools, "wininfo.exe"), "--desktop"], env=self.env,
                             cwd=self.c, stdout=log, stderr=subprocess.DEVNULL)
        until(lambda: self.wininfo("e2e desktop") is not None, 20)
        # The first pointer motion makes Wine note the mouse settings in the
        # registry; let it happen now, before anything is compared.
        self.display.xdotool("mousemove", "1", "1")
        self.display.xdotool("mousemove", "0", "0")
        time.sleep(0.2)

    def told(self):
        """The win.ini changes the desktop's window was told of, each with the
        default printer it then read: "WM_WININICHANGE devices: device=..."."""
        if not os.path.exists(self.desktop_log):
            return []
        with open(self.desktop_log, encoding="latin-1") as f:
            return f.read().splitlines()

    def set_windows_version(self, version):
        """The Windows Wine reports to programs started from now on."""
        self.seed("= HKCU\\Software\\Wine|Version|sz|%s\n" % version)

    def seed(self, text):
        """Writes registry keys and values given in seed.exe's format."""
        path = os.path.join(self.dir, "e2e-seed.txt")
        with open(path, "w") as f:
            f.write(text)
        r = self.tool("seed", win_path(path))
        os.remove(path)
        if r.returncode != 0:
            raise RuntimeError("seeding %s failed: %s" % (self.dir, r.stderr))

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

    # -- running
    def tool(self, name, *args):
        return self.run(os.path.join(self.tools, name + ".exe"), *args)

    def run(self, exe, *args):
        """Runs a console program to its end; its output is read back."""
        # Output through files, not pipes: Wine's service processes started by
        # the first program inherit its handles and would keep a pipe open.
        with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
            r = subprocess.run([self.wine, exe] + list(args), env=self.env, stdout=out, stderr=err, cwd=self.c)
            out.seek(0)
            err.seek(0)
            r.stdout, r.stderr = out.read(), err.read()
        return r

    def hold(self, dll, exe):
        """Makes the driver files dll and exe a real DLL and a real program,
        then has hold.exe load the one and start the other.  Returns the
        function that ends the holding, as Windows ends its programs before
        it restarts, and says whether the files were let go; it may be
        called again."""
        shutil.copyfile(os.path.join(self.tools, "module.dll"), self.path(dll))
        shutil.copyfile(os.path.join(self.tools, "hold.exe"), self.path(exe))
        marker = os.path.join(self.dir, "e2e-holding")
        proc = subprocess.Popen([self.wine, os.path.join(self.tools, "hold.exe"), win_path(marker),
                                 win_path(self.path(dll)), win_path(self.path(exe))], env=self.env, cwd=self.c,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        until(lambda: os.path.exists(marker) or proc.poll() is not None, 20, 0.1)
        if not os.path.exists(marker):
            proc.kill()
            raise RuntimeError("hold.exe could not hold %s and %s" % (dll, exe))

        def release():
            if os.path.exists(marker):
                os.remove(marker)
            try:
                proc.wait(20)
                return True
            except subprocess.TimeoutExpired:
                proc.kill()
                return False
        return release

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
        until(lambda: not self.wineboot_running(), timeout, 0.1)

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
            for name in dirs + files:
                p = os.path.join(root, name)
                rel = os.path.relpath(p, self.c)
                if os.path.islink(p):
                    tree[rel] = "link:" + os.readlink(p)
                else:
                    tree[rel] = "dir" if name in dirs else file_hash(p, rel)
        return tree

    def snapshot(self):
        return {"registry": self.dump_registry(), "files": self.file_tree(),
                "win.ini": open(self.path("windows/win.ini"), "rb").read()}

    def remove(self):
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)
