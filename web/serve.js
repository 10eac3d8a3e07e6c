// A static server for the package and its demo page, on 127.0.0.1 only.
//   node serve.js [PORT]   (default: a free port) prints the page's address
import { createServer } from "node:http";
import { readFile } from "node:fs/promises";
import { extname, join, normalize } from "node:path";
import { fileURLToPath } from "node:url";

const root = fileURLToPath(new URL(".", import.meta.url));
const types = {
    ".html": "text/html; charset=utf-8", ".js": "text/javascript; charset=utf-8", ".css": "text/css; charset=utf-8",
    ".wasm": "application/wasm", ".xm": "application/octet-stream", ".svg": "image/svg+xml", ".json": "application/json",
};

/**
 * Serves this folder, and each folder of `mounts` ({ "/prefix/": folder })
 * under its prefix; resolves to the server and the demo page's address.
 */
export function serve(port = 0, mounts = {}) {
    const server = createServer(async (request, response) => {
        const path = decodeURIComponent(new URL(request.url, "http://host").pathname);
        const prefix = Object.keys(mounts).find((p) => path.startsWith(p));
        const base = prefix ? normalize(mounts[prefix] + "/") : root;
        const wanted = prefix ? path.slice(prefix.length) : path;
        const file = normalize(join(base, wanted.endsWith("/") || !wanted ? `${wanted}index.html` : wanted));
        try {
            if (!file.startsWith(base) || file.includes("node_modules")) throw new Error("outside");
            const body = await readFile(file);
            response.writeHead(200, { "Content-Type": types[extname(file)] ?? "application/octet-stream",
                                      "Content-Length": body.length,
                                      "Cache-Control": "no-cache" });
            response.end(body);
        } catch {
            response.writeHead(404, { "Content-Type": "text/plain" });
            response.end("not found\n");
        }
    });
    return new Promise((resolve) => server.listen(port, "127.0.0.1", () => {
        resolve({ server, url: `http://127.0.0.1:${server.address().port}/demo/` });
    }));
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
    const { url } = await serve(Number(process.argv[2] ?? 0));
    console.log(url);
}
