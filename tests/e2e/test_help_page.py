"""The help page, opened from file:// with networking off, in headless Chromium and, where it
is installed, Firefox: it loads cleanly; its calculator gives the memo the native program
appends for the same replies, byte for byte, and its fields show the console's lines; replies
of any length, and a browser without WebAssembly or JavaScript, get a plain message; the page's
own further values, other data and setting-out table agree with a 150-digit reference, and the
setting-out sheet prints on one A4 page; axe-core finds no WCAG A/AA violation, the focus
ring and the figure's labels have the contrast and size they need, print shows no placeholder.
Screenshots and printed PDFs go to the build directory for a person to look at. A build of the
program alone brings the page beside it.

Chromium needs chromium, chromium-driver and python3-selenium (Debian packages); axe-core and,
for Firefox (firefox-esr), puppeteer-core come from `npm ci` in tests/e2e. A test whose tools
are missing says so and is reported skipped (exit code 77), never passed.
"""

import base64
import decimal
import json
import math
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import urllib.parse

from support import (BYE, MEMO_FILE, ONE_CASE, ONE_MEMO, Scratch, Skip, check, expect_equal, main, run,
                     table, wait_until)

CHROMIUM = shutil.which("chromium")
DRIVER = shutil.which("chromedriver")
FIREFOX = shutil.which("firefox-esr") or shutil.which("firefox")
NODE = shutil.which("node")
HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.normpath(os.path.join(HERE, "..", ".."))
AXE = os.path.join(HERE, "node_modules", "axe-core", "axe.min.js")
PUPPETEER = os.path.join(HERE, "node_modules", "puppeteer-core")
SEED = int(os.environ.get("ZEPA_SEED", "20150511"))
WIDTHS = ((320, 640, True), (390, 844, True), (1280, 800, False))
THEMES = ("light", "dark")
# The axe-core tags of WCAG 2.0, 2.1 and 2.2, levels A and AA.
WCAG_TAGS = ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa", "wcag22a", "wcag22aa"]
LONGEST = 100000  # the longest reply the page hands to the calculator, in characters


def page_path(binary):
    path = os.path.join(os.path.dirname(os.path.abspath(binary)), "ajuda-zepa4-07.html")
    check(os.path.exists(path), "no help page beside the program: " + path)
    return path


class Chromium:
    """Headless Chromium on a fresh profile, every network request refused."""

    def __init__(self, extra_args=(), prefs=None):
        try:
            import selenium  # noqa: F401
        except ImportError:
            # The Debian package installs for the system's python3; another one may run us.
            sys.path.append("/usr/lib/python3/dist-packages")
        try:
            from selenium import webdriver
            from selenium.webdriver.chrome.service import Service
        except ImportError:
            webdriver = None
        missing = [tool for tool, ok in (("chromium", CHROMIUM), ("chromedriver", DRIVER),
                                         ("python3-selenium", webdriver)) if not ok]
        if missing:
            raise Skip("missing " + ", ".join(missing))
        self.profile = tempfile.mkdtemp(prefix="zepa-chromium-")
        options = webdriver.ChromeOptions()
        for arg in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                    "--no-first-run", "--disable-background-networking",
                    "--disable-component-update", "--disable-sync", "--hide-scrollbars",
                    "--proxy-server=http://127.0.0.1:9", "--user-data-dir=" + self.profile,
                    *extra_args):
            options.add_argument(arg)
        if prefs:
            options.add_experimental_option("prefs", prefs)
        options.binary_location = CHROMIUM
        options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
        self.driver = webdriver.Chrome(service=Service(DRIVER), options=options)
        self.driver.set_script_timeout(120)
        self.cdp("Network.enable")
        self.cdp("Network.emulateNetworkConditions", offline=True, latency=0,
                 downloadThroughput=-1, uploadThroughput=-1)

    def cdp(self, command, **parameters):
        return self.driver.execute_cdp_cmd(command, parameters)

    def open(self, path, width=1280, height=800, mobile=False, theme="light", wait=True):
        """Opens the page at that size and theme; returns how zepa.pronto settled ("" or the
        rejection's message)."""
        self.cdp("Emulation.setDeviceMetricsOverride", width=width, height=height,
                 deviceScaleFactor=1, mobile=mobile)
        self.cdp("Emulation.setEmulatedMedia", media="",
                 features=[{"name": "prefers-color-scheme", "value": theme}])
        # What the browser logged before (its own start page) is not the page's.
        self.driver.get_log("performance")
        self.driver.get_log("browser")
        self.driver.get("file://" + path)
        return wait and self.driver.execute_async_script(
            "var done = arguments[0]; zepa.pronto.then(function () { done(''); },"
            " function (e) { done(e.message); });")

    def run(self, script, *args):
        return self.driver.execute_script(script, *args)

    def printed(self):
        """The page's text as printed."""
        self.cdp("Emulation.setEmulatedMedia", media="print")
        text = self.run("return document.body.innerText;")
        self.cdp("Emulation.setEmulatedMedia", media="")
        return text

    def errors(self):
        return [e for e in self.driver.get_log("browser") if e["level"] in ("SEVERE", "WARNING")]

    def wait_for(self, script, expected, *args):
        """Waits until the script returns the expected value."""
        wait_until(f"{expected!r} from {script}", lambda: self.run(script, *args) == expected,
                   limit=20, explain=lambda: repr(self.run(script, *args)))

    def close(self):
        self.driver.quit()
        shutil.rmtree(self.profile, ignore_errors=True)


BROWSERS = {}


