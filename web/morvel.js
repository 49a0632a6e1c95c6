// morvel.js: drives Morvel's label printing objects (PrintBarCode, clsBase64,
// PrintInfo) from a web page through `morvel serve`, the bridge on the user's
// own computer. A plain ES module, no build step:
//
//   import { Morvel } from "http://127.0.0.1:8632/morvel.js";
//   const pb = await Morvel.create("Morvel.PrintBarCode");
//   await pb.SetPrint("ZDesigner ZT410R-300dpi ZPL");
//   await pb.OpenPort("ZDesigner ZT410R-300dpi ZPL");
//   await pb.PrintLabel("1");
//   const zpl = await pb.CommandPrint();
//
// Every member is a method returning a promise of its result. A member that
// raises rejects with a MorvelError carrying number, description and hresult.
// pb.invoke("GetDot", 100) gives { result, byref } with the values that
// by-reference parameters were left with. Byte arrays pass as Uint8Array and
// come back as Uint8Array; a picture argument is Morvel.picture(bytesOfFile).
// After PrintLabel, pb.tagResults() gives what the printer said of the RFID
// tag of each label printed since the last look: [{ label, state ("written",
// "void" or "unknown"), epc, tid (a SATO printer's read of the tag's TID,
// else ""), reason, tries }].

export class MorvelError extends Error {
  constructor(number, description, hresult, detail) {
    super(detail ? `${description} (${detail})` : description);
    this.name = "MorvelError";
    this.number = number;
    this.description = description;
    this.hresult = hresult ?? (0x800a0000 + number);
    if (detail) this.detail = detail;
  }
}

// The bridge this script came from; the default address for a copy that a
// site serves itself.
function defaultUrl() {
  try {
    const here = new URL(import.meta.url);
    const loopback = ["127.0.0.1", "[::1]", "localhost"].includes(here.hostname);
    if (here.protocol === "http:" && loopback) return `ws://${here.host}/`;
  } catch (_) { /* not loaded from a URL */ }
  return "ws://127.0.0.1:8632/";
}

function pageOrigin() {
  return typeof location !== "undefined" ? location.origin : "this page's origin";
}

function toBase64(bytes) {
  let text = "";
  for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  return btoa(text);
}

function fromBase64(text) {
  const raw = atob(text);
  const bytes = new Uint8Array(raw.length);
  for (let i = 0; i < raw.length; i++) bytes[i] = raw.charCodeAt(i);
  return bytes;
}

function encode(value) {
  if (value instanceof Uint8Array) return { bytes: toBase64(value) };
  if (value instanceof ArrayBuffer) return { bytes: toBase64(new Uint8Array(value)) };
  if (value === undefined) return null;
  return value;
}

function decode(value) {
  if (value && typeof value === "object" && !Array.isArray(value)) {
    if (typeof value.bytes === "string") return fromBase64(value.bytes);
    if (typeof value.picture === "string") return { picture: fromBase64(value.picture) };
  }
  return value;
}

class Bridge {
  constructor(url) {
    this.url = url;
    this.socket = null;
    this.opening = null;
    this.pending = new Map();
    this.nextId = 1;
    this.objects = new Map();
    this.listeners = new Map();
  }

  open() {
    if (this.opening) return this.opening;
    this.opening = new Promise((resolve, reject) => {
      let socket;
      try {
        socket = new WebSocket(this.url);
      } catch (e) {
        this.opening = null;
        reject(new MorvelError(429, `Cannot reach the Morvel bridge at ${this.url}: ${e.message}`));
        return;
      }
      let opened = false;
      socket.onopen = () => {
        opened = true;
        this.socket = socket;
        resolve(this);
      };
      socket.onmessage = (event) => this.receive(event.data);
      socket.onclose = async (event) => {
        let error = this.closeError(event, opened);
        // A bridge that answers its health check but not the handshake has
        // every page's place taken (it answered 503).
        if (!opened && event.code !== 1008 && event.code !== 1009 && await this.answersHealth()) {
          error = new MorvelError(429, "The Morvel bridge serves as many pages as it may at once " +
            "(morvel serve --max-connections); close another page that uses it, or try again shortly");
        }
        if (!opened) reject(error);
        for (const p of this.pending.values()) p.reject(error);
        this.pending.clear();
        this.objects.clear();
        this.socket = null;
        this.opening = null;
        this.emit("close", [error]);
      };
    });
    return this.opening;
  }

  async answersHealth() {
    try {
      const health = new URL(this.url);
      health.protocol = health.protocol === "wss:" ? "https:" : "http:";
      health.pathname = "/health";
      health.search = "";
      const response = await fetch(health, { cache: "no-store" });
      return response.ok && (await response.json()).status === "ok";
    } catch (_) {
      return false;
    }
  }

