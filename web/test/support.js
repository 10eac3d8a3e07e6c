// What the package's tests compare against: the native lumbo tool and the
// modules it renders. scripts/check-web builds both; the paths can be given
// as LUMBO_TOOL and LUMBO_MODULES.
import { execFileSync } from "node:child_process";
import { readFileSync } from "node:fs";
import { fileURLToPath } from "node:url";

const root = fileURLToPath(new URL("../../", import.meta.url));
export const tool = process.env.LUMBO_TOOL ?? `${root}build/release/tools/lumbo`;
const modules = process.env.LUMBO_MODULES ?? `${root}build/web-test/modules`;

/** A module's file: song1 and song2 are the built-in songs, busy4 and busy32 synthetic. */
export function modulePath(name) {
    return name.startsWith("song") ? `${root}src/data/${name}.xm` : `${modules}/${name}.xm`;
}
export const moduleBytes = (name) => new Uint8Array(readFileSync(modulePath(name)));

/** What `lumbo render` writes for a module with these options, as 16-bit samples. */
export function nativeRender(name, ...options) {
    const out = execFileSync(tool, ["render", modulePath(name), "-o", "-", ...options.map(String)],
                             { maxBuffer: 1 << 30 });
    return new Int16Array(out.buffer, out.byteOffset, out.length / 2);
}

/** Chunk sizes from a fixed seed, 1 to `largest` frames. */
export function* chunks(largest, seed = 1) {
    let x = seed;
    for (;;) {
        x = (Math.imul(x, 1103515245) + 12345) >>> 0;
        yield 1 + (x >>> 8) % largest;
    }
}

/** The first index where two sample arrays differ, or -1 (lengths included). */
export function firstDifference(a, b) {
    const n = Math.min(a.length, b.length);
    for (let i = 0; i < n; ++i) if (a[i] !== b[i]) return i;
    return a.length === b.length ? -1 : n;
}