def chromium(name="plain", **options):
    """One Chromium per kind for the whole run, started when a test first needs it."""
    if name not in BROWSERS:
        BROWSERS[name] = Chromium(**options)
    return BROWSERS[name]


def in_browser(binary, browser, calls, wasm=True, size=WIDTHS[2]):
    """Runs each (script, arguments) of `calls` in turn in the page, in Chromium (at `size`) or
    Firefox; returns how zepa.pronto settled, the scripts' results and what the page logged."""
    if browser == "chromium":
        page = chromium() if wasm else chromium("no-wasm", extra_args=["--js-flags=--jitless"])
        ready = page.open(page_path(binary), *size)
        return ready, [page.run(script, *args) for script, args in calls], page.errors()
    missing = [tool for tool, ok in (("firefox-esr", FIREFOX), ("node", NODE),
                                     ("puppeteer-core (npm ci --prefix tests/e2e)",
                                      os.path.isdir(PUPPETEER))) if not ok]
    if missing:
        raise Skip("missing " + ", ".join(missing))
    with tempfile.NamedTemporaryFile("w", suffix=".json", encoding="utf-8") as f:
        json.dump(calls, f)
        f.flush()
        p = subprocess.run([NODE, os.path.join(HERE, "firefox_page.mjs"), page_path(binary),
                            FIREFOX, f.name] + ([] if wasm else ["sem-wasm"]),
                           capture_output=True, timeout=300,
                           env=dict(os.environ, PUPPETEER_SKIP_DOWNLOAD="1"))
    check(p.returncode == 0, p.stderr.decode(errors="replace"))
    out = json.loads(p.stdout)
    check(out["agent"].startswith("firefox/"), out["agent"])
    return out["ready"], out["results"], out["errors"]


# Puts the replies in the fields as typing or a paste would; what the calculator then shows.
SET_FIELDS = """
    var values = {"campo-c": arguments[0], "campo-f": arguments[1]};
    for (var id in values) {
      var field = document.getElementById(id);
      field.value = values[id];
      field.dispatchEvent(new Event("input"));
    }
    return {tela: document.getElementById("tela").textContent,
            memo: document.getElementById("memo").textContent,
            copiar: !document.getElementById("copiar").disabled,
            baixar: !document.getElementById("baixar").disabled,
            resultado: document.getElementById("painel").classList.contains("com-resultado")};
"""
MEMORIAL = "return zepa.memorial(arguments[0], arguments[1]);"


def contrast(css_a, css_b):
    """The WCAG contrast ratio of two opaque CSS colours given as rgb(...)."""
    def luminance(css):
        r, g, b = (v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4
                   for v in (int(x) / 255 for x in re.findall(r"[\d.]+", css)[:3]))
        return 0.2126 * r + 0.7152 * g + 0.0722 * b
    a, b = luminance(css_a), luminance(css_b)
    return (max(a, b) + 0.05) / (min(a, b) + 0.05)


def random_reply(rng):
    """One typed reply that is a single item both at the console and in a batch: no comma and
    no blank after its start, at most 67 bytes kept."""
    kind = rng.randrange(12)
    sign = rng.choice(["", "", "-", "+"])
    digits = lambda n: "".join(rng.choice("0123456789") for _ in range(n))  # noqa: E731
    if kind == 0:  # plain decimals of every size
        return sign + digits(rng.randint(1, 9)) + rng.choice(["", "." + digits(rng.randint(1, 8))])
    if kind == 1:  # exponents, with E, e, D or d and a signed power
        return (sign + digits(rng.randint(1, 3)) + rng.choice(["", "." + digits(3)]) +
                rng.choice("EeDd") + rng.choice(["", "+", "-"]) + str(rng.randint(0, 45)))
    if kind == 2:  # a leading point, a trailing point
        return sign + rng.choice(["." + digits(rng.randint(1, 7)), digits(2) + "."])
    if kind == 3:  # radix prefixes, some with digits that do not belong
        prefix, alphabet = rng.choice([("&H", "0123456789ABCDEFabcdef"), ("&h", "0123456789abcdef"),
                                       ("&O", "01234567"), ("&o", "01234567"), ("&", "01234567"),
                                       ("&B", "01"), ("&b", "01")])
        body = "".join(rng.choice(alphabet) for _ in range(rng.randint(0, 18)))
        return prefix + body + rng.choice(["", "", "9", "G", ".5"])
    if kind == 4:  # whole numbers beyond 32 and 64 bits
        return sign + digits(rng.randint(9, 25))
    if kind == 5:  # long items, up to the 67 bytes a number keeps
        n = rng.randint(40, 67)
        return digits(n - 4) + "." + digits(3)
    if kind == 6:  # quotes, dropped inside a number
        return '"' + digits(rng.randint(1, 3)) + '"' + digits(rng.randint(0, 3))
    if kind == 7:  # a number followed by other text, and text that is no number
        return rng.choice([digits(2) + "abc", "1.5x", "abc", "-", ".", "e5", "x1", "&", "&H",
                           "3.4E38", "3.5E38", "1e39", "-1e39", "1e-46", "1e-40", "inf", "nan",
                           "-0", "0x1p3", "1.#INF"])
    if kind == 8:  # leading blanks and tabs are skipped
        return rng.choice([" ", "  ", "\t", " \t "]) + digits(rng.randint(1, 3))
    if kind == 9:  # the empty reply reads as 0
        return ""
    if kind == 10:  # small pairs close to f = 2c and f = c, where the refusal and the case turn
        return rng.choice(["1", "2", "2.0000001", "1.9999999", "0.5", "4", "1.5"])
    return sign + "0." + "0" * rng.randint(0, 30) + digits(rng.randint(1, 5))



