# The wave-output device as WINMM documents it: what it is opened with, the
# life of each header (prepared, queued, played or reset, unprepared), and a
# byte counter that moves whenever a thread sleeps (by uneven steps, or
# regularly) or, paced by the processor, also as the DLL's instructions run.
# Either one header loops for ever over a ring, or headers played once each
# are queued in turn, each marked done when played. Whatever the device plays
# is what a listener hears; it is kept. A device whose queue runs dry plays
# silence (not counted); a write after such silence, unless the device was
# paused meanwhile, is a gap the listener heard.
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
RING_RATE = 44100                 # play and play2
BYTES_PER_SECOND = RING_RATE * 4
QUEUE_LIMIT = 4                   # headers queued at once: the lead the library promises
LOOP_FOREVER = 0xFFFFFFFF


def block_bytes(rate):
    """The bytes of one of the library's 20 ms blocks at rate."""
    return ((rate * 20 // 1000 + 3) & ~3) * 4


@dataclass
class Buffer:                       # a header written and not yet played or reset
    header: int
    data: int
    length: int
    looping: bool
    written: bytes                  # the buffer as it was when written
    played: int = 0


@dataclass
class Device:
    rng: random.Random
    wrap_after: int                 # ring: bytes heard before the counter jumps to just short of 2^32
    handle: int = 0                 # the open device; 0 when closed
    rate: int = 0                   # as opened
    headers: dict = field(default_factory=dict)   # prepared header -> (data, length) when prepared
    queue: list = field(default_factory=list)     # Buffers, in the order they play
    paused: bool = False
    started: bool = False           # written to since the open or the last reset
    pacing: str = 'random'          # 'regular': every millisecond slept plays a millisecond; 'cpu': so
    cpu_speed: float = 0.0          # do the instructions run, at cpu_speed a second on one processor
    counted: int = 0                # instructions run when the device last caught up with them
    carry: float = 0.0              # regular pacing's fraction of a frame
    ring: int = 0                   # the looping header's buffer
    ring_bytes: int = 0
    counter: int = 0                # the position waveOutGetPosition reports, modulo 2^32
    reported: int = 0               # what it last reported
    written_bytes: int = 0          # bytes written once-only since the open or the last reset
    jumped: bool = False            # ring: the counter has made its jump
    wrapped: bool = False           # and passed 2^32
    prerender: bytes = b''          # the ring as it was written
    heard: bytearray = field(default_factory=bytearray)   # since the ring was written, or the open
    tape: bytearray = field(default_factory=bytearray)    # every once-only buffer ever played
    sleeps: int = 0                 # Sleep calls of any thread
    dry: str = ''                   # the pacing when the queue ran dry and the device played silence since
    gaps: list = field(default_factory=list)      # (tape bytes, pacing) at each gap
    pauses: list = field(default_factory=list)    # (tape bytes, headers queued) at each waveOutPause
    restarts: list = field(default_factory=list)  # tape bytes at each waveOutRestart

    @property
    def queued(self):
        return bool(self.queue)

    @property
    def prepared(self):
        return bool(self.headers)


def device(m):
    return m.state['winmm']


def attach(m, seed, wrap_after_seconds):
    m.state['winmm'] = Device(random.Random(seed), int(wrap_after_seconds * BYTES_PER_SECOND) & ~3)
    m.on_sleep.append(_time_passes)
    m.on_free.append(_check_release)


def _flags(m, header, set_bits=0, clear_bits=0):
    try:
        w32(m, header + 16, (u32(m, header + 16) | set_bits) & ~clear_bits)
    except Exception:   # the DLL freed it: _check_release has said so
        pass


def _open_handle(m, d, handle, call):
    if handle == d.handle and handle:
        return True
    if handle:   # null is the DLL's "no device", harmless; anything else is a stale handle
        fail(m, f'{call} on {handle:#x}, which is not the open device')
    return False


def _step(d, milliseconds):
    # Frames the device plays while a thread sleeps. Regular: exactly the
    # time slept. Random: uneven, sometimes none, now and then a long stall
    # (at most 1.4 s at 44100: the ring holds 2 s; a queue runs dry). Across
    # the wrap of the ring's counter only short steps: a thread that misreads
    # the wrap then sees the device jump back and renders over what it is
    # about to play; after a long step that error could go unheard.
    if d.pacing != 'random':
        d.carry += milliseconds * d.rate / 1000
        frames = int(d.carry)
        d.carry -= frames
        return frames
    scale = d.rate / RING_RATE
    r = d.rng.random()
    if r < 0.15:
        return 0
    if r < 0.90 or (d.jumped and not d.wrapped):
        return d.rng.randint(1, int(milliseconds * d.rate / 1000 * 2) + 1)
    if r < 0.98:
        return int(d.rng.randint(1000, 20000) * scale)
    return int(d.rng.randint(20000, 60000) * scale)


def _check_queued(m, d):
    """The headers the device holds, as it was handed them."""
    for b in d.queue:
        data, length, _, _, flags = struct.unpack('<5I', m.uc.mem_read(b.header, 20))
        if (data, length) != (b.data, b.length) or flags & (WHDR_PREPARED | WHDR_INQUEUE) != \
                WHDR_PREPARED | WHDR_INQUEUE:
            fail(m, f'the header at {b.header:#x} was rewritten while the device plays it (buffer {data:#x}, '
                    f'{length} bytes, flags {flags:#x})')
            b.data, b.length = data, length   # told once


def _time_passes(m, milliseconds):
    d = device(m)
    d.sleeps += 1
    _catch_up(m, d)
    if d.started and not d.paused:
        _play(m, d, 4 * _step(d, milliseconds))


def _catch_up(m, d):
    # Paced by the processor: the device plays on while the DLL computes,
    # as long as the instructions run since it last caught up take.
    if d.pacing != 'cpu':
        return
    counted = sum(t.instructions for t in m.threads)
    d.carry += (counted - d.counted) / d.cpu_speed * d.rate
    d.counted = counted
    frames = int(d.carry)
    d.carry -= frames
    if d.started and not d.paused:
        _play(m, d, 4 * frames)


def _play(m, d, left):
    _check_queued(m, d)
    if d.queue and d.queue[0].looping:
        _play_ring(m, d, left)
        return
    while left and d.queue:
        b = d.queue[0]
        n = min(left, b.length - b.played)
        sound = bytes(m.uc.mem_read(b.data + b.played, n))
        if sound != b.written[b.played:b.played + n]:
            fail(m, f'the buffer at {b.data:#x} changed while queued, before the device played it')
            b.written = b.written[:b.played] + sound + b.written[b.played + n:]
        d.heard += sound
        d.tape += sound
        b.played += n
        left -= n
        d.counter = (d.counter + n) & 0xFFFFFFFF
        if b.played == b.length:
            _flags(m, b.header, WHDR_DONE, WHDR_INQUEUE)
            d.queue.pop(0)
    if left and not d.dry:
        d.dry = d.pacing


def _play_ring(m, d, played):
    left = played
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
    for header, (data, length) in d.headers.items():
        playing = any(b.header == header for b in d.queue)
        for what, start, n in (('header', header, WAVEHDR_SIZE), ('buffer', data, length)):
            if start < address + size and address < start + n:
                fail(m, f'GlobalFree of memory holding a {what} the device '
                        f'{"plays" if playing else "holds prepared"} ({start:#x}, {n} bytes)')


def wave_out_open(m, t, handle_address, device_id, format_address, callback, instance, flags):
    d = device(m)
    if d.handle:
        fail(m, 'waveOutOpen while a device is open')
    if device_id != WAVE_MAPPER or flags != CALLBACK_NULL or callback:
        fail(m, f'waveOutOpen on device {device_id:#x} with flags {flags:#x}, callback {callback:#x}: '
                'want the wave mapper and no callback')
    got = struct.unpack('<HHIIHH', m.uc.mem_read(format_address, 16))
    rate = got[2]
    if got != (1, 2, rate, rate * 4, 4, 16) or not 8000 <= rate <= 192000:
        fail(m, f'waveOutOpen format (tag, channels, rate, bytes/s, align, bits) {got}, '
                'want 16-bit stereo PCM at 8000..192000 Hz')
    w32(m, handle_address, HANDLE)
    d.handle, d.rate, d.counter, d.reported, d.written_bytes = HANDLE, rate, 0, 0, 0
    d.paused = d.started = False
    d.dry = ''
    d.heard = bytearray()
    return 0


def wave_out_prepare_header(m, t, handle, header, size):
    d = device(m)
    _catch_up(m, d)
    if not _open_handle(m, d, handle, 'waveOutPrepareHeader'):
        return MMSYSERR_INVALHANDLE
    if size != WAVEHDR_SIZE:
        fail(m, f'waveOutPrepareHeader of {size} bytes at {header:#x}: want a {WAVEHDR_SIZE}-byte header')
        return MMSYSERR_INVALPARAM
    data, length, _, _, flags = struct.unpack('<5I', m.uc.mem_read(header, 20))
    if any(b.header == header for b in d.queue):
        fail(m, f'waveOutPrepareHeader of the header at {header:#x}, which the device plays')
        return WAVERR_STILLPLAYING
    if header in d.headers:
        if flags & WHDR_PREPARED and d.headers[header] == (data, length):
            return 0   # prepared already: no effect
        fail(m, f'the prepared header at {header:#x} was rewritten before it was unprepared')
    if len(d.headers) >= QUEUE_LIMIT and header not in d.headers:
        fail(m, f'waveOutPrepareHeader of a header at {header:#x} while {len(d.headers)} are prepared')
    d.headers[header] = (data, length)
    _flags(m, header, WHDR_PREPARED, WHDR_DONE)
    return 0


def _one_allocation(m, data, length):
    """The live block that holds [data, data + length), or None."""
    return next((b for b in kernel(m).blocks.values()
                 if not b.freed and b.address <= data and data + length <= b.address + b.size), None)


def wave_out_write(m, t, handle, header, size):
    d = device(m)
    _catch_up(m, d)
    if not _open_handle(m, d, handle, 'waveOutWrite'):
        return MMSYSERR_INVALHANDLE
    data, length, _, _, flags, loops = struct.unpack('<6I', m.uc.mem_read(header, 24))
    if header not in d.headers or not flags & WHDR_PREPARED or size != WAVEHDR_SIZE:
        fail(m, f'waveOutWrite of a header at {header:#x} that is not prepared')
        return WAVERR_UNPREPARED
    if any(b.header == header for b in d.queue) or flags & WHDR_INQUEUE:
        fail(m, f'waveOutWrite of the header at {header:#x}, which the device already plays')
        return WAVERR_STILLPLAYING
    if d.headers[header] != (data, length):
        fail(m, f'the header at {header:#x} covers {length} bytes at {data:#x} when written, '
                f'{d.headers[header][1]} at {d.headers[header][0]:#x} when prepared')
    block = _one_allocation(m, data, length)
    looping = bool(flags & (WHDR_BEGINLOOP | WHDR_ENDLOOP))
    if looping:
        if not block or block.address != data or block.size != length:
            fail(m, f'the header covers {length} bytes at {data:#x}, not one whole allocated ring')
        if flags & (WHDR_BEGINLOOP | WHDR_ENDLOOP) != WHDR_BEGINLOOP | WHDR_ENDLOOP or loops != LOOP_FOREVER:
            fail(m, f'the header (flags {flags:#x}, loops {loops:#x}) does not loop for ever')
        if d.rate != RING_RATE or d.queue:
            fail(m, f'a looping header on a device at {d.rate} Hz with {len(d.queue)} headers queued: '
                    f'want {RING_RATE} Hz and nothing else')
        d.ring, d.ring_bytes, d.counter, d.jumped, d.wrapped = data, length, 0, False, False
        d.heard = bytearray()
        d.prerender = bytes(m.uc.mem_read(data, length))
    else:
        if not block:
            fail(m, f'the header covers {length} bytes at {data:#x}, not within one allocated block')
        if loops != 0 or not 0 < length <= block_bytes(d.rate) or length % 4:
            fail(m, f'the header covers {length} bytes (loops {loops}): want whole frames, at most one '
                    f'20 ms block at {d.rate} Hz ({block_bytes(d.rate)} bytes), played once')
        if len(d.queue) >= QUEUE_LIMIT or any(b.looping for b in d.queue):
            fail(m, f'waveOutWrite with {len(d.queue)} headers queued'
                    f'{" (one looping)" if any(b.looping for b in d.queue) else ""}')
        if d.dry and not d.paused:
            d.gaps.append((len(d.tape), d.dry))
        d.written_bytes += length
    d.dry = ''
    d.queue.append(Buffer(header, data, length, looping, bytes(m.uc.mem_read(data, length))))
    d.started = True
    _flags(m, header, WHDR_INQUEUE, WHDR_DONE)
    return 0


def wave_out_get_position(m, t, handle, time_address, size):
    d = device(m)
    _catch_up(m, d)
    if not _open_handle(m, d, handle, 'waveOutGetPosition'):
        return MMSYSERR_INVALHANDLE
    kind = u32(m, time_address)
    if size != MMTIME_SIZE or kind != TIME_BYTES:
        fail(m, f'waveOutGetPosition asks for format {kind} in {size} bytes: want TIME_BYTES in {MMTIME_SIZE}')
    w32(m, time_address, TIME_BYTES)
    w32(m, time_address + 4, d.counter)
    d.reported = d.counter
    return 0


def wave_out_unprepare_header(m, t, handle, header, size):
    d = device(m)
    _catch_up(m, d)
    if not _open_handle(m, d, handle, 'waveOutUnprepareHeader'):
        return MMSYSERR_INVALHANDLE
    if header not in d.headers or size != WAVEHDR_SIZE:
        fail(m, f'waveOutUnprepareHeader of {header:#x}, not a prepared header')
        return MMSYSERR_INVALPARAM
    if any(b.header == header for b in d.queue):
        fail(m, f'waveOutUnprepareHeader of the header at {header:#x} while the device still plays it: '
                'WAVERR_STILLPLAYING')
        return WAVERR_STILLPLAYING
    del d.headers[header]
    _flags(m, header, 0, WHDR_PREPARED)
    return 0


def wave_out_pause(m, t, handle):
    d = device(m)
    _catch_up(m, d)
    if not _open_handle(m, d, handle, 'waveOutPause'):
        return MMSYSERR_INVALHANDLE
    d.pauses.append((len(d.tape), len(d.queue)))
    d.paused, d.dry = True, ''
    return 0


def wave_out_restart(m, t, handle):
    d = device(m)
    _catch_up(m, d)
    if not _open_handle(m, d, handle, 'waveOutRestart'):
        return MMSYSERR_INVALHANDLE
    d.restarts.append(len(d.tape))
    d.paused = False
    return 0


def wave_out_reset(m, t, handle):
    d = device(m)
    _catch_up(m, d)
    if not _open_handle(m, d, handle, 'waveOutReset'):
        return MMSYSERR_INVALHANDLE
    for b in d.queue:
        _flags(m, b.header, WHDR_DONE, WHDR_INQUEUE)
    d.queue, d.counter, d.written_bytes, d.started, d.dry = [], 0, 0, False, ''
    return 0


def wave_out_close(m, t, handle):
    d = device(m)
    _catch_up(m, d)
    if not _open_handle(m, d, handle, 'waveOutClose'):
        return MMSYSERR_INVALHANDLE
    if d.queue:
        fail(m, 'waveOutClose while the device still plays: WAVERR_STILLPLAYING')
        return WAVERR_STILLPLAYING
    d.handle, d.paused = 0, False
    return 0


CALLS = stdcall('WINMM.DLL', waveOutOpen=wave_out_open, waveOutPrepareHeader=wave_out_prepare_header,
                waveOutWrite=wave_out_write, waveOutGetPosition=wave_out_get_position,
                waveOutUnprepareHeader=wave_out_unprepare_header, waveOutPause=wave_out_pause,
                waveOutRestart=wave_out_restart, waveOutReset=wave_out_reset, waveOutClose=wave_out_close)
