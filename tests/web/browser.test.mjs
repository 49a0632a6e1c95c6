// End to end in Debian's chromium, driven headless by playwright-core: pages
// served from their own local origins import morvel.js from `morvel serve`
// across origins and print through it to a file: printer and a socket://
// listener; a page from another origin is refused; a path outside the
// allowed folder is refused with 70; a member's error reaches the page's catch.
// usage: node browser.test.mjs MORVEL_BINARY SOURCE_DIR
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import path from "node:path";
import { chromium } from "playwright-core";

import { assertOneJobEach, jobOfScript, listen, rawPrinter, tempFolder, writePrinters } from "./common.mjs";

const [morvel, sourceDir] = process.argv.slice(2);
const tmp = tempFolder("morvel-web");
const stopping = [];
const results = [];

// A printer's raw port: keeps every connection's bytes.
const raw = await rawPrinter();
const printerPort = raw.port;
stopping.push(raw.close);

// The pages' own web servers: the sample folder and a blank page.
async function pageServer() {
  const server = http.createServer((request, response) => {
    const name = new URL(request.url, "http://x").pathname;
    if (name === "/blank.html") {
      response.writeHead(200, { "Content-Type": "text/html" }).end("<!doctype html><title>blank</title>");
    } else if (name === "/" || name === "/index.html") {
      response.writeHead(200, { "Content-Type": "text/html" });
      response.end(fs.readFileSync(path.join(sourceDir, "examples/web/index.html")));
    } else {
      response.writeHead(404).end();
    }
  });
  const port = await listen(server);
  stopping.push(() => server.close());
  return `http://127.0.0.1:${port}`;
}
const allowedPage = await pageServer();  // allowed by --allow-origin
const seededPage = await pageServer();   // allowed by the administrator's file
const otherPage = await pageServer();

fs.mkdirSync(path.join(tmp, "allowed"));
fs.mkdirSync(path.join(tmp, "config", "morvel"), { recursive: true });
fs.writeFileSync(path.join(tmp, "config", "morvel", "allowed-origins"), `# pre-seeded\n\n  ${seededPage}/\n`);
fs.writeFileSync(path.join(tmp, "allowed", "inside.bin"), "ABC");
fs.writeFileSync(path.join(tmp, "secret.txt"), "secret");
// A file: printer, the raw port, and one whose folder is not there.
const printers = writePrinters(sourceDir, tmp, [["ZDesigner ZT410R-300dpi ZPL", "file:jobs"],
  ["ZDesigner ZT410R-300dpi ZPL", `socket://127.0.0.1:${printerPort}`, "ZDesigner ZT230 Socket 300dpi"]],
  "[ZDesigner Gone 203dpi]\nuri = file:no-such-folder\ndpi = 203\n");
const env = { ...process.env, MORVEL_PRINTERS: printers, MORVEL_CUPS: "0", XDG_CONFIG_HOME: path.join(tmp, "config") };
delete env.MORVEL_LOG;

// The bridge, on a free port it reports.
const bridgeProcess = spawn(morvel, ["serve", "--port", "0", "--allow-origin", allowedPage,
  "--allow-folder", path.join(tmp, "allowed")], { env, stdio: ["ignore", "ignore", "pipe"] });
// Stopped last, by SIGTERM: it must end cleanly (a sanitizer finding at exit fails it).
const bridgeExit = new Promise((resolve) => bridgeProcess.on("exit", (code, signal) => resolve(code ?? signal)));
stopping.push(async () => {
  bridgeProcess.kill("SIGTERM");
  const status = await bridgeExit;
  results.push(status === 0 ? "ok   the bridge stops cleanly on SIGTERM" : `FAIL the bridge ended with ${status}\n${bridgeLog}`);
});
let bridgeLog = "";
const bridgePort = await new Promise((resolve, reject) => {
  bridgeProcess.stderr.on("data", (chunk) => {
    bridgeLog += chunk;
    const m = /listening on 127\.0\.0\.1:(\d+)/.exec(bridgeLog);
    if (m) resolve(m[1]);
  });
  bridgeProcess.on("exit", (code) => reject(new Error(`morvel serve exited with ${code}: ${bridgeLog}`)));
});
const bridge = `127.0.0.1:${bridgePort}`;

