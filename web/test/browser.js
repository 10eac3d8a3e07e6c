// Debian's Chromium, headless, driven by puppeteer-core (which downloads no browser).
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import puppeteer from "puppeteer-core";

export async function launch() {
    const profile = mkdtempSync(`${tmpdir()}/lumbo-chromium-`);
    const browser = await puppeteer.launch({
        executablePath: process.env.CHROMIUM ?? "/usr/bin/chromium",
        headless: true,
        args: [
            ...(process.getuid?.() === 0 ? ["--no-sandbox"] : []),
            "--headless", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
            "--disable-component-update", "--disable-sync", `--user-data-dir=${profile}`,
            "--autoplay-policy=no-user-gesture-required",
        ],
    });
    const close = browser.close.bind(browser);
    browser.close = async () => {
        await close();
        rmSync(profile, { recursive: true, force: true, maxRetries: 3 });
    };
    return browser;
}
