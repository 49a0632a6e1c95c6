// The emulator's page in Debian's chromium, driven headless by
// playwright-core: a label printed by `morvel run` appears on the open page
// without a reload; the page's "paper out" switch changes what `morvel
// status` says, and what a page asking through the bridge hears; a label's
// PDF that a page fetched prints through the bridge and appears there too.
// usage: node emulate.test.mjs MORVEL_BINARY SOURCE_DIR
import assert from "node:assert/strict";
import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import path from "node:path";
import { chromium } from "playwright-core";

import { tempFolder, writePrinters } from "./common.mjs";

const [morvel, sourceDir] = process.argv.slice(2);
const tmp = tempFolder("morvel-emulate-web");
const stopping = [];
const results = [];

// Starts a morvel command and waits for the line its output names.
function start(args, env, pattern, stream) {
  const child = spawn(morvel, args, { env, stdio: ["ignore", "pipe", "pipe"] });
  const exit = new Promise((resolve) => child.on("exit", (code, signal) => resolve(code ?? signal)));
  let log = "";
  const found = new Promise((resolve, reject) => {
    child[stream].on("data", (chunk) => {
      log += chunk;
      const m = pattern.exec(log);
      if (m) resolve(m);
    });
    child.on("exit", (code) => reject(new Error(`morvel ${args[0]} exited with ${code}: ${log}`)));
  });
  child[stream === "stdout" ? "stderr" : "stdout"].resume();
  stopping.unshift(async () => {
    child.kill("SIGTERM");
    const status = await exit;
    results.push(status === 0 ? `ok   morvel ${args[0]} stops cleanly on SIGTERM` : `FAIL morvel ${args[0]} ended with ${status}`);
  });
  return found;
}

const env = { ...process.env, MORVEL_CUPS: "0" };
delete env.MORVEL_LOG;
const emulatorLine = await start(["emulate", "--zpl", "0", "--sbpl", "off", "--tspl", "off", "--epl2", "off", "--web", "0", "--jobs",
  path.join(tmp, "jobs")], env, /zpl 127\.0\.0\.1:(\d+)\nweb (http:\/\/127\.0\.0\.1:\d+\/)\n/, "stdout");
const [zplPort, webUrl] = [emulatorLine[1], emulatorLine[2]];
const name = "ZDesigner GK420t";
env.MORVEL_PRINTERS = writePrinters(sourceDir, tmp, [[name, `socket://127.0.0.1:${zplPort}`]]);

// A one-page PDF of 3 x 4 inches with a black bar, its cross-reference
// table counted as the format wants.
function labelPdf() {
  const content = "0 0 0 rg 20 200 160 40 re f";
  const objects = ["<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
    "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 216 288] /Contents 4 0 R >>",
    `<< /Length ${content.length} >>\nstream\n${content}\nendstream`];
  let pdf = "%PDF-1.4\n";
  const offsets = objects.map((body, k) => {
    const at = pdf.length;
    pdf += `${k + 1} 0 obj\n${body}\nendobj\n`;
    return at;
  });
  const xref = pdf.length;
  pdf += `xref\n0 ${objects.length + 1}\n0000000000 65535 f \n`;
  for (const at of offsets) pdf += `${String(at).padStart(10, "0")} 00000 n \n`;
  pdf += `trailer\n<< /Size ${objects.length + 1} /Root 1 0 R >>\nstartxref\n${xref}\n%%EOF\n`;
  return Buffer.from(pdf, "latin1");
}

// A page of its own origin that imports morvel.js from the bridge, and a
// label document it can fetch.
const carrierPdf = labelPdf();
const pages = http.createServer((request, response) => request.url === "/label.pdf"
  ? response.writeHead(200, { "Content-Type": "application/pdf" }).end(carrierPdf)
  : response.writeHead(200, { "Content-Type": "text/html" }).end("<!doctype html><title>blank</title>"));
const pagePort = await new Promise((resolve) => pages.listen(0, "127.0.0.1", () => resolve(pages.address().port)));
stopping.push(() => pages.close());
const pageOrigin = `http://127.0.0.1:${pagePort}`;
const bridgeLine = await start(["serve", "--port", "0", "--allow-origin", pageOrigin], env,
  /listening on 127\.0\.0\.1:(\d+)/, "stderr");
const bridge = `127.0.0.1:${bridgeLine[1]}`;

const context = await chromium.launchPersistentContext(path.join(tmp, "profile"), {
  executablePath: "/usr/bin/chromium",
  headless: true,
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});
stopping.unshift(() => context.close());

