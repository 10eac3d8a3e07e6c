// LumboNode: a player in an audio worklet, rendering at its context's rate.
// The worklet runs its own instance of the engine, made synchronously from
// the compiled module handed over in processorOptions, so the first quantum
// after play() is already frame 0 of the song.
import { createLumbo } from "./load.js";

const processorUrl = new URL("./player.js", import.meta.url);
const processors = new WeakMap();      // context -> promise of its worklet module
let defaultLumbo = null;

// Without Web Audio (Node) the class exists, but create() cannot be called.
const Base = globalThis.AudioWorkletNode ?? class {};

export class LumboNode extends Base {
    #info;
    #volume;
    #repeat;
    #heard = [];           // the worklet's reports, oldest first: { at, frame, playing, position, levels }
    #playing = false;
    #replies = new Map();
    #nextId = 0;
    #lastRow = null;
    #timers = new Set();
    #closed = false;

    /**
     * A node playing an XM module (Uint8Array or ArrayBuffer). Throws a
     * LumboError for a module the engine refuses. Options: playing (start
     * from frame 0 at once), repeat, volume, lumbo (a createLumbo() result
     * whose module the worklet uses; by default lumbo.wasm beside lumbo.js).
     */
    static async create(context, bytes, options = {}) {
        const lumbo = options.lumbo ?? await (defaultLumbo ??= createLumbo().catch((error) => {
            defaultLumbo = null;                // a failed fetch may be tried again
            throw error;
        }));
        const player = lumbo.load(bytes, { rate: context.sampleRate });
        const info = player.info;
        player.free();
        if (!processors.has(context)) processors.set(context, context.audioWorklet.addModule(processorUrl));
        await processors.get(context);
        // A copy of just the module's bytes: a view would send its whole buffer.
        const copy = ArrayBuffer.isView(bytes) ? new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength).slice()
            : new Uint8Array(bytes).slice();
        return new LumboNode(context, lumbo.module, copy, info, options);
    }

    constructor(context, module, bytes, info, { playing = false, repeat = -1, volume = 1 } = {}) {
        super(context, "lumbo", {
            numberOfInputs: 0,
            numberOfOutputs: 1,
            outputChannelCount: [2],
            processorOptions: { module, bytes, playing, repeat, volume, channels: info.channels },
        });
        this.#info = info;
        this.#volume = volume;
        this.#repeat = repeat;
        this.#playing = playing;
        this.port.onmessage = ({ data }) => this.#receive(data);
    }

    /** The module's facts, frames at the context's rate. */
    get info() { return this.#info; }
    get playing() { return this.#playing; }

    /** Starts or resumes; after the end, starts again from the beginning. */
    play() {
        this.#playing = true;
        this.#send("play");
        if (this.context.state === "suspended" && globalThis.AudioContext && this.context instanceof AudioContext) {
            this.context.resume();
        }
    }
    pause() {
        this.#playing = false;
        this.#send("pause");
    }

    seek(frame) { return this.#ask("seek", frame); }
    seekTime(seconds) { return this.#ask("seekTime", seconds); }
    seekOrder(order, row = 0) { return this.#ask("seekOrder", order, row); }
    jump(order, row = 0) { return this.#ask("jump", order, row); }
    mute(channel, muted = true) { this.#send("mute", channel, muted); }

    get repeat() { return this.#repeat; }
    set repeat(count) {
        this.#repeat = count >= 0 && count !== Infinity ? Math.min(Math.floor(count), 0x7fffffff) : -1;
        this.#send("repeat", this.#repeat);
    }
    get volume() { return this.#volume; }
    set volume(value) {
        this.#volume = Math.min(Math.max(Number(value) || 0, 0), 1);
        this.#send("volume", this.#volume);
    }

    /** As a player's position, for the frame being heard now; null before the first. */
    get heardPosition() {
        const report = this.#reportHeard();
        return report ? this.#positionIn(report, this.#heardFrame()) : null;
    }

    /** Each channel's level heard now, 0..1 (zeros when the engine has no levels). */
    get levels() { return this.#reportHeard()?.levels ?? new Float32Array(this.#info.channels); }

    /** Ramps down, then releases the worklet's player and disconnects; the node is silent for good. */
    close() {
        if (this.#closed) return;
        this.#closed = true;
        this.#send("close");
        this.#playing = false;
        for (const timer of this.#timers) clearTimeout(timer);
        this.#timers.clear();
    }

    // ---- Hearing what the worklet rendered ---------------------------------

    // The context frame being heard: what the context has rendered, less the
    // time it takes to reach the ear.
    #heardFrame() {
        const c = this.context;
        const latency = (c.outputLatency || 0) + (c.baseLatency || 0);
        return Math.floor((c.currentTime - latency) * c.sampleRate);
    }

    #reportHeard() {
        const heard = this.#heardFrame();
        const reports = this.#heard;
        let i = 0;
        while (i + 1 < reports.length && reports[i + 1].at <= heard) ++i;
        reports.splice(0, i);
        return reports[0]?.at <= heard ? reports[0] : null;
    }

    // What a report says is heard at context frame `heard`: its frames run on while it plays.
    #positionIn(report, heard) {
        if (!report.position) return null;
        const frame = report.playing ? report.frame + Math.max(0, heard - report.at) : report.frame;
        return { ...report.position, frame, ended: report.position.ended && !report.playing };
    }

    #receive(data) {
        if (data.closed) return this.disconnect();
        if (data.reply !== undefined) {
            this.#replies.get(data.reply)?.(data.result);
            this.#replies.delete(data.reply);
            return;
        }
        this.#heard.push(data);
        this.#reportHeard();                    // drops the reports already heard
        const p = data.position;
        if (!p) return;
        const ended = p.ended && !data.playing;
        const row = `${p.order}:${p.row}`;
        if (row === this.#lastRow && !ended) return;
        this.#lastRow = row;
        // Told ahead of the ear: the event waits until the quantum is heard.
        const wait = Math.max(0, (data.at - this.#heardFrame()) / this.context.sampleRate * 1000);
        const timer = setTimeout(() => {
            this.#timers.delete(timer);
            if (ended) this.#playing = false;
            this.dispatchEvent(new CustomEvent(ended ? "end" : "row", { detail: this.#positionIn(data, data.at) }));
        }, wait);
        this.#timers.add(timer);
    }

    #send(call, ...args) { this.port.postMessage({ call, args }); }

    #ask(call, ...args) {
        if (this.#closed) return Promise.resolve(false);
        const id = this.#nextId++;
        return new Promise((resolve) => {
            this.#replies.set(id, resolve);
            this.port.postMessage({ call, args, id });
        });
    }
}
