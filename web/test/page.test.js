// The worklet and the demo page in headless Chromium, served from 127.0.0.1:
// the worklet's output is `lumbo render`'s, bit for bit, and its controls act
// where they are given; the page plays, follows the heard row, mutes a
// channel, seeks and pauses from the keyboard, says why it refuses a file
// while the song goes on, and plays once through to the end. Screenshots and
// the time to the first sound are left in build/web-test.
import assert from "node:assert/strict";
import { mkdirSync, writeFileSync } from "node:fs";
import { after, before, test } from "node:test";
import { fileURLToPath } from "node:url";

import { serve } from "../serve.js";
import { launch } from "./browser.js";
import { modulePath, nativeRender } from "./support.js";

const output = process.env.LUMBO_WEB_OUT ?? fileURLToPath(new URL("../../build/web-test", import.meta.url));
let server, page, browser, base;
const pageErrors = [];

before(async () => {
    mkdirSync(output, { recursive: true });
    ({ server, url: base } = await serve(0, { "/test-data/": output }));
    browser = await launch();
    page = await browser.newPage();
    page.on("pageerror", (error) => pageErrors.push(error.message));
    page.on("console", (message) => message.type() === "error" && pageErrors.push(message.text()));
});
after(async () => {
    await browser?.close();
    server?.close();
});

test("the worklet in an OfflineAudioContext renders lumbo render's bits", async () => {
    await page.goto(base);
    const seconds = 10;
    for (const rate of [44100, 48000]) {
        writeFileSync(`${output}/busy32-${rate}.raw`, nativeRender("busy32", "--seconds", seconds, "--rate", rate));
        writeFileSync(`${output}/busy32.xm`, await import("node:fs").then((fs) => fs.readFileSync(modulePath("busy32"))));
        const difference = await page.evaluate(async (rate, seconds) => {
            const { LumboNode } = await import("/lumbo.js");
            const get = async (path) => (await fetch(path)).arrayBuffer();
            const bytes = new Uint8Array(await get("/test-data/busy32.xm"));
            const expected = new Int16Array(await get(`/test-data/busy32-${rate}.raw`));
            const context = new OfflineAudioContext(2, seconds * rate, rate);
            const node = await LumboNode.create(context, bytes, { playing: true });
            node.connect(context.destination);
            const rendered = await context.startRendering();
            const [left, right] = [rendered.getChannelData(0), rendered.getChannelData(1)];
            if (2 * left.length !== expected.length) return `length ${left.length}`;
            for (let i = 0; i < left.length; ++i) {
                if (left[i] !== expected[2 * i] / 32768 || right[i] !== expected[2 * i + 1] / 32768) return `frame ${i}`;
            }
            return null;
        }, rate, seconds);
        assert.equal(difference, null, `at ${rate} Hz`);
    }
});

test("controls act where they are given: mutes and jumps as a player's, pause and close ramp to silence", async () => {
    const results = await page.evaluate(async () => {
        const { createLumbo, LumboNode } = await import("/lumbo.js");
        const bytes = new Uint8Array(await (await fetch("/test-data/busy32.xm")).arrayBuffer());
        const rate = 48000;
        const lumbo = await createLumbo();
        const steer = {
            mute: (target) => { for (let channel = 1; channel < 32; ++channel) target.mute(channel); },
            jump: (target) => target.jump(2, 0),
            pause: (target) => target.pause(),
            close: (target) => target.close(),
        };
        const results = {};
        for (const [name, control] of Object.entries(steer)) {
            // The node, given the control while its context is suspended 1 s in...
            const context = new OfflineAudioContext(2, 2 * rate, rate);
            const node = await LumboNode.create(context, bytes, { playing: true, lumbo });
            node.connect(context.destination);
            context.suspend(1).then(async () => {
                control(node);
                await node.jump(999, 0);    // refused, and answered after every message before it
                context.resume();
            });
            const left = (await context.startRendering()).getChannelData(0);
            // ...and a player given it after 1 s of frames.
            const player = lumbo.load(bytes, { rate });
            const [expected, right] = [new Float32Array(2 * rate), new Float32Array(2 * rate)];
            player.render(expected.subarray(0, rate), right.subarray(0, rate));
            if (control !== steer.pause && control !== steer.close) control(player);
            player.render(expected.subarray(rate), right.subarray(rate));
            const last = left.findLastIndex((s) => s !== 0);
            const loudest = (from, to) => left.subarray(from, to).reduce((m, s) => Math.max(m, Math.abs(s)), 0);
            results[name] = {
                differsAt: left.findIndex((s, i) => s !== expected[i]),
                silentFrom: (last + 1) / rate,
                before: loudest(last - 4800, last - 480),
                end: loudest(last - 16, last + 1),
            };
        }
        return results;
    });
    assert.equal(results.mute.differsAt, -1, "muted as a player is");
    assert.equal(results.jump.differsAt, -1, "jumped as a player does");
    for (const stop of ["pause", "close"]) {
        const tail = results[stop];
        assert.equal(tail.differsAt, 48000, `${stop}: the same until then`);
        assert.ok(tail.silentFrom > 1 && tail.silentFrom < 1.01, `${stop}: silent from ${tail.silentFrom} s`);
        assert.ok(tail.before > 0.05 && tail.end < tail.before / 20, `${stop}: loudest ${tail.before}, at the end ${tail.end}`);
    }
});

