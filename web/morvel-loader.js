// morvel-loader.js: loads morvel.js from `morvel serve`, the bridge on the
// user's own computer, and when that fails says why. Copy it onto your own
// site: a page on a public or intranet site may reach this computer only once
// the user has allowed it (Chromium's "Local network access"), and until then
// the browser says no more than "Failed to fetch dynamically imported module".
//
//   import { loadMorvel } from "/js/morvel-loader.js";
//   try {
//     const { Morvel } = await loadMorvel({ port: 8632 });
//     const pb = await Morvel.create("Morvel.PrintBarCode");
//   } catch (e) {
//     showToUser(e.message);   // e.reason: one of LoadFailure.reasons
//   }
//
// The bridge serves the copy that goes with it at /morvel-loader.js.

// Why the bridge could not be reached, and what the user can do about it.
// Every text a page may show its user is here.
const explanations = {
  "local-network-access": ({ origin, secure }) => secure
    ? `Your browser does not let ${origin} reach the label printing bridge on this computer. ` +
      `Allow "Local network access" for this site (click the icon at the left of the address bar, ` +
      `then Site settings), or ask your administrator to allow it, then reload the page.`
    : `Your browser does not let ${origin} reach the label printing bridge on this computer: ` +
      `only pages served over https may ask for that. Ask the site to serve this page over https.`,
  "no-bridge": ({ address }) =>
    `The label printing bridge is not running on this computer (nothing answers at ${address}). ` +
    `Start it with "morvel serve", then reload the page.`,
  "origin-not-allowed": ({ origin }) =>
    `The label printing bridge on this computer does not accept pages from ${origin}. ` +
    `Ask for this site to be allowed: morvel serve --allow-origin ${origin}, ` +
    `or a line in the allowed-origins file.`,
};

export class LoadFailure extends Error {
  static reasons = Object.keys(explanations);

  constructor(reason, facts, cause) {
    super(explanations[reason](facts), cause === undefined ? undefined : { cause });
    this.name = "LoadFailure";
    this.reason = reason;
  }
}

// The page's permission to reach loopback: "granted", "denied", "prompt", or
// null where the browser has no such permission. Chromium 145 and later name
// it "loopback-network"; 142 to 144 had one "local-network-access" for all.
async function permissionState() {
  for (const name of ["loopback-network", "local-network-access"]) {
    try {
      return (await navigator.permissions.query({ name })).state;
    } catch (_) {
      // A name this browser does not know: try the next.
    }
  }
  return null;
}

// A page that is on this computer itself needs no permission, whatever the
// state reads.
function pageOnLoopback() {
  const host = location.hostname;
  return host === "localhost" || host.endsWith(".localhost") || host === "[::1]" || /^127\.\d+\.\d+\.\d+$/.test(host);
}

// Resolves to the morvel.js module ({ Morvel, MorvelError }) of the bridge on
// `port`; rejects with a LoadFailure.
export async function loadMorvel({ port = 8632 } = {}) {
  const address = `http://127.0.0.1:${port}`;
  const facts = { origin: location.origin, secure: isSecureContext, address };
  let health;
  try {
    health = await fetch(`${address}/health`, { cache: "no-store" });
  } catch (e) {
    // The browser tells a blocked request and a closed port apart only in
    // its console; the permission's state tells the page.
    const state = await permissionState();
    const blocked = state === "denied" || (state === "prompt" && !pageOnLoopback());
    throw new LoadFailure(blocked ? "local-network-access" : "no-bridge", facts, e);
  }
  if (health.status === 403) {
    const answer = await health.json().catch(() => ({}));
    if (answer.status === "origin-not-allowed") throw new LoadFailure("origin-not-allowed", facts);
  }
  if (!health.ok) throw new LoadFailure("no-bridge", facts, new Error(`${address}/health answered ${health.status}`));
  try {
    return await import(`${address}/morvel.js`);
  } catch (e) {
    // It stopped meanwhile (or the page's Content-Security-Policy forbids
    // scripts from it: the cause tells).
    throw new LoadFailure("no-bridge", facts, e);
  }
}
