#!/usr/bin/python3
"""Which CPU an exe's code needs: every byte of its executable sections is
disassembled, and each instruction held against the 80386's own.

    /usr/bin/python3 tests/exe/cpu386.py build/win32/uninstall.exe

Windows 95 runs on an 80386, and most PCs of its family have no CMOV, no MMX
and no SSE: an instruction the CPU lacks ends the program with "This program
has performed an illegal operation", wherever it stands.  An i686 exe passes
only when every instruction is in the 80386's integer instruction set.  The
program has no floating point, and a 386 or a 486SX may have no FPU, so x87
instructions are refused too, and WAIT with them, by rule.

The bytes the linker puts after the code, the empty constructor and
destructor lists (a word of -1, the entries, a word of 0, each), are
recognised as what they are; any other bytes that do not decode are a
failure.  The link map beside the exe (uninstall.map) and the objects it
names give the functions, and a finding names the function it is in; an i686
exe fails when they are not there.

The code is read in one sweep from the start of each section, so a data byte
among the instructions would be read with the bytes after it as some other
instruction, and could hide one.  The sweep must therefore be in step
wherever the code is known to begin: at each function the link map names,
and at the target of each direct jmp, jcc, call and loop.  Code reached only
through an indirect jump or call (a jump table, a function pointer) is not
followed; the compiler puts its jump tables in .rdata, not among the code.

For an x86_64 exe only the instructions are counted.  Exits 1 when no
instruction is found, or an i686 exe needs more than an 80386 or its
functions cannot be named.
"""

import bisect
import os
import re
import struct
import subprocess
import sys

try:
    import capstone
    import pefile
except ImportError:  # a non-Debian python3 first on PATH: use Debian's modules
    sys.path.append('/usr/lib/python3/dist-packages')
    import capstone
    import pefile

I386_MACHINE, X86_64_MACHINE = 0x014C, 0x8664

# The 80386's integer instructions, as the disassembler names them.
I386 = set('''
    aaa aad aam aas adc add and arpl bound bsf bsr bt btc btr bts
    call cbw cdq clc cld cli clts cmc cmp cmpsb cmpsd cmpsw cwd cwde
    daa das dec div enter hlt idiv imul in inc insb insd insw int int3 into
    iretd ja jae jb jbe jcxz je jecxz jg jge jl jle jmp jne jno jnp jns jo jp js
    lahf lar lcall lds lea leave les lfs lgdt lgs lidt ljmp lldt lmsw lodsb lodsd
    lodsw loop loope loopne lsl lss ltr mov movsb movsd movsw movsx movzx mul
    neg nop not or out outsb outsd outsw pop popal popaw popf popfd push pushal
    pushaw pushf pushfd rcl rcr ret retf rol ror sahf sal sar sbb scasb scasd
    scasw seta setae setb setbe sete setg setge setl setle setne setno setnp
    setns seto setp sets sgdt shl shld shr shrd sidt sldt smsw stc std sti
    stosb stosd stosw str sub test verr verw xchg xlatb xor
'''.split())

# Instructions that came later, with the CPU that brought them.
LATER = {
    'bswap': '80486', 'cmpxchg': '80486', 'xadd': '80486',
    'invd': '80486', 'invlpg': '80486', 'wbinvd': '80486',
    'cpuid': 'Pentium', 'rdtsc': 'Pentium', 'cmpxchg8b': 'Pentium',
    'rdmsr': 'Pentium', 'wrmsr': 'Pentium', 'rsm': 'Pentium',
    'ud2': 'Pentium Pro', 'rdpmc': 'Pentium Pro',
    'sysenter': 'Pentium II', 'sysexit': 'Pentium II',
}
# The groups the disassembler puts 80386 instructions in; any other group is
# an extension, even where its instruction shares a name with an 80386 one
# (SSE2's movsd and cmpsd beside the string instructions).
I386_GROUPS = {'branch_relative', 'call', 'int', 'iret', 'jump', 'not64bitmode', 'privilege', 'ret'}
LATER_GROUPS = [  # by the start of the group's name, the first that applies
    ('cmov', 'Pentium Pro'),
    ('3dnow', 'AMD K6-2 (3DNow!)'),
    ('mmx', 'Pentium MMX'),
    ('sse', 'Pentium III or later (SSE)'),
    ('avx', 'a CPU with AVX'),
    ('fpu', 'an x87 FPU'),
]
X87_OPCODES = set(range(0xD8, 0xE0))
# WAIT is the 80386's own and runs without an FPU; it is refused all the same,
# as the program has no floating point and so no use for it.
NO_X87 = "no x87 at all, the program's own rule; an 80386 has it"


