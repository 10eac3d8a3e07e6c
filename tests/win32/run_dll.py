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
LUMBO_OK, LUMBO_BAD_SIGNATURE = 0, 2


def runs(seconds):
    """Each run: a name, where the image goes, and its steps, in order:
    ('call', export or 'DllMain', arguments..., [{'result': ..., 'pops': ...}]),
    ('inject', system call, the failure it returns, or None to end that),
    ('listen', song, seconds) after a play, ('stopped',) after a stop."""
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
        # The public API: a host's module pulled, looked at and played.
        ('public API', 'other', start + [
            ('pull', HOST_MODULE, 3), ('device', HOST_MODULE, 6), ('call', 'stop', *SIX), ('stopped',)]),
    ]


def reference(tool, song, seconds, directory, cache={}):
    """lumbo render's PCM for a built-in song (1, 2) or a module file."""
    if (song, seconds) not in cache:
        path = os.path.join(directory, f'song{len(cache)}.raw')
        source = ['--song', str(song)] if isinstance(song, int) else [song]
        subprocess.run([tool, 'render', *source, '-o', path, '--seconds', str(seconds)], check=True)
        cache[(song, seconds)] = open(path, 'rb').read()
    return cache[(song, seconds)]


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
    want = reference(options.lumbo, path, seconds, options.work)
    total = len(want) // FRAME_BYTES
    out = machine.host_buffer(m, 5000 * FRAME_BYTES)
    position = machine.host_buffer(m, 24)
    rng, got, done = random.Random(options.seed), bytearray(), 0
    machine.call(m, 'lumbo_position_of', player, position, result=0)   # nothing handed out yet
    for n in [0, 1, 1, 883, 884] + [rng.randrange(5000) for _ in range(4 * total // 5000)]:
        n = min(n, total - done)
        machine.call(m, 'lumbo_render', player, out, n, result=n)
        got += m.uc.mem_read(out, n * FRAME_BYTES)
        done += n
        if done:
            machine.call(m, 'lumbo_position_of', player, position)
            order, pattern, row, tick, frame = struct.unpack('<4iQ', m.uc.mem_read(position, 24))
            if frame != done or not 0 <= order < 256 or not 0 <= row < 256:
                machine.fail(m, f'after {done} frames the position is order {order}, row {row}, frame {frame}')
    compare(m, 'lumbo_render', bytes(got), want)
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


def device(m, options, path, seconds):
    """A host's module on the library's device, heard as lumbo render writes
    it, with the position heard following the device."""
    module = open(path, 'rb').read()
    data = machine.host_buffer(m, module)
    position = machine.host_buffer(m, 24)
    machine.call(m, 'lumbo_heard_position', position, result=0)   # nothing plays
    machine.call(m, 'lumbo_set_playback_volume', 256, result=None)
    machine.call(m, 'lumbo_play_module', data, len(module), result=LUMBO_OK)
    listen(m, options, path, seconds)
    machine.call(m, 'lumbo_heard_position', position, result=1)
    # The device's counter has jumped laps ahead to pass 2^32 (see winmm.py):
    # the frames heard follow it, at most one of its steps (60000 frames) behind.
    frame = struct.unpack('<Q', m.uc.mem_read(position + 16, 8))[0]
    counter = winmm.device(m).counter
    if frame < 1 << 30 or (counter - FRAME_BYTES * frame) % (1 << 32) > 60000 * FRAME_BYTES:
        machine.fail(m, f'heard position at frame {frame}, the device counter at byte {counter:#x}')


def compare(m, what, got, want):
    if got == want[:len(got)] and len(got) <= len(want):
        return
    frames = [memoryview(x[:min(len(got), len(want)) & ~3]).cast('I') for x in (got, want)]
    differ = [i for i, (a, b) in enumerate(zip(*frames)) if a != b]
    first = differ[0] if differ else len(frames[0])
    machine.fail(m, f'{what} differs from lumbo render from frame {first} ({first / 44100:.3f} s; {len(differ)} of '
                    f'{len(frames[0])} frames differ): got {got[4 * first:4 * first + 8].hex()}, '
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
    want = reference(options.lumbo, song, seconds + 2, options.work)
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
            else:
                stopped(m)
        except machine.Fault as error:
            fault = f'emulation stopped: {error}'
            m.failures.append(fault)
        m.failures[before:] = [f'{label}: {f}' for f in m.failures[before:]]
        if fault:
            break
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
