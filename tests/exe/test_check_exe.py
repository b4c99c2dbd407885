#!/usr/bin/python3
"""Proves that check_exe.py catches what it is for.

Links small throwaway exes with the program's real resources, and with
resources or links spoiled one way each, and runs the checker on them: the
clean pair must pass, and each spoiled one must fail the check named for the
fault, as must the .res compiled from a spoiled .rc (--res, the unit run's
check); the build's own check, exe-report, must fail with the code checks and
pass otherwise.  Single instructions, as bytes, are held against the 80386's
too.
Needs only the MinGW-w64 cross tools and the disassembler.

    /usr/bin/python3 tests/exe/test_check_exe.py
"""

import os
import subprocess
import sys
import tempfile

import cpu386

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
RES_DIR = os.path.join(ROOT, 'resources')
CHECKER = os.path.join(HERE, 'check_exe.py')
EXE_REPORT = os.path.join(ROOT, 'scripts', 'exe-report')
SPOILED_ICO = ''  # set in main(): the icon with its bottom-left pixel red

# Smaller() is a CMOV for the toolchain's default CPU, the Pentium Pro;
# RemoveDriver() stands for the program's, which the checker looks for.
MAIN = r'''
#include <windows.h>
#include <commctrl.h>
static int __attribute__((noinline)) Smaller(int a, int b) { return a < b ? a : b; }
void __attribute__((noinline)) RemoveDriver() { InitCommonControls(); }
#ifdef SPOIL_OUT_OF_STEP
// A byte before a function, 0xB8, which a sweep reads with the function's RET
// and NOPs as one "mov eax, imm32".  Nothing calls it, and the sweep is in
// step again after it: only the function's start in the link map shows it.
__asm__(".text\n\t.byte 0xB8\n"
        "\t.def _OutOfStep; .scl 3; .type 32; .endef\n"
        "_OutOfStep:\n\tret\n\tnop\n\tnop\n\tnop\n");
#endif
extern "C" void WinMainCRTStartup() {
    RemoveDriver();
#ifdef SPOIL_IMPORTS
    if (IsDebuggerPresent()) RegDeleteTreeA(HKEY_CURRENT_USER, "x");
#endif
    int code = (int)GetVersion();
#ifdef SPOIL_HIDDEN_CMOV
    // A jump over one byte, 0xB8, which a sweep reads with the CMOV and the
    // NOP after it as one "mov eax, imm32", and is in step again after them.
    __asm__("jmp 1f\n\t.byte 0xB8\n1:\tcmovl %1, %0\n\tnop" : "+r"(code) : "r"(code >> 8));
#endif
    ExitProcess(Smaller(DialogBoxParamA(GetModuleHandleA(NULL), "WELCOME", NULL, NULL, 0),
                        code));
}
'''
DEFAULT_CPU = '(the toolchain\'s default CPU)'  # as an extra argument: no -march=i386
NO_MAP = '(the link map deleted)'  # as an extra argument: after the link
NO_OBJECTS = '(the objects deleted)'
NO_CODE = '(the code section marked as data)'

DIALOGEX = '''UNINSTALL DIALOGEX 0, 0, 186, 68
STYLE WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT
CAPTION "Uninstalling the Oxtrel Lintora 460D driver"
FONT 10, "MS Sans Serif", 0, 0, 1
BEGIN
    LTEXT "Uninstalling the Oxtrel Lintora 460D driver.", IDC_UNINSTALL_TEXT, 27, 13, 125, 20
    CONTROL "Progress1", IDC_PROGRESS, "msctls_progress32", WS_BORDER, 26, 40, 126, 9, WS_EX_RTLREADING
END
'''


def replace(text, old, new):
    assert old in text, f'{old!r} is no longer in uninstall.rc'
    return text.replace(old, new, 1)


def as_dialogex(rc):
    start = rc.index('UNINSTALL 5')
    end = rc.index('END\n', start) + 4
    return rc[:start] + DIALOGEX + rc[end:]


