// The demo page: one LumboNode at a time, steered by the page's controls.
// Opened with ?play it starts the first song at once (where autoplay is allowed).
import { createLumbo, LumboError, LumboNode } from "../lumbo.js";
import { Mixer } from "./mixer.js";

const $ = (id) => document.getElementById(id);
let context = null;                            // made on the first song, as browsers want a gesture first
const lumbo = createLumbo();
const mixer = new Mixer($("mixer"), (channel, muted) => node?.mute(channel, muted));
let node = null;
let dragging = false;

// Loads a module; on a refusal the song that plays goes on, and the page says why.
async function open(bytes, name, song = null) {
    context ??= new AudioContext();
    let next;
    try {
        next = await LumboNode.create(context, bytes, {
            lumbo: await lumbo, repeat: $("loop").checked ? -1 : 0, volume: Number($("volume").value),
        });
    } catch (error) {
        if (!(error instanceof LumboError)) console.error(error);
        const playing = node ? ` — still playing “${node.info.title || "untitled"}”` : "";
        showError(`${name}: ${error.message}${playing}`);
        return;
    }
    showError(null);
    node?.close();
    node = next;
    node.connect(context.destination);
    node.addEventListener("end", () => showPlaying(false));
    const info = node.info;
    $("title").textContent = info.title || name;
    document.title = `${info.title || name} — lumbo`;
    $("channels").textContent = info.channels;
    $("duration").textContent = $("total").textContent = clock(info.duration);
    $("tempo").textContent = info.tempo;
    $("seek").max = info.duration;
    $("seek").disabled = $("play").disabled = false;
    mixer.show(info.channels);
    document.querySelectorAll(".song").forEach((b) => b.setAttribute("aria-current", String(b.dataset.song === song)));
    play();
}

async function openUrl(url) {
    const response = await fetch(url);
    if (!response.ok) return showError(`${url}: ${response.status} ${response.statusText}`);
    await open(new Uint8Array(await response.arrayBuffer()), url.split("/").pop(), url);
}

function play() {
    node.play();
    context.resume();
    showPlaying(true);
}
function pause() {
    node.pause();
    showPlaying(false);
}
const toggle = () => node && (node.playing ? pause() : play());

function seekBy(seconds) {
    if (!node) return;
    const heard = songTime(node.heardPosition?.frame ?? 0, node.info);
    node.seekTime(Math.max(0, Math.min(heard + seconds, node.info.duration)));
}

function showPlaying(playing) {
    $("play").setAttribute("aria-label", playing ? "Pause" : "Play");
}

function showError(text) {
    $("error").hidden = !text;
    $("error").textContent = text ?? "";
}

// Seconds into the song, with the loop folded back onto its first pass.
function songTime(frame, info) {
    const loop = info.loopEndFrame - info.loopStartFrame;
    if (frame >= info.loopEndFrame && loop > 0) frame = info.loopStartFrame + (frame - info.loopStartFrame) % loop;
    return frame / info.rate;
}

const clock = (seconds) => `${Math.floor(seconds / 60)}:${String(Math.floor(seconds % 60)).padStart(2, "0")}`;
const two = (n) => String(n).padStart(2, "0");

// Once a video frame: what is heard now.
function draw() {
    requestAnimationFrame(draw);
    if (!node) return;
    const heard = node.heardPosition;
    if (heard) {
        const time = songTime(heard.frame, node.info);
        $("order").textContent = two(heard.order);
        $("pattern").textContent = two(heard.pattern);
        $("row").textContent = two(heard.row);
        $("time").textContent = clock(time);
        if (!dragging) $("seek").value = time;
    }
    mixer.draw(node.playing ? node.levels : null);
}

// ---- Wiring ------------------------------------------------------------------

document.querySelectorAll(".song").forEach((button) => button.addEventListener("click", () => openUrl(button.dataset.song)));
$("file").addEventListener("change", async (e) => {
    const file = e.target.files[0];
    if (file) await open(new Uint8Array(await file.arrayBuffer()), file.name);
    e.target.value = "";
});
$("play").addEventListener("click", toggle);
$("seek").addEventListener("input", () => { dragging = true; $("time").textContent = clock($("seek").value); });
$("seek").addEventListener("change", () => { dragging = false; node?.seekTime(Number($("seek").value)); });
$("loop").addEventListener("change", () => { if (node) node.repeat = $("loop").checked ? -1 : 0; });
$("volume").addEventListener("input", () => { if (node) node.volume = Number($("volume").value); });

document.addEventListener("keydown", (e) => {
    // The volume slider keeps its own arrows; the seek bar's are the page's 5 s steps.
    if (e.ctrlKey || e.metaKey || e.altKey || e.target === $("volume")) return;
    const step = { " ": () => toggle(), ArrowLeft: () => seekBy(-5), ArrowRight: () => seekBy(5),
                   ArrowUp: () => nudgeVolume(0.05), ArrowDown: () => nudgeVolume(-0.05) }[e.key];
    if (step) {
        e.preventDefault();
        step();
    } else if (/^[1-9]$/.test(e.key)) {
        mixer.toggle(Number(e.key) - 1);
    }
});
function nudgeVolume(by) {
    $("volume").value = Number($("volume").value) + by;
    $("volume").dispatchEvent(new Event("input"));
}

let dragDepth = 0;
document.addEventListener("dragenter", (e) => { e.preventDefault(); $("drop").hidden = ++dragDepth <= 0; });
document.addEventListener("dragleave", () => { $("drop").hidden = --dragDepth <= 0; });
document.addEventListener("dragover", (e) => e.preventDefault());
document.addEventListener("drop", async (e) => {
    e.preventDefault();
    dragDepth = 0;
    $("drop").hidden = true;
    const file = e.dataTransfer.files[0];
    if (file) await open(new Uint8Array(await file.arrayBuffer()), file.name);
});

fetch("../lumbo.wasm", { method: "HEAD" }).then((r) => {
    const bytes = Number(r.headers.get("Content-Length"));
    if (bytes) $("size").textContent = `${Math.round(bytes / 1024)} KB`;
});

window.lumboDemo = { get context() { return context; }, get node() { return node; } };   // for the tests and the curious
requestAnimationFrame(draw);
if (new URLSearchParams(location.search).has("play")) openUrl("songs/song1.xm");
