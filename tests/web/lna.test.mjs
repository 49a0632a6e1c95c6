// Local Network Access end to end in Debian's chromium: pages that chromium
// counts as public (their address overridden to the public space, their names
// mapped to 127.0.0.1) load morvel.js through morvel-loader.js, copied onto
// their own origin, and hear why when they cannot: the user has not allowed
// them to reach this computer, no bridge listens, or the bridge refuses their
// origin; with the permission granted a page prints through the bridge.
// usage: node lna.test.mjs MORVEL_BINARY SOURCE_DIR
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import net from "node:net";
import path from "node:path";
import { chromium } from "playwright-core";

import { assertOneJobEach, jobOfScript, listen, rawPrinter, tempFolder, writePrinters } from "./common.mjs";

const [morvel, sourceDir] = process.argv.slice(2);
const tmp = tempFolder("morvel-lna");
const stopping = [];
const results = [];
const loader = fs.readFileSync(path.join(sourceDir, "web/morvel-loader.js"));

// A printer's raw port: keeps every connection's bytes.
const raw = await rawPrinter();
const printerPort = raw.port;
stopping.push(raw.close);

// A port where nothing listens: taken, then given back.
const vacant = net.createServer();
const vacantPort = await listen(vacant);
await new Promise((resolve) => vacant.close(resolve));

// The pages' own web servers, each with its copy of the loader.
async function pageServer() {
  const server = http.createServer((request, response) => {
    const name = new URL(request.url, "http://x").pathname;
    if (name === "/blank.html") {
      response.writeHead(200, { "Content-Type": "text/html" }).end("<!doctype html><title>blank</title>");
    } else if (name === "/morvel-loader.js") {
      response.writeHead(200, { "Content-Type": "text/javascript" }).end(loader);
    } else {
      response.writeHead(404).end();
    }
  });
  const port = await listen(server);
  stopping.push(() => server.close());
  return port;
}
const shopPort = await pageServer();
const otherPort = await pageServer();
const plainPort = await pageServer();
const shop = `http://shop.test:${shopPort}`;     // public, allowed by the bridge
const other = `http://other.test:${otherPort}`;  // public, not allowed
const plain = `http://plain.test:${plainPort}`;  // public, allowed, but not a secure context
const local = `http://127.0.0.1:${await pageServer()}`;  // on this computer itself

const printers = writePrinters(sourceDir, tmp, [["ZDesigner ZT410R-300dpi ZPL", "file:jobs"],
  ["ZDesigner ZT410R-300dpi ZPL", `socket://127.0.0.1:${printerPort}`, "ZDesigner ZT230 Socket 300dpi"]]);
const env = { ...process.env, MORVEL_PRINTERS: printers, MORVEL_CUPS: "0", XDG_CONFIG_HOME: path.join(tmp, "config") };
delete env.MORVEL_LOG;

const bridgeProcess = spawn(morvel, ["serve", "--port", "0", "--allow-origin", shop, "--allow-origin", plain],
  { env, stdio: ["ignore", "ignore", "pipe"] });
const bridgeExit = new Promise((resolve) => bridgeProcess.on("exit", (code, signal) => resolve(code ?? signal)));
stopping.push(async () => {
  bridgeProcess.kill("SIGTERM");
  const status = await bridgeExit;
  results.push(status === 0 ? "ok   the bridge stops cleanly on SIGTERM"
    : `FAIL the bridge ended with ${status}\n${bridgeLog}`);
});
let bridgeLog = "";
const bridgePort = Number(await new Promise((resolve, reject) => {
  bridgeProcess.stderr.on("data", (chunk) => {
    bridgeLog += chunk;
    const m = /listening on 127\.0\.0\.1:(\d+)/.exec(bridgeLog);
    if (m) resolve(m[1]);
  });
  bridgeProcess.on("exit", (code) => reject(new Error(`morvel serve exited with ${code}: ${bridgeLog}`)));
}));

// Chromium treats loopback pages as loopback; these flags make shop.test,
// other.test and plain.test public sites on 127.0.0.1, the first two secure
// contexts as https sites are, plain.test a plain http site.
const publicPages = [shopPort, otherPort, plainPort].map((port) => `127.0.0.1:${port}=public`);
const context = await chromium.launchPersistentContext(path.join(tmp, "profile"), {
  executablePath: "/usr/bin/chromium",
  headless: true,
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    `--ip-address-space-overrides=${publicPages.join(",")}`,
    "--host-resolver-rules=MAP *.test 127.0.0.1",
    `--unsafely-treat-insecure-origin-as-secure=${shop},${other}`],
});
stopping.unshift(() => context.close());

// What the page's label gives through the command-line host.
function expectedJob() {
  return jobOfScript(morvel, sourceDir, tmp, env, ["InitPrint 60 40 4 10 2 1 0",
      "PrintFont 10 20 \"Grüße\" 12 F1.TTF",
      "PrintCode 10 50 4711 128 1 50 1 3", "PrintLabel 1"]);
}

