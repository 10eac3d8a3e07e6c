// The package in Node against the native tool: the same bits whatever the
// output type and chunking, the loader's reasons, seeks, repeats and mutes as
// `lumbo render` does them, and memory that stays put.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { fileURLToPath } from "node:url";
import { test } from "node:test";

import { createLumbo, LumboError, LumboStatus } from "../lumbo.js";
import { chunks, firstDifference, moduleBytes, nativeRender } from "./support.js";

const lumbo = await createLumbo();

// Renders `frames` frames in chunks into the given kind of output; the
// samples as 16-bit values (floats must be exactly value / 32768).
function render(player, frames, { kind = "int16", largest = 5000, seed = 1 } = {}) {
    const result = new Int16Array(2 * frames);
    const sizes = chunks(largest, seed);
    let done = 0;
    while (done < frames) {
        const n = Math.min(sizes.next().value, frames - done);
        let got;
        if (kind === "int16") {
            got = player.render(result.subarray(2 * done, 2 * (done + n)));
        } else {
            const [left, right] = [new Float32Array(2 * n), new Float32Array(n)];
            got = kind === "float" ? player.render(left) : player.render(left.subarray(0, n), right);
            for (let i = 0; i < 2 * got; ++i) {
                const value = kind === "float" ? left[i] : (i & 1 ? right : left)[i >> 1];
                assert.ok(Number.isInteger(value * 32768), `sample ${i} is ${value}`);
                result[2 * done + i] = value * 32768;
            }
        }
        done += got;
        if (got < n) break;
    }
    return result.subarray(0, 2 * done);
}

function assertSame(actual, expected, what) {
    const at = firstDifference(actual, expected);
    assert.equal(at, -1, `${what}: first difference at sample ${at} (${actual.length} vs ${expected.length} samples)`);
}

test("renders the native tool's bits at any chunking, rate and output type", () => {
    const cases = [
        { module: "song1", rate: 44100, kind: "int16", largest: 1 << 14 },
        { module: "song2", rate: 48000, kind: "planar", largest: 128 },
        { module: "busy32", rate: 44100, kind: "float", largest: 3000 },
        { module: "busy32", rate: 48000, kind: "int16", largest: 7 },
        { module: "busy4", rate: 48000, kind: "float", largest: 10000 },
    ];
    for (const { module, rate, ...how } of cases) {
        const player = lumbo.load(moduleBytes(module), { rate });
        const seconds = how.largest < 10 ? 2 : 10;
        assertSame(render(player, seconds * rate, how), nativeRender(module, "--seconds", seconds, "--rate", rate),
                   `${module} at ${rate} Hz, ${how.kind} in chunks up to ${how.largest}`);
        assert.equal(player.position.frame, seconds * rate);
        player.free();
    }
});

test("refuses what the loader refuses, with its status and reason", () => {
    const song = moduleBytes("song1");
    const edited = (offset, value) => { const b = song.slice(); b[offset] = value; b[offset + 1] = 0; return b; };
    const cases = [
        { bytes: new Uint8Array(0), status: LumboStatus.EMPTY, reason: "empty file" },
        { bytes: new TextEncoder().encode("Extended Module? not quite"), status: LumboStatus.BAD_SIGNATURE,
          reason: "not an XM module (bad signature)" },
        { bytes: edited(64, 0), status: LumboStatus.BAD_SONG_LENGTH, reason: "song length outside 1 to 256" },
        { bytes: edited(68, 33), status: LumboStatus.TOO_MANY_CHANNELS, reason: "more than 32 channels" },
        { bytes: song.buffer, rate: 7999, status: LumboStatus.BAD_ARGUMENT, reason: "invalid argument" },
    ];
    for (const { bytes, rate, status, reason } of cases) {
        assert.throws(() => lumbo.load(bytes, { rate }), (e) => e instanceof LumboError && e.status === status && e.message === reason);
        if (!rate) assert.throws(() => lumbo.moduleInfo(bytes), { status, message: reason });
    }
});

