// Opens a poster page in headless Chromium, at the views given in its
// address fragment, and saves what the page shows once it reports every tile
// drawn. Talks to Chromium over its DevTools pipe, so it needs nothing but
// Node and the browser.
//
// Usage: node poster_page_shot.mjs CHROMIUM PAGE_URL OUT_DIR SIDE NAME=VIEW...
// where each VIEW is a fragment such as #x=0.5&y=0.5&w=1 to open the page
// with, or @ and a fragment to open the page with none and expect that view.
// Writes OUT_DIR/NAME.png (SIDE x SIDE CSS pixels at one device pixel each)
// for each view and OUT_DIR/chromium.log, and checks on the way that:
// - the page reached its ready state with no failed request, no script
//   error and no tile that failed to load;
// - the viewer shows the view the fragment asked for;
// - panning rewrites the fragment with the new centre, and setting the
//   fragment again brings the view back.
// Prints one line per view with what it read back; exits 1 on any failure.

import { spawn } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";

const [chromium, pageUrl, outDir, sideText, ...shots] = process.argv.slice(2);
const side = Number(sideText);
if (!chromium || !pageUrl || !outDir || !(side > 0) || shots.length === 0) {
  console.error("usage: node poster_page_shot.mjs CHROMIUM PAGE_URL OUT_DIR SIDE NAME=VIEW...");
  process.exit(2);
}

const failures = [];
function fail(text) {
  failures.push(text);
  console.error("FAIL: " + text);
}

const profile = fs.mkdtempSync(path.join(os.tmpdir(), "kavrel-chromium-"));
const log = fs.openSync(path.join(outDir, "chromium.log"), "w");
const browser = spawn(chromium, [
  "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
  "--disable-background-networking", "--disable-component-update", "--disable-sync",
  "--disable-extensions", "--disable-default-apps", "--mute-audio", "--hide-scrollbars",
  "--force-device-scale-factor=1", "--user-data-dir=" + profile,
  "--remote-debugging-pipe", "about:blank",
], { stdio: ["ignore", log, log, "pipe", "pipe"] });

let browserExited = false;
const exited = new Promise((resolve) => browser.on("exit", () => { browserExited = true; resolve(); }));

// The DevTools protocol on the pipe: JSON messages, each ended by a NUL.
const toBrowser = browser.stdio[3];
const fromBrowser = browser.stdio[4];
let nextId = 1;
const pending = new Map();
const listeners = [];
let buffered = "";
fromBrowser.on("data", (chunk) => {
  buffered += chunk.toString("utf8");
  let end;
  while ((end = buffered.indexOf("\0")) >= 0) {
    const message = JSON.parse(buffered.slice(0, end));
    buffered = buffered.slice(end + 1);
    if (message.id && pending.has(message.id)) {
      const { resolve, reject, method } = pending.get(message.id);
      pending.delete(message.id);
      if (message.error) {
        reject(new Error(method + ": " + message.error.message));
      } else {
        resolve(message.result);
      }
    } else if (message.method) {
      for (const listener of listeners) listener(message);
    }
  }
});

