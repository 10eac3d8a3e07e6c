# The wave-output device as WINMM documents it, for one looping header: what
# it is opened with, the header's life (prepared, queued, reset, unprepared),
# and a byte counter that moves by uneven steps whenever a thread sleeps.
# Whatever the counter passes is what a listener hears; it is kept.
import random
import struct
from dataclasses import dataclass, field

from kernel32 import kernel
from machine import fail, stdcall, u32, w32

WAVE_MAPPER, CALLBACK_NULL, TIME_BYTES = 0xFFFFFFFF, 0, 4
WHDR_DONE, WHDR_PREPARED, WHDR_BEGINLOOP, WHDR_ENDLOOP, WHDR_INQUEUE = 1, 2, 4, 8, 0x10
MMSYSERR_INVALHANDLE, MMSYSERR_INVALPARAM, WAVERR_STILLPLAYING, WAVERR_UNPREPARED = 5, 11, 33, 34
WAVEHDR_SIZE, MMTIME_SIZE = 32, 12
HANDLE = 0x0000DE10
FORMAT = (1, 2, 44100, 44100 * 4, 4, 16)   # PCM, stereo, rate, bytes per second, frame bytes, bits
BYTES_PER_SECOND = 44100 * 4


@dataclass
class Device:
    rng: random.Random
    wrap_after: int                 # bytes heard before the counter jumps to just short of 2^32
    handle: int = 0                 # the open device; 0 when closed
    header: int = 0                 # the header's address
    prepared: bool = False
    queued: bool = False            # written and not yet reset
    ring: int = 0                   # what the header covers
    ring_bytes: int = 0
    counter: int = 0                # the position waveOutGetPosition reports, modulo 2^32
    jumped: bool = False            # the counter has made its jump
    wrapped: bool = False           # and passed 2^32
    prerender: bytes = b''          # the ring as it was written
    heard: bytearray = field(default_factory=bytearray)


def device(m):
    return m.state['winmm']


def attach(m, seed, wrap_after_seconds):
    m.state['winmm'] = Device(random.Random(seed), int(wrap_after_seconds * BYTES_PER_SECOND) & ~3)
    m.on_sleep.append(_time_passes)
    m.on_free.append(_check_release)


def _flags(m, d, set_bits=0, clear_bits=0):
    w32(m, d.header + 16, (u32(m, d.header + 16) | set_bits) & ~clear_bits)


def _open_handle(m, d, handle, call):
    if handle == d.handle and handle:
        return True
    if handle:   # null is the DLL's "no device", harmless; anything else is a stale handle
        fail(m, f'{call} on {handle:#x}, which is not the open device')
    return False


def _step(d, milliseconds):
    # Frames the device plays while a thread sleeps: uneven, sometimes none,
    # now and then a long stall (at most 1.4 s: the ring holds 2 s). Across
    # the wrap of the counter only short steps: a thread that misreads the
    # wrap then sees the device jump back and renders over what it is about
    # to play; after a long step that error could go unheard.
    r = d.rng.random()
    if r < 0.15:
        return 0
    if r < 0.90 or (d.jumped and not d.wrapped):
        return d.rng.randint(1, int(milliseconds * 44.1 * 2) + 1)
    if r < 0.98:
        return d.rng.randint(1000, 20000)
    return d.rng.randint(20000, 60000)