def needs(insn):
    """None for an 80386 instruction, else what it needs, or the rule that
    refuses it."""
    name = insn.insn_name()
    groups = {insn.group_name(g) for g in insn.groups}
    if name == 'nop' and insn.opcode[0] != 0x90:
        return 'Pentium Pro (multi-byte NOP)'
    if name == 'mov' and re.search(r'\bcr([4-9]|1[0-5])\b', insn.op_str):
        return 'Pentium (CR4)'
    if name == 'wait':
        return NO_X87
    if name in I386 and groups <= I386_GROUPS:
        return None
    if name in LATER:
        return LATER[name]
    if name.startswith(('fcmov', 'fcomi', 'fucomi')):
        return 'Pentium Pro'
    for prefix, cpu in LATER_GROUPS:
        if any(g.startswith(prefix) for g in groups):
            return cpu
    if insn.opcode[0] in X87_OPCODES:
        return 'an x87 FPU'
    return 'not an 80386 instruction'


def constructor_lists(data, code_lo, code_hi):
    """Where the linker's constructor and destructor lists begin at the end of
    the section (a word of -1, code addresses, a word of 0, twice), or
    len(data) when they are not there."""
    end = len(data)
    for _ in range(2):
        if end < 8 or struct.unpack_from('<I', data, end - 4)[0] != 0:
            return len(data)
        at = end - 8
        while at >= 0:
            word = struct.unpack_from('<I', data, at)[0]
            if word == 0xFFFFFFFF:
                break
            if not code_lo <= word < code_hi:
                return len(data)
            at -= 4
        if at < 0:
            return len(data)
        end = at
    return end


MAP_LINE = re.compile(r'^ (\.text\S*)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$')
SYMBOL_LINE = re.compile(r'^\[\s*\d+\]\(sec\s+(-?\d+)\)\(fl \S+\)\(ty\s+(\S+)\)\(scl\s+(\d+)\) '
                         r'\(nx \d+\) 0x([0-9a-f]+) (.*)$')


def placed_code(map_path):
    """{(archive or object, member or None): {input section: address}} for the
    code the link map places.  A long section name stands on a line of its own,
    with its address on the next."""
    placed = {}
    pending = None
    with open(map_path, encoding='latin-1') as f:
        for line in f:
            if head := re.match(r'^ (\.text\S*)\s*$', line):
                pending = head.group(1)
                continue
            m = MAP_LINE.match(line.rstrip('\n'))
            section = m and (m.group(1) or pending)
            pending = None
            if not m or not section or int(m.group(3), 16) == 0 or int(m.group(2), 16) == 0:
                continue
            member = re.match(r'^(.*)\(([^()]*)\)$', m.group(4))
            key = (member.group(1), member.group(2)) if member else (m.group(4), None)
            placed.setdefault(key, {})[section] = int(m.group(2), 16)
    return placed


def object_functions(path, member, sections):
    """[(address, function)] of one object (or archive member), static
    functions included, placed at the sections' addresses."""
    run = subprocess.run(['x86_64-w64-mingw32-objdump', '-t', '-C', path], capture_output=True, text=True)
    found, current = [], None  # (section number, type, class, value, name)
    for line in run.stdout.splitlines():
        if start := re.match(r'^(\S+):\s+file format', line):
            current = start.group(1)
            continue
        sym = SYMBOL_LINE.match(line)
        if sym and (member is None or current == member):
            found.append((int(sym.group(1)), sym.group(2), sym.group(3), int(sym.group(4), 16), sym.group(5)))
    # A section's own symbol names it; functions are type 20.
    section_of = {sec: name for sec, ty, scl, _, name in found
                  if ty == '0' and scl == '3' and name.startswith('.')}
    return [(sections[section_of[sec]] + value, name) for sec, ty, _, value, name in found
            if ty == '20' and section_of.get(sec) in sections]


def function_names(map_path):
    """([(address, function)], [files missing]) from the link map and the
    objects it names."""
    if not os.path.exists(map_path):
        return [], [map_path]
    build = os.path.dirname(os.path.abspath(map_path))
    names, missing = [], []
    for (path, member), sections in placed_code(map_path).items():
        full = path if os.path.isabs(path) else os.path.join(build, path)
        if os.path.exists(full):
            names += object_functions(full, member, sections)
        elif full not in missing:
            missing.append(full)
    return sorted(names), missing


def function_at(names, address):
    return next((name for start, name in reversed(names) if start <= address), None)