// In a page of `origin`: loads Morvel through the page's own copy of the
// loader and, when `print` is given, prints the label on each of its printers.
function loadInPage(page, origin, port, print) {
  return page.goto(`${origin}/blank.html`).then(() => page.evaluate(async ([port, print]) => {
    const { loadMorvel } = await import("/morvel-loader.js");
    let Morvel;
    try {
      ({ Morvel } = await loadMorvel({ port }));
    } catch (e) {
      return { name: e.name, reason: e.reason, message: e.message };
    }
    const printed = [];
    for (const name of print ?? []) {
      const pb = await Morvel.create("Morvel.PrintBarCode");
      await pb.SetPrint(name);
      await pb.OpenPort(name);
      await pb.InitPrint("60", "40", "4", "10", "2", "1", "0");
      await pb.PrintFont(10, 20, "Grüße", 12, "F1.TTF");
      await pb.PrintCode(10, 50, "4711", "128", 1, 50, 1, 3);
      await pb.PrintLabel("1");
      await pb.ClosePort();
      printed.push(name);
    }
    return { loaded: typeof Morvel.create, printed };
  }, [port, print]));
}

const first = context.pages()[0] ?? await context.newPage();
await first.goto(`${shop}/blank.html`);
const knowsLoopback = () => navigator.permissions.query({ name: "loopback-network" }).then(() => true, () => false);
if (!await first.evaluate(knowsLoopback)) {
  for (const stop of stopping) await stop();
  console.log("skipped: needs chromium 145 or later (the loopback-network permission)");
  process.exit(77);
}
const cdp = await context.newCDPSession(first);
// Chromium 145 and later ask for "loopback-network" before a public page may
// reach 127.0.0.1; "prompt" in headless chromium is a prompt nobody answers.
// (CDP's "local-network-access" is another permission there: granting it
// lets nothing through to 127.0.0.1.)
const permit = (origin, setting) =>
  cdp.send("Browser.setPermission", { permission: { name: "loopback-network" }, setting, origin });

const printerNames = ["ZDesigner ZT410R-300dpi ZPL", "ZDesigner ZT230 Socket 300dpi"];
const cases = [
  { name: "a public page the user has blocked", page: shop, permission: "denied", port: bridgePort,
    reason: "local-network-access", mentions: shop },
  { name: "a public page whose prompt went unanswered", page: shop, permission: "prompt", port: bridgePort,
    reason: "local-network-access", mentions: shop },
  { name: "a public page allowed by the user and the bridge prints", page: shop, permission: "granted",
    port: bridgePort, print: printerNames },
  { name: "a public page allowed by the user, with no bridge listening", page: shop, permission: "granted",
    port: vacantPort, reason: "no-bridge", mentions: `127.0.0.1:${vacantPort}` },
  { name: "a public page allowed by the user but not by the bridge", page: other, permission: "granted",
    port: bridgePort, reason: "origin-not-allowed", mentions: `--allow-origin ${other}` },
  { name: "a public page that is not served over https is never allowed", page: plain, permission: null,
    port: bridgePort, reason: "local-network-access", mentions: "https" },
  { name: "a page on this computer needs no permission: nothing answers", page: local, permission: "prompt",
    port: vacantPort, reason: "no-bridge", mentions: `127.0.0.1:${vacantPort}` },
];

for (const c of cases) {
  const page = await context.newPage();
  try {
    if (c.permission) await permit(c.page, c.permission);  // chromium refuses any for an insecure page
    const outcome = await loadInPage(page, c.page, c.port, c.print);
    if (c.reason) {
      assert.equal(outcome.name, "LoadFailure", JSON.stringify(outcome));
      assert.equal(outcome.reason, c.reason, outcome.message);
      assert.ok(outcome.message.includes(c.mentions), outcome.message);
    } else {
      assert.deepEqual(outcome, { loaded: "function", printed: c.print });
    }
    results.push(`ok   ${c.name}`);
  } catch (e) {
    results.push(`FAIL ${c.name}\n${e.stack}`);
  } finally {
    await page.close();
  }
}

// What the allowed page printed arrived, byte for byte as the command-line
// host prints the same label; what was refused is in the bridge's log.
try {
  const expected = expectedJob();
  await assertOneJobEach(path.join(tmp, "jobs"), raw, expected);
  assert.match(bridgeLog, new RegExp(`refused a health check from origin ${other}`));
  // The bridge serves the loader that pages copy.
  const served = await fetch(`http://127.0.0.1:${bridgePort}/morvel-loader.js`);
  assert.deepEqual(Buffer.from(await served.arrayBuffer()), loader);
  results.push("ok   the labels arrived, the refusal is logged, the bridge serves the loader");
} catch (e) {
  results.push(`FAIL the labels arrived, the refusal is logged, the bridge serves the loader\n${e.stack}`);
}

for (const stop of stopping) await stop();
console.log(results.join("\n"));
process.exit(results.every((r) => r.startsWith("ok")) ? 0 : 1);
