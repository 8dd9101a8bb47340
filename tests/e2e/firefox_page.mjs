// The help page in headless Firefox, for test_help_page.py: firefox-esr driven over WebDriver
// BiDi by puppeteer-core, which brings no browser of its own (npm ci in this folder installs it).
//
//   node firefox_page.mjs PAGE FIREFOX CALLS.json [sem-wasm]
//
// CALLS.json holds [[script, [arguments...]], ...]: each script is the body of a function that
// finds its arguments in `arguments`, as Selenium's execute_script takes them; they run in turn
// in the page once its calculator has settled. "sem-wasm" turns WebAssembly off.
// Prints one JSON object: the browser, how zepa.pronto settled ("" or the rejection's message),
// each script's result, and every error or warning the page logged.

import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import url from "node:url";
import puppeteer from "puppeteer-core";

const [page, firefox, calls, flag] = process.argv.slice(2);
const input = JSON.parse(fs.readFileSync(calls, "utf8"));
const profile = fs.mkdtempSync(path.join(os.tmpdir(), "zepa-firefox-"));
// Every request but the page's own file goes to a closed port: the page must need none.
const prefs = { "network.proxy.type": 1, "network.proxy.http": "127.0.0.1",
                "network.proxy.http_port": 9, "network.proxy.ssl": "127.0.0.1",
                "network.proxy.ssl_port": 9 };
if (flag === "sem-wasm") prefs["javascript.options.wasm"] = false;

const browser = await puppeteer.launch({
  browser: "firefox", executablePath: firefox, headless: true, userDataDir: profile,
  extraPrefsFirefox: prefs });
try {
  const tab = await browser.newPage();
  const errors = [];
  tab.on("pageerror", (e) => errors.push(String(e)));
  tab.on("console", (m) => { if (m.type() === "error" || m.type() === "warn") errors.push(m.text()); });
  await tab.goto(url.pathToFileURL(page).href);
  // Settled either way: resolved when the calculator runs, rejected when it cannot.
  const ready = await tab.evaluate(() => zepa.pronto.then(() => "", (e) => e.message));
  const results = [];
  for (const [script, args] of input) {
    results.push(await tab.evaluate((s, a) => new Function(s).apply(null, a), script, args));
  }
  process.stdout.write(JSON.stringify({ agent: await browser.version(), ready, results, errors }));
} finally {
  await browser.close();
  fs.rmSync(profile, { recursive: true, force: true });
}