def native_memos(binary, pairs, accepted):
    """The memo file the native program writes when the replies come through standard input:
    a refused pair is followed by the next pair, a computed one by the continue answer."""
    data = b"\n" + b"".join(c.encode("cp1252") + b"\n" + f.encode("cp1252") + b"\n" +
                            (b"c\n" if ok else b"") for (c, f), ok in zip(pairs, accepted))
    with Scratch() as s:
        # A last pair that is always computed, then the stop; its memo is taken off.
        expect_equal(run(binary, data + b"3\n1\nn\n", s.path, timeout=120).returncode, 0)
        memos = s.file(MEMO_FILE)
    check(memos.endswith(ONE_MEMO), "the last memo is not the last pair's")
    return memos[:-len(ONE_MEMO)]


def test_page_loads_offline_cleanly(binary):
    browser = chromium()
    browser.open(page_path(binary))
    requests = [json.loads(entry["message"])["message"] for entry in
                browser.driver.get_log("performance")]
    expect_equal(([r["params"]["request"]["url"] for r in requests
                   if r["method"] == "Network.requestWillBeSent" and
                   not r["params"]["request"]["url"].startswith(("file://", "data:"))],
                  browser.errors()), ([], []))
    expect_equal(browser.run("return document.documentElement.lang"), "pt-BR")
    check(len(browser.run("return document.querySelector('meta[name=description]').content"))
          > 50, "no description")
    # Every field has its label; the diagram is inline and scales with the page.
    expect_equal(browser.run(
        "return Array.from(document.querySelectorAll('input')).filter(function (i) {"
        " return !document.querySelector('label[for=\"' + i.id + '\"]'); }).length"), 0)
    check(browser.run("return document.querySelector('figure svg') !== null"), "no diagram")
    # Each link of the navigation brings its section's heading to the top of the window (the
    # last ones as near as the page's end allows).
    for target in browser.run("return Array.from(document.querySelectorAll('nav a'),"
                              " function (a) { return a.getAttribute('href'); });"):
        browser.run("scrollTo(0, 0); document.querySelector('nav a[href=\"' + arguments[0] +"
                    " '\"]').click();", target)
        browser.wait_for("var top = document.querySelector(arguments[0] + ' > h2')"
                         ".getBoundingClientRect().top; return Math.abs(top) < 2"
                         " || scrollY + innerHeight >= document.body.scrollHeight - 1;",
                         True, target)


