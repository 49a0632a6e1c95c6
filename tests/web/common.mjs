// What the browser tests share: loopback listeners, the raw printer port
// their pages print to, and the check that a label arrived whole.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import net from "node:net";
import path from "node:path";

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
export function jobOfScript(morvel, tmp, env, lines) {
  const dir = fs.mkdtempSync(path.join(tmp, "cli-"));
  fs.mkdirSync(path.join(dir, "jobs"));
  fs.writeFileSync(path.join(dir, "printers.conf"), "[ZDesigner ZT410R-300dpi ZPL]\nuri = file:jobs\ndpi = 300\n");
  const name = '"ZDesigner ZT410R-300dpi ZPL"';
  execFileSync(morvel, ["run", "-"], {
    env: { ...env, MORVEL_PRINTERS: path.join(dir, "printers.conf") },
    input: [`SetPrint ${name}`, `OpenPort ${name}`, ...lines, "ClosePort", ""].join("\n"),
  });
  const jobs = fs.readdirSync(path.join(dir, "jobs"));
  assert.equal(jobs.length, 1);
  return fs.readFileSync(path.join(dir, "jobs", jobs[0]));
}
