"""An X display, Xvfb or the user's own, on which windows are found by
caption, keys pressed, buttons clicked and screenshots taken."""

import os
import select
import subprocess
import time


def until(done, timeout, interval=0.05):
    """done()'s first true result within timeout seconds, or its last one."""
    end = time.time() + timeout
    while True:
        result = done()
        if result or time.time() >= end:
            return result
        time.sleep(interval)


class Display:
    """An X display; a private Xvfb unless an existing display is given."""

    def __init__(self, display=None, size="1024x768x24"):
        self.proc = None
        if display:
            self.name = display
            return
        # Xvfb takes the first free number itself, under its lock file, and
        # says which once it accepts connections: runs started together each
        # get their own server.
        read, write = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", size, "-nolisten", "tcp"],
                                     pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        told = b""
        while not told.endswith(b"\n") and select.select([read], [], [], 10)[0]:
            part = os.read(read, 16)
            if not part:
                break
            told += part
        os.close(read)
        if not told.strip().isdigit():
            self.close()
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + told.decode().strip()

    def close(self):
        if self.proc:
            self.proc.terminate()
            self.proc.wait()

    def xdotool(self, *args):
        env = dict(os.environ, DISPLAY=self.name)
        return subprocess.run(["xdotool"] + list(args), env=env, capture_output=True, text=True)

    def find(self, caption, visible=False):
        r = self.xdotool("search", *(["--onlyvisible"] if visible else []), "--name", "^%s$" % caption)
        return next(iter(r.stdout.split()), None)

    def wait_window(self, caption, timeout=15.0, interval=0.05):
        """The window once it is on the screen: Wine makes it before it shows it."""
        return until(lambda: self.find(caption, visible=True), timeout, interval)

    def wait_gone(self, caption, timeout=10.0):
        return until(lambda: not self.find(caption), timeout)

    def key(self, caption, name):
        """Presses a key in the window captioned so, once it is on the screen.
        With no window manager, Wine gives a window it activates the X focus
        itself, stamped with the time of the program's last message; the X
        server ignores the request when that is older than its last focus
        change, as when the window before was just destroyed, and the keys
        then go to the root window.  So the window gets the X focus here
        first, as a window manager gives it to a newly active window.
        Which window Windows makes active, and where it sends the key, is
        still the program's and Wine's doing.  Returns whether the window was
        there to press the key in."""
        window = until(lambda: self.find(caption, visible=True), 10)
        if window:
            self.xdotool("windowfocus", window, "key", name)
        return window is not None

    def key_closes(self, caption, name, wait=10.0):
        """Presses a key in the window captioned so; whether it then closes."""
        return self.key(caption, name) and until(lambda: not self.find(caption), wait)

    def key_shows(self, caption, name, shown, wait=10.0):
        """Presses a key in the window captioned so; whether the one captioned shown then appears."""
        return self.key(caption, name) and until(lambda: self.find(shown), wait)

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


def _start_together(barrier, results):
    display = None
    try:
        barrier.wait(30)
        display = Display()
        answers = subprocess.run(["xdpyinfo", "-display", display.name], capture_output=True).returncode == 0
        results.put((display.name, answers))
        barrier.wait(30)   # every server is up at once before any ends
    except Exception as e:
        results.put(("(%s)" % e, False))
    finally:
        if display:
            display.close()


if __name__ == "__main__":
    # e2e/display.py [N]: N displays started at the same moment, as end-to-end
    # runs side by side start theirs; each must be a server of its own that answers.
    import multiprocessing
    import sys
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 6
    barrier, results = multiprocessing.Barrier(n), multiprocessing.Queue()
    procs = [multiprocessing.Process(target=_start_together, args=(barrier, results), daemon=True) for _ in range(n)]
    for p in procs:
        p.start()
    got = [results.get(timeout=90) for _ in procs]
    names = [name for name, _ in got]
    good = [name for name, answers in got if answers and names.count(name) == 1]
    print("displays started together: %s" % " ".join("%s%s" % (name, "" if name in good else " (shared or mute)")
                                                     for name in sorted(names)))
    print("displays: %d passed, %d failed" % (len(good), n - len(good)))
    sys.exit(0 if len(good) == n else 1)