function send(method, params = {}, sessionId = undefined) {
  const id = nextId++;
  const message = { id, method, params };
  if (sessionId) message.sessionId = sessionId;
  return new Promise((resolve, reject) => {
    pending.set(id, { resolve, reject, method });
    toBrowser.write(JSON.stringify(message) + "\0");
  });
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function withTimeout(promise, ms, what) {
  return Promise.race([promise, sleep(ms).then(() => { throw new Error("timed out: " + what); })]);
}

let session;
async function evaluate(expression) {
  const result = await send("Runtime.evaluate",
    { expression, awaitPromise: true, returnByValue: true }, session);
  if (result.exceptionDetails) {
    throw new Error("in the page: " + (result.exceptionDetails.exception?.description
      || result.exceptionDetails.text));
  }
  return result.result.value;
}

// Waits for the page's own ready state, then for two more frames so that
// what was drawn last has reached the screen.
async function waitReady(what, timeoutMs = 30000) {
  const start = Date.now();
  for (;;) {
    const state = await evaluate("document.documentElement.getAttribute('data-kavrel-state')");
    if (state === "ready") break;
    if (state === "failed") {
      const text = await evaluate("document.getElementById('message').textContent");
      throw new Error(what + ": the page says it failed: " + text);
    }
    if (Date.now() - start > timeoutMs) {
      throw new Error(what + ": the page was still '" + state + "' after " + timeoutMs / 1000
        + " s: some tiles never arrived");
    }
    await sleep(100);
  }
  await evaluate("new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)))");
  const state = await evaluate("document.documentElement.getAttribute('data-kavrel-state')");
  if (state !== "ready") throw new Error(what + ": the page left its ready state ('" + state + "')");
}

// Loads a page and waits for its load event: the document that answers
// evaluate() afterwards is the new one.
async function navigate(url) {
  const loaded = new Promise((resolve) => {
    const listener = (message) => {
      if (message.sessionId === session && message.method === "Page.loadEventFired") {
        listeners.splice(listeners.indexOf(listener), 1);
        resolve();
      }
    };
    listeners.push(listener);
  });
  const result = await send("Page.navigate", { url }, session);
  if (result.errorText) throw new Error(`could not load ${url}: ${result.errorText}`);
  await withTimeout(loaded, 30000, "loading " + url);
}

const viewExpression = `(() => {
  const vp = window.kavrelViewer.viewport;
  const c = vp.getCenter(true);
  return { x: c.x, y: c.y, w: vp.getBounds(true).width };
})()`;

function parseFragment(fragment) {
  const fields = Object.fromEntries(fragment.replace(/^#/, "").split("&").map((p) => p.split("=")));
  return { x: Number(fields.x), y: Number(fields.y), w: Number(fields.w) };
}

// Within a thousandth of the visible width: far finer than a screen pixel.
function sameView(a, b) {
  const tolerance = 1e-3 * b.w;
  return Math.abs(a.x - b.x) <= tolerance && Math.abs(a.y - b.y) <= tolerance
    && Math.abs(a.w - b.w) <= tolerance;
}

const show = (v) => `x=${v.x} y=${v.y} w=${v.w}`;

async function run() {
  const { targetId } = await send("Target.createTarget", { url: "about:blank" });
  ({ sessionId: session } = await send("Target.attachToTarget", { targetId, flatten: true }));

  // Every failed request, script error and error message of the page.
  const problems = [];
  listeners.push((message) => {
    if (message.sessionId !== session) return;
    const p = message.params;
    if (message.method === "Network.responseReceived" && p.response.status >= 400) {
      problems.push(`HTTP ${p.response.status} for ${p.response.url}`);
    } else if (message.method === "Network.loadingFailed" && !p.canceled) {
      problems.push(`request failed (${p.errorText})`);
    } else if (message.method === "Runtime.exceptionThrown") {
      problems.push("script error: " + (p.exceptionDetails.exception?.description
        || p.exceptionDetails.text));
    } else if (message.method === "Runtime.consoleAPICalled" && p.type === "error") {
      problems.push("console error: " + p.args.map((a) => a.value ?? a.description).join(" "));
    }
  });
  for (const domain of ["Page", "Runtime", "Network"]) await send(domain + ".enable", {}, session);
  await send("Emulation.setDeviceMetricsOverride",
    { width: side, height: side, deviceScaleFactor: 1, mobile: false }, session);

  for (const shot of shots) {
    const eq = shot.indexOf("=");
    const name = shot.slice(0, eq);
    const view = shot.slice(eq + 1);
    const fragment = view.replace(/^@/, "");
    const asked = parseFragment(fragment);
    problems.length = 0;
    // A fresh document each time: going from one fragment to another of the
    // same page would not load it again.
    await navigate("about:blank");
    await navigate(pageUrl + (view.startsWith("@") ? "" : fragment));
    await waitReady(name);

    const shown = await evaluate(viewExpression);
    const title = await evaluate("[document.title, document.getElementById('title').textContent]");
    const tileFailures = await evaluate("window.kavrelTileFailures");
    const png = await send("Page.captureScreenshot", { format: "png" }, session);
    fs.writeFileSync(path.join(outDir, name + ".png"), Buffer.from(png.data, "base64"));
    console.log(`${name}: asked ${show(asked)}, shown ${show(shown)}, title "${title[0]}"`);

    if (!sameView(shown, asked)) {
      fail(`${name}: the viewer shows ${show(shown)}, not ${show(asked)}`
        + (view.startsWith("@") ? " (opened without a fragment)" : ""));
    }
    if (tileFailures !== 0) fail(`${name}: ${tileFailures} tiles failed to load`);
    if (title[0] !== title[1] || title[0].includes("@KAVREL_")) {
      fail(`${name}: the title was not filled in: "${title[0]}" / "${title[1]}"`);
    }

    // Panning by a quarter of the width must show up in the fragment once
    // the page has had time to write it.
    const moved = { x: shown.x + shown.w / 4, y: shown.y, w: shown.w };
    await evaluate(`window.kavrelViewer.viewport.panTo(new OpenSeadragon.Point(${moved.x}, ${moved.y}), true);
      window.kavrelViewer.forceRedraw(); 0`);
    await sleep(600);
    const written = await evaluate("location.hash");
    if (!sameView(parseFragment(written), moved)) {
      fail(`${name}: after panning to ${show(moved)} the address says "${written}"`);
    }
    // Setting the fragment as a person would brings the asked view back.
    // The move is animated, so wait for it to arrive before the tiles.
    await evaluate(`location.hash = ${JSON.stringify(fragment)}; 0`);
    let back;
    for (let tries = 0; tries < 100; tries++) {
      back = await evaluate(viewExpression);
      if (sameView(back, asked)) break;
      await sleep(100);
    }
    if (sameView(back, asked)) {
      await waitReady(name + " (fragment set again)");
    } else {
      fail(`${name}: setting the fragment again shows ${show(back)}, not ${show(asked)}`);
    }

    for (const problem of problems) fail(`${name}: ${problem}`);
  }
}

// Stopped from outside (the test's timeout): the browser goes too.
for (const signal of ["SIGTERM", "SIGINT"]) {
  process.on(signal, () => {
    browser.kill("SIGKILL");
    fs.rmSync(profile, { recursive: true, force: true, maxRetries: 5 });
    console.error(`FAIL: stopped by ${signal}`);
    process.exit(1);
  });
}

let code = 0;
try {
  await withTimeout(run(), 120000, "the whole run");
} catch (error) {
  fail(error.message);
}
if (failures.length) code = 1;
try {
  if (!browserExited) await withTimeout(send("Browser.close"), 5000, "closing the browser");
} catch {
  // Killed below.
}
// The profile goes once the browser has stopped writing into it.
try {
  await withTimeout(exited, 5000, "the browser to stop");
} catch {
  browser.kill("SIGKILL");
  await exited;
}
fs.rmSync(profile, { recursive: true, force: true, maxRetries: 5 });
process.exit(code);
