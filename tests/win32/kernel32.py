# KERNEL32 as the DLL uses it: fixed global memory with guard bytes around
# every block, and threads that run one at a time, switching where they wait.
from dataclasses import dataclass, field

from machine import PAGE, fail, new_thread, stdcall, wait, w32
from pe_image import page_round

HEAP_BASE = 0x20000000
FRONT_GUARD = 24      # blocks start at 8 modulo 16: as aligned as Windows promises, no more
GUARD, UNSET = 0xFD, 0xCD
GMEM_ZEROINIT = 0x40
INFINITE, WAIT_TIMEOUT, WAIT_FAILED = 0xFFFFFFFF, 0x102, 0xFFFFFFFF


@dataclass
class Block:
    address: int
    size: int
    region: int               # the mapped pages: guard, block, guard
    region_size: int
    freed: int = 0


@dataclass
class Kernel:
    blocks: dict = field(default_factory=dict)   # address -> Block, freed ones too
    next_region: int = HEAP_BASE
    next_handle: int = 0x1F0


def kernel(m):
    return m.state.setdefault('kernel32', Kernel())


def live_blocks(m):
    return [b for b in kernel(m).blocks.values() if not b.freed]


def touched_guard(m, b):
    """The offset from the block of the first guard byte not as written, or None."""
    front = bytes(m.uc.mem_read(b.region, b.address - b.region))
    back = bytes(m.uc.mem_read(b.address + b.size, b.region + b.region_size - b.address - b.size))
    for base, data in ((b.region - b.address, front), (b.size, back)):
        for i, value in enumerate(data):
            if value != GUARD:
                return base + i
    return None


def global_alloc(m, t, flags, size):
    if flags & ~GMEM_ZEROINIT:
        fail(m, f'GlobalAlloc flags {flags:#x}: only fixed memory is modelled')
        return 0
    k = kernel(m)
    region_size = page_round(FRONT_GUARD + size + 16)
    b = Block(k.next_region + FRONT_GUARD, size, k.next_region, region_size)
    k.next_region += region_size + PAGE   # an unmapped page after every block
    m.uc.mem_map(b.region, region_size)
    m.uc.mem_write(b.region, bytes([GUARD]) * region_size)
    m.uc.mem_write(b.address, bytes([0 if flags & GMEM_ZEROINIT else UNSET]) * size)
    k.blocks[b.address] = b
    return b.address


def global_free(m, t, address):
    b = kernel(m).blocks.get(address)
    if b is None or b.freed:
        fail(m, f'GlobalFree({address:#x}): ' + ('freed twice' if b else 'not a block GlobalAlloc returned'))
        return address
    for check in m.on_free:
        check(m, b.address, b.size)
    offset = touched_guard(m, b)
    if offset is not None:
        fail(m, f'guard byte at offset {offset} of a {b.size}-byte block was overwritten')
    m.uc.mem_unmap(b.region, b.region_size)   # any later use faults
    b.freed = 1
    return 0


def thread_of(m, handle):
    return next((x for x in m.threads[1:] if x.handle == handle and handle and not x.closed), None)


def create_thread(m, t, attributes, stack_size, start, parameter, flags, id_address):
    if flags:
        fail(m, f'CreateThread flags {flags:#x}: the thread would not start')
    k = kernel(m)
    k.next_handle += 4
    m.threads.append(new_thread(m, start, parameter, k.next_handle))
    if id_address:
        w32(m, id_address, 0x1000 + len(m.threads))
    return k.next_handle


def set_thread_priority(m, t, handle, priority):
    target = thread_of(m, handle)
    if target:
        target.priority = priority
    return 1 if target else 0


def sleep(m, t, milliseconds):
    for passes in m.on_sleep:
        passes(m, milliseconds)
    return wait()


def wait_for_single_object(m, t, handle, milliseconds):
    target = thread_of(m, handle)
    if target is None:
        fail(m, f'WaitForSingleObject({handle:#x}): not an open thread handle')
        return WAIT_FAILED
    ended = lambda: target.state == 'exited'
    if ended() or milliseconds == 0:
        return 0 if ended() else WAIT_TIMEOUT
    return wait(lambda: 0 if ended() else WAIT_TIMEOUT, lambda: ended() or milliseconds != INFINITE)


def close_handle(m, t, handle):
    target = thread_of(m, handle)
    if target is None:
        fail(m, f'CloseHandle({handle:#x}): not an open handle')
        return 0
    target.closed += 1
    return 1


def exit_thread(m, t, code):
    if t is m.threads[0]:
        fail(m, "ExitThread on the host's thread")
    t.state, t.exit_code = 'exited', code
    return 0


CALLS = stdcall('KERNEL32.DLL', GlobalAlloc=global_alloc, GlobalFree=global_free, CreateThread=create_thread,
                SetThreadPriority=set_thread_priority, Sleep=sleep, WaitForSingleObject=wait_for_single_object,
                CloseHandle=close_handle, ExitThread=exit_thread)
