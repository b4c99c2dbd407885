"""An X display, Xvfb or the user's own, on which windows are found by
caption, keys pressed, buttons clicked and screenshots taken."""

import os
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
        # Another run may be starting its own display at the same moment: a
        # server that finds its number taken exits, and the next one is tried.
        n = 91
        for _ in range(20):
            while os.path.exists("/tmp/.X11-unix/X%d" % n) or os.path.exists("/tmp/.X%d-lock" % n):
                n += 1
            proc = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", size, "-nolisten", "tcp"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            until(lambda: proc.poll() is not None or os.path.exists("/tmp/.X11-unix/X%d" % n), 5)
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
        return until(lambda: self.find(caption), timeout, interval)

    def wait_gone(self, caption, timeout=10.0):
        return until(lambda: not self.find(caption), timeout)

    def key(self, name):
        self.xdotool("key", name)

    def key_until(self, name, done, tries=3, wait=3.0):
        """Presses a key, and again if done() has not come true a while later.
        Under load a key can reach Wine before the window has taken the
        keyboard, and is then lost."""
        for _ in range(tries):
            self.key(name)
            if until(done, wait):
                return True
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