// Samples the page's node through an analyser: the largest level over `ms`.
const peak = (ms) => page.evaluate(async (ms) => {
    const { context, node } = window.lumboDemo;
    const analyser = (window.analyser ??= context.createAnalyser());
    node.connect(analyser);
    const samples = new Float32Array(analyser.fftSize);
    let largest = 0;
    for (const end = performance.now() + ms; performance.now() < end;) {
        await new Promise((resolve) => setTimeout(resolve, 10));
        analyser.getFloatTimeDomainData(samples);
        for (const s of samples) largest = Math.max(largest, Math.abs(s));
    }
    return largest;
}, ms);

const heard = () => page.evaluate(() => window.lumboDemo.node?.heardPosition ?? null);
const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const text = (selector) => page.$eval(selector, (e) => e.textContent);

test("the page plays, follows the heard row, mutes, seeks and refuses a bad file", async (t) => {
    const opened = Date.now();
    await page.goto(`${base}?play`);
    // The first sound: the first heard frame past 0, less how long ago it was heard.
    await page.waitForFunction(() => window.lumboDemo.node?.heardPosition?.frame > 0, { polling: 1 });
    const sinceOpened = Date.now() - opened;
    const firstSound = sinceOpened - await page.evaluate(() =>
        1000 * window.lumboDemo.node.heardPosition.frame / window.lumboDemo.context.sampleRate);
    writeFileSync(`${output}/first-sound.txt`, `${Math.round(firstSound)} ms from opening the page to the first sound\n`);
    t.diagnostic(`first sound ${Math.round(firstSound)} ms after opening the page`);

    const rows = new Set();
    for (let i = 0; i < 6; ++i, await pause(150)) rows.add(await text("#row"));
    assert.ok(rows.size >= 3, `rows heard: ${[...rows]}`);
    assert.equal(await text("#title"), "lumbo: first light");

    for (const width of [360, 1400]) {
        await page.setViewport({ width, height: 900 });
        await pause(300);
        await page.screenshot({ path: `${output}/page-${width}.png`, fullPage: true });
    }

    // A module of four busy channels, opened with the file input; all but one muted.
    const input = await page.$("#file");
    await input.uploadFile(modulePath("busy4"));
    await page.waitForFunction(() => document.querySelectorAll(".channel").length === 4 && window.lumboDemo.node.playing);
    for (const channel of [1, 2, 3]) await page.click(`.channel[data-channel="${channel}"]`);
    assert.ok(await peak(1000) > 0.01, "the one channel left sounds");
    assert.deepEqual(await page.evaluate(() => [...window.lumboDemo.node.levels].slice(1)), [0, 0, 0]);
    await page.click('.channel[data-channel="0"]');
    await pause(100);
    assert.equal(await peak(500), 0, "its toggle silences it");
    for (const channel of [0, 1, 2, 3]) await page.click(`.channel[data-channel="${channel}"]`);

    // Keys: space pauses, the right arrow seeks 5 s on, space plays again.
    await page.keyboard.press(" ");
    await pause(300);
    const paused = await heard();
    await pause(300);
    assert.equal((await heard()).frame, paused.frame, "paused");
    await page.keyboard.press("ArrowRight");
    await pause(300);
    const rate = await page.evaluate(() => window.lumboDemo.context.sampleRate);
    assert.ok(Math.abs((await heard()).frame - (paused.frame + 5 * rate)) < rate / 10, "seeked 5 s on");
    await page.keyboard.press(" ");
    await pause(300);
    assert.ok((await heard()).frame > paused.frame + 5 * rate, "playing again");

    // A jump is heard at the next row.
    assert.equal(await page.evaluate(() => window.lumboDemo.node.jump(3, 8)), true);
    await pause(400);
    const jumped = await heard();
    assert.deepEqual([jumped.order, jumped.row > 8], [3, true], `heard ${jumped.order}:${jumped.row}`);

    // Not a module: the reason is shown, and the song goes on.
    writeFileSync(`${output}/not-a-module.xm`, "this is not an XM module\n");
    await input.uploadFile(`${output}/not-a-module.xm`);
    await page.waitForSelector("#error:not([hidden])");
    assert.match(await text("#error"), /not-a-module\.xm: not an XM module \(bad signature\)/);
    const before = (await heard()).frame;
    await pause(300);
    assert.ok((await heard()).frame > before, "still playing");
    assert.equal(await page.$$eval(".channel", (c) => c.length), 4);

    // Once through: rows are told as they are heard, then the end, and the page stops.
    await page.click("#loop");
    const heardEnd = await page.evaluate(async () => {
        const { node } = window.lumboDemo;
        const rows = [];
        node.addEventListener("row", (e) => rows.push(e.detail.row));
        const ended = new Promise((resolve) => node.addEventListener("end", (e) => resolve(e.detail)));
        await node.seekTime(node.info.duration - 1);
        const end = await ended;
        return { rows, end, playing: node.playing, button: document.getElementById("play").getAttribute("aria-label") };
    });
    assert.ok(heardEnd.rows.length >= 4, `rows told: ${heardEnd.rows}`);
    assert.equal(heardEnd.end.ended, true);
    assert.deepEqual([heardEnd.playing, heardEnd.button], [false, "Play"]);
    assert.deepEqual(pageErrors, []);
});
