// The help page in headless Firefox, for test_help_page.py: firefox-esr driven over WebDriver
// BiDi by puppeteer-core, which brings no browser of its own (npm ci in this folder installs it).
//
//   node firefox_page.mjs PAGE FIREFOX memos PAIRS.json    the memo of each [c, f] pair
//   node firefox_page.mjs PAGE FIREFOX campos PAIRS.json   what the calculator shows after
//                                                          each pair is typed in its fields
//   node firefox_page.mjs PAGE FIREFOX sem-wasm            the page with WebAssembly off
//
// Prints one JSON object: the browser, the results, and every error or warning the page logged.

import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import url from "node:url";
import puppeteer from "puppeteer-core";

const [page, firefox, mode, pairs] = process.argv.slice(2);
const input = pairs ? JSON.parse(fs.readFileSync(pairs, "utf8")) : [];
const profile = fs.mkdtempSync(path.join(os.tmpdir(), "zepa-firefox-"));
// Every request but the page's own file goes to a closed port: the page must need none.
const prefs = { "network.proxy.type": 1, "network.proxy.http": "127.0.0.1",
                "network.proxy.http_port": 9, "network.proxy.ssl": "127.0.0.1",
                "network.proxy.ssl_port": 9 };
if (mode === "sem-wasm") prefs["javascript.options.wasm"] = false;

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
  const out = { agent: await browser.version(), ready };
  if (mode === "memos") {
    out.memos = await tab.evaluate((pairs) => pairs.map((p) => zepa.memorial(p[0], p[1])), input);
  } else if (mode === "campos") {
    out.shown = [];
    for (const [c, f] of input) {
      out.shown.push(await tab.evaluate((c, f) => {
        for (const [id, value] of [["campo-c", c], ["campo-f", f]]) {
          const field = document.getElementById(id);
          field.value = value;
          field.dispatchEvent(new Event("input"));
        }
        return { tela: document.getElementById("tela").textContent,
                 memo: document.getElementById("memo").textContent,
                 baixar: !document.getElementById("baixar").disabled };
      }, c, f));
    }
  } else {
    out.page = await tab.evaluate(() => ({
      zepa: typeof zepa, webassembly: typeof WebAssembly,
      tela: document.getElementById("tela").textContent,
      baixar: !document.getElementById("baixar").disabled }));
  }
  out.errors = errors;
  process.stdout.write(JSON.stringify(out));
} finally {
  await browser.close();
  fs.rmSync(profile, { recursive: true, force: true });
}
