# An x86-32 process for the DLL: the image mapped as the Windows loader maps
# it, every import bound to a stub that Python implements, and threads that
# switch only where the DLL waits (Sleep, WaitForSingleObject, ExitThread).
import struct
from dataclasses import dataclass, field

from unicorn import (Uc, UcError, UC_ARCH_X86, UC_MODE_32, UC_HOOK_CODE, UC_HOOK_BLOCK, UC_HOOK_MEM_INVALID,
                     UC_PROT_NONE, UC_PROT_READ, UC_PROT_WRITE, UC_PROT_EXEC, UC_MEM_WRITE_PROT,
                     UC_MEM_FETCH_PROT, UC_MEM_READ_UNMAPPED, UC_MEM_WRITE_UNMAPPED, UC_MEM_FETCH_UNMAPPED)
from unicorn.x86_const import (UC_X86_REG_EAX, UC_X86_REG_EBX, UC_X86_REG_ECX, UC_X86_REG_EDX, UC_X86_REG_ESI,
                               UC_X86_REG_EDI, UC_X86_REG_EBP, UC_X86_REG_ESP, UC_X86_REG_EIP,
                               UC_X86_REG_EFLAGS, UC_X86_REG_FPCW, UC_X86_REG_MXCSR)

from capstone import Cs, CS_ARCH_X86, CS_MODE_32

from pe_image import PAGE, page_round

STUB_BASE, STUB_SIZE = 0x7FFE0000, 16       # int3 stubs, one per import, plus return addresses
STACK_BASE, STACK_SIZE = 0x40000000, 0x100000
HOST_BASE = 0x50000000                      # buffers the host hands to exports
EXPORT_RETURN, THREAD_RETURN = 'export returned', 'thread returned'
CALLEE_SAVED = {'ebx': UC_X86_REG_EBX, 'esi': UC_X86_REG_ESI, 'edi': UC_X86_REG_EDI, 'ebp': UC_X86_REG_EBP}
DIRECTION_FLAG = 0x400
HOST_FPCW, HOST_MXCSR = 0x007F, 0x9FC0      # single precision, flush to zero, denormals as zero
# A new thread's words are the process's defaults, unless another DLL's
# thread-attach code changed them: the render thread must set its own.
THREAD_FPCW, THREAD_MXCSR = 0x0C7F, 0xFFC0  # as the host's, and rounding towards zero
TIMEOUT_US = 120_000_000                    # host time one thread may run without a system call


class Fault(Exception):
    """The DLL did something a real processor or Windows would not survive."""


@dataclass
class Thread:
    handle: int
    stack_top: int
    state: str = 'ready'           # ready | host (main thread outside the DLL) | exited
    context: object = None         # unicorn context while switched out
    resume: object = None          # (return address, esp after return, result(), ready()) of a pending wait
    exit_code: int = None
    closed: int = 0                # CloseHandle calls on its handle
    priority: int = 0
    instructions: int = 0


@dataclass
class Machine:
    uc: Uc
    base: int
    exports: dict                  # name -> address
    entry: int
    stubs: dict                    # address -> (name, argument bytes, handler)
    threads: list
    current: Thread
    events: list = field(default_factory=list)   # (thread handle, name, args, result) per system call
    inject: dict = field(default_factory=dict)   # system call name -> the failure it returns instead (or a
                                                 # function of the arguments giving it, None for none)
    failures: list = field(default_factory=list)
    fault: str = ''
    retired_hooks: list = field(default_factory=list)   # to delete between runs of the processor
    counting: bool = False
    calls: int = 0                 # exports called
    block_sizes: dict = field(default_factory=dict)
    host_next: int = HOST_BASE
    state: dict = field(default_factory=dict)    # each system module's record, by name
    on_sleep: list = field(default_factory=list) # f(m, milliseconds): what time passing does
    on_free: list = field(default_factory=list)  # f(m, address, size) before memory goes back


def stdcall(dll, **handlers):
    """System calls {(dll, name): (argument bytes, handler)}; a handler takes
    (machine, thread, arguments...) and the stub removes four bytes per argument."""
    return {(dll, name): (4 * (h.__code__.co_argcount - 2), h) for name, h in handlers.items()}


def fail(m, message):
    m.failures.append(message)


def u32(m, address):
    return struct.unpack('<I', m.uc.mem_read(address, 4))[0]