class Report:
    def __init__(self):
        self.count = 0
        self.findings = []  # (address, instruction text, what it needs, function)
        self.lacking = 0  # findings of instructions an 80386 lacks
        self.functions = []  # (address, function) from the link map
        self.missing = []  # the link map or objects it names, when not there

    def unnamed(self):
        """Why the functions are not known, or None: without them the sweep's
        step goes unchecked where a function begins."""
        if self.missing:
            return 'missing: %s' % ', '.join(self.missing)
        if not self.functions:
            return 'the link map names no function'
        return None

    def cpu(self):
        if self.lacking:
            return 'more than an 80386'
        # Out of step, the sweep may have read other instructions than the
        # CPU will run.
        if self.unnamed() or any(f[2] != NO_X87 for f in self.findings):
            return 'not known, the disassembly may be out of step'
        return 'an 80386'


def scan(path, map_path=None):
    """Disassembles every executable section; returns (machine, Report)."""
    pe = pefile.PE(path, fast_load=True)
    machine = pe.FILE_HEADER.Machine
    mode = capstone.CS_MODE_32 if machine == I386_MACHINE else capstone.CS_MODE_64
    md = capstone.Cs(capstone.CS_ARCH_X86, mode)
    md.detail = True
    report = Report()
    names, report.missing = function_names(map_path or os.path.splitext(path)[0] + '.map')
    report.functions = names
    image = pe.OPTIONAL_HEADER.ImageBase
    for s in pe.sections:
        if not s.Characteristics & 0x20000020:  # code, or executable
            continue
        size = s.Misc_VirtualSize or s.SizeOfRawData
        data = s.get_data()[:size]
        base = image + s.VirtualAddress
        end = constructor_lists(data, base, base + size) if machine == I386_MACHINE else len(data)
        at = 0
        sweep = {}  # instruction start: (size, text)
        branches = []  # (address, text, target) of each direct branch
        while at < end:
            for insn in md.disasm(data[at:end], base + at):
                report.count += 1
                text = ('%s %s' % (insn.mnemonic, insn.op_str)).strip()
                sweep[insn.address] = (insn.size, text)
                if any(insn.group_name(g) == 'branch_relative' for g in insn.groups):
                    branches.append((insn.address, text, insn.operands[0].imm))
                if machine == I386_MACHINE:
                    cpu = needs(insn)
                    report.lacking += cpu is not None and cpu != NO_X87
                    if cpu:
                        report.findings.append((insn.address, text, cpu, function_at(names, insn.address)))
                at = insn.address - base + insn.size
            if at < end:
                if machine == I386_MACHINE:
                    report.findings.append((base + at, 'bytes %s' % data[at:at + 4].hex(' '), 'bytes that do not decode',
                                            function_at(names, base + at)))
                at += 1  # past the byte that does not decode
        # A sweep out of step with the code could read an instruction as
        # another: every function must begin where an instruction does.
        for address, name in names:
            if base <= address < base + end and address not in sweep:
                report.findings.append((address, name, 'a function the disassembly is out of step with', None))
        # Code can jump over bytes that are not code: the sweep reads them with
        # what follows as other instructions, and may be back in step before
        # the next function.  A direct jmp, jcc, call or loop names where the
        # code goes on, and that must be an instruction start too.
        if machine == I386_MACHINE:
            starts = sorted(sweep)
            for address, text, target in branches:
                if base <= target < base + size and target not in sweep:
                    report.findings.append((address, text, 'its target 0x%08X is %s' % (target, straddled(sweep, starts, target)),
                                            function_at(names, address)))
    return machine, report


def straddled(sweep, starts, target):
    """Where a target that is no instruction start falls in the sweep."""
    before = starts[bisect.bisect_right(starts, target) - 1] if starts and starts[0] < target else None
    if before is not None and target < before + sweep[before][0]:
        return 'inside %s at 0x%08X' % (sweep[before][1], before)
    return 'where the sweep found no instruction'


def describe(finding):
    address, text, cpu, function = finding
    where = ' in %s' % function if function else ''
    return '%s at 0x%08X%s (%s)' % (text, address, where, cpu)


def main(argv):
    if len(argv) not in (2, 3):
        print(__doc__.split('\n\n')[1])
        return 2
    machine, report = scan(argv[1], argv[2] if len(argv) == 3 else None)
    if not report.count:
        print('  code: no instruction found')
        return 1
    if machine != I386_MACHINE:
        print('  code: %d instructions (x86-64)' % report.count)
        return 0
    print('  code: %d instructions; the CPU it needs: %s' % (report.count, report.cpu()))
    for finding in report.findings:
        print('    ' + describe(finding))
    if report.unnamed():
        print('    functions not named, %s' % report.unnamed())
    return 1 if report.findings or report.unnamed() else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