const context = await chromium.launchPersistentContext(path.join(tmp, "profile"), {
  executablePath: "/usr/bin/chromium",
  headless: true,
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});
stopping.unshift(() => context.close());

async function scenario(name, body) {
  const page = await context.newPage();
  try {
    await body(page);
    results.push(`ok   ${name}`);
  } catch (e) {
    results.push(`FAIL ${name}\n${e.stack}`);
  } finally {
    await page.close();
  }
}

// Runs `code` in a blank page of `origin` with Morvel imported from the bridge.
function inPage(page, origin, code, arg) {
  return page.goto(`${origin}/blank.html`).then(() => page.evaluate(async ([bridge, code, arg]) => {
    const { Morvel } = await import(`http://${bridge}/morvel.js`);
    return await (new Function("Morvel", "arg", `return (async () => { ${code} })();`))(Morvel, arg);
  }, [bridge, code, arg]));
}

// What the same label gives through the command-line host, for comparison.
function expectedJob() {
  return jobOfScript(morvel, sourceDir, tmp, env, ["InitPrint 60 40 4 10 2 1 0", "PrintFont 10 20 \"Hello, Welt\" 12 F1.TTF",
      "PrintBar 10 100 200 2", "PrintCode 10 50 4711 128 1 50 1 3", "PrintCode 170 10 \"Hello, Welt\" QRCODE 0 5 \"\" \"\"",
      "PrintLabel 1"]);
}

await scenario("the sample page prints to a file: printer and a socket:// printer", async (page) => {
  await page.goto(`${allowedPage}/?bridge=${bridge}`);
  await page.click("#list");
  await page.waitForSelector("#printer option", { state: "attached" });
  assert.deepEqual(await page.$$eval("#printer option", (os) => os.map((o) => o.value)),
    ["ZDesigner ZT410R-300dpi ZPL", "ZDesigner ZT230 Socket 300dpi", "ZDesigner Gone 203dpi"]);
  await page.fill("#text", "Hello, Welt");
  await page.fill("#code", "4711");
  const expected = expectedJob();
  for (const printer of ["ZDesigner ZT410R-300dpi ZPL", "ZDesigner ZT230 Socket 300dpi"]) {
    await page.selectOption("#printer", printer);
    await page.click("#print");
    await page.waitForFunction((p) => document.querySelector("#status").textContent.includes(p) ||
      document.querySelector("#status").className === "error", printer);
    assert.equal(await page.textContent("#status"), `Printed on ${printer}.`);
    const zpl = await page.textContent("#zpl");
    assert.ok(zpl.includes("^FDHello, Welt^FS"), zpl);
    assert.ok(expected.toString("latin1").includes(zpl), "the job holds the ZPL the page showed");
    // The bridge's picture of that label: 60 mm at 300 dpi.
    await page.waitForFunction(() => document.querySelector("#picture").naturalWidth > 0);
    assert.equal(await page.$eval("#picture", (i) => i.naturalWidth), 709);
  }
  // A printer whose folder is missing: the page is told its label did not arrive.
  await page.selectOption("#printer", "ZDesigner Gone 203dpi");
  await page.click("#print");
  await page.waitForFunction(() => document.querySelector("#status").className === "error");
  assert.match(await page.textContent("#status"),
    /^The label did not reach ZDesigner Gone 203dpi: cannot open folder '.*no-such-folder'/);
  await assertOneJobEach(path.join(tmp, "jobs"), raw, expected);
});