# name, change to the .rc, extra compiler/linker arguments, checks that must fail
CASES = [
    ('clean', None, [], []),
    ('progress class stored in capitals by a DIALOGEX statement',
     as_dialogex, [], ['i686 UNINSTALL template bytes']),
    ('an extra RCDATA resource',
     lambda rc: rc + '\nX RCDATA { 1 }\n', [], ['i686 no other resource']),
    ('French (France) instead of Swiss French',
     lambda rc: replace(rc, 'SUBLANG_FRENCH_SWISS', 'SUBLANG_FRENCH'), [],
     ['i686 resource 5/WELCOME only in language 0x100C',
      'i686 resource 3/1 only in language 0x100C']),
    ('Cancel on top of OK',
     lambda rc: replace(rc, 'IDCANCEL, 165,', 'IDCANCEL, 42,'), [],
     ['i686 WELCOME template bytes']),
    ('CR LF in the WELCOME text',
     lambda rc: replace(rc, 'driver.\\nClick', 'driver.\\r\\nClick'), [],
     ['i686 WELCOME template bytes']),
    ('OK without its tab stop',
     lambda rc: replace(rc, 'BS_DEFPUSHBUTTON | WS_TABSTOP',
                        'BS_DEFPUSHBUTTON | NOT WS_TABSTOP'), [],
     ['i686 WELCOME template bytes']),
    ('the WELCOME text without WS_GROUP',
     lambda rc: replace(rc, 'SS_LEFT | WS_GROUP', 'SS_LEFT'), [],
     ['i686 WELCOME template bytes']),
    ('a visible WELCOME',
     lambda rc: replace(rc, 'STYLE WS_POPUP |', 'STYLE WS_POPUP | WS_VISIBLE |'), [],
     ['i686 WELCOME template bytes']),
    ('imports Windows 95 does not have', None, ['-DSPOIL_IMPORTS'],
     ['i686 imports only allowed Windows 95 functions']),
    ('a coloured pixel under the transparency mask',
     lambda rc: replace(rc, '"uninstall.ico"', f'"{SPOILED_ICO}"'), [],
     ['i686 icon transparent pixels have colour index 0',
      'i686 icon image is the committed uninstall.ico']),
    ('subsystem version 5.1', None, ['-Wl,--subsystem,windows:5.1'],
     ['i686 subsystem version 4.0']),
    ('the link time in the header', None, ['-Wl,--insert-timestamp'],
     ['i686 time stamp 0']),
    ('compiled for the Pentium Pro, with a CMOV', None, [DEFAULT_CPU],
     ['i686 code runs on an 80386']),
    ('a CMOV hidden behind a jump over a data byte', None, ['-DSPOIL_HIDDEN_CMOV'],
     ['i686 code runs on an 80386']),
    ('a function the sweep is out of step with', None, ['-DSPOIL_OUT_OF_STEP'],
     ['i686 code runs on an 80386']),
    ('no link map beside the exe', None, [NO_MAP],
     ['i686 functions named from the link map']),
    ('no objects where the link map names them', None, [NO_OBJECTS],
     ['i686 functions named from the link map']),
    ('no instruction to check: the code section marked as data', None, [NO_CODE],
     ['i686 code runs on an 80386']),
]
# The checks the build itself makes (scripts/exe-report): it must fail with
# them, and only with them.
BUILD_CHECKS = {'i686 code runs on an 80386', 'i686 functions named from the link map'}


def link(work, tag, arch, rc_text, extra):
    rc = os.path.join(work, f'{tag}.rc')
    with open(rc, 'w') as f:
        f.write(rc_text)
    obj = os.path.join(work, f'{tag}-{arch}.o')
    exe = os.path.join(work, f'{tag}-{arch}.exe')
    main = os.path.join(work, 'main.cpp')
    main_obj = os.path.join(work, f'{tag}-{arch}-main.o')
    entry = '_WinMainCRTStartup' if arch == 'i686' else 'WinMainCRTStartup'
    cpu = ['-march=i386'] if arch == 'i686' and DEFAULT_CPU not in extra else []
    args = [a for a in extra if a not in (DEFAULT_CPU, NO_MAP, NO_OBJECTS, NO_CODE)]
    subprocess.run([f'{arch}-w64-mingw32-windres', '-I', RES_DIR, '-O', 'coff',
                    rc, obj], check=True)
    # Compiled apart and linked with a map, as the program is: the checker
    # names the functions from the map and the objects it lists.
    subprocess.run([f'{arch}-w64-mingw32-g++', '-Os', '-ffreestanding'] + cpu + args
                   + ['-c', main, '-o', main_obj], check=True)
    subprocess.run([f'{arch}-w64-mingw32-g++', main_obj, obj,
                    '-o', exe, '-nostdlib', '-nostartfiles', '-s',
                    f'-Wl,-Map,{os.path.splitext(exe)[0]}.map',
                    f'-Wl,--entry,{entry}', '-Wl,--subsystem,windows:4.0',
                    '-Wl,--no-insert-timestamp',
                    '-Wl,--major-os-version,4', '-Wl,--minor-os-version,0']
                   + args + ['-lkernel32', '-luser32', '-ladvapi32', '-lcomctl32'],
                   check=True)
    if NO_MAP in extra:
        os.remove(f'{os.path.splitext(exe)[0]}.map')
    if NO_OBJECTS in extra:
        os.remove(main_obj)
        os.remove(obj)
    if NO_CODE in extra:
        pe = cpu386.pefile.PE(exe)
        for s in pe.sections:
            s.Characteristics &= ~0x20000020  # neither code nor executable
        pe.write(exe)
    return exe


