#!/usr/bin/python3
"""Runs the 32-bit lumbo.dll in an x86 emulator as a Windows host would and
checks what a host and a listener can observe.

Usage: run_dll.py LUMBO_DLL LUMBO_TOOL [--seconds S] [--seed N] [--count]
  LUMBO_TOOL  the native lumbo tool, whose render is the expected sound
  --seconds   how much of each song must be heard identical (default 20)
  --count     also count the emulated instructions (slower) and report them
              per second of audio the render thread makes
"""
import argparse
import os
import random
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import alignment  # noqa: E402
import kernel32  # noqa: E402
import machine  # noqa: E402
import winmm  # noqa: E402
from pe_image import read_pe  # noqa: E402

SIX = (0,) * 6
DLL_PROCESS_ATTACH = 1
THREAD_PRIORITY_TIME_CRITICAL = 15
FRAME_BYTES = 4
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
HOST_MODULE = os.path.join(SOURCE, 'src', 'data', 'song2.xm')   # a module as a host would hand it over
LUMBO_OK, LUMBO_BAD_SIGNATURE, LUMBO_OUT_OF_MEMORY, LUMBO_NO_OUTPUT, LUMBO_BAD_ARGUMENT = 0, 2, 8, 9, 10


def runs(seconds):
    """Each run: a name, where the image goes, and its steps, in order:
    ('call', export or 'DllMain', arguments..., [{'result': ..., 'pops': ...}]),
    ('inject', system call, the failure it returns, or None to end that),
    ('listen', song, seconds) after a play, ('stopped',) after a stop, and
    the longer scenes ('pull', 'device', 'steer', 'device player')."""
    start = [('call', 'DllMain', 'base', DLL_PROCESS_ATTACH, 0), ('call', 'LoadDll', 0)]
    return [
        ('preferred base', 'preferred', start + [
            ('call', 'play', *SIX), ('listen', 1, seconds), ('call', 'stop', *SIX), ('stopped',),
            ('call', 'play2', *SIX), ('listen', 2, seconds), ('call', 'stop', *SIX), ('stopped',),
            ('call', 'stop', *SIX), ('stopped',)]),
        # A render thread that cannot start is a failed start: nothing held,
        # silence, and the next play works.
        ('another base, CreateThread failing', 'other', start + [
            ('inject', 'CreateThread', 0), ('call', 'play', *SIX), ('stopped',), ('inject', 'CreateThread', None),
            ('call', 'play', *SIX), ('listen', 1, 6), ('call', 'stop', *SIX), ('stopped',)]),
        # The public API: a host's module pulled, looked at, played and its
        # start failing. The device's pacing is random: it runs dry after stalls.
        ('public API', 'other', start + [
            ('pull', HOST_MODULE, 3), ('device', HOST_MODULE, 6), ('call', 'stop', *SIX), ('stopped',)]),
        # A player at another rate, steered: seek, jump, mutes, played once.
        ('steering', 'preferred', start + [('steer', HOST_MODULE, 48000), ('stopped',)]),
        # A player at another rate on the device, steered as it plays.
        ('player on the device', 'other', start + [('device player', HOST_MODULE, 48000), ('stopped',)]),
        # Dropouts: a busy module on a processor barely fast enough.
        ('dropout stress', 'preferred', start + [('stress', 3, 0.78), ('call', 'stop', *SIX), ('stopped',)]),
    ]


def reference(tool, song, directory, *arguments, cache={}):
    """lumbo render's PCM for a built-in song (1, 2) or a module file, with
    the render options given (--seconds S, --rate HZ, ...)."""
    key = (song,) + arguments
    if key not in cache:
        path = os.path.join(directory, f'song{len(cache)}.raw')
        source = ['--song', str(song)] if isinstance(song, int) else [song]
        subprocess.run([tool, 'render', *source, '-o', path, *map(str, arguments)], check=True)
        cache[key] = open(path, 'rb').read()
    return cache[key]


def c_string(m, address):
    text = bytes(m.uc.mem_read(address, 128))
    return text[:text.index(0)].decode() if 0 in text else None