def w32(m, address, value):
    m.uc.mem_write(address, struct.pack('<I', value & 0xFFFFFFFF))


def load(image, base, system_calls, counting=False):
    """Maps image at base (relocated when it is not the preferred one) and
    binds its imports to system_calls: {(dll, name): (argument bytes, handler)}."""
    uc = Uc(UC_ARCH_X86, UC_MODE_32)
    uc.mem_map(base, page_round(image.header_size), UC_PROT_READ)
    uc.mem_write(base, image.raw[:image.header_size])
    for s in image.sections:
        protection = ((UC_PROT_READ if s.readable else 0) | (UC_PROT_WRITE if s.writable else 0) |
                      (UC_PROT_EXEC if s.executable else 0))
        uc.mem_map(base + s.rva, page_round(s.virtual_size), protection or UC_PROT_NONE)
        uc.mem_write(base + s.rva, s.data)
    delta = (base - image.preferred_base) & 0xFFFFFFFF
    for rva in image.relocations:
        value = struct.unpack('<I', uc.mem_read(base + rva, 4))[0]
        uc.mem_write(base + rva, struct.pack('<I', (value + delta) & 0xFFFFFFFF))

    uc.mem_map(STUB_BASE, PAGE, UC_PROT_READ | UC_PROT_EXEC)
    uc.mem_write(STUB_BASE, b'\xCC' * PAGE)   # a stub run as code traps
    stubs = {}
    names = [EXPORT_RETURN, THREAD_RETURN] + [(i.dll, i.name) for i in image.imports]
    for n, name in enumerate(names):
        stubs[STUB_BASE + STUB_SIZE * n] = (name,) + system_calls.get(name, (0, None))
    m = Machine(uc, base, {name: base + rva for name, rva in image.exports.items()}, base + image.entry_rva,
                stubs, [], None, counting=counting)
    for n, i in enumerate(image.imports):
        if (i.dll, i.name) not in system_calls:
            fail(m, f'import {i.dll}!{i.name} has no implementation here')
        uc.mem_write(base + i.iat_rva, struct.pack('<I', STUB_BASE + STUB_SIZE * (n + 2)))

    uc.hook_add(UC_HOOK_CODE, lambda uc, address, size, _: uc.emu_stop(), begin=STUB_BASE, end=STUB_BASE + PAGE - 1)
    uc.hook_add(UC_HOOK_MEM_INVALID, _memory_fault, m)
    if counting:
        uc.hook_add(UC_HOOK_BLOCK, _count_block, m)
    m.threads.append(new_thread(m, None, None))   # the host's thread: the one that calls the exports
    m.threads[0].state = 'host'
    m.current = m.threads[0]
    return m


def _memory_fault(uc, access, address, size, value, m):
    kinds = {UC_MEM_WRITE_PROT: 'write into read-only memory', UC_MEM_FETCH_PROT: 'execution of data',
             UC_MEM_READ_UNMAPPED: 'read of unmapped memory', UC_MEM_WRITE_UNMAPPED: 'write to unmapped memory',
             UC_MEM_FETCH_UNMAPPED: 'jump to unmapped memory'}
    m.fault = f'{kinds.get(access, "memory fault")} at {address:#010x} ({size} bytes)'
    return False


def _count_block(uc, address, size, m):
    count = m.block_sizes.get((address, size))
    if count is None:
        count = sum(1 for _ in Cs(CS_ARCH_X86, CS_MODE_32).disasm_lite(bytes(uc.mem_read(address, size)), address))
        m.block_sizes[(address, size)] = count
    m.current.instructions += count


def host_buffer(m, data):
    """Host memory holding data (bytes, or a size to zero), for exports that take pointers."""
    size = data if isinstance(data, int) else len(data)
    address = m.host_next
    m.uc.mem_map(address, page_round(size or 1))
    if not isinstance(data, int):
        m.uc.mem_write(address, data)
    m.host_next += page_round(size or 1) + PAGE
    return address


def entry_esp(below, k):
    """A stack pointer under below for entering a function, its return address
    at 4, 8 or 12 (by k) past a 16-byte boundary: never the 16 that compilers
    assume by default, as Windows promises only 4."""
    return (below & ~15) - 4 - 4 * (k % 3 + 1)


