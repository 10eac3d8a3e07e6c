# A real processor faults when an SSE instruction's 16-byte memory operand is
# not 16-byte aligned; the emulator does not. Find those instructions in the
# code and check their operand's address when they run.
from capstone import Cs, CS_ARCH_X86, CS_MODE_32
from capstone.x86 import X86_OP_MEM, X86_OP_REG
from unicorn import UC_HOOK_CODE
from unicorn import x86_const

# Instructions with an XMM operand and memory that may be unaligned, or that
# read 8 bytes or fewer.
UNALIGNED = {'movups', 'movupd', 'movdqu', 'lddqu', 'maskmovdqu', 'movd', 'movq', 'movlps', 'movhps', 'movlpd',
             'movhpd', 'cvtps2pd', 'cvtdq2pd', 'cvtpi2ps', 'cvtpi2pd', 'movddup', 'insertps', 'extractps'}
CHECKS_PER_INSTRUCTION = 64   # an operand's alignment is set by its call path: a few runs tell;
                              # then the check goes (at the next system call), for speed


def needs_alignment(insn):
    name = insn.mnemonic
    if name in UNALIGNED or name.startswith(('pinsr', 'pextr', 'pmovzx', 'pmovsx', 'comis', 'ucomis', 'v')):
        return False
    if name.endswith(('ss', 'sd')) and not name.startswith('p'):   # scalar single and double
        return False
    xmm = any(op.type == X86_OP_REG and insn.reg_name(op.reg).startswith('xmm') for op in insn.operands)
    return xmm and any(op.type == X86_OP_MEM for op in insn.operands)


def find(code, address):
    """The instructions in code (loaded at address) that need 16-byte aligned memory."""
    disassembler = Cs(CS_ARCH_X86, CS_MODE_32)
    disassembler.detail = True
    disassembler.skipdata = True
    return [insn for insn in disassembler.disasm(code, address) if insn.id and needs_alignment(insn)]


def _register(insn, reg):
    return getattr(x86_const, 'UC_X86_REG_' + insn.reg_name(reg).upper()) if reg else None


def watch(m, instructions, on_fault):
    """Adds a check to each instruction: on_fault(m, message) for an unaligned operand."""
    for insn in instructions:
        mem = next(op.mem for op in insn.operands if op.type == X86_OP_MEM)
        base, index = _register(insn, mem.base), _register(insn, mem.index)
        state = {'left': CHECKS_PER_INSTRUCTION}

        def check(uc, address, size, _, base=base, index=index, mem=mem, state=state):
            state['left'] -= 1
            if state['left'] == 0:
                m.retired_hooks.append(state['hook'])
            target = mem.disp + (uc.reg_read(base) if base else 0) + (uc.reg_read(index) * mem.scale if index else 0)
            if target & 15:
                on_fault(m, f'16-byte operand at {target & 0xFFFFFFFF:#010x}, not 16-byte aligned (a processor faults)')
                uc.emu_stop()

        state['hook'] = m.uc.hook_add(UC_HOOK_CODE, check, begin=insn.address, end=insn.address)
