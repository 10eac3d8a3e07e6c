// Types of lumbo: exact, click-free XM playback over lumbo.wasm.

/** Statuses of a load, as the C library numbers them. */
export declare const LumboStatus: Readonly<{
    OK: 0; EMPTY: 1; BAD_SIGNATURE: 2; TOO_MANY_CHANNELS: 3; BAD_SONG_LENGTH: 4;
    BAD_HEADER_SIZE: 5; TOO_MANY_SAMPLES: 6; TOO_LARGE: 7; OUT_OF_MEMORY: 8;
    NO_OUTPUT: 9; BAD_ARGUMENT: 10;
}>;

/** A module the engine refused: `message` is the loader's reason. */
export declare class LumboError extends Error {
    readonly name: "LumboError";
    readonly status: number;
    constructor(message: string, status: number);
}

/** Where a song stands. Frames count the stream from its start (or from where a seek landed). */
export interface LumboPosition {
    order: number;
    pattern: number;
    row: number;
    tick: number;
    frame: number;
    ended: boolean;
}

/** What a module holds, and how long it plays before it comes back to where it has been. */
export interface LumboInfo {
    title: string;
    channels: number;
    songLength: number;
    restart: number;
    patterns: number;
    instruments: number;
    /** Linear frequency table (else Amiga periods). */
    linear: boolean;
    speed: number;
    tempo: number;
    /** The song comes back to a position it has played (within 2^20 rows). */
    loops: boolean;
    /** Rows played until it comes back. */
    rows: number;
    /** Frames (at `rate`) until it comes back: the length of one pass. */
    loopEndFrame: number;
    /** Frame at which the position it comes back to was first heard. */
    loopStartFrame: number;
    loopOrder: number;
    loopRow: number;
    rate: number;
    /** loopEndFrame / rate, in seconds. */
    duration: number;
}

export type ModuleBytes = ArrayBufferLike | ArrayBufferView;

export interface LoadOptions {
    /** Frames per second, 8000 to 192000; default 44100. */
    rate?: number;
}

/** One instance of the engine, with its own memory. */
export declare class Lumbo {
    constructor(instance: WebAssembly.Instance, module: WebAssembly.Module);
    /** The compiled lumbo.wasm this instance was made from. */
    readonly module: WebAssembly.Module;
    /** The instance's memory; it grows to what its players have needed at most. */
    readonly memory: WebAssembly.Memory;
    /** Loads a module into a new player; throws a LumboError with the loader's reason. */
    load(bytes: ModuleBytes, options?: LoadOptions): Player;
    /** A module's facts without keeping it (frames at 44100 Hz); throws a LumboError. */
    moduleInfo(bytes: ModuleBytes): LumboInfo;
    /** The loader's text for a status. */
    statusText(status: number): string;
}

/** A loaded module with its own position, voices and volume. */
export declare class Player {
    private constructor();
    readonly rate: number;
    /**
     * Writes the next frames into `out`, interleaved left, right (floats are the
     * 16-bit values / 32768), or into `out` and `right` as two planar channels.
     * Returns the frames written: fewer at the end of a song with a repeat count.
     */
    render(out: Int16Array | Float32Array): number;
    render(left: Float32Array, right: Float32Array): number;
    /** The tick of the last frame handed out; null before the first. */
    readonly position: LumboPosition | null;
    readonly ended: boolean;
    readonly info: LumboInfo;
    /** The next frame handed out is this frame of the song's stream; false past the end. */
    seek(frame: number | bigint): boolean;
    /** seek(Math.floor(seconds * rate)). */
    seekTime(seconds: number): boolean;
    /** To the first time the song gets to this row of this order position. */
    seekOrder(order: number, row?: number): boolean;
    /** At the next row, go on from this order position and row. */
    jump(order: number, row?: number): boolean;
    /** Silences channel 0..31 (or brings it back), in time with the song. */
    mute(channel: number, muted?: boolean): void;
    /** Each channel's level over the last 20 ms block, 0..1; null when the engine has no levels. */
    levels(out?: Float32Array): Float32Array | null;
    /** How often the loop plays again before the song ends; -1 (default) never ends. */
    repeat: number;
    /** 0..1 as a media element's volume, clamped; changes ramp, never click. */
    volume: number;
    /** Releases the player's memory. */
    free(): void;
}

export interface CreateOptions {
    /**
     * lumbo.wasm: its URL (default: beside lumbo.js; a relative one is taken
     * from the page's address, in Node from lumbo.js's), its bytes, or the
     * compiled module.
     */
    wasm?: string | URL | ArrayBuffer | ArrayBufferView | WebAssembly.Module;
}

/** Compiles (once per source) and instantiates lumbo.wasm. */
export declare function createLumbo(options?: CreateOptions): Promise<Lumbo>;

export interface LumboNodeOptions {
    /** Play from frame 0 at once (default: silent until play()). */
    playing?: boolean;
    repeat?: number;
    volume?: number;
    /** The instance whose module the worklet runs (default: lumbo.wasm beside lumbo.js). */
    lumbo?: Lumbo;
}

export type LumboEvent = CustomEvent<LumboPosition | null>;

export interface LumboNodeEventMap {
    /** A new row is heard. */
    row: LumboEvent;
    /** The song has ended (a repeat count) and its last frame is heard. */
    end: LumboEvent;
}

/** A player in an AudioWorklet, rendering stereo at its context's rate. */
export declare class LumboNode extends AudioWorkletNode {
    private constructor();
    /** Throws a LumboError for a module the engine refuses. */
    static create(context: BaseAudioContext, bytes: ModuleBytes, options?: LumboNodeOptions): Promise<LumboNode>;
    readonly info: LumboInfo;
    readonly playing: boolean;
    /** The position heard now: the worklet's frames less the context's output latency. */
    readonly heardPosition: LumboPosition | null;
    /** Each channel's level heard now, 0..1. */
    readonly levels: Float32Array;
    /** Starts or resumes (after the end, from the start); resumes a suspended AudioContext. */
    play(): void;
    /** Ramps down and stops, keeping its place. */
    pause(): void;
    seek(frame: number | bigint): Promise<boolean>;
    seekTime(seconds: number): Promise<boolean>;
    seekOrder(order: number, row?: number): Promise<boolean>;
    jump(order: number, row?: number): Promise<boolean>;
    mute(channel: number, muted?: boolean): void;
    repeat: number;
    volume: number;
    /** Ramps down, frees the worklet's player and disconnects; the node is silent for good. */
    close(): void;
    addEventListener<K extends keyof LumboNodeEventMap>(type: K, listener: (this: LumboNode, event: LumboNodeEventMap[K]) => unknown,
                                                        options?: boolean | AddEventListenerOptions): void;
    addEventListener(type: string, listener: EventListenerOrEventListenerObject, options?: boolean | AddEventListenerOptions): void;
    removeEventListener<K extends keyof LumboNodeEventMap>(type: K, listener: (this: LumboNode, event: LumboNodeEventMap[K]) => unknown,
                                                           options?: boolean | EventListenerOptions): void;
    removeEventListener(type: string, listener: EventListenerOrEventListenerObject, options?: boolean | EventListenerOptions): void;
}
