// `morvel epc` against an independent encoder of the EPC Tag Data Standard
// (npm's epc-tds): random tag URIs of every scheme both have, from a fixed
// seed, encoded by each and compared; each hex decoded by morvel back to the
// URI it came from. usage: node cross.mjs MORVEL [VALUES_A_SCHEME]
import { createRequire } from "node:module";
import { spawnSync } from "node:child_process";

const tds = createRequire(import.meta.url)("epc-tds");
const [morvel, countText] = process.argv.slice(2);
const count = Number(countText ?? 2000);

// A small generator of our own (mulberry32), so every run draws the same values.
let state = 0x5eed;
function random() {
  state = (state + 0x6d2b79f5) | 0;
  let t = Math.imul(state ^ (state >>> 15), 1 | state);
  t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
  return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
}
const digits = (n) => Array.from({ length: n }, () => Math.floor(random() * 10)).join("");
// A whole number below 2^bits, without leading zeros.
function below(bits) {
  let v = 0n;
  for (let k = 0; k < bits; ++k) v = (v << 1n) | (random() < 0.5 ? 1n : 0n);
  return v.toString();
}
// Letters and digits, 1 to n of them (the characters every scheme takes unescaped).
const alnum = (n) => {
  const chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  const size = 1 + Math.floor(random() * n);
  return Array.from({ length: size }, () => chars[Math.floor(random() * chars.length)]).join("");
};
const filter = () => Math.floor(random() * 8);
const prefix = () => 6 + Math.floor(random() * 7);  // company prefix digits, 6-12
// For schemes whose reference is 12 digits less the prefix: 6-11, as epc-tds
// takes no empty reference (a 12-digit prefix leaves none; our own tests have it).
const shorter = () => 6 + Math.floor(random() * 6);
// The bits each partition gives the field after the company prefix (P = 12 - digits).
const bitsAfter = (table, l) => table[12 - l];

// Tag URIs of each scheme, as the standard writes them.
const schemes = {
  "sgtin-96": () => { const l = prefix(); return `${filter()}.${digits(l)}.${digits(13 - l)}.${below(38)}`; },
  "sgtin-198": () => { const l = prefix(); return `${filter()}.${digits(l)}.${digits(13 - l)}.${alnum(20)}`; },
  "sscc-96": () => { const l = prefix(); return `${filter()}.${digits(l)}.${digits(17 - l)}`; },
  "sgln-96": () => { const l = shorter(); return `${filter()}.${digits(l)}.${digits(12 - l)}.${below(41)}`; },
  "sgln-195": () => { const l = shorter(); return `${filter()}.${digits(l)}.${digits(12 - l)}.${alnum(20)}`; },
  "grai-96": () => { const l = shorter(); return `${filter()}.${digits(l)}.${digits(12 - l)}.${below(38)}`; },
  "grai-170": () => { const l = shorter(); return `${filter()}.${digits(l)}.${digits(12 - l)}.${alnum(16)}`; },
  "giai-96": () => {
    const l = prefix();
    return `${filter()}.${digits(l)}.${below(bitsAfter([42, 45, 48, 52, 55, 58, 62], l) - 1)}`;
  },
  "giai-202": () => { const l = prefix(); return `${filter()}.${digits(l)}.${alnum(30 - l)}`; },
  "gsrn-96": () => { const l = prefix(); return `${filter()}.${digits(l)}.${digits(17 - l)}`; },
  "gdti-96": () => { const l = shorter(); return `${filter()}.${digits(l)}.${digits(12 - l)}.${below(41)}`; },
  "gdti-174": () => { const l = shorter(); return `${filter()}.${digits(l)}.${digits(12 - l)}.${alnum(17)}`; },
  "sgcn-96": () => {
    const l = shorter();
    return `${filter()}.${digits(l)}.${digits(12 - l)}.${1 + Math.floor(random() * 9)}${digits(Math.floor(random() * 11))}`;
  },
  "cpi-96": () => {
    const l = prefix();
    const part = BigInt(below(bitsAfter([11, 14, 17, 21, 24, 27, 31], l) - 1)) % 10n ** BigInt(15 - l);
    return `${filter()}.${digits(l)}.${part}.${below(31)}`;
  },
  "gid-96": () => `${below(28)}.${below(24)}.${below(36)}`,
};

// morvel epc ACTION over a list on standard input: its lines out.
function morvelList(action, lines) {
  const run = spawnSync(morvel, ["epc", action, "-"], { input: lines.join("\n") + "\n", maxBuffer: 1 << 30 });
  if (run.status !== 0) throw new Error(`morvel epc ${action} - exited ${run.status}: ${run.stderr}`);
  return run.stdout.toString().split("\n").slice(0, -1);
}

let failures = 0;
for (const [scheme, make] of Object.entries(schemes)) {
  const uris = Array.from({ length: count }, () => `urn:epc:tag:${scheme}:${make()}`);
  const ours = morvelList("encode", uris);
  // epc-tds ends at the byte; a tag's EPC memory, and morvel, at the 16-bit word.
  const theirs = uris.map((uri, k) => tds.fromTagURI(uri).toHexString().toUpperCase().padEnd(ours[k].length, "0"));
  const whole = ours.every((hex) => hex.length % 4 === 0);
  if (!whole) console.log(`not ok - ${scheme}: a hex EPC that is not whole 16-bit words`);
  const back = morvelList("decode", ours).map((line) => line.split("\t")[0]);
  let wrong = 0;
  for (let k = 0; k < uris.length; ++k) {
    if (ours[k] === theirs[k] && back[k] === uris[k]) continue;
    if (++wrong <= 3)
      console.log(`not ok - ${uris[k]}: morvel ${ours[k]}, epc-tds ${theirs[k]}; decoded ${back[k]}`);
  }
  failures += wrong + (whole ? 0 : 1);
  console.log(`${wrong ? "not ok" : "ok"} - ${scheme}: ${uris.length - wrong} of ${uris.length} the same`);
}
process.exit(failures ? 1 : 0);
