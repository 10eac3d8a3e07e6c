// The declarations compile, and describe the package as its uses need.
import { execFileSync } from "node:child_process";
import { createRequire } from "node:module";
import { test } from "node:test";
import { fileURLToPath } from "node:url";

test("lumbo.d.ts type-checks a host's uses and refuses misuses", () => {
    const tsc = createRequire(import.meta.url).resolve("typescript/bin/tsc");
    execFileSync(process.execPath, [tsc, "-p", fileURLToPath(new URL("tsconfig.json", import.meta.url))], { stdio: "inherit" });
});