def pull(m, options, path, seconds):
    """A player loaded from host memory, pulled in uneven chunks (0 and 1
    frame among them): the frames of lumbo render, the position after each
    chunk, a volume change and the facts; a module that is not one rejected."""
    module = open(path, 'rb').read()
    data = machine.host_buffer(m, module)
    status = machine.host_buffer(m, 4)
    player = machine.call(m, 'lumbo_load', data, len(module), status, result=None)
    if not player or machine.u32(m, status) != LUMBO_OK:
        machine.fail(m, f'lumbo_load gave player {player:#x}, status {machine.u32(m, status)}')
        return
    want = reference(options.lumbo, path, options.work, '--seconds', seconds)
    position = machine.host_buffer(m, 24)
    machine.call(m, 'lumbo_position_of', player, position, result=0)   # nothing handed out yet
    compare(m, 'lumbo_render', pull_frames(m, player, len(want) // FRAME_BYTES, random.Random(options.seed)), want)
    machine.call(m, 'lumbo_set_volume', player, 300, result=None)
    machine.call(m, 'lumbo_render', player, 0, 10, result=0)   # no buffer, no frames
    machine.call(m, 'lumbo_free', player, result=None)
    machine.call(m, 'lumbo_free', 0, result=None)

    info = machine.host_buffer(m, 96)
    machine.call(m, 'lumbo_module_info', data, len(module), info, result=LUMBO_OK)
    channels, song_length = struct.unpack('<2i', m.uc.mem_read(info + 24, 8))
    if channels != module[68] or song_length != module[64]:
        machine.fail(m, f'lumbo_module_info: {channels} channels, song length {song_length}')
    broken = machine.host_buffer(m, b'Extended Module? ' + module[17:])
    machine.call(m, 'lumbo_load', broken, len(module), status, result=0)
    if machine.u32(m, status) != LUMBO_BAD_SIGNATURE:
        machine.fail(m, f'a module without the signature: status {machine.u32(m, status)}')
    text = c_string(m, machine.call(m, 'lumbo_status_text', LUMBO_BAD_SIGNATURE, result=None))
    if text != 'not an XM module (bad signature)':
        machine.fail(m, f'lumbo_status_text(2) is {text!r}')


def pull_frames(m, player, count, rng, first=0):
    """count frames rendered in uneven chunks (0 and 1 frame among them), each
    call writing what it asks for and the position following; first: the
    frames handed out before."""
    out = machine.host_buffer(m, 5000 * FRAME_BYTES)
    position = machine.host_buffer(m, 24)
    got, sizes = bytearray(), [0, 1, 1, 883, 884]
    while len(got) < count * FRAME_BYTES:
        n = min(sizes.pop(0) if sizes else rng.randrange(5000), count - len(got) // FRAME_BYTES)
        machine.call(m, 'lumbo_render', player, out, n, result=n)
        got += m.uc.mem_read(out, n * FRAME_BYTES)
        done = first + len(got) // FRAME_BYTES
        if done:
            machine.call(m, 'lumbo_position_of', player, position)
            order, pattern, row, tick, frame = struct.unpack('<4iQ', m.uc.mem_read(position, 24))
            if frame != done or not 0 <= order < 256 or not 0 <= row < 256:
                machine.fail(m, f'after {done} frames the position is order {order}, row {row}, frame {frame}')
    return bytes(got)


def steer(m, options, path, rate):
    """A player at another rate, steered as a game does, against lumbo render
    at that rate played once: pulled, sought backwards and forwards, started
    at an order and row, jumped, played once to its end, its channels muted."""
    module = open(path, 'rb').read()
    want = reference(options.lumbo, path, options.work, '--rate', rate, '--repeat', 0)
    data = machine.host_buffer(m, module)
    status = machine.host_buffer(m, 4)
    position = machine.host_buffer(m, 24)
    info = machine.host_buffer(m, 88)
    rng = random.Random(options.seed)

    def frame_now():
        machine.call(m, 'lumbo_position_of', player, position)
        return struct.unpack('<4iQ', m.uc.mem_read(position, 24))

    def seek(frame, result=1):   # a uint64 argument: two words, low first
        machine.call(m, 'lumbo_seek', player, frame & 0xFFFFFFFF, frame >> 32, result=result)

    def check(what, first, count):   # the next count frames are those of the reference from first
        compare(m, what, pull_frames(m, player, count, rng, first),
                want[first * FRAME_BYTES:(first + count) * FRAME_BYTES], rate, first)

    machine.call(m, 'lumbo_load_at', data, len(module), 7999, status, result=0)
    if machine.u32(m, status) != LUMBO_BAD_ARGUMENT:
        machine.fail(m, f'lumbo_load_at at 7999 Hz: status {machine.u32(m, status)}')
    player = machine.call(m, 'lumbo_load_at', data, len(module), rate, status, result=None)
    if not player or machine.u32(m, status) != LUMBO_OK:
        machine.fail(m, f'lumbo_load_at gave player {player:#x}, status {machine.u32(m, status)}')
        return
    machine.call(m, 'lumbo_player_info', player, info)
    song_length = struct.unpack('<i', m.uc.mem_read(info + 28, 4))[0]
    loop_end, loop_start, loop_order, loop_row = struct.unpack('<2Q2i', m.uc.mem_read(info + 64, 24))
    if loop_end * FRAME_BYTES != len(want):
        machine.fail(m, f'lumbo_player_info: the loop ends at frame {loop_end}, lumbo render --repeat 0 '
                        f'writes {len(want) // FRAME_BYTES}')

    check('lumbo_load_at', 0, 2 * rate)
    middle = rate + 123                     # backwards
    seek(middle)
    if frame_now()[4] != middle:
        machine.fail(m, f'after lumbo_seek to {middle} the position is at frame {frame_now()[4]}')
    check('after lumbo_seek backwards', middle, rate // 2)
    machine.call(m, 'lumbo_seek_order', player, loop_order, loop_row)   # forwards
    if frame_now()[4] != loop_start:
        machine.fail(m, f'lumbo_seek_order({loop_order}, {loop_row}) landed at frame {frame_now()[4]}, '
                        f'lumbo_player_info says {loop_start}')
    machine.call(m, 'lumbo_seek_order', player, song_length, 0, result=0)
    check('after lumbo_seek_order', loop_start, rate // 4)

    # A jump is heard from the row after the one playing when the next block starts.
    for order, row, valid in ((song_length - 1, 0, 1), (song_length, 0, 0), (0, 256, 0), (-1, 0, 0)):
        machine.call(m, 'lumbo_jump', player, order, row, result=valid)
    pull_frames(m, player, rate // 3, rng, loop_start + rate // 4)
    order, _, row, _, _ = frame_now()
    if order != song_length - 1 or row >= 8:
        machine.fail(m, f'a third of a second after lumbo_jump({song_length - 1}, 0): order {order}, row {row}')

    # Once through: the stream ends at the loop point, and cannot be sought past.
    machine.call(m, 'lumbo_set_repeat', player, 0, result=None)
    tail = rate // 5
    seek(loop_end - tail)
    check('played once', loop_end - tail, tail - 300)
    seek(loop_end + 1, result=0)
    seek((1 << 32) + middle, result=0)
    machine.call(m, 'lumbo_ended', player, result=0)
    out = machine.host_buffer(m, 1000 * FRAME_BYTES)
    machine.call(m, 'lumbo_render', player, out, 1000, result=300)   # the last frames, fewer than asked
    compare(m, 'the last frames', bytes(m.uc.mem_read(out, 300 * FRAME_BYTES)), want[-300 * FRAME_BYTES:], rate,
            loop_end - 300)
    machine.call(m, 'lumbo_ended', player, result=1)
    machine.call(m, 'lumbo_render', player, out, 1000, result=0)
    machine.call(m, 'lumbo_jump', player, 0, 0, result=0)   # an ended player

    # Every channel muted (and numbers that are none): silence once the next
    # block boundary and the ramp after it have passed.
    muted = rate + 500
    seek(muted)
    for channel in range(-1, 33):
        machine.call(m, 'lumbo_set_channel_mute', player, channel, 1, result=None)
    pull_frames(m, player, 2000, rng, muted)
    quiet = pull_frames(m, player, 2000, rng, muted + 2000)
    if any(quiet) or not any(want[(muted + 2000) * FRAME_BYTES:(muted + 4000) * FRAME_BYTES]):
        machine.fail(m, 'every channel muted: not silence where the song sounds')

    for name, *args in (('lumbo_player_info', 0, info), ('lumbo_player_info', player, 0), ('lumbo_seek', 0, 0, 0),
                        ('lumbo_seek_order', 0, 0, 0), ('lumbo_jump', 0, 0, 0), ('lumbo_ended', 0),
                        ('lumbo_channel_levels', 0, info, 1)):
        machine.call(m, name, *args, result=0)
    for name, *args in (('lumbo_set_channel_mute', 0, 0, 1), ('lumbo_set_repeat', 0, 1)):
        machine.call(m, name, *args, result=None)
    machine.call(m, 'lumbo_free', player, result=None)


def device(m, options, path, seconds):
    """A host's module on the library's device, heard as lumbo render writes
    it, with the position heard following the device; then every allocation
    of its start failing in turn."""
    module = open(path, 'rb').read()
    data = machine.host_buffer(m, module)
    position = machine.host_buffer(m, 24)
    machine.call(m, 'lumbo_heard_position', position, result=0)   # nothing plays
    machine.call(m, 'lumbo_set_playback_volume', 256, result=None)
    machine.call(m, 'lumbo_play_module', data, len(module), result=LUMBO_OK)
    d = winmm.device(m)
    if playing(m) and d.rate != 44100:
        machine.fail(m, f'lumbo_play_module opened the device at {d.rate} Hz')
    want = reference(options.lumbo, path, options.work, '--seconds', seconds + 1)
    if playing(m) and hear(m, 'lumbo_play_module', int(seconds * 44100) * FRAME_BYTES):
        compare(m, f'{os.path.basename(path)}: the sound heard', bytes(d.tape), want)
        heard_at(m)
    machine.call(m, 'stop', *SIX)
    failing_starts(m, 'lumbo_play_module', (data, len(module)), LUMBO_OK)


def playing(m):
    """One render thread, time-critical, and the device playing a queue."""
    d = winmm.device(m)
    threads = [t for t in m.threads[1:] if t.state != 'exited']
    if len(threads) != 1 or not d.queued or d.queue[0].looping:
        machine.fail(m, f'not playing: {len(threads)} render threads, {len(d.queue)} headers queued')
        return False
    if threads[0].priority != THREAD_PRIORITY_TIME_CRITICAL:
        machine.fail(m, f'render thread priority {threads[0].priority}, want time-critical (15)')
    return True


def run_until(m, what, done, sleeps=4000):
    """Lets the threads run until done() (True), or fails after so many sleeps."""
    d = winmm.device(m)
    limit = d.sleeps + sleeps
    m.current = next((t for t in m.threads[1:] if t.state != 'exited'), m.current)
    machine.run(m, lambda: done() or d.sleeps >= limit)
    if not done():
        machine.fail(m, f'{what}: not after {sleeps} sleeps')
    return done()


def hear(m, what, target):
    """Plays until the tape holds target bytes; True when it does."""
    d = winmm.device(m)
    started, before = time.time(), len(d.tape)
    seconds = (target - before) / FRAME_BYTES / d.rate
    counted = sum(t.instructions for t in m.threads)
    ok = run_until(m, what, lambda: len(d.tape) >= target, sleeps=int(seconds * 600) + 400)
    heard = (len(d.tape) - before) / FRAME_BYTES / d.rate
    rate = f', {(sum(t.instructions for t in m.threads) - counted) / heard / 1e6:.1f} M instructions per ' \
           f'second of audio' if m.counting and heard else ''
    print(f'  {what}: {heard:.2f} s heard in {time.time() - started:.1f} s{rate}')
    return ok


def heard_at(m):
    """lumbo_heard_position at the frame the device played at the render
    thread's last poll: the stream's frame when the device was opened (the
    frames played before) plus the bytes played since, or the last frame
    written once all are."""
    d = winmm.device(m)
    base = (len(d.tape) - len(d.heard)) // FRAME_BYTES
    position = machine.host_buffer(m, 24)
    machine.call(m, 'lumbo_heard_position', position, result=1)
    order, pattern, row, tick, frame = struct.unpack('<4iQ', m.uc.mem_read(position, 24))
    played = d.reported // FRAME_BYTES
    want = base + (played if d.reported < d.written_bytes else played - 1)
    if frame != want or not 0 <= order < 256 or not 0 <= row < 256:
        machine.fail(m, f'heard position at frame {frame} (order {order}, row {row}), want {want}: the device '
                        f'had played {d.reported} bytes of {d.written_bytes} at the last poll')
    return frame


def idle(m, what):
    """No render thread, the device closed, no header held."""
    d = winmm.device(m)
    threads = [t for t in m.threads[1:] if t.state != 'exited']
    if threads or d.handle or d.headers or d.queue:
        machine.fail(m, f'{what}: {len(threads)} threads running, device {"open" if d.handle else "closed"}, '
                        f'{len(d.headers)} headers prepared, {len(d.queue)} queued')


def failing_starts(m, export, args, ok_status):
    """The device open, then every allocation of the start, failing in turn
    (each reported, nothing left behind, nothing waiting for ever), until
    the start runs through without failing one. Ends playing."""
    d = winmm.device(m)
    plans = [('waveOutOpen', 1, 4, LUMBO_NO_OUTPUT)] + \
            [('GlobalAlloc', n, 0, LUMBO_OUT_OF_MEMORY) for n in range(1, 100)]
    for call_name, nth, failure, status in plans:
        blocks = {b.address for b in kernel32.live_blocks(m)}
        calls = [0]

        def inject(m, *args):
            calls[0] += 1
            return failure if calls[0] == nth else None
        m.inject[call_name] = inject
        limit = d.sleeps + 2000   # a start that waits for ever is a failure too

        def watch(m, milliseconds):
            if d.sleeps > limit:
                raise machine.Fault(f'{export} with {call_name} #{nth} failing waits for ever')
        m.on_sleep.append(watch)
        try:
            got = machine.call(m, export, *args, result=None)
        finally:
            m.on_sleep.pop()
            m.inject.pop(call_name)
        if calls[0] < nth:   # no such call: the start ran through
            if got != ok_status:
                machine.fail(m, f'{export} with nothing failing returned {got}')
            print(f'  {export}: the device open and {nth - 1} allocations failed in turn')
            return
        if got != status:
            machine.fail(m, f'{export} with {call_name} #{nth} failing returned {got}, want {status}')
        idle(m, f'{export} with {call_name} #{nth} failing')
        new = [b for b in kernel32.live_blocks(m) if b.address not in blocks]
        if new:
            machine.fail(m, f'{export} with {call_name} #{nth} failing kept {len(new)} allocations '
                            f'({", ".join(str(b.size) for b in new)} bytes)')
            return


def rendered(d):
    """The stream's frames the library has rendered for the device: those
    played before it was opened, and those written since."""
    return (len(d.tape) - len(d.heard) + d.written_bytes) // FRAME_BYTES


def device_player(m, options, path, rate):
    """A host's player at rate on the library's device, steered from the
    host's thread as it plays: failed starts, a jump and a mute, a pause and
    a resume, a stop and a start again, freed as it plays. What the device
    plays is a reference player pulled through the same steps, bit for bit
    but for the fades around the pause, and the heard position follows."""
    module = open(path, 'rb').read()
    data = machine.host_buffer(m, module)
    status = machine.host_buffer(m, 4)
    out = machine.host_buffer(m, 16 * FRAME_BYTES)
    info = machine.host_buffer(m, 88)
    d = winmm.device(m)
    player = machine.call(m, 'lumbo_load_at', data, len(module), rate, status, result=None)
    twin = machine.call(m, 'lumbo_load_at', data, len(module), rate, status, result=None)
    rng = random.Random(options.seed)
    want = bytearray()   # the twin's frames: what the device must have played

    def follow(frames):   # the twin pulled to frames
        if frames > len(want) // FRAME_BYTES:
            want.extend(pull_frames(m, twin, frames - len(want) // FRAME_BYTES, rng, len(want) // FRAME_BYTES))

    def second(s):
        return int(s * rate) * FRAME_BYTES

    machine.call(m, 'lumbo_play_player', 0, result=LUMBO_BAD_ARGUMENT)
    failing_starts(m, 'lumbo_play_player', (player,), LUMBO_OK)
    machine.call(m, 'stop', *SIX)
    idle(m, 'stop')
    m.inject['CreateThread'] = 0
    machine.call(m, 'lumbo_play_player', player, result=LUMBO_OUT_OF_MEMORY)
    m.inject.pop('CreateThread')
    idle(m, 'lumbo_play_player with CreateThread failing')

    # Played from the first frame: no frame rendered by the failed starts is lost.
    machine.call(m, 'lumbo_play_player', player, result=LUMBO_OK)
    if not playing(m) or d.rate != rate:
        machine.fail(m, f'lumbo_play_player opened the device at {d.rate} Hz, want {rate}')
        return
    machine.call(m, 'lumbo_render', player, out, 16, result=0)   # the device's render thread owns it
    hear(m, 'lumbo_play_player', second(0.6))
    heard_at(m)

    # A jump and a mute from the host's thread: taken up at the next block
    # the render thread renders, as the twin does after as many frames.
    d.pacing = 'regular'
    song_length = module[64]
    follow(rendered(d))
    for p in (player, twin):
        machine.call(m, 'lumbo_jump', p, song_length - 2, 8, result=1)
        machine.call(m, 'lumbo_set_channel_mute', p, 1, 1, result=None)
    hear(m, 'after lumbo_jump and lumbo_set_channel_mute', len(d.tape) + second(1))

    # Paused: faded out, the queue drained, then waveOutPause; nothing heard,
    # the position standing still, until the resume restarts the device.
    pauses = len(d.pauses)
    machine.call(m, 'lumbo_pause_playback', 1, result=None)
    if run_until(m, 'waveOutPause after lumbo_pause_playback(1)', lambda: len(d.pauses) > pauses, 400):
        if d.pauses[-1][1]:
            machine.fail(m, f'waveOutPause with {d.pauses[-1][1]} headers queued')
        frame = heard_at(m)
        before, sleeps = len(d.tape), d.sleeps
        run_until(m, 'paused', lambda: d.sleeps >= sleeps + 100)
        if len(d.tape) != before or heard_at(m) != frame or frame != before // FRAME_BYTES - 1:
            machine.fail(m, f'paused: {(len(d.tape) - before) // FRAME_BYTES} frames played, heard position at '
                            f'{frame}, the last frame played {before // FRAME_BYTES - 1}')
        machine.call(m, 'lumbo_pause_playback', 0, result=None)
        run_until(m, 'waveOutRestart after lumbo_pause_playback(0)', lambda: len(d.restarts) > 0, 400)
        hear(m, 'resumed', len(d.tape) + second(0.5))
        heard_at(m)

    # Stopped: the frames rendered and not heard stay with the player, which
    # stands at the frame last heard, played first when it plays again.
    machine.call(m, 'stop', *SIX)
    idle(m, 'stop')
    machine.call(m, 'lumbo_position_of', player, info, result=1)
    if struct.unpack('<Q', m.uc.mem_read(info + 16, 8))[0] != len(d.tape) // FRAME_BYTES:
        machine.fail(m, f'stopped after {len(d.tape) // FRAME_BYTES} frames heard: lumbo_position_of at frame '
                        f'{struct.unpack("<Q", m.uc.mem_read(info + 16, 8))[0]}')
    machine.call(m, 'lumbo_play_player', player, result=LUMBO_OK)
    if playing(m):
        hear(m, 'played again after stop', len(d.tape) + second(0.5))
        heard_at(m)

    # Sought to just before the end of one time through: the blocks queued
    # are heard first, then every frame to the end; then the heard position
    # is gone.
    follow(rendered(d))
    machine.call(m, 'lumbo_player_info', twin, info, result=1)
    last = struct.unpack('<Q', m.uc.mem_read(info + 64, 8))[0] - rate // 4
    for p in (player, twin):
        machine.call(m, 'lumbo_set_repeat', p, 0, result=None)
        machine.call(m, 'lumbo_seek', p, last & 0xFFFFFFFF, last >> 32, result=1)
    chunk = machine.host_buffer(m, 4800 * FRAME_BYTES)
    while n := machine.call(m, 'lumbo_render', twin, chunk, 4800, result=None):
        want += m.uc.mem_read(chunk, n * FRAME_BYTES)
    # Still heard while the last frames are queued, a poll after the last was written.
    if run_until(m, 'the last block queued', lambda: rendered(d) * FRAME_BYTES >= len(want), 2000):
        sleeps = d.sleeps
        run_until(m, 'a poll after the last block', lambda: d.sleeps > sleeps + 1)
        if len(d.queue) and len(d.tape) < len(want):
            machine.call(m, 'lumbo_heard_position', machine.host_buffer(m, 24), result=1)
        else:
            machine.fail(m, 'the device played the last block within a poll of its write: its end not seen')
    if run_until(m, 'the end played', lambda: not d.queue, 2000):
        sleeps = d.sleeps
        run_until(m, 'the end played', lambda: d.sleeps > sleeps + 2)
        machine.call(m, 'lumbo_heard_position', machine.host_buffer(m, 24), result=0)
        if len(d.tape) != len(want):
            machine.fail(m, f'played once: {len(d.tape) // FRAME_BYTES} frames heard, the twin renders '
                            f'{len(want) // FRAME_BYTES}')

    got, want = bytes(d.tape), bytes(want[:len(d.tape)])
    if d.pauses[pauses:]:   # the ramp's frames around the pause fade, no louder than the twin
        ramp = rate * 128 // 44100
        paused = d.pauses[pauses][0] // FRAME_BYTES
        lo, hi = (paused - ramp) * FRAME_BYTES, (paused + ramp) * FRAME_BYTES
        g, w = (memoryview(x[lo:hi]).cast('h') for x in (got, want))
        if any(abs(a) > abs(b) for a, b in zip(g, w)) or any(got[(paused - 1) * 4:paused * 4]):
            machine.fail(m, f'the fades around the pause at frame {paused} are louder than the music, or do '
                            'not reach silence')
        got, want = got[:lo] + got[hi:], want[:lo] + want[hi:]
    compare(m, 'lumbo_play_player: the sound heard (but the fades around the pause)', got, want, rate)
    regular = [b for b, pacing in d.gaps if pacing == 'regular']
    if regular:
        machine.fail(m, f'gaps at {", ".join(str(b // FRAME_BYTES) for b in regular)} frames though the device '
                        'was paced regularly')

    # Let go on again (repeat for ever) and freed as it plays: nothing of it left.
    machine.call(m, 'lumbo_set_repeat', player, -1, result=None)
    gaps = len(d.gaps)
    run_until(m, 'played on after the end', lambda: len(d.queue) >= 2, 400)
    del d.gaps[gaps:]   # the device ran dry at the end: no gap
    machine.call(m, 'lumbo_free', twin, result=None)
    machine.call(m, 'lumbo_free', player, result=None)
    machine.call(m, 'lumbo_heard_position', machine.host_buffer(m, 24), result=0)


def busy_module():
    """An XM module that keeps the mixer busy: 32 channels, a note with
    vibrato on every one every row (speed 3), a looping 8-bit saw."""
    channels, rows, length = 32, 64, 2000
    module = b'Extended Module: ' + b'busy'.ljust(20) + b'\x1a' + b'check-dll32'.ljust(20) + struct.pack('<H', 0x104)
    module += struct.pack('<I8H', 276, 2, 0, channels, 2, 1, 1, 3, 125) + bytes([0, 1]).ljust(256, b'\0')
    for p in range(2):
        cells = bytes(b for r in range(rows) for c in range(channels)
                      for b in (25 + (7 * c + 5 * r + 3 * p) % 48, 1, 0x30 + c, 4, 0x46))
        module += struct.pack('<IBHH', 9, 0, rows, len(cells)) + cells
    module += (struct.pack('<I22sBHI', 263, b'saw', 0, 1, 40)).ljust(263, b'\0')
    module += struct.pack('<3I5B', length, 0, length, 48, 0, 1, 128, 0) + bytes(23)
    return module + bytes([256 - 128 & 0xFF] + [7] * (length - 1))   # deltas: -128, then up by 7, wrapping


def stress(m, options, seconds, load):
    """A busy module on a processor just fast enough to render it in time:
    the device paced by the instructions the DLL runs (measured first on the
    module, then a speed at which rendering takes load of real time). No gap,
    and heard as lumbo render writes it."""
    module = busy_module()
    path = os.path.join(options.work, 'busy.xm')
    open(path, 'wb').write(module)
    data = machine.host_buffer(m, module)
    if not m.counting:
        m.counting = True
        m.uc.hook_add(machine.UC_HOOK_BLOCK, machine._count_block, m)
    d = winmm.device(m)
    d.pacing = 'regular'
    machine.call(m, 'lumbo_play_module', data, len(module), result=LUMBO_OK)
    if not playing(m):
        return
    counted, before = sum(t.instructions for t in m.threads), len(d.tape)
    hear(m, 'busy module', len(d.tape) + int(0.5 * 44100) * FRAME_BYTES)
    per_second = (sum(t.instructions for t in m.threads) - counted) / ((len(d.tape) - before) / FRAME_BYTES / 44100)
    d.pacing, d.cpu_speed, d.counted = 'cpu', per_second / load, sum(t.instructions for t in m.threads)
    print(f'  busy module: {per_second / 1e6:.1f} M instructions per second of audio; the processor now '
          f'runs {d.cpu_speed / 1e6:.1f} M a second')
    hear(m, f'busy module at {load:.0%} load', len(d.tape) + int(seconds * 44100) * FRAME_BYTES)
    compare(m, 'busy module: the sound heard', bytes(d.tape), reference(options.lumbo, path, options.work,
                                                                      '--seconds', seconds + 1))
    cpu = [b // FRAME_BYTES for b, pacing in d.gaps if pacing == 'cpu']
    if cpu:
        machine.fail(m, f'{len(cpu)} gaps at {load:.0%} load, the first at frame {cpu[0]}')


def compare(m, what, got, want, rate=44100, start=0):
    """got against want, both from frame start of lumbo render's stream at rate."""
    if got == want[:len(got)] and len(got) <= len(want):
        return
    frames = [memoryview(x[:min(len(got), len(want)) & ~3]).cast('I') for x in (got, want)]
    differ = [i for i, (a, b) in enumerate(zip(*frames)) if a != b]
    first = differ[0] if differ else len(frames[0])
    machine.fail(m, f'{what} differs from lumbo render from frame {start + first} ({(start + first) / rate:.3f} s; '
                    f'{len(differ)} of {len(frames[0])} frames differ): got {got[4 * first:4 * first + 8].hex()}, '
                    f'want {want[4 * first:4 * first + 8].hex()}')


def listen(m, options, song, seconds):
    """After a play: the thread and the device as started, then the song heard
    for at least seconds, sample for sample, with the ring's first two
    seconds as rendered before the device started."""
    d = winmm.device(m)
    threads = [t for t in m.threads[1:] if t.state != 'exited']
    if len(threads) != 1 or not d.queued:
        machine.fail(m, f'not playing: {len(threads)} render threads, device {"playing" if d.queued else "idle"}')
        return
    if threads[0].priority != THREAD_PRIORITY_TIME_CRITICAL:
        machine.fail(m, f'render thread priority {threads[0].priority}, want time-critical (15)')
    want = reference(options.lumbo, song, options.work, '--seconds', seconds + 2)
    song = song if isinstance(song, int) else os.path.basename(song)
    compare(m, f'song {song}: the ring written first', d.prerender, want)
    target = int(seconds * 44100) * FRAME_BYTES
    started, before = time.time(), threads[0].instructions
    m.current = threads[0]
    machine.run(m, lambda: len(d.heard) >= target)
    heard = bytes(d.heard)
    compare(m, f'song {song}: the sound heard', heard, want)
    if seconds >= 6 and not d.wrapped:
        machine.fail(m, 'the device counter never passed 2^32')
    rate = f', {(threads[0].instructions - before) / (len(heard) / 176400) / 1e6:.1f} M instructions per ' \
           f'second of audio' if m.counting else ''
    print(f'  song {song}: {len(heard) / 176400:.2f} s heard in {time.time() - started:.1f} s{rate}')


def stopped(m):
    """Nothing of the library left running or held (each thread or block told once)."""
    told = m.state.setdefault('told', set())
    for t in m.threads[1:]:
        if (t.state != 'exited' or t.exit_code != 0 or t.closed != 1) and t.handle not in told:
            told.add(t.handle)
            machine.fail(m, f'thread {t.handle:#x}: {t.state}, exit code {t.exit_code}, handle closed {t.closed} '
                            'times: want ended with 0, closed once')
    d = winmm.device(m)
    for left, what in ((d.queued, 'still playing (never reset)'), (d.prepared, 'header still prepared'),
                       (d.handle, 'still open')):
        if left:
            machine.fail(m, f'device {what}')
    blocks = [b for b in kernel32.live_blocks(m) if b.address not in told]
    told.update(b.address for b in blocks)
    if blocks:
        sizes = sorted({b.size for b in blocks}, key=lambda size: -size)
        machine.fail(m, f'{len(blocks)} allocations never freed, of ' + ', '.join(map(str, sizes[:8])) +
                     (' ...' if len(sizes) > 8 else '') + ' bytes')


def run(image, name, where, steps, options):
    base = image.preferred_base if where == 'preferred' else (0x10000000 if image.preferred_base != 0x10000000
                                                                else 0x18000000)
    print(f'{name}: image at {base:#x}')
    m = machine.load(image, base, {**kernel32.CALLS, **winmm.CALLS}, counting=options.count)
    winmm.attach(m, options.seed, wrap_after_seconds=3)
    text = next(s for s in image.sections if s.name == '.text')
    code = bytes(m.uc.mem_read(base + text.rva, text.virtual_size))
    alignment.watch(m, alignment.find(code, base + text.rva), lambda m, message: setattr(m, 'fault', message))
    for step in steps:
        kind, *args = step
        label = ' '.join([kind] + [str(a) for a in args if kind != 'call' or a != 0 and not isinstance(a, dict)])
        before, fault = len(m.failures), None
        try:
            if kind == 'call':   # a trailing dict holds machine.call's keywords (result, pops)
                keywords = args.pop() if isinstance(args[-1], dict) else {}
                machine.call(m, args[0], *[base if a == 'base' else a for a in args[1:]], **keywords)
            elif kind == 'inject':
                if args[1] is None:
                    m.inject.pop(args[0])
                else:
                    m.inject[args[0]] = args[1]
            elif kind == 'listen':
                listen(m, options, *args)
            elif kind == 'pull':
                pull(m, options, *args)
            elif kind == 'device':
                device(m, options, *args)
            elif kind == 'steer':
                steer(m, options, *args)
            elif kind == 'device player':
                device_player(m, options, *args)
            elif kind == 'stress':
                stress(m, options, *args)
            else:
                stopped(m)
        except machine.Fault as error:
            fault = f'emulation stopped: {error}'
            m.failures.append(fault)
        m.failures[before:] = [f'{label}: {f}' for f in m.failures[before:]]
        if fault:
            break
    gaps = winmm.device(m).gaps
    if gaps:   # the queue ran dry with the song going on: after a stall of the emulator's random pacing
        print(f'  {len(gaps)} gaps heard, at ' + ', '.join(f'{b / 4 / winmm.device(m).rate:.2f}' for b, _ in gaps[:6])
              + (' ...' if len(gaps) > 6 else '') + ' s')
    return m.failures


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument('dll')
    parser.add_argument('lumbo')
    parser.add_argument('--seconds', type=float, default=20)
    parser.add_argument('--seed', type=int, default=12)
    parser.add_argument('--count', action='store_true')
    options = parser.parse_args()
    image = read_pe(options.dll)
    failures = []
    with tempfile.TemporaryDirectory() as options.work:
        for name, where, steps in runs(options.seconds):
            started = time.time()
            found = run(image, name, where, steps, options)
            print(f'  {name}: {"ok" if not found else f"{len(found)} failure(s)"} in {time.time() - started:.1f} s')
            failures += [f'{name}: {f}' for f in found]
    sys.stdout.flush()
    for f in failures:
        print(f'check-dll32: FAIL: {f}', file=sys.stderr)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
