// What the browser tests share: their temporary folder, the shared test
// printers written into it, loopback listeners, the raw printer port their
// pages print to, and the check that a label arrived whole.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";

// A fresh folder of the test's own under the system's temporary folder,
// removed with everything in it when the process ends.
export function tempFolder(prefix) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), `${prefix}-`));
  process.on("exit", () => fs.rmSync(dir, { recursive: true, force: true }));
  return dir;
}

// The sections of tests/support/printers/printers.conf: each demo printer's
// name and its [key, value] lines, in order.
function sharedPrinters(sourceDir) {
  const sections = new Map();
  let keys = null;
  for (const raw of fs.readFileSync(path.join(sourceDir, "tests/support/printers/printers.conf"), "utf8").split("\n")) {
    const line = raw.trim();
    if (line === "" || line.startsWith("#")) continue;
    if (line.startsWith("[") && line.endsWith("]")) sections.set(line.slice(1, -1), (keys = []));
    else if (keys && line.includes("=")) keys.push([line.slice(0, line.indexOf("=")).trim(), line.slice(line.indexOf("=") + 1).trim()]);
  }
  return sections;
}

// Writes folder/printers.conf: the shared printers named in `printers`, each
// [name, uri] or [name, uri, the name it is installed under], in that order,
// then `more` (a test's own odd entries); makes their relative file:
// folders. Returns the file's path.
export function writePrinters(sourceDir, folder, printers, more = "") {
  const shared = sharedPrinters(sourceDir);
  let text = "";
  for (const [name, uri, installedAs] of printers) {
    const keys = shared.get(name);
    assert.ok(keys, `${name} is none of the shared test printers`);
    if (uri.startsWith("file:")) fs.mkdirSync(path.resolve(folder, uri.slice(5)), { recursive: true });
    text += `[${installedAs ?? name}]\n`;
    for (const [key, value] of keys) text += `${key} = ${key === "uri" ? uri : value}\n`;
    text += "\n";
  }
  const file = path.join(folder, "printers.conf");
  fs.writeFileSync(file, text + more);
  return file;
}

export function listen(server) {
  return new Promise((resolve) => server.listen(0, "127.0.0.1", () => resolve(server.address().port)));
}

// A printer's raw port: keeps every connection's bytes in `received`.
export async function rawPrinter() {
  const received = [];
  const server = net.createServer((socket) => {
    const chunks = [];
    socket.on("data", (c) => chunks.push(c));
    socket.on("end", () => received.push(Buffer.concat(chunks)));
  });
  const port = await listen(server);
  return { port, received, close: () => server.close() };
}

// One label reached the file: printer's folder and one the raw port, each
// byte for byte `expected`.
export async function assertOneJobEach(jobsFolder, printer, expected) {
  const jobs = fs.readdirSync(jobsFolder);
  assert.equal(jobs.length, 1);
  assert.deepEqual(fs.readFileSync(path.join(jobsFolder, jobs[0])), expected);
  for (let i = 0; i < 100 && printer.received.length === 0; i++) await new Promise((r) => setTimeout(r, 50));
  assert.equal(printer.received.length, 1);
  assert.deepEqual(printer.received[0], expected);
}

// The job `morvel run` makes of the call script's `lines` on a 300 dpi ZPL
// file: printer, in a folder of its own under `tmp`: what a page printing
// the same label must send.
let scripts = 0;
export function jobOfScript(morvel, sourceDir, tmp, env, lines) {
  const dir = path.join(tmp, `cli-${++scripts}`);
  fs.mkdirSync(dir);
  const printers = writePrinters(sourceDir, dir, [["ZDesigner ZT410R-300dpi ZPL", "file:jobs"]]);
  const name = '"ZDesigner ZT410R-300dpi ZPL"';
  execFileSync(morvel, ["run", "-"], {
    env: { ...env, MORVEL_PRINTERS: printers },
    input: [`SetPrint ${name}`, `OpenPort ${name}`, ...lines, "ClosePort", ""].join("\n"),
  });
  const jobs = fs.readdirSync(path.join(dir, "jobs"));
  assert.equal(jobs.length, 1);
  return fs.readFileSync(path.join(dir, "jobs", jobs[0]));
}
