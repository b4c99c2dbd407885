"""uninstall.exe on Wine as a person meets it, for the end-to-end suite and the
demo alike: its windows by caption, a run made ready on a fresh demo PC, the
wait from OK to the completion prompt, and numbered screenshots."""

import os
import shutil
import time

from arch import exe_arch
import bases
import demo_pc
from prefix import Prefix

CONFIRM = "Welcome to the Lintora Uninstall program"
PROGRESS = "Uninstalling the Oxtrel Lintora 460D driver"
PROMPT = "Uninstallation succeeded"
ABORTED = "Uninstallation aborted"
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7
BUTTONS = {IDOK: "OK button", IDCANCEL: "Cancel button", IDYES: "Yes button", IDNO: "No button",
           "close": "close box"}

BUILD = os.path.join(bases.REPO, "build", "e2e")
SHIPPED = os.path.join(bases.REPO, "build", "win32", "uninstall.exe")


class Failed(Exception):
    """A window or a button that is not there, or a check that ends a run."""


class CannotRun(Failed):
    """This machine has no Wine that runs the exe."""


def arch_for(exe):
    """The architecture whose Wine runs exe."""
    if not os.path.exists(exe):
        raise Failed("no exe at %s (cmake --preset win32 && cmake --build --preset win32)" % exe)
    arch = exe_arch(exe)
    if why := arch.cannot_run():
        raise CannotRun(why)
    return arch


class Bench:
    """What the runs of one exe share: the helper tools and the base prefix of
    its architecture, and the display its windows open on."""

    def __init__(self, exe, arch, display):
        self.exe, self.arch, self.display = exe, arch, display
        t0 = time.time()
        self.tools, self.base, made = bases.prepare(BUILD, arch, display)
        if made:
            print("figures: %d-bit base prefix made in %.1f s" % (arch.bits, time.time() - t0))

    def prefix(self, path):
        return Prefix(path, self.tools, self.display, self.arch)

    def build(self, prefix, others=True):
        """Makes prefix a fresh demo PC with the exe on it, with or without the
        other programs' printers; returns the seconds taken."""
        t0 = time.time()
        prefix.copy(self.base)
        demo_pc.install(prefix, others)
        # The desktop comes up: the display driver registers its (volatile)
        # keys now rather than during the program's run.
        prefix.hold_desktop()
        os.makedirs(prefix.path("OXTREL"), exist_ok=True)
        shutil.copyfile(self.exe, prefix.path("OXTREL/UNINSTALL.EXE"))
        return time.time() - t0


class Camera:
    """Numbered screenshots of the screen in a folder; with windows, of each
    window alone too, as the README shows it."""

    def __init__(self, folder, prefix, windows=False):
        self.folder, self.prefix, self.windows, self.count = folder, prefix, windows, 0
        os.makedirs(folder, exist_ok=True)
        for old in os.listdir(folder):
            if old.endswith(".png") or old.endswith(".log"):
                os.remove(os.path.join(folder, old))

    def __call__(self, name, caption=None):
        self.count += 1
        path = os.path.join(self.folder, "%02d-%s" % (self.count, name))
        self.prefix.display.screenshot(path + ".png")
        if caption and self.windows and (rect := self.prefix.wininfo(caption)):
            self.prefix.display.screenshot(path + "-window.png", rect)


def wait_confirmation(prefix, shot):
    """Waits for the confirmation, the program's first window, brings it to the
    foreground as Windows does a newly started program's first window, and
    takes its picture.  Wine drew its caption inactive while it was hidden."""
    if not prefix.display.wait_window(CONFIRM, timeout=20):
        raise Failed("the confirmation dialog '%s' did not appear" % CONFIRM)
    time.sleep(0.3)
    if prefix.wininfo(CONFIRM, "foreground") is None:
        raise Failed("the confirmation could not be made the foreground window with the focus in it")
    time.sleep(0.2)
    shot("confirmation", CONFIRM)


def wait_prompt(display, shot, timeout=30):
    """After OK: the progress dialog, then the completion prompt, each pictured
    as it shows; returns the seconds until the prompt."""
    start = time.time()
    saw_progress = False
    while time.time() - start < timeout and not display.find(PROMPT):
        if not saw_progress and display.find(PROGRESS):
            saw_progress = True
            shot("progress", PROGRESS)
        time.sleep(0.01)
    if not display.find(PROMPT):
        raise Failed("the completion prompt '%s' did not appear" % PROMPT)
    secs = time.time() - start
    time.sleep(0.3)
    shot("completion-prompt", PROMPT)
    return secs


def click(prefix, caption, control):
    """Clicks a button, by its identifier, or the close box of a window."""
    if not (xy := prefix.wininfo(caption, str(control))):
        raise Failed("no %s in '%s'" % (BUTTONS.get(control, control), caption))
    prefix.display.click(*xy.split())