@table(("chromium", 4000, SEED), ("firefox", 400, SEED + 1))
def test_memorial_matches_the_program(binary, browser, count, seed):
    rng = random.Random(seed)
    pairs = [(random_reply(rng), random_reply(rng)) for _ in range(count)]
    ready, (memos,), errors = in_browser(binary, browser, [(
        "return arguments[0].map(function (p) { return zepa.memorial(p[0], p[1]); });",
        [pairs])])
    expect_equal((ready, errors), ("", []))
    accepted = [m != "" for m in memos]
    check(count // 20 < sum(accepted) < count, f"{sum(accepted)} of {count} pairs computed")
    expected = native_memos(binary, pairs, accepted)
    at = 0
    for (c, f), memo in zip(pairs, memos):  # the first pair whose memo differs is named
        chunk = memo.encode("cp1252")
        if expected[at:at + len(chunk)] != chunk:
            raise AssertionError(f"seed {seed}: pair {c!r}, {f!r}:\npage   {chunk!r}\n"
                                 f"native {expected[at:at + len(chunk) + 40]!r}")
        at += len(chunk)
    expect_equal(at, len(expected))


def test_console_line_rules(binary):
    """What only a typed line has: the rest of the line after the first item is dropped, and a
    number keeps 67 bytes. Each reply reads as its batch counterpart; a refused pair, a NaN,
    and a number typed with a decimal comma give no memo."""
    browser = chromium()
    browser.open(page_path(binary))
    for typed_c, typed_f, batch_c, batch_f in [
            ("1,x", "1", "1", "1"), ("3 1", "2", "3", "2"), ("4", "2, 9", "4", "2"),
            ("1" * 70, "1", "1" * 67, "1"), ('"2",1', "1", "2", "1"),
            ("3\u00e1", "1\u2192", "3\xe1", "1"), ("&H10 &H20", "4", "&H10", "4")]:
        expect_equal(browser.run(MEMORIAL, typed_c, typed_f).encode("cp1252"),
                     native_memos(binary, [(batch_c, batch_f)], [True]))
    for c, f in (("1", "3"), ("nan", "1"), ("1", "2.0000002"), ("1,5", "1"), ("4", "2,9")):
        expect_equal(browser.run(MEMORIAL, c, f), "")


def test_fields_show_the_console_lines(binary):
    browser = chromium()
    browser.open(page_path(binary), 390, 844, True)
    driver = browser.driver

    def type_pair(c, f):
        for field, value in (("campo-c", c), ("campo-f", f)):
            element = driver.find_element("id", field)
            element.clear()
            element.send_keys(value)
        return (driver.find_element("id", "tela").text, driver.find_element("id", "memo").text,
                driver.find_element("id", "baixar").is_enabled())

    screen, memo, can_save = type_pair("4", "2")
    expect_equal((screen, can_save), ("  Raio: r= 5\n  Semi arco: a= 4.636476\n"
                                      "  Angulo: Alfa(grau)= 53.12997", True))
    expect_equal(memo.replace("\n", "\r\n") + "\r\n\r\n", browser.run(MEMORIAL, "4", "2"))
    # Once typing pauses, the lines are read out once, as one sentence; the box itself is no
    # live region, so each key does not read all three lines again.
    browser.wait_for("return document.getElementById('anuncio').textContent;",
                     "Raio: r= 5; Semi arco: a= 4.636476; Angulo: Alfa(grau)= 53.12997")
    expect_equal(browser.run(
        "var t = document.getElementById('tela'); return [t.getAttribute('aria-live'),"
        " t.getAttribute('aria-labelledby'), document.querySelectorAll('pre[aria-labelledby],"
        " pre[aria-label], [aria-live=assertive]').length];"), [None, None, 0])
    screen, memo, can_save = type_pair("1", "3")
    expect_equal((screen, can_save), (" f nao pode ser maior que 2c, informe outro valor", False))
    browser.wait_for("return document.getElementById('anuncio').textContent;",
                     "f nao pode ser maior que 2c, informe outro valor")
    # A decimal comma: the console's warning, no results, no memo, the field marked invalid.
    expect_equal(type_pair("4", "2,5") + (browser.run(
        "return ['campo-c', 'campo-f'].map(function (id) {"
        " return document.getElementById(id).getAttribute('aria-invalid'); });"),),
        (" Aviso: use ponto decimal: 2.5, nao 2,5", "(nenhum: use o ponto decimal)", False,
         [None, "true"]))
    # The download is the memo's own bytes: Windows-1252, CR LF.
    expect_equal(browser.run("return Array.from(zepa.caso('3', '1').bytes).slice(0, 48);"),
                 list(" Programa ZEPA4-07\r\n Programa de Zepa N\u00b01\r\n C\u00e1lc"
                      .encode("cp1252")))
    # Printed: the case the calculator has shown, no placeholder and no button; a PDF is kept
    # for a person to look at.
    type_pair("3", "1")
    printed = browser.printed()
    check("  Raio: r= 5\n  Semi arco: a= 3.217506\n" in printed and "Carregando" not in printed
          and "Copiar memorial" not in printed and "A calculadora funciona na p\u00e1gina"
          not in printed, printed)
    with open("help-page.pdf", "wb") as out:
        out.write(base64.b64decode(browser.cdp("Page.printToPDF", printBackground=False)["data"]))


@table("chromium", "firefox")
def test_long_replies(binary, browser):
    """A reply longer than the calculator takes is refused with a message before it reaches the
    program's code, at the limit counted in characters, not UTF-16 units; nothing of an earlier
    case stays to be copied, nothing is thrown, and the calculator works afterwards."""
    message = ("Texto longo demais: o campo {} tem mais de cem mil caracteres, mais do que esta "
               "calculadora aceita. Apague parte dele.")
    three_one = "  Raio: r= 5\n  Semi arco: a= 3.217506\n  Angulo: Alfa(grau)= 36.86981"
    emoji = "\U0001F600"  # one character, two UTF-16 units
    cases = [  # c, f, what the box shows
        (" " * (LONGEST - 1) + "3", "1", three_one),
        (" " * LONGEST + "3", "1", message.format("c")),
        ("3", " " * LONGEST + "1", message.format("f")),
        (emoji * LONGEST, "0", "  Raio: r=-nan\n  Semi arco: a=-nan\n  Angulo: Alfa(grau)=-nan"),
        (emoji * (LONGEST + 1), "1", message.format("c")),
        ("3", "1", three_one),
        (" " * 2000000 + "3", " " * 2000000 + "1", message.format("c")),
        (" " * (LONGEST - 1) + "4", "2",
         "  Raio: r= 5\n  Semi arco: a= 4.636476\n  Angulo: Alfa(grau)= 53.12997")]
    ready, shown, errors = in_browser(binary, browser, [(SET_FIELDS, [c, f]) for c, f, _ in cases] + [
        # The message wraps inside its box at 320 px; the script interface throws a RangeError.
        ("var t = document.getElementById('tela'); return [t.scrollWidth <= t.clientWidth,"
         " document.documentElement.scrollWidth <= innerWidth];", []),
        ("try { zepa.memorial(' '.repeat(arguments[0]), '1'); } catch (e) { return e.name; }",
         [LONGEST + 1])], size=WIDTHS[0])
    expect_equal((ready, errors, shown[-2:]), ("", [], [[True, True], "RangeError"]))
    for (c, f, expected), seen in zip(cases, shown):
        long = expected.startswith("Texto")
        expect_equal((seen["tela"], seen["copiar"], seen["baixar"], seen["resultado"]),
                     (expected, not long, not long, not long))
        # No memo to copy after a long reply; else one that ends with the angle shown.
        check(seen["memo"] == "(nenhum)" if long else seen["memo"].endswith(
            "Alfa(\u00b0)=" + expected.rsplit("=", 1)[1] + "\n\n"), seen["memo"])


# The independent reference for the page's own values: the exact formulas evaluated with 150
# digits (decimal, with its own series; a sagitta of 1e-30 cancels 60 of them), from c and f
# as the program reads them (singles).
decimal.getcontext().prec = 150
Dec = decimal.Decimal


def single(text):
    return struct.unpack("f", struct.pack("f", float(text)))[0]


def atan(x):
    for _ in range(3):  # three halvings of the angle leave |x| < 0.2
        x /= 1 + (1 + x * x).sqrt()
    return 8 * sum(x ** (2 * k + 1) / (2 * k + 1) * (-1) ** k for k in range(150))


PI = 16 * atan(Dec(1) / 5) - 4 * atan(Dec(1) / 239)


def sin_cos(x):
    terms = [x ** k / math.factorial(k) for k in range(200)]
    return sum(terms[1::4]) - sum(terms[3::4]), sum(terms[0::4]) - sum(terms[2::4])


def shown(x):
    """7 significant digits rounded half up, the decimal comma, no trailing zeros, and an
    exponent below 1e-6 and from 1e7 on, as the page shows its numbers."""
    if x == 0:
        return "0"
    q = x.quantize(Dec(1).scaleb(x.adjusted() - 6), decimal.ROUND_HALF_UP)
    e = q.adjusted()
    text = format(q.scaleb(-e) if e < -6 or e >= 7 else q, "f")
    text = text.rstrip("0").rstrip(".") if "." in text else text
    return text.replace(".", ",") + (f"E{e}" if e < -6 or e >= 7 else "")


def reference(c_text, f_text, parts):
    """The further values and the setting-out table in `parts` equal parts."""
    c, f = Dec(single(c_text)), Dec(single(f_text))
    r = (c * c + f * f) / (2 * f)
    d = r - f
    t = PI / 2 if d == 0 else atan(c / d) + (PI if d < 0 else 0)
    degrees = 2 * t * 180 / PI
    cs = int((degrees * 360000).to_integral_value(decimal.ROUND_HALF_UP))  # hundredths of a second
    dms = (f"{cs // 360000}\u00b0 {cs % 360000 // 6000}\u2032 "
           f"{cs % 6000 // 100:02d},{cs % 100:02d}\u2033")
    values = [shown(2 * c), shown(2 * r * t), shown(degrees), dms,
              shown(r * r * t - c * d), shown(r * r * t), shown(d)]
    rows = []
    for i in range(parts + 1):
        x = 2 * c * i / parts
        y = -d + (d * d + (2 * c - x) * x).sqrt()  # r² - u² = d² + (c - u)(c + u)
        y = 0 if abs(y) < f * Dec("1e-40") else y  # the reference's own rounding
        rows.append(["A" if i == 0 else "B" if i == parts else "M" if x == c else str(i),
                     shown(x), shown(x - c), shown(y)])
    return values, rows


# Each step sets fields (ids to values, in order, with the events typing or choosing gives) and
# then reads the texts of what its selectors find (a table row as the list of its cells).
STEPS = """
    return arguments[0].map(function (step) {
      for (var id in step[0]) {
        var e = document.getElementById(id), box = e.type === "checkbox";
        if (box) e.checked = step[0][id]; else e.value = step[0][id];
        e.dispatchEvent(new Event(box || e.tagName === "SELECT" ? "change" : "input"));
      }
      return step[1].map(function (selector) {
        return Array.from(document.querySelectorAll(selector), function (e) {
          return e.tagName === "TR" ? Array.from(e.cells, function (c) { return c.textContent; })
                                    : e.textContent; }); });
    });
"""
VALUES = ["#v-corda, #v-arco, #v-angulo, #v-gms, #v-segmento, #v-setor, #v-rf",
          "#tabela-locacao tbody tr", "#tela"]
THREE_ONE = "  Raio: r= 5\n  Semi arco: a= 3.217506\n  Angulo: Alfa(grau)= 36.86981"


def other_data(kind, x, y, larger=False):
    return {"maior": larger, "dados": kind, "outro-1": x, "outro-2": y}


@table("chromium", "firefox")
def test_further_values_and_setting_out(binary, browser):
    """The page's own values and the setting-out offsets (4 equal parts: the ends, the
    midpoint, the quarters) against the reference, to every digit shown, beside the program's
    lines."""
    cases = [  # c, f
        ("3", "1"), ("4", "2"), ("10", "2"), ("0.5", "0.1"), ("100", "25"),  # worked examples
        ("1", "1"), ("6.7", "6.7"),  # half circles (the program's r for 6.7 falls below c)
        ("1", "1.5"), ("1", "2"),  # beyond a half circle, up to f = 2c
        ("1000", "1e-6"), ("1", "1e-30"),  # tiny sagittas: the areas must not cancel
        ("3e15", "1e15"), ("1e30", "2e30")]  # huge ones, where the program's squares overflow
    steps = [[{"campo-c": c, "campo-f": f, "modo": "partes", "quantos": "4"}, VALUES]
             for c, f in cases]
    ready, (seen,), errors = in_browser(binary, browser, [(STEPS, [steps])])
    expect_equal((ready, errors, seen[0][2]), ("", [], [THREE_ONE]))
    for (c, f), (values, rows, _) in zip(cases, seen):
        expect_equal((c, f, values, rows), (c, f, *reference(c, f, 4)))
        if float(f) <= float(c):  # the ends on the chord, the midpoint at the sagitta
            expect_equal([row[3] for row in rows[::2]], ["0", shown(Dec(single(f))), "0"])


@table("chromium", "firefox")
def test_other_data(binary, browser):
    """The radius and the chord (the smaller segment or the larger), the radius and the sagitta,
    the chord and the central angle: the page puts in the fields texts that the program reads
    as the singles of the reference's c and f, says so, and shows the program's lines for them;
    data that make no segment, or a decimal comma, are said to be so."""
    def reference_cf(kind, x, y, larger=False):
        x, y = Dec(x), Dec(y)
        if kind == "rcorda":
            return y / 2, x + (x * x - y * y / 4).sqrt() * (1 if larger else -1)
        if kind == "rf":
            return (y * (2 * x - y)).sqrt(), y
        sin, cos = sin_cos(y / 2 * PI / 180)
        return x / 2, x / 2 / sin * (1 - cos)
    cases = [  # the data, the start of what the page says
        (("rcorda", "5", "6"), "c = 3 e f = 1,"), (("rcorda", "5", "6", True), "c = 3 e f = 9,"),
        (("rcorda", "1000000", "2"), "c = 1 e f = 5"),  # a tiny sagitta, 5e-7
        (("rf", "5", "1"), "c = 3 e f = 1,"), (("rf", "1.25", "2"), "c = 1 e f = 2,"),
        (("cordaang", "6", "73.73979529168804"), "c = 3 e f = "),
        (("cordaang", "2", "180"), "c = 1 e f = "),  # a half circle
        (("cordaang", "2", "253.7397952917"), "c = 1 e f = ")]  # f = 2c
    none = "N\u00e3o h\u00e1 segmento: a corda deve ser positiva"
    refused = [
        (("rcorda", "1", "3"), none + " e no m\u00e1ximo o di\u00e2metro 2r."),
        (("rf", "1", "1,5"), "Use o ponto decimal: 2.5, n\u00e3o 2,5."),
        (("cordaang", "2", "360"),
         none + ", e o \u00e2ngulo central maior que 0 e menor que 360 graus.")]
    expected = [reference_cf(*data) for data, _ in cases]
    ready, (seen, program), errors = in_browser(binary, browser, [
        (STEPS, [[[other_data(*data), ["#derivados", "#tela"]] for data, _ in cases + refused]]),
        ("return arguments[0].map(function (p) { return zepa.caso(p[0], p[1]).tela; });",
         [[[repr(float(c)), repr(float(f))] for c, f in expected]])])
    expect_equal((ready, errors), ("", []))
    for (data, said), (c, f), ([text], [screen]), of_reference in zip(
            cases, expected, seen, program):
        typed = re.fullmatch(r"Da\u00ed c = (\S+) e f = (\S+), postos .*", text)
        check(text.startswith("Da\u00ed " + said) and typed, text)
        expect_equal((data, single(typed[1]), single(typed[2]), screen + "\n"),
                     (data, single(c), single(f), of_reference))
    expect_equal([text for [text], _ in seen[len(cases):]], [said for _, said in refused])


def test_setting_out_sheet(binary):
    """From the radius and the chord to the sheet: a fixed step ends at B, more than 50 parts
    are refused; the table copies as tab-separated text with the decimal comma; 50 parts print
    alone on one A4 page, with the data, the figure and the date."""
    browser = chromium()
    browser.open(page_path(binary), 390, 844, True)
    rows = ["#erro-locacao", "#tabela-locacao tbody th"]
    seen = browser.run(STEPS, [[other_data("rcorda", "5", "6"), ["#tela"]]] + [
        [{"modo": mode, "quantos": count}, rows] for mode, count in
        (("passo", "0.7"), ("passo", "0.1"), ("partes", "51"), ("partes", "2"))])
    expect_equal(seen, [
        [[THREE_ONE]], [[""], ["A", "1", "2", "3", "4", "5", "6", "7", "8", "B"]],
        [["Esse passo d\u00e1 mais de 50 partes; use um passo maior."], []],
        [["O n\u00famero de partes vai de 2 a 50."], []], [[""], ["A", "M", "B"]]])
    browser.run("Object.defineProperty(navigator, 'clipboard', {value: {writeText: function (t) {"
                " window.copiado = t; return Promise.resolve(); }}});"
                " document.getElementById('copiar-tabela').click();")
    browser.wait_for("return window.copiado;", "Ponto\tDesde A\tDesde M\tDa corda ao arco\n"
                     "A\t0\t-3\t0\nM\t3\t0\t1\nB\t6\t3\t0\n")
    browser.run(STEPS, [[{"quantos": "50"}, []]])
    browser.run("document.body.classList.add('so-folha');")
    printed = browser.printed()
    check(printed.startswith("ZEPA4-07: folha de loca\u00e7\u00e3o do arco\n\nDados informados:"
                             " Raio: r = 5; Corda: 2c = 6. Semi corda c = 3; flecha f = 1;")
          and "Data: " + time.strftime("%d/%m/%Y") + "." in printed and "\nB\t6\t3\t0" in printed
          and "Calculadora" not in printed and "Memorial" not in printed and browser.run(
              "return document.querySelector('#folha-figura svg').getBoundingClientRect().height;")
          > 50, printed)
    pdf = base64.b64decode(browser.cdp("Page.printToPDF", preferCSSPageSize=True)["data"])
    browser.run("document.body.classList.remove('so-folha');")
    with open("help-page-locacao.pdf", "wb") as out:
        out.write(pdf)
    expect_equal(len(re.findall(rb"/Type\s*/Page\b", pdf)), 1)


@table("chromium", "firefox")
def test_without_webassembly(binary, browser):
    """With WebAssembly turned off, as in a hardened browser (V8 without its compilers has
    none): `zepa` is there with a rejected promise, the box says why in plain words, and the
    rest of the page is as it was; printed, the calculator that never ran is left out, with a
    line that says where it works."""
    ready, shown, errors = in_browser(binary, browser, [
        ("return [typeof WebAssembly, typeof zepa, document.getElementById('tela').textContent,"
         " document.getElementById('campo-c').disabled, document.getElementById('baixar')"
         ".disabled, document.querySelectorAll('#exemplos tbody tr').length];", []),
        ("try { zepa.caso('3', '1'); return 'no error'; } catch (e) { return e.message; }", [])],
        wasm=False)
    expect_equal((ready, errors, shown), (
        "zepa: este navegador n\u00e3o executa WebAssembly", [],
        [["undefined", "object", "A calculadora precisa de WebAssembly, que este navegador "
          "n\u00e3o tem ou deixa desligado. O resto da p\u00e1gina funciona sem ele: os exemplos "
          "resolvidos est\u00e3o acima.", True, True, 7],
         "zepa: a calculadora n\u00e3o est\u00e1 pronta; aguarde zepa.pronto"]))
    if browser == "chromium":
        printed = chromium("no-wasm").printed()
        check("A calculadora funciona na p\u00e1gina aberta no navegador." in printed and
              "Como o console mostra" not in printed and "WebAssembly" not in printed, printed)


def test_without_javascript(binary):
    browser = chromium("no-js", prefs={"profile.managed_default_content_settings.javascript": 2})
    browser.open(page_path(binary), 390, 844, True, wait=False)
    expect_equal(browser.run(
        "return [typeof zepa, document.getElementById('tela').innerText.trim(),"
        " document.getElementById('copiar').disabled];"),
        ["undefined", "A calculadora precisa de JavaScript, que est\u00e1 desligado neste "
         "navegador. O resto da p\u00e1gina funciona sem ele: os exemplos resolvidos est\u00e3o "
         "acima.", True])
    browser.run("document.getElementById('t-calculadora').scrollIntoView()")
    browser.driver.save_screenshot("help-page-no-javascript.png")


@table(*[(*size, theme) for size in WIDTHS for theme in THEMES])
def test_each_width_and_theme(binary, width, height, mobile, theme):
    """At a phone's width and a desktop's, light and dark: every stop of the Tab key (boxes
    that scroll are stops too at 320 px) has a ring of at least 2 px with 3:1 against the
    background it lies on. Screenshots of the top and the calculator are kept for a person to
    look at; nothing is wider than the window and the result box holds its lines, whatever the
    case. axe-core finds no violation of the WCAG 2.0 to 2.2 A and AA rules, with a computed
    case and with a refused one."""
    browser = chromium()
    where = f"{width} px, {theme}"
    if width != 390:
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.common.keys import Keys
        browser.open(page_path(binary), width, height, mobile, theme)
        seen = []
        for _ in range(60):
            ActionChains(browser.driver).send_keys(Keys.TAB).perform()
            ring = browser.run(FOCUS_RING)
            if ring is None or (seen and ring["name"] == seen[0]["name"]):
                break
            seen.append(ring)
        names = " | ".join(r["name"] for r in seen)
        check(len(seen) >= 12 and seen[0]["name"].startswith("A# Ir para o conte\u00fado") and
              (width != 320 or "DIV#" in names), f"{where}: {names}")
        for ring in seen:
            ratio = contrast(ring["color"], ring["back"])
            check(ring["style"] != "none" and ring["width"] >= 2 and ring["offset"] >= 0 and
                  ratio >= 3, f"{where}: {ring}, {ratio:.2f}:1")
    browser.open(page_path(binary), width, height, mobile, theme)
    browser.driver.save_screenshot(f"help-page-{theme}-{width}.png")
    browser.run("document.getElementById('t-calculadora').scrollIntoView()")
    browser.driver.save_screenshot(f"help-page-{theme}-{width}-calculadora.png")
    found = []
    for c, f in (("-1e38", "-3e38"), ("1", "0"), ("3", "1"), ("1", "3")):
        browser.run(SET_FIELDS, c, f)
        if c == "3":  # the same case from the radius and the chord: every block of the page shown
            browser.run(STEPS, [[other_data("rcorda", "5", "6"), []]])
        expect_equal((c, f, browser.run(
            "var t = document.getElementById('tela'); return [document.documentElement"
            ".scrollWidth - innerWidth, t.scrollWidth - t.clientWidth];")), (c, f, [0, 0]))
        if (c, f) in (("3", "1"), ("1", "3")):
            if not os.path.exists(AXE):
                raise Skip("axe-core is not installed: npm ci --prefix tests/e2e")
            with open(AXE, encoding="utf-8") as script:
                browser.run(script.read())
            result = browser.driver.execute_async_script(AXE_RUN, WCAG_TAGS)
            # color-contrast, aria-allowed-attr, scrollable-region-focusable and the like
            check(result["passed"] >= 20, f"axe passed only {result['passed']} rules")
            found += [f"{where}, c={c} f={f}: {v}" for v in result["violations"]]
    expect_equal(found, [])


AXE_RUN = """
    var done = arguments[1];
    axe.run(document, {runOnly: {type: "tag", values: arguments[0]}}).then(function (r) {
      done({passed: r.passes.length, violations: r.violations.map(function (v) {
        return v.id + ": " + v.nodes.map(function (n) { return n.target.join(" "); }).join(", ");
      })});
    }, function (e) { done({passed: 0, violations: ["axe failed: " + e]}); });
"""


# The focused element's ring, and the background it lies on.
FOCUS_RING = """
    var e = document.activeElement;
    if (e === null || e === document.body) return null;
    var s = getComputedStyle(e);
    // The ring stands outside the element: on the background of what holds it.
    var under = e.parentElement, back = "rgba(0, 0, 0, 0)";
    for (; under !== null; under = under.parentElement) {
      back = getComputedStyle(under).backgroundColor;
      if (!/rgba\\(.*, 0\\)$/.test(back)) break;
    }
    return {name: e.tagName + "#" + e.id + " " + (e.textContent || e.value || "").slice(0, 20),
            style: s.outlineStyle, width: parseFloat(s.outlineWidth),
            offset: parseFloat(s.outlineOffset), color: s.outlineColor, back: back};
    """


# Each label of the wide figure: its colour, its rendered size and weight, and the colour of
# every shape under it (sampled on a grid; lines and unfilled shapes are looked through).
FIGURE_LABELS = """
    var svg = document.querySelector("figure svg.esquema-largo"), out = [];
    svg.querySelectorAll("text").forEach(function (t) {
      var box = t.getBoundingClientRect(), s = getComputedStyle(t), under = {};
      for (var i = 1; i < 8; i++) for (var j = 1; j < 4; j++) {
        var stack = document.elementsFromPoint(box.left + box.width * i / 8, box.top + box.height * j / 4);
        for (var k = 0; k < stack.length; k++) {
          var e = stack[k];
          if (e.closest("text") || e.tagName === "line") continue;
          var fill = getComputedStyle(e).fill;
          if (e instanceof SVGGeometryElement && fill === "none") continue;
          under[e instanceof SVGGeometryElement ? fill : "outside: " + e.tagName] = true;
          break;
        }
      }
      var m = t.getScreenCTM();
      out.push({text: t.textContent, color: s.fill, weight: parseInt(s.fontWeight, 10),
                size: parseFloat(s.fontSize) * Math.hypot(m.a, m.b), under: Object.keys(under)});
    });
    return out;
"""

# The smallest label of each figure shown at this width, in CSS pixels.
SMALLEST_LABELS = """
    var out = [];
    document.querySelectorAll("figure svg").forEach(function (svg) {
      if (svg.getBoundingClientRect().width === 0) return;
      var use = svg.querySelector("use");
      var texts = use ? document.querySelector(use.getAttribute("href")).querySelectorAll("text")
                      : svg.querySelectorAll("text");
      var smallest = Infinity;
      texts.forEach(function (t) {
        var m = (use || t).getScreenCTM();
        smallest = Math.min(smallest, parseFloat(getComputedStyle(t).fontSize) * Math.hypot(m.a, m.b));
      });
      out.push([use ? use.getAttribute("href") : "wide", Math.round(smallest * 10) / 10]);
    });
    return out;
"""


def test_figure_labels_read(binary):
    """The figure's labels against what lies under them: 4.5:1, or 3:1 for large text (24 px,
    or 18.66 px bold). On screens up to 800 px each figure is shown alone, larger; at every
    width its labels are at least 10 px."""
    browser = chromium()
    for theme in THEMES:
        # A window tall enough for the whole figure: points outside it have nothing under them.
        browser.open(page_path(binary), 1280, 1600, False, theme)
        labels = browser.run(FIGURE_LABELS)
        check(len(labels) >= 20, f"{len(labels)} labels")
        for label in labels:
            check(label["under"], f"nothing found under {label['text']!r}")
            large = label["size"] >= 24 or (label["size"] >= 18.66 and label["weight"] >= 700)
            for under in label["under"]:
                check(not under.startswith("outside"), f"{label['text']!r} outside the figure")
                ratio = contrast(label["color"], under)
                check(ratio >= (3 if large else 4.5),
                      f"{theme}: {label['text']!r} {label['color']} on {under}: {ratio:.2f}:1")
    for width, expected in ((320, ["#esquema-principal", "#esquema-maior"]),
                            (390, ["#esquema-principal", "#esquema-maior"]),
                            (800, ["#esquema-principal", "#esquema-maior"]),
                            (801, ["wide"]), (1280, ["wide"])):
        browser.open(page_path(binary), width, 900, width < 800)
        shown = browser.run(SMALLEST_LABELS)
        expect_equal([name for name, _ in shown], expected)
        for name, size in shown:
            # At 320 px, narrower than the phones of today, 8 px is the floor.
            check(size >= (8 if width == 320 else 10), f"{width} px, {name}: labels of {size} px")


def test_program_build_brings_the_page(binary):
    """A fresh build tree, built as `make run` builds it (the program's target alone), holds the
    committed help page beside the program, and the help answer opens that page."""
    if shutil.which("cmake") is None:
        raise Skip("no cmake")
    with Scratch() as s:
        build = s.join("build")
        # Debug: no link-time optimisation, so that the build takes seconds.
        for command in (["cmake", "-S", SOURCE_DIR, "-B", build, "-DCMAKE_BUILD_TYPE=Debug",
                         "-DZEPA_TESTS=OFF", "-DZEPA_BUILD_HELP_PAGE=OFF"],
                        ["cmake", "--build", build, "-j", "2", "--target", "zepa4-07"]):
            p = subprocess.run(command, capture_output=True, timeout=600)
            check(p.returncode == 0, p.stdout.decode() + p.stderr.decode())
        page = os.path.join(build, "ajuda-zepa4-07.html")
        with open(page, "rb") as built, open(os.path.join(
                SOURCE_DIR, "docs", "generated", "ajuda-zepa4-07.html"), "rb") as committed:
            check(built.read() == committed.read(), "the build tree's page is not the committed one")
        s.write("bin/xdg-open", f'#!/bin/sh\necho "$@" > {s.join("opened")}\n', executable=True)
        p = run(os.path.join(build, "zepa4-07"), b"a\n3\n1\nn\n", s.path,
                env=dict(os.environ, PATH=s.join("bin") + os.pathsep + os.environ["PATH"]))
        expect_equal((p.returncode, p.stdout, p.stderr, s.file("opened")),
                     (0, ONE_CASE + BYE, b"", f"file://{urllib.parse.quote(page)}\n".encode()))


if __name__ == "__main__":
    try:
        main(globals())
    finally:
        for opened in BROWSERS.values():
            opened.close()