  closeError(event, opened) {
    if (event.code === 1008) {
      return new MorvelError(70, `The Morvel bridge does not accept pages from ${pageOrigin()}. ` +
        `Ask for it to be allowed: morvel serve --allow-origin ${pageOrigin()}`, undefined, event.reason);
    }
    if (event.code === 1009) return new MorvelError(7, "The message was larger than the Morvel bridge accepts");
    if (!opened) {
      return new MorvelError(429, `The Morvel bridge is not running on this computer (nothing answers at ${this.url}). ` +
        "Start it with: morvel serve --allow-origin " + pageOrigin());
    }
    return new MorvelError(91, "The connection to the Morvel bridge was closed; its objects are gone", undefined,
      event.reason || `code ${event.code}`);
  }

  receive(text) {
    let message;
    try {
      message = JSON.parse(text);
    } catch (_) {
      return;
    }
    if (message.event) {
      let args = message.args || [];
      if (message.event === "MessageBox") args = [message.text, message.caption];
      if (message.event === "delivery") args = [{ ok: message.ok, printer: message.printer, reason: message.reason }];
      const target = this.objects.get(message.object);
      const handled = (target && target.emit(message.event, args)) | this.emit(message.event, args);
      if (!handled && message.event === "MessageBox") console.warn(`[${message.caption}] ${message.text}`);
      if (!handled && message.event === "delivery") console.warn(`Morvel: a document for ${message.printer} did not arrive: ${message.reason}`);
      return;
    }
    const p = this.pending.get(message.id);
    if (!p) return;
    this.pending.delete(message.id);
    if (message.error) {
      const e = message.error;
      p.reject(new MorvelError(e.number, e.description, e.hresult, e.detail));
    } else {
      p.resolve(message);
    }
  }

  request(body) {
    if (!this.socket) return Promise.reject(new MorvelError(91, "Not connected to the Morvel bridge"));
    const id = this.nextId++;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject });
      this.socket.send(JSON.stringify({ id, ...body }));
    });
  }

  on(name, handler) {
    if (!this.listeners.has(name)) this.listeners.set(name, []);
    this.listeners.get(name).push(handler);
  }

  emit(name, args) {
    const handlers = this.listeners.get(name) || [];
    for (const h of handlers) h(...args);
    return handlers.length > 0;
  }

  async preview(job, options = {}) {
    await this.open();
    const bytes = typeof job === "string" ? new TextEncoder().encode(job)
      : job instanceof Uint8Array ? job : new Uint8Array(job);
    const body = { preview: { bytes: toBase64(bytes) } };
    if (options.dpi !== undefined) body.dpi = options.dpi;
    if (options.language !== undefined) body.language = options.language;
    const { result } = await this.request(body);
    return {
      language: result.language,
      dpi: result.dpi,
      pictures: result.pictures.map((p) => ({ png: fromBase64(p.png), copies: p.copies })),
      warnings: result.warnings,
      problems: result.problems,
    };
  }

  async print(printerName, document, options = {}) {
    await this.open();
    const bytes = document instanceof Uint8Array ? document : new Uint8Array(document);
    const words = Object.entries(options)
      .filter(([, value]) => value !== false && value !== undefined && value !== null)
      .map(([key, value]) => (value === true ? key : `${key}=${value}`));
    const body = { print: { bytes: toBase64(bytes) }, printer: printerName, options: words.join(" ") };
    const { result } = await this.request(body);
    return result;
  }

  // An RFID tag's EPC number in hexadecimal, by the GS1 EPC Tag Data
  // Standard: from a tag URI, or with options.scheme ("SGTIN-96") from an
  // element string (options.prefixLength, the company prefix's digits, and
  // options.filter 0-7) or a pure-identity URI. Refused input rejects with
  // error 5 naming the rule.
  async epcEncode(input, options = {}) {
    await this.open();
    const body = { epc: "encode", input };
    for (const key of ["scheme", "filter", "prefixLength"])
      if (options[key] !== undefined) body[key] = options[key];
    const { result } = await this.request(body);
    return result.hex;
  }

  // A hexadecimal EPC's { tagUri, pureIdentity, elementString }.
  async epcDecode(hex) {
    await this.open();
    const { result } = await this.request({ epc: "decode", hex });
    return result;
  }

  async status(name, options = {}) {
    await this.open();
    const body = { status: name };
    if (options.timeout !== undefined) body.timeout = options.timeout;
    const { result } = await this.request(body);
    return result;
  }

  async create(progId) {
    await this.open();
    const answer = await this.request({ create: progId });
    return this.proxy(answer.result.object);
  }

  proxy(objectId) {
    const bridge = this;
    const listeners = new Map();
    let tags = [];
    const target = {
      object: objectId,
      async invoke(member, ...args) {
        const answer = await bridge.request({ object: objectId, member, args: args.map(encode) });
        if (answer.tags) tags.push(...answer.tags);
        return { result: decode(answer.result), byref: (answer.byref || []).map(decode) };
      },
      tagResults() {
        const taken = tags;
        tags = [];
        return taken;
      },
      async release() {
        await bridge.request({ release: objectId });
        bridge.objects.delete(objectId);
      },
      on(name, handler) {
        if (!listeners.has(name)) listeners.set(name, []);
        listeners.get(name).push(handler);
      },
      emit(name, args) {
        const handlers = listeners.get(name) || [];
        for (const h of handlers) h(...args);
        return handlers.length > 0;
      },
    };
    const proxy = new Proxy(target, {
      get(t, name) {
        if (name in t) return t[name];
        // Not a promise: `await Morvel.create(...)` must give the object.
        if (typeof name !== "string" || name === "then") return undefined;
        return (...args) => t.invoke(name, ...args).then((answer) => answer.result);
      },
    });
    this.objects.set(objectId, target);
    return proxy;
  }

  close() {
    if (this.socket) this.socket.close(1000);
  }
}