def new_thread(m, start, parameter, handle=None):
    """A thread with its own stack, entered with foreign floating-point words."""
    n = len(m.threads)
    bottom = STACK_BASE + n * (STACK_SIZE + PAGE)   # an unmapped page between stacks
    m.uc.mem_map(bottom, STACK_SIZE)
    t = Thread(handle or 0, bottom + STACK_SIZE)
    if start is not None:
        esp = entry_esp(t.stack_top - 64, n)
        w32(m, esp, STUB_BASE + STUB_SIZE)   # THREAD_RETURN
        w32(m, esp + 4, parameter)
        t.context = _registers(m, start, esp, {UC_X86_REG_FPCW: THREAD_FPCW, UC_X86_REG_MXCSR: THREAD_MXCSR})
    return t


def _registers(m, eip, esp, values):
    # Built on the running context so that the current thread keeps its own.
    uc = m.uc
    saved = uc.context_save()
    garbage = {UC_X86_REG_EAX: 0xA5A5A5A5, UC_X86_REG_ECX: 0xC5C5C5C5, UC_X86_REG_EDX: 0xD5D5D5D5}
    garbage.update({reg: 0x5A5A0000 + i for i, reg in enumerate(CALLEE_SAVED.values())})
    garbage.update({UC_X86_REG_FPCW: HOST_FPCW, UC_X86_REG_MXCSR: HOST_MXCSR})
    garbage.update(values)
    for reg, value in garbage.items():
        uc.reg_write(reg, value)
    uc.reg_write(UC_X86_REG_ESP, esp)
    uc.reg_write(UC_X86_REG_EIP, eip)
    uc.reg_write(UC_X86_REG_EFLAGS, 0x202)
    context = uc.context_save()
    uc.context_restore(saved)
    return context


def wait(result=lambda: 0, ready=lambda: True):
    """From a system call: its thread waits until ready(), then the call returns result()."""
    return ('wait', result, ready)


def _eligible(t):
    return t.state == 'ready' and (t.resume is None or t.resume[3]())


def _switch_in(m, t):
    m.current = t
    m.uc.context_restore(t.context)
    if t.resume:
        address, esp, result, _ = t.resume
        t.resume = None
        _return_from_call(m, address, esp, result())


def _return_from_call(m, address, esp, result):
    uc = m.uc
    uc.reg_write(UC_X86_REG_EAX, result & 0xFFFFFFFF)
    uc.reg_write(UC_X86_REG_ECX, 0xCCCCCCCC)   # the system does not keep the scratch registers
    uc.reg_write(UC_X86_REG_EDX, 0xDDDDDDDD)
    uc.reg_write(UC_X86_REG_ESP, esp)
    uc.reg_write(UC_X86_REG_EIP, address)


def _next_thread(m):
    order = m.threads[m.threads.index(m.current) + 1:] + m.threads[:m.threads.index(m.current) + 1]
    return next((t for t in order if _eligible(t)), None)


def run(m, until):
    """Runs the threads until until() holds at a switch. Raises Fault."""
    uc = m.uc
    if m.current.context is None or not _eligible(m.current):
        t = _next_thread(m)
        if t is None:
            raise Fault('no thread can run: ' + ', '.join(f'{x.handle:#x} {x.state}' for x in m.threads))
        _switch_in(m, t)
    else:
        _switch_in(m, m.current)
    while True:
        eip = uc.reg_read(UC_X86_REG_EIP)
        try:
            uc.emu_start(eip, 0xFFFFFFFF, timeout=TIMEOUT_US)
        except UcError as error:
            raise Fault(f'{m.fault or error} {_where(m)}')
        while m.retired_hooks:
            uc.hook_del(m.retired_hooks.pop())
        if m.fault:   # raised by a check that stopped the processor
            raise Fault(f'{m.fault} {_where(m)}')
        eip = uc.reg_read(UC_X86_REG_EIP)
        if eip not in m.stubs:
            raise Fault(f'no system call for {TIMEOUT_US // 1000000} s (a wait that spins?) {_where(m)}')
        if _system_call(m, m.current, eip) and _switch(m, until):
            return


