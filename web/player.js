// The engine's players over one instance of lumbo.wasm: the calls of lumbo.h
// in JavaScript. Synchronous throughout, so the audio worklet runs the same
// code; at the end of the file is that worklet's processor.

/** Statuses of a load, as lumbo.h numbers them. */
export const LumboStatus = Object.freeze({
    OK: 0, EMPTY: 1, BAD_SIGNATURE: 2, TOO_MANY_CHANNELS: 3, BAD_SONG_LENGTH: 4,
    BAD_HEADER_SIZE: 5, TOO_MANY_SAMPLES: 6, TOO_LARGE: 7, OUT_OF_MEMORY: 8,
    NO_OUTPUT: 9, BAD_ARGUMENT: 10,
});

/** A module the engine refused, with its status and the loader's reason. */
export class LumboError extends Error {
    constructor(message, status) {
        super(message);
        this.name = "LumboError";
        this.status = status;
    }
}

const kChunk = 2048;            // frames rendered per engine call
const kPositionBytes = 24;      // lumbo_position on wasm32
const kInfoBytes = 88;          // lumbo_info on wasm32
const kLevelsBytes = 32;        // one byte per channel

// Byte offsets of lumbo_info's fields on wasm32 (title is char[21], then padding).
const kInfo = {
    channels: 24, songLength: 28, restart: 32, patterns: 36, instruments: 40,
    linear: 44, speed: 48, tempo: 52, loops: 56, rows: 60,
    loopEndFrame: 64, loopStartFrame: 72, loopOrder: 80, loopRow: 84,
};

/** One instance of the engine: its memory and the players made in it. */
export class Lumbo {
    #exports;
    #scratch;                   // status, position, info, levels, then the render buffer
    #freeing;