test("seeks, repeats and mutes as the native tool", () => {
    const rate = 48000;
    const cases = [
        { module: "song1", steer: (p) => p.seekTime(12.5), native: ["--from", 12.5, "--seconds", 3] },
        { module: "busy32", steer: (p) => p.seekOrder(1, 7), native: ["--from", "1:7", "--seconds", 2] },
        { module: "song2", steer: (p) => p.seek(1234560n), native: ["--from", 25.72, "--seconds", 2] },
        { module: "busy4", steer: (p) => { p.repeat = 0; return true; }, native: ["--repeat", 0] },
        { module: "busy4", steer: (p) => { p.repeat = 1; return true; }, native: ["--repeat", 1] },
        { module: "busy32", steer: (p) => { p.mute(0); p.mute(3); p.mute(5, true); p.mute(5, false); return true; },
          native: ["--mute", "0,3", "--seconds", 4] },
    ];
    for (const { module, steer, native } of cases) {
        const expected = nativeRender(module, "--rate", rate, ...native);
        const player = lumbo.load(moduleBytes(module), { rate });
        assert.equal(steer(player), true);
        const ends = native.includes("--repeat");
        assertSame(render(player, expected.length / 2 + (ends ? 1000 : 0)), expected, `${module} ${native.join(" ")}`);
        assert.equal(player.ended, ends);
        player.free();
    }
    const player = lumbo.load(moduleBytes("busy4"));
    player.repeat = 0;
    const end = player.info.loopEndFrame;
    assert.deepEqual([player.seek(end + 1), player.seekOrder(999, 0), player.seek(-1)], [false, false, false]);
    assert.equal(player.seek(end), true);
    assert.equal(player.render(new Int16Array(64)), 0);
    assert.equal(player.position.ended, true);
    player.free();
});

test("info, position, volume and levels", () => {
    const native = lumbo.moduleInfo(moduleBytes("song1"));
    const player = lumbo.load(moduleBytes("song1"), { rate: 48000 });
    assert.equal(player.position, null);
    const info = player.info;
    assert.equal(info.title, "lumbo: first light");
    assert.equal(info.rate, 48000);
    assert.deepEqual({ ...info, loopEndFrame: 0, loopStartFrame: 0, duration: 0, rate: 0 },
                     { ...native, loopEndFrame: 0, loopStartFrame: 0, duration: 0, rate: 0 });
    assert.ok(Math.abs(info.duration - native.duration) < 0.01);
    player.render(new Int16Array(2 * 48000));
    assert.deepEqual(player.position, { ...player.position, frame: 48000, ended: false });
    for (const [set, read] of [[2, 1], [-1, 0], [0.5, 0.5], [NaN, 0]]) {
        player.volume = set;
        assert.equal(player.volume, read);
    }
    player.free();
    player.free();
    assert.throws(() => player.render(new Int16Array(2)), /freed/);

    const busy = lumbo.load(moduleBytes("busy32"));
    busy.render(new Int16Array(2 * 44100));
    const levels = busy.levels();
    assert.equal(levels.length, 32);
    assert.ok(levels[0] > 0 && levels.every((level) => level >= 0 && level <= 1), `levels ${levels}`);
    busy.mute(0);
    busy.render(new Int16Array(2 * 4410));
    assert.equal(busy.levels()[0], 0);
    busy.free();
});

test("memory stays at its high-water mark over 1,000 loads and frees", () => {
    const files = ["song1", "song2", "busy32", "busy4"].map(moduleBytes);
    const rates = [8000, 44100, 48000, 192000];
    const cycle = (i) => {
        const player = lumbo.load(files[i % files.length], { rate: rates[(i >> 2) % rates.length] });
        player.render(new Int16Array(2 * 1024));
        player.free();
    };
    for (let i = 0; i < files.length * rates.length; ++i) cycle(i);
    const highWater = lumbo.memory.buffer.byteLength;
    for (let i = 0; i < 1000; ++i) cycle(i);
    assert.equal(lumbo.memory.buffer.byteLength, highWater);
});

test("the packed package imports and plays on its own", async () => {
    const scratch = mkdtempSync(`${tmpdir()}/lumbo-pack-`);
    try {
        const web = fileURLToPath(new URL("..", import.meta.url));
        const name = execFileSync("npm", ["pack", "--silent", "--pack-destination", scratch], { cwd: web }).toString().trim();
        execFileSync("tar", ["-xzf", `${scratch}/${name}`, "-C", scratch]);
        const packed = await import(`${scratch}/package/lumbo.js`);
        const player = (await packed.createLumbo()).load(moduleBytes("song2"));
        assertSame(render(player, 44100), nativeRender("song2", "--seconds", 1), "song2 from the package");
    } finally {
        rmSync(scratch, { recursive: true, force: true });
    }
});