def _system_call(m, t, eip):
    """Carries out the call at stub eip; True when t has stopped running."""
    uc = m.uc
    name, argument_bytes, handler = m.stubs[eip]
    esp = uc.reg_read(UC_X86_REG_ESP)
    if name == EXPORT_RETURN:
        t.state = 'host'
        return True
    if name == THREAD_RETURN:
        name, argument_bytes, handler = ('KERNEL32.DLL', 'ExitThread'), 0, _thread_returned
    if handler is None:
        raise Fault(f'call of {name[0]}!{name[1]}, which is not implemented')
    address = u32(m, esp)
    args = [u32(m, esp + 4 + 4 * i) for i in range(argument_bytes // 4)]
    injected = m.inject.get(name[1])   # a failure, or a function of the arguments giving one or None
    result = injected(m, *args) if callable(injected) else injected
    if result is None:
        result = handler(m, t, *args)
    m.events.append((t.handle, name[1], tuple(args), result))
    if t.state == 'exited':
        return True
    esp += 4 + argument_bytes
    if isinstance(result, tuple) and result[0] == 'wait':
        t.resume = (address, esp, result[1], result[2])
        return True
    _return_from_call(m, address, esp, result)
    return False


def _thread_returned(m, t):
    t.state, t.exit_code = 'exited', m.uc.reg_read(UC_X86_REG_EAX)
    return 0


def _switch(m, until):
    t = m.current
    if t.state != 'exited':
        t.context = m.uc.context_save()
    if until():
        return True
    nxt = _next_thread(m)
    if nxt is None:
        raise Fault('every thread waits: ' + ', '.join(f'{x.handle:#x} {x.state}' for x in m.threads))
    _switch_in(m, nxt)
    return False


def call(m, name, *args, result=1, pops=None):
    """Calls an export (or 'DllMain') from the host's thread as __stdcall.
    Checks its result (None: any), that it removed exactly pops bytes (default
    all its arguments), kept EBX/ESI/EDI/EBP, cleared DF and left the host's
    floating-point words alone. Returns EAX."""
    host = m.threads[0]
    address = m.entry if name == 'DllMain' else m.exports.get(name)
    if address is None:
        fail(m, f'{name}: not exported')
        return None
    pops = 4 * len(args) if pops is None else pops
    m.calls += 1
    esp = entry_esp(host.stack_top - 64 - 4 * len(args), m.calls)
    w32(m, esp, STUB_BASE)   # EXPORT_RETURN
    for i, value in enumerate(args):
        w32(m, esp + 4 + 4 * i, value)
    canaries = {reg: 0x0B5E55E0 + 0x1111 * i for i, reg in enumerate(CALLEE_SAVED.values())}
    host.context = _registers(m, address, esp, canaries)
    host.state, m.current = 'ready', host
    run(m, lambda: host.state == 'host')
    uc = m.uc
    got = uc.reg_read(UC_X86_REG_EAX)
    label = f'{name}({", ".join(f"{a:#x}" for a in args)})'
    if result is not None and got != result:
        fail(m, f'{label} returned {got:#x}, not {result:#x}')
    removed = uc.reg_read(UC_X86_REG_ESP) - (esp + 4)
    if removed != pops:
        fail(m, f'{label} removed {removed} bytes of arguments, not {pops}')
    for reg_name, reg in CALLEE_SAVED.items():
        if uc.reg_read(reg) != canaries[reg]:
            fail(m, f'{label} changed {reg_name.upper()} ({canaries[reg]:#x} -> {uc.reg_read(reg):#x})')
    if uc.reg_read(UC_X86_REG_EFLAGS) & DIRECTION_FLAG:
        fail(m, f'{label} returned with the direction flag set')
    for word, reg, want in (('x87 control word', UC_X86_REG_FPCW, HOST_FPCW), ('MXCSR', UC_X86_REG_MXCSR, HOST_MXCSR)):
        if uc.reg_read(reg) != want:
            fail(m, f"{label} changed the caller's {word}: {want:#06x} -> {uc.reg_read(reg):#06x}")
    return got


def _where(m):
    """The running thread, its instruction and its last system call, for a fault."""
    address = m.uc.reg_read(UC_X86_REG_EIP)
    thread = 'the host thread' if m.current is m.threads[0] else f'thread {m.current.handle:#x}'
    where = f'in {thread} at {address:#010x} (image offset {address - m.base:#x})'
    try:
        insn = next(Cs(CS_ARCH_X86, CS_MODE_32).disasm(bytes(m.uc.mem_read(address, 16)), address), None)
        where += f': {insn.mnemonic} {insn.op_str}' if insn else ''
    except UcError:
        pass
    last = next((e for e in reversed(m.events) if e[0] == m.current.handle), None)
    return where + (f', after {last[1]}({", ".join(hex(a) for a in last[2])})' if last else '')
