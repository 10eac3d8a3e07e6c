// createLumbo: compiles lumbo.wasm (once per source) and makes an instance of
// it. The module has no imports, so it needs no glue.
import { Lumbo } from "./player.js";

const beside = new URL("./lumbo.wasm", import.meta.url);
let compiledBeside = null;

/**
 * An instance of the engine. `wasm`: a URL (default: lumbo.wasm beside this
 * file), the file's bytes, or a compiled WebAssembly.Module.
 */
export async function createLumbo({ wasm } = {}) {
    const module = wasm instanceof WebAssembly.Module ? wasm
        : wasm === undefined ? await (compiledBeside ??= compileAt(beside))
        : wasm instanceof ArrayBuffer || ArrayBuffer.isView(wasm) ? await WebAssembly.compile(wasm)
        : await compileAt(new URL(wasm, globalThis.location?.href ?? beside));
    return new Lumbo(await WebAssembly.instantiate(module, {}), module);
}

async function compileAt(url) {
    if (url.protocol === "file:") {
        // Node: fetch() reads no files. Hidden from bundlers, which would
        // otherwise try to pack Node's file system for the browser.
        const fs = "node:fs/promises";
        const { readFile } = await import(/* webpackIgnore: true */ /* @vite-ignore */ fs);
        return WebAssembly.compile(await readFile(url));
    }
    const response = await fetch(url);
    if (!response.ok) throw new Error(`lumbo: cannot fetch ${url}: ${response.status} ${response.statusText}`);
    return WebAssembly.compile(await response.arrayBuffer());
}
