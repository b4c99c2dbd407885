"""End-to-end tests of uninstall.exe on Wine in Windows 95 mode, driven as a
person drives it (see README.md).  Ends with "N passed, M failed, K skipped";
exit code 1 on a failure."""

import argparse
import os
import sys
import time
import traceback

import compare
import demo_pc
from display import Display, until
import program
from program import ABORTED, CONFIRM, IDCANCEL, IDNO, IDOK, IDYES, PROGRESS, PROMPT, Failed
import regtrace

ABORT_TEXT = "The Oxtrel Lintora 460D driver has not been uninstalled and remains on your PC"
PROMPT_TEXT = ("The Oxtrel Lintora 460D driver has been completely uninstalled.\\n"
               "We advise you to reboot your PC for a proper uninstallation.\\n"
               "Click on the 'Yes' button to reboot now.                 \\n"
               "Clicking on the 'No' button will return you to Windows without completing "
               "the uninstallation procedure")
MSGBOX_TEXT = "0xffff"   # the identifier of a message box's text control
SCAN = "[instance scan]"  # marks checks that need the instance scan in the exe

figures = {"build": [], "ok_to_prompt": []}


class Test:
    def __init__(self, name, bench, windows, keep):
        self.name, self.bench, self.windows, self.keep = name, bench, windows, keep
        runs = bench.arch.name + ("" if windows == "win95" else "-" + windows)
        self.dir = os.path.join(program.BUILD, runs, name)
        self.display = bench.display
        self.prefix = bench.prefix(os.path.join(self.dir, "prefix"))
        self.shot = program.Camera(self.dir, self.prefix)
        self.failures = []
        self.proc = None
        self.others = True

    # -- checks
    def check(self, ok, what, tag=""):
        if not ok:
            self.failures.append((tag + " " if tag else "") + what)

    def require(self, ok, what):
        if not ok:
            raise Failed(what)

    # -- the machine
    def build(self, windows=None, others=True):
        """A fresh demo PC in the run's Windows mode, or in windows; without
        others, the printer is the PC's only one."""
        self.others = others
        figures["build"].append(self.bench.build(self.prefix, others))
        windows = windows or self.windows
        if windows != "win95":   # the base prefix is in Windows 95 mode
            self.prefix.set_windows_version(windows)
            told = self.prefix.wininfo("--version")
            self.require(told == TOLD[windows], "in %s mode programs are told Windows %s" % (windows, told))

    # -- the person
    def start(self, trace=None):
        self.proc = self.prefix.launch(trace=trace)
        program.wait_confirmation(self.prefix, self.shot)
        focus = self.prefix.wininfo(CONFIRM, "focus")
        self.check(focus == str(IDOK), "OK does not have the focus when the confirmation opens, control %s does" % focus)

    def answer_confirmation(self, how):
        if how == "enter":
            self.display.key_closes(CONFIRM, "Return")
        elif how == "escape":
            self.display.key_shows(CONFIRM, "Escape", ABORTED)
        elif how == "tab-enter":
            self.display.key(CONFIRM, "Tab")
            until(lambda: self.prefix.wininfo(CONFIRM, "focus") == str(IDCANCEL), 3, 0.1)
            focus = self.prefix.wininfo(CONFIRM, "focus")
            self.shot("tab-moved-focus")
            self.check(focus == str(IDCANCEL), "Tab moved the focus to control %s, not Cancel" % focus)
            self.display.key_shows(CONFIRM, "Return", ABORTED)
        else:
            program.click(self.prefix, CONFIRM, {"click-ok": IDOK, "click-cancel": IDCANCEL, "close-box": "close"}[how])

    def aborted(self, before, what):
        """After what: the abort message, then nothing changed on the machine."""
        self.require(self.display.wait_window(ABORTED, timeout=10), "the abort message '%s' did not appear" % ABORTED)
        time.sleep(0.3)
        self.shot("abort-message")
        text = self.prefix.wininfo(ABORTED, "text", MSGBOX_TEXT)
        self.check(text == ABORT_TEXT, "abort message reads %r" % text)
        self.check(self.display.find(PROGRESS) is None, "the progress dialog is on the screen after Cancel")
        self.check(self.display.key_closes(ABORTED, "Return"), "the abort message stayed after Enter")
        self.check_exit(2)
        self.check(self.wininit() is None, "WININIT.INI written after " + what)
        self.check_changes(before, self.prefix.snapshot())

    def completion_prompt(self, timed=True):
        """After OK: the progress dialog, then the completion prompt."""
        secs = program.wait_prompt(self.display, self.shot)
        if timed:
            figures["ok_to_prompt"].append(secs)
        text = self.prefix.wininfo(PROMPT, "text", MSGBOX_TEXT)
        self.check(text == PROMPT_TEXT, "completion prompt reads %r" % text)
        self.check(self.display.find(PROGRESS) is None, "the progress dialog is still there with the prompt")

    def answer_prompt(self, button):
        program.click(self.prefix, PROMPT, button)

    def exit_code(self, timeout=20):
        try:
            return self.proc.wait(timeout)
        except Exception:
            self.proc.kill()
            return "still running"

    def check_exit(self, want=2):
        rc = self.exit_code()
        self.check(rc == want, "exit code %s, not %d" % (rc, want))

    # -- the machine's state
    def wininit(self):
        p = self.prefix.find_ci("windows/WININIT.INI")
        return open(p, "rb").read() if p else None

    def check_changes(self, before, after, keys_gone=(), keys_new=(), files_gone=(), files_new=(), files_changed=()):
        """Nothing changed in the registry or on drive C: but what is named."""
        removed, added = compare.registry_changes(before["registry"], after["registry"], keys_gone, keys_new)
        self.report_lines("registry line removed", removed)
        self.report_lines("registry line added", added)
        self.report_lines("file", compare.file_changes(before["files"], after["files"], files_gone, files_new,
                                                       files_changed))

    def report_lines(self, what, lines):
        for line in lines[:8]:
            self.check(False, "%s: %s" % (what, line[:200]))
        if len(lines) > 8:
            self.check(False, "... and %d more (%s)" % (len(lines) - 8, what))

    def check_printer_installed(self, snap):
        """The demo PC holds what it should before the run."""
        keys = compare.demo_keys("fixed", "scan", "keep")
        missing = sorted(set(keys) - set(compare.keys_present(snap["registry"], keys)))
        self.require(not missing, "demo PC lacks keys: %s" % missing)

    def check_removal(self, before, after, wininit_runs=1, restarted=False, held=(), held_lines=()):
        """Every printer item gone but the held system files, WININIT.INI
        written (with held_lines after the fixed ones), nothing else touched;
        after a restart, the deferred and held files gone too and WININIT.INI
        worked through and renamed wininit.bak."""
        fixed = compare.demo_keys("fixed")
        scan = compare.demo_keys("scan")
        for key in compare.keys_present(after["registry"], fixed):
            self.check(False, "fixed key still there: " + key)
        for key in compare.keys_present(after["registry"], scan):
            self.check(False, "instance key still there: " + key, SCAN)
        p = self.prefix
        gone = [demo_pc.SYSTEM_DIR + "/" + n for n in demo_pc.SYSTEM_FILES if restarted or n not in held]
        group = os.path.relpath(demo_pc.group_dir(p), p.c)
        gone += [group + "/" + n for n in demo_pc.SHORTCUTS] + [group]
        if restarted:
            gone += [demo_pc.DEFERRED_DIR + "/" + n for n in demo_pc.DEFERRED_FILES]
        gone = [g for g in gone if g in before["files"]]
        name = "wininit.bak" if restarted else "WININIT.INI"
        wininit = p.find_ci("windows/" + name)
        new = [os.path.relpath(wininit, p.c)] if wininit else []
        self.check_changes(before, after, fixed + scan, compare.STARTUP_KEYS if restarted else (), gone, new,
                           ["windows/win.ini"])

        want_ini = compare.win_ini_without_printer(before["win.ini"], self.others) \
            if demo_pc.WIN_INI_PRINTER_LINES[0].encode() in before["win.ini"] else before["win.ini"]
        self.check(after["win.ini"] == want_ini, "win.ini is not as it was without the printer's lines:\n"
                   "      want %r\n      got  %r" % (want_ini, after["win.ini"]))
        data = open(wininit, "rb").read() if wininit else None
        want = compare.wininit_bytes(wininit_runs, held_lines)
        self.check(data == want, "%s holds %r, not %r" % (name, data, want))
        if restarted:
            self.check(self.wininit() is None, "WININIT.INI is still there after the restart")

    def check_told(self, device):
        """A program running through the removal was told that win.ini's
        [Devices] changed, then [windows], and each time read the default
        printer as device: the removal was done before the first."""
        told = self.prefix.told()
        want = ["WM_WININICHANGE %s: device=%s" % (section, device) for section in ("devices", "windows")]
        self.check(told == want, "the running program was told %s, not %s" % (told, want))

    def close(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
        if self.keep:
            self.prefix.stop()
        else:
            self.prefix.remove()


# ---------------------------------------------------------------- the tests

TESTS = []  # (name, function) in the order they run


def test(name):
    """Registers a test function under the name -k chooses it by."""
    def register(fn):
        TESTS.append((name, fn))
        return fn
    return register


@test("ok-enter-no")
def test_ok_enter_then_no(t):
    """Enter on the confirmation, No on the prompt: the printer is gone, the other printer is the default, nothing else changed."""
    t.build()
    before = t.prefix.snapshot()
    t.check_printer_installed(before)
    run_ok_no(t)
    t.check_removal(before, t.prefix.snapshot())
    t.check_told(demo_pc.NEW_DEFAULT_LINE[len("device="):])
    # No restart: the two files stay until Windows next starts.
    for name in demo_pc.DEFERRED_FILES:
        t.check(t.prefix.find_ci(demo_pc.DEFERRED_DIR + "/" + name), "%s gone before the restart" % name)


@test("only-printer-ok-no")
def test_only_printer_ok_no(t):
    """The PC's only printer, OK, No: no default printer is left, and a running program is told so."""
    t.build(others=False)
    before = t.prefix.snapshot()
    run_ok_no(t)
    after = t.prefix.snapshot()
    t.check_removal(before, after)
    t.check(b"device=" not in after["win.ini"], "win.ini still names a default printer")
    t.check_told("(none)")


def ok_then_yes(t, before_yes=None):
    t.start()
    t.answer_confirmation("click-ok")
    t.completion_prompt()
    if before_yes:
        before_yes()
    t.answer_prompt(IDYES)
    # Yes makes Wine run wineboot, which works through WININIT.INI as Windows
    # does at start-up, then renames it to wininit.bak.
    until(lambda: t.prefix.find_ci("windows/wininit.bak"), 30, 0.1)
    t.prefix.wait_wineboot()
    t.shot("after-restart")
    t.check_exit(2)
    t.require(t.prefix.find_ci("windows/wininit.bak"), "the restart did not happen: no wininit.bak")


@test("ok-yes-restart")
def test_ok_then_yes_restart(t):
    """OK clicked, Yes on the prompt: the restart deletes the two in-use files, and nothing else changes."""
    t.build()
    before = t.prefix.snapshot()
    ok_then_yes(t)
    t.check_removal(before, t.prefix.snapshot(), restarted=True)


# Driver files a PC where the printer was used may hold: the shell extension
# Explorer loaded and the running status monitor; and one copied read-only
# from a CD.
HELD = ["OX46SHEL.DLL", "OX46STAT.EXE"]
READ_ONLY = "OX46HLP.HLP"


def refused_files(t, windows=None):
    """A demo PC whose driver files are loaded and running, one read-only;
    returns the function that lets them go, and the machine's snapshot."""
    t.build(windows)
    os.chmod(t.prefix.path(demo_pc.SYSTEM_DIR + "/" + READ_ONLY), 0o444)   # Wine's read-only attribute
    release = t.prefix.hold(*[demo_pc.SYSTEM_DIR + "/" + n for n in HELD])
    return release, t.prefix.snapshot()


# WININIT.INI's lines for them: the system folder's short path on Wine.
HELD_LINES = ["NUL=C:\\%s\\%s" % (demo_pc.SYSTEM_DIR.replace("/", "\\"), n) for n in HELD]


@test("refused-files-ok-no")
def test_refused_files_ok_no(t):
    """Driver files loaded and running and one read-only, OK and No: the read-only one goes, WININIT.INI names the held ones."""
    release, before = refused_files(t)
    try:
        run_ok_no(t)
        t.check_removal(before, t.prefix.snapshot(), held=HELD, held_lines=HELD_LINES)
    finally:
        t.check(release(), "hold.exe did not let the held files go")


def refused_files_restart(t, windows, lines):
    release, before = refused_files(t, windows)
    try:
        ok_then_yes(t, before_yes=release)   # Windows ends its programs before it restarts
    finally:
        t.check(release(), "hold.exe did not let the held files go")
    t.check_removal(before, t.prefix.snapshot(), restarted=True, held=HELD, held_lines=lines)


@test("refused-files-ok-yes-restart")
def test_refused_files_ok_yes_restart(t):
    """Driver files loaded and running and one read-only, OK, them let go, Yes: the restart deletes the held files."""
    refused_files_restart(t, None, HELD_LINES)


@test("refused-files-nt-restart")
def test_refused_files_nt_restart(t):
    """NT mode, driver files loaded and running and one read-only: MoveFileExA has the restart delete the held files."""
    refused_files_restart(t, "winxp", ())


def cancel(how, doc):
    """A test that answers the confirmation so, then finds the abort message and nothing changed."""
    def test(t):
        t.build()
        before = t.prefix.snapshot()
        t.start()
        t.answer_confirmation(how)
        t.aborted(before, "Cancel")
    test.__doc__ = doc
    return test


test("cancel-click")(cancel("click-cancel", "Cancel clicked: the abort message, nothing changed."))
test("cancel-escape")(cancel("escape", "Esc on the confirmation: the abort message, nothing changed."))
test("cancel-close-box")(cancel("close-box", "The confirmation's close box: the abort message, nothing changed."))
test("tab-enter-cancels")(cancel("tab-enter", "Tab moves the focus to Cancel; Enter then cancels."))


@test("escape-while-the-bar-steps")
def test_escape_while_the_bar_steps(t):
    """Esc as soon as the progress dialog shows: the abort message, nothing changed."""
    for attempt in range(1, 4):
        t.build()
        before = t.prefix.snapshot()
        t.start()
        t.display.key_closes(CONFIRM, "Return")
        t.require(t.display.wait_window(PROGRESS, timeout=10, interval=0.005), "the progress dialog did not appear")
        t.display.key(PROGRESS, "Escape")
        until(lambda: t.display.find(ABORTED) or t.display.find(PROMPT), 10)
        if t.display.find(PROMPT):
            removed = t.wininit() is not None
            t.answer_prompt(IDNO)
            if not removed:
                t.check(False, "the completion prompt after Esc, and nothing was removed")
                return
            # The removal had begun before the key arrived: this run proves nothing.
            t.exit_code()
            print("    (try %d: Esc arrived after the removal had begun)" % attempt)
            continue
        t.aborted(before, "Esc")
        return
    t.check(False, "Esc never reached the progress dialog before the removal began (3 tries)")


def run_ok_no(t, timed=True, trace=None):
    t.start(trace)
    t.answer_confirmation("enter")
    t.completion_prompt(timed)
    t.answer_prompt(IDNO)
    t.check(t.display.wait_gone(PROMPT), "the completion prompt stayed after No")
    t.check_exit(2)


@test("second-run-after-restart")
def test_second_run_after_restart(t):
    """After the restart, a second run: same dialogs, nothing more removed, a fresh WININIT.INI."""
    t.build()
    ok_then_yes(t)
    t.prefix.hold_desktop()   # the PC is back up after its restart
    before = t.prefix.snapshot()
    run_ok_no(t)
    t.check_removal(before, t.prefix.snapshot())   # the printer's items are already gone


@test("second-run-without-restart")
def test_second_run_without_restart(t):
    """Two runs without a restart: the second adds its two lines to the same [rename]."""
    t.build()
    before = t.prefix.snapshot()
    run_ok_no(t)
    run_ok_no(t)
    t.check_removal(before, t.prefix.snapshot(), wininit_runs=2)


@test("nt-mode-ok-no")
def test_nt_mode_ok_no(t):
    """NT mode, where RegDeleteKeyA refuses a key with subkeys: OK, No still removes every printer key."""
    t.build("winxp")
    before = t.prefix.snapshot()
    t.check_printer_installed(before)
    run_ok_no(t, timed=False)
    t.check_removal(before, t.prefix.snapshot())


@test("registry-call-order")
def test_registry_call_order(t):
    """Wine's registry trace: the 13 fixed keys deleted in order, then the scan's exact calls."""
    t.build()
    trace = os.path.join(t.dir, "reg-trace.log")
    run_ok_no(t, timed=False, trace=("+reg", trace))
    events = regtrace.parse(open(trace, encoding="latin-1").read())
    want = [key for _, key in demo_pc.FIXED_KEYS]
    deletes = regtrace.top_level_deletes(events)
    t.check(deletes[:len(want)] == want, "fixed keys deleted in this order: %s" % deletes[:len(want)])
    got = regtrace.scan_calls(events)
    t.require(os.path.exists(regtrace.SCAN_ORDER), "no %s (cmake --build --preset linux)" % regtrace.SCAN_ORDER)
    want = regtrace.expected_scan(regtrace.demo_layout())
    if got != want:
        at = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
        t.check(False, "instance scan: %d calls, %d expected; first difference at call %d: %s, expected %s"
                % (len(got), len(want), at, got[at] if at < len(got) else "none",
                   want[at] if at < len(want) else "none"), SCAN)
    rest = deletes[len(demo_pc.FIXED_KEYS):]
    in_scan = [d for d in rest if any(d.lower().startswith(b.lower() + "\\") for b in regtrace.BASES)]
    t.check(in_scan == [e[1] for e in want if e[0] == "delete"], "instance keys deleted: %s" % in_scan, SCAN)
    t.check(len(in_scan) == len(rest), "other keys deleted: %s" % [d for d in rest if d not in in_scan])



# The Windows 95 family, as Wine's Version setting names it, with the version
# GetVersion then reports; and XP, for the tests of NT mode.
WINDOWS_MODES = {"win95": "4.0 9x", "win98": "4.10 9x", "winme": "4.90 9x"}
TOLD = dict(WINDOWS_MODES, winxp="5.1 nt")


def run_one(bench, keep, name, fn, windows):
    """Runs one test on a fresh machine; returns its failures."""
    t = Test(name, bench, windows, keep)
    t0 = time.time()
    doc = (fn.__doc__ or "").split("\n")[0]
    try:
        t.require(doc, "the test does not say what it checks: it has no docstring")
        fn(t)
    except Failed as e:
        t.failures.append(str(e))
    except Exception:
        t.failures.append("error: " + traceback.format_exc().strip().replace("\n", "\n      "))
    finally:
        t.close()
    scan_only = t.failures and all(f.startswith(SCAN) for f in t.failures)
    status = "PASS" if not t.failures else "FAIL" + (" " + SCAN if scan_only else "")
    label = name if windows == "win95" else "%s [%s]" % (name, windows)
    print("%s %s (%.1f s) - %s" % (status, label, time.time() - t0, doc))
    for f in t.failures:
        print("    " + f)
    return t.failures


def spread(xs):
    if not xs:
        return "n/a"
    return "%.2f s (min %.2f, max %.2f, %d runs)" % (sum(xs) / len(xs), min(xs), max(xs), len(xs))


def main():
    ap = argparse.ArgumentParser(prog="e2e/run")
    ap.add_argument("exe", nargs="?", default=program.SHIPPED)
    ap.add_argument("-k", dest="only", action="append", help="run only tests whose name contains this")
    ap.add_argument("--windows", action="append", choices=WINDOWS_MODES,
                    help="the Windows Wine reports (win95 unless told); once per mode to run")
    ap.add_argument("--keep", action="store_true", help="keep each test's Wine prefix")
    args = ap.parse_args()
    sys.stdout.reconfigure(line_buffering=True)
    t_all = time.time()

    exe = os.path.abspath(args.exe)
    modes = args.windows or ["win95"]
    runs = [(name, fn, mode) for mode in modes for name, fn in TESTS
            if not args.only or any(o in name for o in args.only)]
    try:
        arch = program.arch_for(exe)
    except program.CannotRun as e:
        print("e2e: %s: %d tests of %s skipped" % (e, len(runs), exe))
        print("0 passed, 0 failed, %d skipped" % len(runs))
        return 0
    except Failed as e:
        print("e2e: %s" % e)
        print("0 passed, 1 failed, 0 skipped")
        return 1
    display = Display()
    passed = failed = scan_failures = 0
    try:
        bench = program.Bench(exe, arch, display)
        print("e2e: %s on %d-bit Wine (%s) in %s mode, display %s"
              % (exe, arch.bits, arch.wine, ", ".join(modes), display.name))
        for name, fn, mode in runs:
            failures = run_one(bench, args.keep, name, fn, mode)
            scan_failures += sum(f.startswith(SCAN) for f in failures)
            failed += bool(failures)
            passed += not failures
    finally:
        display.close()

    print("figures: building the demo PC from the base prefix: %s" % spread(figures["build"]))
    print("figures: OK key press to the completion prompt: %s" % spread(figures["ok_to_prompt"]))
    print("figures: whole run: %.1f s" % (time.time() - t_all))
    print("screenshots: %s/%s*/<test>/*.png" % (program.BUILD, arch.name))
    if scan_failures:
        print("%d failing checks need the instance scan in the exe (marked %s)" % (scan_failures, SCAN))
    print("%d passed, %d failed, 0 skipped" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