await scenario("a page from an origin that is not allowed is refused, and hears why", async (page) => {
  const outcome = await inPage(page, otherPage, `
    try { await Morvel.create("Morvel.PrintBarCode"); return "created"; }
    catch (e) { return { number: e.number, message: e.message }; }`);
  assert.equal(outcome.number, 70);
  assert.match(outcome.message, new RegExp(`does not accept pages from ${otherPage}`));
  assert.match(bridgeLog, new RegExp(`refused a page from origin ${otherPage}`));
  // Its health check tells it that it is refused, and nothing more (no version).
  const health = (origin) => inPage(page, origin, `
    try { return await (await fetch("http://" + arg + "/health")).json(); } catch (e) { return e.name; }`, bridge);
  assert.deepEqual(await health(otherPage), { status: "origin-not-allowed" });
  assert.equal((await health(allowedPage)).status, "ok");
});

await scenario("paths outside the allowed folder fail with 70 and nothing is read", async (page) => {
  const outcome = await inPage(page, allowedPage, `
    const codec = await Morvel.create("Morvel.clsBase64");
    const tries = [];
    for (const p of arg.outside) {
      try { tries.push(await codec.invoke("LoadFile", p, null)); } catch (e) { tries.push(e.number); }
    }
    const inside = await codec.invoke("LoadFile", arg.inside, null);
    return { tries, inside: Array.from(inside.byref[1]) };`,
  { outside: [path.join(tmp, "secret.txt"), path.join(tmp, "allowed", "..", "secret.txt")],
    inside: path.join(tmp, "allowed", "inside.bin") });
  assert.deepEqual(outcome, { tries: [70, 70], inside: [65, 66, 67] });
});

await scenario("an error raised by a member reaches the page's catch with its number", async (page) => {
  const outcome = await inPage(page, seededPage, `
    const pb = await Morvel.create("Morvel.PrintBarCode");
    const caught = [];
    for (const call of [() => pb.ClosePort(), () => pb.GetDot("abc")]) {
      try { await call(); caught.push("no error"); }
      catch (e) { caught.push({ error: e instanceof Error, number: e.number, hresult: e.hresult, description: e.description }); }
    }
    return caught;`);
  assert.deepEqual(outcome, [
    { error: true, number: 91, hresult: 0x800a005b, description: "Object variable or With block variable not set" },
    { error: true, number: 13, hresult: 0x800a000d, description: "Type mismatch" },
  ]);
});

await scenario("a page encodes and decodes EPC numbers, and hears the rule of what is refused", async (page) => {
  const outcome = await inPage(page, allowedPage, `
    const hex = await Morvel.epcEncode("(01)80614141123458(21)6789", { scheme: "SGTIN-96", filter: 3, prefixLength: 7 });
    const fromTag = await Morvel.epcEncode("urn:epc:tag:sscc-96:3.0614141.1234567890");
    const decoded = await Morvel.epcDecode(hex);
    let refused;
    try { await Morvel.epcEncode("urn:epc:tag:sgtin-96:3.0614141.812345.274877906944"); }
    catch (e) { refused = { number: e.number, description: e.description }; }
    return { hex, fromTag, decoded, refused };`);
  assert.deepEqual(outcome, {
    hex: "3074257BF7194E4000001A85",
    fromTag: "3174257BF4499602D2000000",
    decoded: { tagUri: "urn:epc:tag:sgtin-96:3.0614141.812345.6789", pureIdentity: "urn:epc:id:sgtin:0614141.812345.6789",
      elementString: "(01)80614141123458(21)6789" },
    refused: { number: 5, description: "SGTIN-96: serial 274877906944 is over 2^38-1 (274877906943)" },
  });
});

await scenario("a bridge that is not running is reported as such", async (page) => {
  const outcome = await inPage(page, allowedPage, `
    Morvel.url = "ws://127.0.0.1:9/";
    try { await Morvel.create("Morvel.PrintBarCode"); return "created"; }
    catch (e) { return { number: e.number, message: e.message }; }`);
  assert.equal(outcome.number, 429);
  assert.match(outcome.message, /not running/);
});

for (const stop of stopping) await stop();
console.log(results.join("\n"));
process.exit(results.every((r) => r.startsWith("ok")) ? 0 : 1);
