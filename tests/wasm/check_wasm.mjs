// The WebAssembly module at the level of its exports, in Node: what it imports
// and exports, the same frames as the native `lumbo render` in random chunk
// sizes, memory that stays level over many loads, and the pitch table of
// wasi-libc's exp2 against the system's.
//   node check_wasm.mjs LUMBO_TOOL WASM_DIR MODULE...
// WASM_DIR holds lumbo.wasm, pitch_powers.wasm and pitch_powers.bin (the
// native table).
import { execFileSync } from "node:child_process";
import { readFileSync } from "node:fs";
import { basename, join } from "node:path";

const [tool, wasmDir, ...modules] = process.argv.slice(2);
let failures = 0;
function check(ok, what) {
  console.log(`${ok ? "ok  " : "FAIL"} ${what}`);
  if (!ok) failures++;
}

const lumboModule = new WebAssembly.Module(readFileSync(join(wasmDir, "lumbo.wasm")));
const expectedExports = ["memory", "malloc", "free", "lumbo_load", "lumbo_load_at", "lumbo_status_text",
  "lumbo_free", "lumbo_render", "lumbo_position_of", "lumbo_set_volume", "lumbo_module_info", "lumbo_player_info",
  "lumbo_seek", "lumbo_seek_order", "lumbo_jump", "lumbo_set_channel_mute", "lumbo_set_repeat", "lumbo_ended",
  "lumbo_channel_levels"];
const exportNames = WebAssembly.Module.exports(lumboModule).map((e) => e.name);
check(WebAssembly.Module.imports(lumboModule).length === 0, "lumbo.wasm imports nothing");
check(exportNames.sort().join() === expectedExports.sort().join(), `lumbo.wasm exports ${exportNames.join(" ")}`);

function instance() {
  return new WebAssembly.Instance(lumboModule, {}).exports;
}

// A player of the file's bytes at rate, or 0.
function load(x, bytes, rate) {
  const data = x.malloc(bytes.length);
  new Uint8Array(x.memory.buffer, data, bytes.length).set(bytes);
  const player = x.lumbo_load_at(data, bytes.length, rate, 0);
  x.free(data);
  return player;
}

// xorshift32: the same chunk sizes on every run.
function chunkSizes(seed) {
  let s = seed;
  return () => {
    s ^= s << 13; s >>>= 0; s ^= s >>> 17; s ^= s << 5; s >>>= 0;
    return s % 4 === 0 ? 1 + (s >>> 8) % 8 : 1 + (s >>> 8) % 4000;   // some tiny, most up to a few blocks
  };
}

// The module rendered in random chunks until the reference's length; with
// once, it must end exactly there.
function renderedEqual(file, rate, reference, once) {
  const x = instance();
  const player = load(x, readFileSync(file), rate);
  if (!player) return "not loaded";
  if (once) x.lumbo_set_repeat(player, 0);
  const out = x.malloc(4 * 4000);
  const next = chunkSizes(rate ^ reference.length);
  const frames = reference.length / 4;
  let done = 0;
  while (done < frames) {
    const asked = Math.min(next(), once ? 4000 : frames - done);
    const got = x.lumbo_render(player, out, asked);
    const pcm = Buffer.from(x.memory.buffer, out, 4 * got);
    if (!pcm.equals(reference.subarray(4 * done, 4 * (done + got)))) return `differs in frames ${done}..${done + got}`;
    done += got;
    if (got < asked && done < frames) return `ended after ${done} of ${frames} frames`;
  }
  if (once && (x.lumbo_render(player, out, 1) !== 0 || !x.lumbo_ended(player))) return "goes on past the loop point";
  return "";
}

// Both songs once through to their loop point; the busy modules for 10 s.
for (const file of modules) {
  const once = !basename(file).startsWith("busy");
  for (const rate of [44100, 48000]) {
    const args = ["render", file, "-o", "-", "--rate", String(rate), ...(once ? [] : ["--seconds", "10"])];
    const reference = execFileSync(tool, args, { maxBuffer: 1 << 30 });
    const problem = renderedEqual(file, rate, reference, once);
    check(!problem, `${basename(file)} at ${rate} Hz: ${reference.length / 4} frames as lumbo render ${problem}`);
  }
}

// Loading, playing and freeing modules a thousand times, several at once and
// freed out of order, leaves the memory where the first time took it, and
// every player renders what the first did.
{
  const x = instance();
  const files = modules.map((file) => readFileSync(file));
  const out = x.malloc(4 * 4000);
  const firstFrames = [];
  const cycle = () => {
    const players = files.map((bytes) => load(x, bytes, 48000));
    players.forEach((player, i) => {
      x.lumbo_render(player, out, 4000);
      const pcm = Buffer.from(x.memory.buffer, out, 4 * 4000);
      firstFrames[i] ??= Buffer.from(pcm);
      if (!pcm.equals(firstFrames[i])) throw new Error(`${basename(modules[i])} renders other frames`);
      x.lumbo_seek(player, 48000n);
    });
    players.filter((_, i) => i % 2).concat(players.filter((_, i) => i % 2 === 0)).forEach(x.lumbo_free);
  };
  cycle();
  const first = x.memory.buffer.byteLength;
  for (let i = 0; i < 1000; i++) cycle();
  check(x.memory.buffer.byteLength === first, `1000 load/free cycles: memory ${first} -> ${x.memory.buffer.byteLength} bytes`);
}

// Every pitch the sequencer can compute, bit for bit as natively.
{
  const p = new WebAssembly.Instance(new WebAssembly.Module(readFileSync(join(wasmDir, "pitch_powers.wasm"))), {}).exports;
  const native = readFileSync(join(wasmDir, "pitch_powers.bin"));
  const table = new BigUint64Array(native.buffer, native.byteOffset, native.length / 8);
  const bits = new BigUint64Array(new Float64Array(1).buffer);
  const value = new Float64Array(bits.buffer);
  let first = -1;
  for (let i = 0; i < table.length && first < 0; i++) {
    value[0] = p.pitch_power(i);
    if (bits[0] !== table[i]) first = i;
  }
  check(p.pitch_power_count() === table.length && first < 0,
    `pitch powers: ${p.pitch_power_count()} values against the native table's ${table.length}` +
    (first < 0 ? "" : `; first difference at ${first}`));
}

process.exit(failures ? 1 : 0);