let shared = null;

function bridge() {
  if (!shared || shared.url !== Morvel.url) shared = new Bridge(Morvel.url);
  return shared;
}

export const Morvel = {
  // Where the bridge listens; by default the address this script came from.
  url: defaultUrl(),
  // A new object: "Morvel.PrintBarCode", "Morvel.clsBase64" or "Morvel.PrintInfo".
  create(progId) {
    return bridge().create(progId);
  },
  // Events of the whole connection: "MessageBox" (text, caption), "close" (error),
  // "delivery" ({ ok: false, printer, reason }) when a document of this page did
  // not reach its printer, told before the answer of the call that found it.
  on(name, handler) {
    bridge().on(name, handler);
  },
  // Pictures of a printer job (ZPL, SBPL, Orx or EPL2; text or bytes), drawn by the
  // bridge as `morvel preview` draws them, nothing leaving this computer:
  // { language, dpi, pictures: [{ png: Uint8Array, copies }], warnings: [{ offset, text }], problems }.
  // Options: dpi (203 unless told), language ("zpl", "sbpl", "orx"; told from the job unless given).
  preview(job, options) {
    return bridge().preview(job, options);
  },
  // A document the page holds (a carrier's PDF or PNG label it fetched, another brand's
  // ZPL; an ArrayBuffer or Uint8Array, never a path) printed as `morvel print` prints it:
  // { pages, printed, notes }. Options as morvel print's: fit or actual (true), rotate
  // ("auto", 0, 90, 180, 270), crop ("auto", "none"), pages ("1-3,5"), copies, width and
  // height (mm), picture_dpi, compression ("z64", "ascii"). A document prints whole or
  // not at all: one that cannot be printed rejects with MorvelError 5, its cause and what
  // was sent ("...; nothing sent"); at most 10,000 labels (copies x pages) a call. The
  // bridge's --max-message bounds its size (8 MiB unless told, Base64 included).
  print(printerName, document, options) {
    return bridge().print(printerName, document, options);
  },
  // A printer's real state, as `morvel status` tells it: { name, state, reasons, raw, error, cause }.
  // state is idle, processing, stopped or unknown; reasons IPP keywords ([] for none), e.g.
  // "media-empty" when the paper is out; a printer that is not there is stopped and offline,
  // cause "connection refused", "host unreachable" or "name not found". Options: timeout in ms
  // (2000 unless told).
  status(name, options) {
    return bridge().status(name, options);
  },
  // An RFID tag's EPC number in upper-case hexadecimal (whole 16-bit words), by the GS1 EPC
  // Tag Data Standard, from a tag URI ("urn:epc:tag:sgtin-96:3.0614141.812345.6789"), or with
  // options { scheme: "SGTIN-96", filter: 0-7, prefixLength: 6-12 } from a GS1 element string
  // ("(01)80614141123458(21)6789", which needs prefixLength) or a pure-identity URI. Input the
  // standard refuses rejects with MorvelError 5 naming the rule.
  epcEncode(input, options) {
    return bridge().epcEncode(input, options);
  },
  // A hexadecimal EPC's { tagUri, pureIdentity, elementString } (elementString "" for GID-96).
  epcDecode(hex) {
    return bridge().epcDecode(hex);
  },
  // A picture argument (DrawImageFromPicture) from the bytes of a BMP, PNG, JPEG or GIF file.
  picture(bytes) {
    return { picture: toBase64(bytes instanceof Uint8Array ? bytes : new Uint8Array(bytes)) };
  },
  close() {
    if (shared) shared.close();
  },
  MorvelError,
};

export default Morvel;