def _time_passes(m, milliseconds):
    d = device(m)
    if not d.queued:
        return
    played = left = 4 * _step(d, milliseconds)
    while left:
        offset = len(d.heard) % d.ring_bytes
        n = min(left, d.ring_bytes - offset)
        d.heard += m.uc.mem_read(d.ring + offset, n)
        left -= n
    if not d.jumped and len(d.heard) >= d.wrap_after:
        # Hours of play in whole laps of the ring: the ring's position does not
        # move, the 32-bit count comes within a quarter second of wrapping.
        d.counter += (2 ** 32 - BYTES_PER_SECOND // 4 - d.counter) // d.ring_bytes * d.ring_bytes
        d.jumped = True
    before = d.counter
    d.counter = (d.counter + played) & 0xFFFFFFFF
    d.wrapped |= d.counter < before


def _check_release(m, address, size):
    d = device(m)
    if d.header and address <= d.ring < address + size and (d.prepared or d.queued):
        fail(m, f'GlobalFree of the ring while the device still holds its header '
                f'({"playing" if d.queued else "prepared"})')


def wave_out_open(m, t, handle_address, device_id, format_address, callback, instance, flags):
    d = device(m)
    if d.handle:
        fail(m, 'waveOutOpen while a device is open')
    if device_id != WAVE_MAPPER or flags != CALLBACK_NULL or callback:
        fail(m, f'waveOutOpen on device {device_id:#x} with flags {flags:#x}, callback {callback:#x}: '
                'want the wave mapper and no callback')
    got = struct.unpack('<HHIIHH', m.uc.mem_read(format_address, 16))
    if got != FORMAT:
        fail(m, f'waveOutOpen format (tag, channels, rate, bytes/s, align, bits) {got}, want {FORMAT}')
    w32(m, handle_address, HANDLE)
    d.handle = HANDLE
    return 0


def wave_out_prepare_header(m, t, handle, header, size):
    d = device(m)
    if not _open_handle(m, d, handle, 'waveOutPrepareHeader'):
        return MMSYSERR_INVALHANDLE
    if size != WAVEHDR_SIZE or (d.prepared and header != d.header):
        fail(m, f'waveOutPrepareHeader of {size} bytes at {header:#x}: want one {WAVEHDR_SIZE}-byte header')
    d.header, d.prepared = header, True
    _flags(m, d, WHDR_PREPARED, WHDR_DONE)
    return 0


def wave_out_write(m, t, handle, header, size):
    d = device(m)
    if not _open_handle(m, d, handle, 'waveOutWrite'):
        return MMSYSERR_INVALHANDLE
    if header != d.header or not d.prepared:
        fail(m, 'waveOutWrite of a header that is not prepared')
        return WAVERR_UNPREPARED
    data, length, _, _, flags, loops = struct.unpack('<6I', m.uc.mem_read(header, 24))
    block = kernel(m).blocks.get(data)
    if not block or block.freed or block.size != length:
        fail(m, f'the header covers {length} bytes at {data:#x}, not one whole allocated ring')
    if flags & (WHDR_BEGINLOOP | WHDR_ENDLOOP) != WHDR_BEGINLOOP | WHDR_ENDLOOP or loops != 0xFFFFFFFF:
        fail(m, f'the header (flags {flags:#x}, loops {loops:#x}) does not loop for ever')
    d.ring, d.ring_bytes, d.queued, d.counter, d.jumped, d.wrapped = data, length, True, 0, False, False
    d.heard = bytearray()
    d.prerender = bytes(m.uc.mem_read(data, length))
    _flags(m, d, WHDR_INQUEUE, WHDR_DONE)
    return 0


def wave_out_get_position(m, t, handle, time_address, size):
    d = device(m)
    if not _open_handle(m, d, handle, 'waveOutGetPosition'):
        return MMSYSERR_INVALHANDLE
    kind = u32(m, time_address)
    if size != MMTIME_SIZE or kind != TIME_BYTES:
        fail(m, f'waveOutGetPosition asks for format {kind} in {size} bytes: want TIME_BYTES in {MMTIME_SIZE}')
    w32(m, time_address, TIME_BYTES)
    w32(m, time_address + 4, d.counter if d.queued else 0)
    return 0


def wave_out_unprepare_header(m, t, handle, header, size):
    d = device(m)
    if not _open_handle(m, d, handle, 'waveOutUnprepareHeader'):
        return MMSYSERR_INVALHANDLE
    result = 0
    if header != d.header:
        fail(m, f'waveOutUnprepareHeader of {header:#x}, not the prepared header')
        result = MMSYSERR_INVALPARAM
    elif d.queued:
        fail(m, 'waveOutUnprepareHeader while the device still plays the header: WAVERR_STILLPLAYING')
        result = WAVERR_STILLPLAYING
    elif d.prepared:
        d.prepared = False
        _flags(m, d, 0, WHDR_PREPARED)
    return result


def wave_out_reset(m, t, handle):
    d = device(m)
    if not _open_handle(m, d, handle, 'waveOutReset'):
        return MMSYSERR_INVALHANDLE
    if d.queued:
        _flags(m, d, WHDR_DONE, WHDR_INQUEUE)
    d.queued, d.counter = False, 0
    return 0


def wave_out_close(m, t, handle):
    d = device(m)
    if not _open_handle(m, d, handle, 'waveOutClose'):
        return MMSYSERR_INVALHANDLE
    if d.queued:
        fail(m, 'waveOutClose while the device still plays: WAVERR_STILLPLAYING')
        return WAVERR_STILLPLAYING
    d.handle = 0
    return 0


CALLS = stdcall('WINMM.DLL', waveOutOpen=wave_out_open, waveOutPrepareHeader=wave_out_prepare_header,
                waveOutWrite=wave_out_write, waveOutGetPosition=wave_out_get_position,
                waveOutUnprepareHeader=wave_out_unprepare_header, waveOutReset=wave_out_reset,
                waveOutClose=wave_out_close)