    /** @param instance an instance of lumbo.wasm; @param module what it was made from */
    constructor(instance, module) {
        this.#exports = instance.exports;
        this.module = module;
        this.#scratch = this.#exports.malloc(16 + kPositionBytes + kInfoBytes + kLevelsBytes + kChunk * 4);
        if (!this.#scratch) throw new LumboError("out of memory", LumboStatus.OUT_OF_MEMORY);
        // A player dropped without free() still gives its memory back, later.
        this.#freeing = new FinalizationRegistry((handle) => this.#exports.lumbo_free(handle));
    }

    /** The instance's memory: its size is what the players have needed at most. */
    get memory() { return this.#exports.memory; }

    /** The loader's text for a status. */
    statusText(status) { return this.#string(this.#exports.lumbo_status_text(status)); }

    /** Loads an XM module (Uint8Array or ArrayBuffer) into a new player; throws a LumboError. */
    load(bytes, { rate = 44100 } = {}) {
        const e = this.#exports;
        const status = this.#scratch;
        const handle = this.#withBytes(bytes, (data, size) => e.lumbo_load_at(data, size, rate, status));
        if (!handle) this.#fail(this.#view(Int32Array, status, 1)[0]);
        const player = new Player(this, handle, rate);
        this.#freeing.register(player, handle, player);
        return player;
    }

    /** What a module holds and how long it plays before it loops (frames at 44100 Hz). */
    moduleInfo(bytes) {
        const at = this.#infoAddress;
        const status = this.#withBytes(bytes, (data, size) => this.#exports.lumbo_module_info(data, size, at));
        if (status !== LumboStatus.OK) this.#fail(status);
        return this.#readInfo(at, 44100);
    }

    // ---- For Player: the calls and the memory they share --------------------

    get exports() { return this.#exports; }
    get #positionAddress() { return this.#scratch + 16; }
    get #infoAddress() { return this.#scratch + 16 + kPositionBytes; }
    get levelsAddress() { return this.#scratch + 16 + kPositionBytes + kInfoBytes; }
    get renderAddress() { return this.#scratch + 16 + kPositionBytes + kInfoBytes + kLevelsBytes; }

    // Views are made afresh: a grown memory detaches the old buffer.
    #view(Type, address, length) { return new Type(this.#exports.memory.buffer, address, length); }
    view(Type, address, length) { return this.#view(Type, address, length); }

    forget(player) { this.#freeing.unregister(player); }

    position(handle, ended) {
        const at = this.#positionAddress;
        if (!this.#exports.lumbo_position_of(handle, at)) return null;
        const [order, pattern, row, tick] = this.#view(Int32Array, at, 4);
        const frame = Number(this.#view(BigUint64Array, at + 16, 1)[0]);
        return { order, pattern, row, tick, frame, ended };
    }

    playerInfo(handle, rate) {
        const at = this.#infoAddress;
        if (!this.#exports.lumbo_player_info(handle, at)) throw new LumboError("out of memory", LumboStatus.OUT_OF_MEMORY);
        return this.#readInfo(at, rate);
    }

    #readInfo(at, rate) {
        const word = (offset) => this.#view(Int32Array, at + offset, 1)[0];
        const frames = (offset) => Number(this.#view(BigUint64Array, at + offset, 1)[0]);
        const loopEndFrame = frames(kInfo.loopEndFrame);
        return {
            title: this.#string(at).trimEnd(),
            channels: word(kInfo.channels), songLength: word(kInfo.songLength), restart: word(kInfo.restart),
            patterns: word(kInfo.patterns), instruments: word(kInfo.instruments),
            linear: word(kInfo.linear) !== 0, speed: word(kInfo.speed), tempo: word(kInfo.tempo),
            loops: word(kInfo.loops) !== 0, rows: word(kInfo.rows),
            loopEndFrame, loopStartFrame: frames(kInfo.loopStartFrame),
            loopOrder: word(kInfo.loopOrder), loopRow: word(kInfo.loopRow),
            rate, duration: loopEndFrame / rate,
        };
    }

    // Copies the module into the engine's memory for one call. An empty file
    // still gets an address, so that the engine says "empty file".
    #withBytes(bytes, call) {
        const source = bytes instanceof Uint8Array ? bytes
            : ArrayBuffer.isView(bytes) ? new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength)
            : new Uint8Array(bytes);
        const data = this.#exports.malloc(Math.max(source.length, 1));
        if (!data) this.#fail(LumboStatus.OUT_OF_MEMORY);
        try {
            this.#view(Uint8Array, data, source.length).set(source);
            return call(data, source.length);
        } finally {
            this.#exports.free(data);
        }
    }

    #fail(status) { throw new LumboError(this.statusText(status), status); }

    // C text as Latin-1 (a module title is bytes, not UTF-8); the worklet has no TextDecoder.
    #string(address) {
        const bytes = new Uint8Array(this.#exports.memory.buffer, address);
        let text = "";
        for (let i = 0; bytes[i] !== 0; ++i) text += String.fromCharCode(bytes[i]);
        return text;
    }
}

/** A loaded module with its own position, voices and volume. */
export class Player {
    #lumbo;
    #handle;
    #info = null;
    #volume = 1;
    #repeat = -1;

    constructor(lumbo, handle, rate) {
        this.#lumbo = lumbo;
        this.#handle = handle;
        this.rate = rate;
    }

    /**
     * Writes the next frames: into one Int16Array or Float32Array, interleaved
     * left, right; or into two Float32Arrays, left and right. Floats are the
     * 16-bit values / 32768. Returns the frames written, fewer at the end.
     */
    render(out, right) {
        const e = this.#exports;
        const buffer = this.#lumbo.renderAddress;
        const frames = right ? Math.min(out.length, right.length) : out.length >> 1;
        let done = 0;
        while (done < frames) {
            const wanted = Math.min(frames - done, kChunk);
            const got = e.lumbo_render(this.#handle, buffer, wanted) >>> 0;
            const pcm = this.#lumbo.view(Int16Array, buffer, 2 * got);
            if (right) {
                for (let i = 0; i < got; ++i) {
                    out[done + i] = pcm[2 * i] / 32768;
                    right[done + i] = pcm[2 * i + 1] / 32768;
                }
            } else if (out instanceof Int16Array) {
                out.set(pcm, 2 * done);
            } else {
                for (let i = 0; i < 2 * got; ++i) out[2 * done + i] = pcm[i] / 32768;
            }
            done += got;
            if (got < wanted) break;
        }
        return done;
    }

    /** The tick of the last frame handed out: { order, pattern, row, tick, frame, ended }, or null before it. */
    get position() { return this.#lumbo.position(this.#handle, this.ended); }

    /** True once a song with a repeat count has ended and every frame is out. */
    get ended() { return this.#exports.lumbo_ended(this.#handle) !== 0; }

    /** The module's facts, frames at the player's rate. */
    get info() { return (this.#info ??= this.#lumbo.playerInfo(this.#handle, this.rate)); }

    /** The next frame handed out is this frame of the song's stream. */
    seek(frame) {
        if (!(frame >= 0)) return false;
        const at = typeof frame === "bigint" ? frame : BigInt(Math.floor(frame));
        return this.#exports.lumbo_seek(this.#handle, at) !== 0;
    }
    seekTime(seconds) { return this.seek(Math.floor(seconds * this.rate)); }
    seekOrder(order, row = 0) { return this.#exports.lumbo_seek_order(this.#handle, order, row) !== 0; }

    /** At the next row, play on from this order position and row. */
    jump(order, row = 0) { return this.#exports.lumbo_jump(this.#handle, order, row) !== 0; }

    /** Silences channel 0..31, or brings it back, in time. */
    mute(channel, muted = true) { this.#exports.lumbo_set_channel_mute(this.#handle, channel, muted ? 1 : 0); }

    /**
     * Each channel's level over the last 20 ms block, 0..1, into `out` (a new
     * Float32Array by default); null when the engine has no such call.
     */
    levels(out = new Float32Array(this.info.channels)) {
        const levels = this.#exports.lumbo_channel_levels;
        if (!levels) return null;
        const count = Math.min(out.length, 32);
        levels(this.#handle, this.#lumbo.levelsAddress, count);
        const bytes = this.#lumbo.view(Uint8Array, this.#lumbo.levelsAddress, count);
        for (let i = 0; i < count; ++i) out[i] = bytes[i] / 255;
        return out;
    }

    /** Times the loop plays again before the song ends; negative or Infinity: never ends. */
    get repeat() { return this.#repeat; }
    set repeat(count) {
        this.#repeat = count >= 0 && count !== Infinity ? Math.min(Math.floor(count), 0x7fffffff) : -1;
        this.#exports.lumbo_set_repeat(this.#handle, this.#repeat);
    }

    /** 0..1 as a media element's volume, clamped; ramps, never clicks. */
    get volume() { return this.#volume; }
    set volume(value) {
        this.#volume = Math.min(Math.max(Number(value) || 0, 0), 1);
        this.#exports.lumbo_set_volume(this.#handle, Math.round(this.#volume * 256));
    }

    /** Releases the player's memory; the player is unusable afterwards. */
    free() {
        if (!this.#handle) return;
        this.#lumbo.forget(this);
        this.#exports.lumbo_free(this.#handle);
        this.#handle = 0;
    }

    get #exports() {
        if (!this.#handle) throw new Error("lumbo: the player has been freed");
        return this.#lumbo.exports;
    }
}

// ---- The audio worklet's processor ------------------------------------------
// LumboNode adds this very file to a context's worklet, so the processor needs
// no other file: a bundler that copies it as an asset copies all of it.

if (typeof registerProcessor === "function") {
    // Quanta a pause or a seek waits at volume 0 so as never to click: the
    // engine's ramp is 2.9 ms, 128 frames at 44100 Hz, 140 at 48000.
    const rampQuanta = Math.ceil(0.0029 * sampleRate / 128) + 1;
    // A tick at speed 1 looks like the one before it: a report at least this
    // often keeps the node's heard position and levels fresh anyway.
    const reportQuanta = 8;

    const tickOf = ({ order, row, tick }) => `${order}:${row}:${tick}`;

    registerProcessor("lumbo", class extends AudioWorkletProcessor {
        constructor({ processorOptions: o }) {
            super();
            const lumbo = new Lumbo(new WebAssembly.Instance(o.module, {}), o.module);
            this.player = lumbo.load(o.bytes, { rate: sampleRate });
            this.player.repeat = o.repeat;
            this.volume = o.volume;
            if (o.volume !== 1) this.player.volume = o.volume;   // full volume is the engine's own
            this.levels = new Float32Array(o.channels);   // not from info: that runs the whole song
            this.playing = false;
            this.lowered = false;       // the engine's volume is down for a pause or a seek
            this.pending = [];          // what runs once it is down
            this.countdown = 0;         // quanta until then
            this.lastTick = null;       // order, row and tick last reported
            this.sinceReport = 0;       // quanta since then
            this.port.onmessage = ({ data }) => this.command(data);
            if (o.playing) this.command({ call: "play" });
        }

        command({ call, args = [], id }) {
            const player = this.player;
            if (!player) return;
            const reply = (result) => id !== undefined && this.port.postMessage({ reply: id, result });
            switch (call) {
            case "play":
                if (this.pending.length) this.pending = this.pending.filter((action) => action !== this.stop);
                if (player.ended) player.seek(0);
                this.playing = true;
                if (!this.pending.length) this.raise();
                this.lastTick = null;
                break;
            case "pause":
                if (this.playing) this.whenQuiet(this.stop);
                break;
            case "seek": case "seekTime": case "seekOrder":
                // Playing, the stream ramps down before it moves.
                if (!this.playing) {
                    reply(player[call](...args));
                    this.report(currentFrame, 0);
                } else {
                    this.whenQuiet(() => { reply(player[call](...args)); this.lastTick = null; });
                }
                return;
            case "jump": reply(player.jump(...args)); return;
            case "mute": player.mute(...args); return;
            case "repeat": player.repeat = args[0]; return;
            case "volume":
                this.volume = args[0];
                if (!this.lowered) player.volume = this.volume;
                return;
            case "close":
                if (this.playing) this.whenQuiet(this.close);
                else this.close();
                return;
            }
        }

        // Frees the player once it is quiet; the node then lets go of the worklet.
        close = () => {
            this.player.free();
            this.player = null;
            this.playing = false;
            this.port.postMessage({ closed: true });
        };

        stop = () => {
            this.playing = false;
            this.report(currentFrame + 128, 0);
        };

        whenQuiet(action) {
            if (!this.lowered) this.player.volume = 0;
            this.lowered = true;
            if (!this.pending.length) this.countdown = rampQuanta;
            this.pending.push(action);
        }

        raise() {
            if (this.lowered) this.player.volume = this.volume;
            this.lowered = false;
        }

        process(inputs, outputs) {
            if (!this.player) return false;
            if (!this.playing) return true;
            const [left, right] = outputs[0];
            const player = this.player;
            const from = player.position?.frame ?? 0;
            const frames = player.render(left, right);
            const tick = player.position && tickOf(player.position);
            if (tick !== this.lastTick || ++this.sinceReport >= reportQuanta || player.ended) this.report(currentFrame, from);
            if (player.ended) {
                this.playing = false;
                this.report(currentFrame + frames, from + frames);
            }
            if (this.pending.length && --this.countdown <= 0) {
                const actions = this.pending;
                this.pending = [];
                for (const action of actions) if (this.player) action();
                if (!this.player) return false;
                if (this.playing) this.raise();
            }
            return true;
        }

        // Tells the node what the quantum starting at context frame `at` plays:
        // song frames from `frame` on, and the tick its last frame belongs to.
        report(at, frame) {
            const player = this.player;
            const position = player.position;
            this.lastTick = position && tickOf(position);
            this.sinceReport = 0;
            player.levels(this.levels);
            this.port.postMessage({ at, frame: position && !this.playing ? position.frame : frame,
                                    playing: this.playing, position, levels: this.levels });
        }
    });
}