# Single instructions, as bytes, and whether an 80386 has them; RULE: it
# has, but the program refuses it.
RULE = 'refused by rule'
INSTRUCTIONS = [
    ('a5', True), ('a7', True), ('f3 a5', True), ('90', True), ('66 90', True),  # movsd, cmpsd, nops
    ('0f 20 c0', True),                            # mov eax, cr0
    ('f2 0f 10 c1', False), ('f2 0f c2 c1 00', False),  # SSE2's movsd and cmpsd
    ('0f 1f 00', False), ('0f c8', False), ('0f a2', False), ('0f 31', False),
    ('0f 40 c1', False), ('db f1', False), ('0f 0b', False), ('0f 22 e0', False),  # cmov, fcomi, ud2, cr4
    ('d9 e8', False), ('9b', RULE), ('0f 6f c1', False), ('0f 0f c1 9e', False),  # x87, wait, MMX, 3DNow!
    ('0f b1 c8', False), ('0f c1 c8', False),     # cmpxchg, xadd
]


def check_instructions():
    """(passed, failed) for the instruction table, without a compiler."""
    md = cpu386.capstone.Cs(cpu386.capstone.CS_ARCH_X86, cpu386.capstone.CS_MODE_32)
    md.detail = True
    passed = failed = 0
    for code, on_386 in INSTRUCTIONS:
        insn = next(md.disasm(bytes.fromhex(code), 0))
        need = cpu386.needs(insn)
        if on_386 == RULE:
            ok = need == cpu386.NO_X87
        else:
            ok = (need is None) == on_386 and need != cpu386.NO_X87
        print(f'{"PASS" if ok else "FAIL"} instruction {code} ({insn.mnemonic} {insn.op_str}): '
              f'{need or "an 80386"}')
        passed, failed = passed + ok, failed + (not ok)
    return passed, failed


def run_checker(args, must_fail):
    """Why check_exe.py does not fail as a case says, or '' when it does."""
    run = subprocess.run([sys.executable, CHECKER] + args, capture_output=True, text=True)
    fails = [line.strip()[len('FAIL '):].split(':')[0]
             for line in run.stdout.splitlines() if line.strip().startswith('FAIL ')]
    last = run.stdout.splitlines()[-1] if run.stdout else ''
    if must_fail:
        ok = (run.returncode == 1 and set(must_fail) <= set(fails)
              and last.endswith(f'{len(fails)} failed'))
    else:
        ok = run.returncode == 0 and not fails and last.endswith(' 0 failed')
    return '' if ok else (f'  {" ".join(args)}: exit {run.returncode}, failed checks: '
                          f'{fails}, expected: {must_fail}\n{run.stdout}{run.stderr}')


def main():
    passed, failed = check_instructions()
    with open(os.path.join(RES_DIR, 'uninstall.rc')) as f:
        rc = f.read()
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, 'main.cpp'), 'w') as f:
            f.write(MAIN)
        global SPOILED_ICO
        SPOILED_ICO = os.path.join(work, 'spoiled.ico')
        with open(os.path.join(RES_DIR, 'uninstall.ico'), 'rb') as f:
            ico = bytearray(f.read())
        colours = 22 + 40 + 64  # directory, bitmap header, palette
        ico[colours] = 0x90 | ico[colours] & 0x0F  # bottom-left pixel: red
        with open(SPOILED_ICO, 'wb') as f:
            f.write(ico)
        x86_64 = link(work, 'clean', 'x86_64', rc, [])
        for n, (name, change, extra, must_fail) in enumerate(CASES, 1):
            i686 = link(work, f'case{n}', 'i686', change(rc) if change else rc, extra)
            res = os.path.join(work, f'case{n}.res')
            subprocess.run(['i686-w64-mingw32-windres', '-I', RES_DIR, '-O', 'res',
                            os.path.join(work, f'case{n}.rc'), res], check=True)
            # Only a change to the .rc shows in the .res, as the same checks.
            res_fail = [f.replace('i686 ', 'res ', 1) for f in must_fail] if change else []
            why = (run_checker([i686, x86_64], must_fail) +
                   run_checker(['--res', res], res_fail))
            report = subprocess.run([EXE_REPORT, i686], capture_output=True, text=True)
            if report.returncode != (1 if BUILD_CHECKS & set(must_fail) else 0):
                why += f'  exe-report exit {report.returncode}\n{report.stdout}{report.stderr}'
            print(f'{"FAIL" if why else "PASS"} case {n}: {name}\n{why}', end='')
            passed, failed = passed + (not why), failed + bool(why)
    print(f'{passed} passed, {failed} failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
