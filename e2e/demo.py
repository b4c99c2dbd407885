"""Runs uninstall.exe on a fresh demo PC in Wine and shows what of the
printer was there before and what is left after.

With $DISPLAY set the program's windows open there and the user answers them.
Without, it runs on a private Xvfb: OK is pressed and No answered for the user,
and screenshots are written to build/e2e/demo/.
"""

import os
import sys
import time

from arch import exe_arch
import bases
import compare
from display import Display
from prefix import Prefix

CONFIRM = "Welcome to the Lintora Uninstall program"
PROGRESS = "Uninstalling the Oxtrel Lintora 460D driver"
PROMPT = "Uninstallation succeeded"


def show(title, items):
    print(title)
    for label, present in items:
        print("  %-7s %s" % ("present" if present else "-", label))
    print("  (%d of %d items present)" % (sum(p for _, p in items), len(items)))


def main(argv):
    exe = os.path.abspath(argv[1] if len(argv) > 1 else os.path.join(bases.REPO, "build", "win32", "uninstall.exe"))
    if not os.path.exists(exe):
        print("demo-wine: no exe at %s; build it with: cmake --preset win32 && cmake --build --preset win32" % exe)
        return 1
    arch = exe_arch(exe)
    if not arch.runs():
        print("demo-wine: this machine cannot run %d-bit programs (%s --version fails)" % (arch.bits, arch.wine))
        return 1
    build = os.path.join(bases.REPO, "build", "e2e")
    out = os.path.join(build, "demo")
    os.makedirs(out, exist_ok=True)
    for old in os.listdir(out):
        if old.endswith(".png"):
            os.remove(os.path.join(out, old))
    interactive = bool(os.environ.get("DISPLAY"))
    display = Display(os.environ.get("DISPLAY") if interactive else None)
    pc = None
    try:
        t0 = time.time()
        tools, base, made = bases.prepare(build, arch, display)
        if made:
            print("demo-wine: %d-bit base prefix made in %.1f s" % (arch.bits, time.time() - t0))
        pc = Prefix(os.path.join(out, "prefix"), tools, display, arch)
        secs = pc.build(base, exe=exe)
        print("demo-wine: %d-bit demo PC built in %.1f s from the base prefix (%s)" % (arch.bits, secs, pc.dir))
        before = pc.dump_registry()
        items = compare.inventory(pc, before)
        show("Before the run, on the demo PC:", items)

        proc = pc.launch()
        if interactive:
            print("demo-wine: uninstall.exe is running on display %s; answer its windows." % display.name)
            rc = proc.wait()
            pc.wait_wineboot()   # after Yes, Windows restarts
        else:
            shots = [0]

            def shot(name, caption):
                """The screen, and the window alone as the README shows it."""
                shots[0] += 1
                display.screenshot(os.path.join(out, "%02d-%s.png" % (shots[0], name)))
                rect = pc.wininfo(caption)
                if rect:
                    display.screenshot(os.path.join(out, "%02d-%s-window.png" % (shots[0], name)), rect)
            if not display.wait_window(CONFIRM, 20):
                print("demo-wine: the confirmation dialog did not appear")
                return 1
            time.sleep(0.3)
            shot("confirmation", CONFIRM)
            print("demo-wine: pressing Enter (OK) in '%s'" % CONFIRM)
            t0 = time.time()
            display.key_until_gone(CONFIRM, "Return")
            seen = False
            while time.time() - t0 < 30 and not display.find(PROMPT):
                if not seen and display.find(PROGRESS):
                    seen = True
                    shot("progress", PROGRESS)
                time.sleep(0.01)
            if not display.find(PROMPT):
                print("demo-wine: the completion prompt did not appear")
                return 1
            print("demo-wine: completion prompt after %.2f s" % (time.time() - t0))
            time.sleep(0.3)
            shot("completion-prompt", PROMPT)
            xy = pc.wininfo(PROMPT, "7")
            if not xy:
                print("demo-wine: no No button in '%s'" % PROMPT)
                return 1
            print("demo-wine: clicking No in '%s'" % PROMPT)
            display.click(*xy.split())
            rc = proc.wait(20)
            print("demo-wine: screenshots in %s" % out)
        print("demo-wine: uninstall.exe exited with code %s" % rc)

        after = pc.dump_registry()
        left = compare.inventory(pc, after, [label for label, _ in items])
        show("After the run:", left)
        for label, present in left:
            if present and "\\SYSTEM\\" in label:
                print("  note: %s goes at the next Windows start (WININIT.INI)" % label.split()[-1])
            elif present and "\\0150" in label:
                print("  note: instance 0150 lies past the 100 misses the search allows; it stays")
        wininit = pc.find_ci("windows/WININIT.INI") or pc.find_ci("windows/wininit.bak")
        if wininit:
            print("%s:" % os.path.basename(wininit))
            for line in open(wininit, "rb").read().decode("latin-1").splitlines():
                print("  " + line)
            if wininit.endswith(".bak"):
                print("  (Windows restarted and worked through it)")
        return 0
    finally:
        if pc:
            pc.stop()
        display.close()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