function morvelStatus() {
  const r = spawnSync(morvel, ["status", name], { env, encoding: "utf8" });
  return { status: r.status, out: r.stdout };
}

async function pageStatus(page) {
  await page.goto(`${pageOrigin}/`);
  return page.evaluate(async ([bridge, name]) => {
    const { Morvel } = await import(`http://${bridge}/morvel.js`);
    const s = await Morvel.status(name);
    Morvel.close();
    return { state: s.state, reasons: s.reasons };
  }, [bridge, name]);
}

try {
  const page = await context.newPage();
  await page.goto(webUrl);
  await page.waitForSelector("#paper_out");
  assert.equal(await page.$$eval(".job", (jobs) => jobs.length), 0);

  // Printed while the page is open: it appears there, pictured, without a reload.
  const run = spawnSync(morvel, ["run", "-"], {
    env, encoding: "utf8",
    input: [`SetPrint "${name}"`, `OpenPort "${name}"`, "InitPrint 60 40 4 10 2 1 0",
      'PrintFont 10 20 "Seen live" 12 F1.TTF', "PrintCode 10 50 4711 128 1 50 1 3", "PrintLabel 1", "ClosePort", ""].join("\n"),
  });
  assert.equal(run.status, 0, run.stdout + run.stderr);
  await page.waitForFunction(() => {
    const img = document.querySelector(".job img");
    return img && img.complete && img.naturalWidth > 0;
  }, null, { timeout: 30000 });
  // The picture comes while the job may still be printing; it ends printed.
  await page.waitForFunction(() => / printed, /.test(document.querySelector(".job").textContent), null,
    { timeout: 30000 }).catch(() => {});
  assert.match(await page.textContent(".job"), /#1 ZPL \d+ bytes, printed, 1 of 1 labels/);
  // 60 mm at 203 dpi.
  assert.equal(await page.$eval(".job img", (i) => i.naturalWidth), 480);
  results.push("ok   a label printed by morvel run appears on the open page");

  assert.deepEqual(morvelStatus(), { status: 0, out: `${name}\tidle\tnone\n` });
  assert.deepEqual(await pageStatus(await context.newPage()), { state: "idle", reasons: [] });
  await page.check("#paper_out");
  await page.waitForFunction(() => document.querySelector("#summary").textContent === "cannot print");
  assert.deepEqual(morvelStatus(), { status: 4, out: `${name}\tstopped\tmedia-empty\n` });
  assert.deepEqual(await pageStatus(await context.newPage()), { state: "stopped", reasons: ["media-empty"] });
  await page.uncheck("#paper_out");
  await page.waitForFunction(() => document.querySelector("#summary").textContent === "ready");
  assert.deepEqual(morvelStatus(), { status: 0, out: `${name}\tidle\tnone\n` });
  results.push("ok   the paper-out switch is what morvel status and a page through the bridge say");

  // A page fetches a label's PDF and prints it on the 4 x 6 inch labels.
  const sender = await context.newPage();
  await sender.goto(`${pageOrigin}/`);
  const printed = await sender.evaluate(async ([bridge, name]) => {
    const { Morvel } = await import(`http://${bridge}/morvel.js`);
    const pdf = await (await fetch("/label.pdf")).arrayBuffer();
    const done = await Morvel.print(name, pdf, { width: 101.6, height: 152.4 });
    const refused = await Morvel.print(name, new TextEncoder().encode("%PDF-1.4 cut"), {}).catch((e) => e.message);
    Morvel.close();
    return { done, refused };
  }, [bridge, name]);
  assert.deepEqual(printed.done, { pages: 1, printed: 1, notes: [] });
  assert.match(printed.refused, /not a PDF that can be read/);
  // Both jobs pictured: the list and each job's picture come as they are ready.
  await page.waitForFunction(() => document.querySelectorAll(".job img").length === 2 &&
    [...document.querySelectorAll(".job img")].every((i) => i.complete && i.naturalWidth > 0), null, { timeout: 30000 });
  // 4 x 6 inches at 203 dpi, whichever order the page lists the jobs in.
  const widths = await page.$$eval(".job img", (images) => images.map((i) => [i.naturalWidth, i.naturalHeight]));
  assert.ok(widths.some(([w, h]) => w === 812 && h === 1218), JSON.stringify(widths));
  results.push("ok   a PDF that a page fetched prints through the bridge and the emulator pictures it");
} catch (e) {
  results.push(`FAIL ${e.stack}`);
}

for (const stop of stopping) await stop();
console.log(results.join("\n"));
process.exit(results.every((r) => r.startsWith("ok")) ? 0 : 1);
