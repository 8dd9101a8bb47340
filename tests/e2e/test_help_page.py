"""The help page in headless Chromium, opened from file:// with networking off: it loads cleanly,
its calculator gives the memo the native program appends for the same replies, byte for byte,
its fields show the console's lines; axe-core finds no WCAG A/AA violation, the focus ring and
the figure's labels have the contrast and size they need, replies of any length and a browser
without WebAssembly or JavaScript get a plain message, print shows no placeholder. Firefox
repeats the memo comparison, the long replies and WebAssembly turned off. Screenshots and a
printed PDF go to the build directory for a person to look at.

Chromium needs chromium, chromium-driver and python3-selenium (Debian packages); axe-core and,
for Firefox (firefox-esr), puppeteer-core come from `npm ci` in tests/e2e. A test whose tools
are missing says so and is reported skipped (exit code 77), never passed.
"""

import base64
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

from common import MEMO_FILE, Scratch, Skip, check, expect_equal, main, run

CHROMIUM = shutil.which("chromium")
DRIVER = shutil.which("chromedriver")
FIREFOX = shutil.which("firefox-esr") or shutil.which("firefox")
NODE = shutil.which("node")
HERE = os.path.dirname(os.path.abspath(__file__))
AXE = os.path.join(HERE, "node_modules", "axe-core", "axe.min.js")
PUPPETEER = os.path.join(HERE, "node_modules", "puppeteer-core")
PAIRS = 4000
FIREFOX_PAIRS = 400
SEED = int(os.environ.get("ZEPA_SEED", "20150511"))
WAIT_LIMIT = 20.0  # seconds for anything the page is expected to show
WIDTHS = ((320, 640, True), (390, 844, True), (1280, 800, False))
THEMES = ("light", "dark")
# The axe-core tags of WCAG 2.0, 2.1 and 2.2, levels A and AA.
WCAG_TAGS = ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa", "wcag22a", "wcag22aa"]
LONGEST = 100000  # the longest reply the page hands to the calculator, in characters


def import_selenium():
    try:
        import selenium  # noqa: F401
    except ImportError:
        # The Debian package installs for the system's python3; another interpreter may run us.
        sys.path.append("/usr/lib/python3/dist-packages")
    try:
        from selenium import webdriver
        return webdriver
    except ImportError:
        return None


def page_path(binary):
    path = os.path.join(os.path.dirname(os.path.abspath(binary)), "ajuda-zepa4-07.html")
    check(os.path.exists(path), "no help page beside the program: " + path)
    return path


class Browser:
    """Headless Chromium on a fresh profile, every network request refused."""

    def __init__(self, webdriver, extra_args=(), prefs=None):
        from selenium.webdriver.chrome.service import Service
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
        self.driver.execute_cdp_cmd("Network.enable", {})
        self.driver.execute_cdp_cmd("Network.emulateNetworkConditions", {
            "offline": True, "latency": 0, "downloadThroughput": -1, "uploadThroughput": -1})

    def open(self, path, width, height, mobile, theme="light", wait=True):
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
            "media": "", "features": [{"name": "prefers-color-scheme", "value": theme}]})
        # What the browser logged before (its own start page) is not the page's.
        self.driver.get_log("performance")
        self.driver.get_log("browser")
        self.driver.get("file://" + path)
        if wait:
            # Settled either way: the calculator runs, or the page has said why it cannot.
            return self.driver.execute_async_script(
                "var done = arguments[0]; zepa.pronto.then(function () { done(''); },"
                " function (e) { done(e.message); });")
        return None

    def media(self, media):
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"media": media})

    def errors(self):
        return [e for e in self.driver.get_log("browser") if e["level"] in ("SEVERE", "WARNING")]

    def requested_urls(self):
        urls = []
        for entry in self.driver.get_log("performance"):
            message = json.loads(entry["message"])["message"]
            if message["method"] == "Network.requestWillBeSent":
                urls.append(message["params"]["request"]["url"])
        return urls

    def wait_for(self, script, expected, *args):
        """Waits until the script returns the expected value; fails with the last value seen."""
        deadline = time.monotonic() + WAIT_LIMIT
        while True:
            value = self.driver.execute_script(script, *args)
            if value == expected or time.monotonic() > deadline:
                expect_equal(value, expected)
                return
            time.sleep(0.05)

    def close(self):
        self.driver.quit()
        shutil.rmtree(self.profile, ignore_errors=True)


_browsers = {}


def chromium(name="plain", **options):
    """One browser per kind for the whole run, started when a test first needs it."""
    if name not in _browsers:
        webdriver = import_selenium()
        missing = [tool for tool, ok in (("chromium", CHROMIUM), ("chromedriver", DRIVER),
                                         ("python3-selenium", webdriver)) if not ok]
        if missing:
            raise Skip("missing " + ", ".join(missing))
        _browsers[name] = Browser(webdriver, **options)
    return _browsers[name]


def close_browsers():
    for browser in _browsers.values():
        browser.close()


def set_fields(driver, c, f):
    """Puts the replies in the fields as typing or a paste would, and returns what the
    calculator then shows."""
    return driver.execute_script("""
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
        """, c, f)


def luminance(rgb):
    def channel(value):
        value /= 255
        return value / 12.92 if value <= 0.04045 else ((value + 0.055) / 1.055) ** 2.4
    r, g, b = (channel(v) for v in rgb)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast(css_a, css_b):
    """The WCAG contrast ratio of two opaque CSS colours given as rgb(...)."""
    a, b = (luminance([int(v) for v in re.findall(r"[\d.]+", css)[:3]]) for css in (css_a, css_b))
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
    """The memo file the native program writes when the replies come through standard input.
    A refused pair is followed by the next pair; a computed one by the continue answer."""
    parts = [b"\n"]
    for (c, f), ok in zip(pairs, accepted):
        parts.append(c.encode("cp1252") + b"\n" + f.encode("cp1252") + b"\n")
        if ok:
            parts.append(b"c\n")
    # A last pair that is always computed, then the stop.
    parts.append(b"3\n1\nn\n")
    s = Scratch()
    try:
        p = run(binary, b"".join(parts), s.path, timeout=120)
        expect_equal(p.returncode, 0)
        return s.file(MEMO_FILE) or b""
    finally:
        s.close()


def test_page_loads_offline_cleanly(binary):
    browser = chromium()
    browser.open(page_path(binary), 1280, 800, False)
    expect_equal(browser.errors(), [])
    outside = [u for u in browser.requested_urls() if not u.startswith(("file://", "data:"))]
    expect_equal(outside, [])
    driver = browser.driver
    expect_equal(driver.execute_script("return document.documentElement.lang"), "pt-BR")
    check(len(driver.execute_script(
        "return document.querySelector('meta[name=description]').content")) > 50,
        "no description")
    # Every field has its label; the diagram is inline and scales with the page.
    expect_equal(driver.execute_script(
        "return Array.from(document.querySelectorAll('input')).filter(function (i) {"
        " return !document.querySelector('label[for=\"' + i.id + '\"]'); }).length"), 0)
    check(driver.execute_script("return document.querySelector('figure svg') !== null"),
          "no inline diagram")
    # Each link of the navigation brings its section's heading to the top of the window (the
    # last ones as near as the page's end allows).
    for target in driver.execute_script(
            "return Array.from(document.querySelectorAll('nav a'), function (a) {"
            " return a.getAttribute('href'); });"):
        driver.execute_script("scrollTo(0, 0); document.querySelector('nav a[href=\"'"
                              " + arguments[0] + '\"]').click();", target)
        browser.wait_for("var top = document.querySelector(arguments[0] + ' > h2')"
                         ".getBoundingClientRect().top; return Math.abs(top) < 2"
                         " || scrollY + innerHeight >= document.body.scrollHeight - 1;",
                         True, target)


def test_memorial_matches_the_program(binary):
    browser = chromium()
    browser.open(page_path(binary), 1280, 800, False)
    rng = random.Random(SEED)
    pairs = [(random_reply(rng), random_reply(rng)) for _ in range(PAIRS)]
    memos = browser.driver.execute_script(
        "return arguments[0].map(function (p) { return zepa.memorial(p[0], p[1]); });", pairs)
    compare_memos(binary, pairs, memos)


def compare_memos(binary, pairs, memos):
    accepted = [m != "" for m in memos]
    check(len(pairs) // 20 < sum(accepted) < len(pairs), f"{sum(accepted)} of {len(pairs)} pairs computed")
    expected = native_memos(binary, pairs, accepted)
    page = b"".join(m.encode("cp1252") for m in memos)
    if page + native_memos(binary, [], []) != expected:
        # Name the first pair whose memo differs.
        at = 0
        for (c, f), memo in zip(pairs, memos):
            chunk = memo.encode("cp1252")
            if expected[at:at + len(chunk)] != chunk:
                raise AssertionError(f"seed {SEED}: pair {c!r}, {f!r}:\npage   {chunk!r}\n"
                                     f"native {expected[at:at + len(chunk) + 40]!r}")
            at += len(chunk)
        raise AssertionError(f"seed {SEED}: the memo files differ after the last pair")


def test_console_line_rules(binary):
    """What only a typed line has: the rest of the line after the first item is dropped, and a
    number keeps 67 bytes. Each reply reads as its batch counterpart."""
    browser = chromium()
    browser.open(page_path(binary), 1280, 800, False)
    cases = [("1,5", "1", "1", "1"), ("3 1", "2", "3", "2"), ("4", "2,9", "4", "2"),
             ("1" * 70, "1", "1" * 67, "1"), ('"2",1', "1", "2", "1"),
             ("3\u00e1", "1\u2192", "3\xe1", "1"), ("&H10 &H20", "4", "&H10", "4")]
    for typed_c, typed_f, batch_c, batch_f in cases:
        page = browser.driver.execute_script("return zepa.memorial(arguments[0], arguments[1]);",
                                             typed_c, typed_f)
        expected = native_memos(binary, [(batch_c, batch_f)], [True])
        tail = native_memos(binary, [], [])
        expect_equal(page.encode("cp1252"), expected[:len(expected) - len(tail)])
    # A refused pair, and a NaN, give no memo.
    for c, f in (("1", "3"), ("nan", "1"), ("1", "2.0000002")):
        expect_equal(browser.driver.execute_script(
            "return zepa.memorial(arguments[0], arguments[1]);", c, f), "")


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
    expect_equal(screen, "  Raio: r= 5\n  Semi arco: a= 4.636476\n  Angulo: Alfa(grau)= 53.12997")
    expect_equal(memo.replace("\n", "\r\n") + "\r\n\r\n",
                 driver.execute_script("return zepa.memorial('4', '2');"))
    check(can_save, "the memo cannot be saved")
    # Once typing pauses, the lines are read out once, as one sentence; the box itself is no
    # live region, so each key does not read all three lines again.
    browser.wait_for("return document.getElementById('anuncio').textContent;",
                     "Raio: r= 5; Semi arco: a= 4.636476; Angulo: Alfa(grau)= 53.12997")
    expect_equal(driver.execute_script(
        "var t = document.getElementById('tela'); return [t.getAttribute('aria-live'),"
        " t.getAttribute('aria-labelledby'), document.querySelectorAll('pre[aria-labelledby],"
        " pre[aria-label], [aria-live=assertive]').length];"), [None, None, 0])
    screen, memo, can_save = type_pair("1", "3")
    expect_equal(screen, " f nao pode ser maior que 2c, informe outro valor")
    check(not can_save, "a refused pair can be saved")
    browser.wait_for("return document.getElementById('anuncio').textContent;",
                     "f nao pode ser maior que 2c, informe outro valor")
    # The download is the memo's own bytes: Windows-1252, CR LF.
    expect_equal(driver.execute_script(
        "var k = zepa.caso('3', '1'); return Array.from(k.bytes).slice(0, 48);"),
        list(" Programa ZEPA4-07\r\n Programa de Zepa N\u00b01\r\n C\u00e1lc".encode("cp1252")))


def test_long_replies(binary):
    """A reply longer than the calculator takes is refused with a message before it reaches the
    program's code, at the limit counted in characters, not UTF-16 units; nothing of an earlier
    case stays to be copied, nothing is thrown, and the calculator works afterwards."""
    browser = chromium()
    browser.open(page_path(binary), 320, 640, True)
    driver = browser.driver
    lines = lambda c, f: driver.execute_script(  # noqa: E731
        "return zepa.caso(arguments[0], arguments[1]).tela.replace(/\\n$/, '');", c, f)
    message = ("Texto longo demais: o campo {} tem mais de cem mil caracteres, mais do que esta "
               "calculadora aceita. Apague parte dele.")
    nothing = {"memo": "(nenhum)", "copiar": False, "baixar": False, "resultado": False}
    emoji = "\U0001F600"  # one character, two UTF-16 units
    cases = [  # c, f, what the box shows
        (" " * (LONGEST - 1) + "3", "1", lines("3", "1")),
        (" " * LONGEST + "3", "1", message.format("c")),
        ("3", " " * LONGEST + "1", message.format("f")),
        (emoji * LONGEST, "0", lines("", "0")),  # dropped as the console drops them
        (emoji * (LONGEST + 1), "1", message.format("c")),
        ("3", "1", lines("3", "1")),
        (" " * 2000000 + "3", " " * 2000000 + "1", message.format("c")),
        (" " * (LONGEST - 1) + "4", "2", lines("4", "2"))]
    for c, f, expected in cases:
        shown = set_fields(driver, c, f)
        if expected.startswith("Texto"):
            expect_equal(shown, dict(nothing, tela=expected))
        else:
            expect_equal((shown["tela"], shown["baixar"], shown["resultado"]), (expected, True, True))
    # The message wraps inside its box at 320 px.
    expect_equal(driver.execute_script(
        "var t = document.getElementById('tela'); return [t.scrollWidth - t.clientWidth,"
        " document.documentElement.scrollWidth - innerWidth];"), [0, 0])
    # The script interface says so with a RangeError.
    expect_equal(driver.execute_script(
        "try { zepa.memorial(' '.repeat(arguments[0]), '1'); } catch (e) { return e.name; }",
        LONGEST + 1), "RangeError")
    expect_equal(browser.errors(), [])


def test_without_webassembly(binary):
    """With WebAssembly turned off, as in a hardened browser (V8 without its compilers has
    none): `zepa` is there with a rejected promise, the box says why in plain words, and the
    rest of the page is as it was."""
    browser = chromium("no-wasm", extra_args=["--js-flags=--jitless"])
    reason = browser.open(page_path(binary), 390, 844, True)
    driver = browser.driver
    expect_equal(driver.execute_script("return [typeof WebAssembly, typeof zepa];"),
                 ["undefined", "object"])
    expect_equal(reason, "zepa: este navegador n\u00e3o executa WebAssembly")
    expect_equal(driver.execute_script(
        "return [document.getElementById('tela').textContent,"
        " document.getElementById('campo-c').disabled, document.getElementById('baixar').disabled,"
        " document.querySelectorAll('#exemplos tbody tr').length];"),
        ["A calculadora precisa de WebAssembly, que este navegador n\u00e3o tem ou deixa desligado. "
         "O resto da p\u00e1gina funciona sem ele: os exemplos resolvidos est\u00e3o acima.",
         True, True, 7])
    expect_equal(driver.execute_script(
        "try { zepa.caso('3', '1'); return 'no error'; } catch (e) { return e.message; }"),
        "zepa: a calculadora n\u00e3o est\u00e1 pronta; aguarde zepa.pronto")
    # Printed, the calculator that never ran is left out, with a line that says where it works.
    browser.media("print")
    printed = driver.execute_script("return document.body.innerText;")
    browser.media("")
    check("A calculadora funciona na p\u00e1gina aberta no navegador." in printed, printed)
    check("Como o console mostra" not in printed and "WebAssembly" not in printed, printed)
    expect_equal(browser.errors(), [])


def test_without_javascript(binary):
    browser = chromium("no-js", prefs={"profile.managed_default_content_settings.javascript": 2})
    browser.open(page_path(binary), 390, 844, True, wait=False)
    expect_equal(browser.driver.execute_script(
        "return [typeof zepa, document.getElementById('tela').innerText.trim(),"
        " document.getElementById('copiar').disabled];"),
        ["undefined", "A calculadora precisa de JavaScript, que est\u00e1 desligado neste "
         "navegador. O resto da p\u00e1gina funciona sem ele: os exemplos resolvidos est\u00e3o "
         "acima.", True])
    browser.driver.execute_script("document.getElementById('t-calculadora').scrollIntoView()")
    browser.driver.save_screenshot("help-page-no-javascript.png")


def run_axe(browser):
    with open(AXE, encoding="utf-8") as f:
        browser.driver.execute_script(f.read())
    return browser.driver.execute_async_script("""
        var done = arguments[1];
        axe.run(document, {runOnly: {type: "tag", values: arguments[0]}}).then(function (r) {
          done({passed: r.passes.length, violations: r.violations.map(function (v) {
            return v.id + ": " + v.nodes.map(function (n) { return n.target.join(" "); }).join(", ");
          })});
        }, function (e) { done({passed: 0, violations: ["axe failed: " + e]}); });
        """, WCAG_TAGS)


def test_axe_finds_no_violation(binary):
    """axe-core with the WCAG 2.0 to 2.2 A and AA rules, at each width and in each theme, with a
    computed case and with a refused one."""
    if not os.path.exists(AXE):
        raise Skip("axe-core is not installed: npm ci --prefix tests/e2e")
    browser = chromium()
    found = []
    for width, height, mobile in WIDTHS:
        for theme in THEMES:
            browser.open(page_path(binary), width, height, mobile, theme)
            for c, f in (("3", "1"), ("1", "3")):
                set_fields(browser.driver, c, f)
                result = run_axe(browser)
                # color-contrast, aria-allowed-attr, scrollable-region-focusable and the like
                check(result["passed"] >= 20, f"axe passed only {result['passed']} rules")
                found += [f"{width} px, {theme}, c={c} f={f}: {v}" for v in result["violations"]]
    expect_equal(found, [])


def focus_ring_of_active(driver):
    return driver.execute_script("""
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
        """)


def test_focus_ring_contrast(binary):
    """Every stop of the Tab key, in both themes and at a phone's width, where boxes that
    scroll are stops too: a ring of at least 2 px with 3:1 against the background it lies on."""
    browser = chromium()  # first: it finds selenium where Debian installs it
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.keys import Keys
    for width, height, mobile in (WIDTHS[0], WIDTHS[2]):
        for theme in THEMES:
            browser.open(page_path(binary), width, height, mobile, theme)
            driver = browser.driver
            seen = []
            for _ in range(60):
                ActionChains(driver).send_keys(Keys.TAB).perform()
                ring = focus_ring_of_active(driver)
                if ring is None or (seen and ring["name"] == seen[0]["name"]):
                    break
                seen.append(ring)
            names = " | ".join(r["name"] for r in seen)
            check(len(seen) >= 12, f"{width} px, {theme}: only {names}")
            check(seen[0]["name"].startswith("A# Ir para o conte\u00fado"), names)
            if width == 320:
                check("DIV#" in names, f"no box that scrolls is a stop at 320 px: {names}")
            for ring in seen:
                where = f"{width} px, {theme}, {ring['name']}"
                check(ring["style"] != "none" and ring["width"] >= 2 and ring["offset"] >= 0,
                      f"{where}: {ring}")
                ratio = contrast(ring["color"], ring["back"])
                check(ratio >= 3, f"{where}: ring {ring['color']} on {ring['back']} is {ratio:.2f}:1")


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
        labels = browser.driver.execute_script(FIGURE_LABELS)
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
        shown = browser.driver.execute_script(SMALLEST_LABELS)
        expect_equal([name for name, _ in shown], expected)
        for name, size in shown:
            # At 320 px, narrower than the phones of today, 8 px is the floor.
            check(size >= (8 if width == 320 else 10), f"{width} px, {name}: labels of {size} px")


def test_screenshots_and_print(binary):
    """Kept beside the test for a person to look at: the top and the calculator, narrow and wide,
    light and dark, and the page printed. Nothing is wider than the window, the result box holds
    its lines, and print shows the case the calculator has shown, not a placeholder."""
    browser = chromium()
    for width, height, mobile in WIDTHS:
        for theme in THEMES:
            browser.open(page_path(binary), width, height, mobile, theme)
            driver = browser.driver
            driver.save_screenshot(f"help-page-{theme}-{width}.png")
            driver.execute_script("document.getElementById('t-calculadora').scrollIntoView()")
            driver.save_screenshot(f"help-page-{theme}-{width}-calculadora.png")
            for c, f in (("3", "1"), ("1", "3"), ("-1e38", "-3e38"), ("1", "0")):
                set_fields(driver, c, f)
                overflow = driver.execute_script(
                    "var t = document.getElementById('tela');"
                    " return [document.documentElement.scrollWidth - innerWidth,"
                    " t.scrollWidth - t.clientWidth];")
                expect_equal((width, theme, c, f, overflow), (width, theme, c, f, [0, 0]))
    set_fields(browser.driver, "3", "1")
    browser.media("print")
    printed = browser.driver.execute_script("return document.body.innerText;")
    browser.media("")
    check("  Raio: r= 5\n  Semi arco: a= 3.217506\n" in printed, printed)
    check("Carregando" not in printed and "Copiar memorial" not in printed, printed)
    check("A calculadora funciona na p\u00e1gina" not in printed, printed)
    pdf = browser.driver.execute_cdp_cmd("Page.printToPDF", {"printBackground": False})
    with open("help-page.pdf", "wb") as out:
        out.write(base64.b64decode(pdf["data"]))


def firefox_page(binary, mode, pairs=None):
    """Runs firefox_page.mjs and returns what it printed."""
    missing = [tool for tool, ok in (("firefox-esr", FIREFOX), ("node", NODE),
                                     ("puppeteer-core (npm ci --prefix tests/e2e)",
                                      os.path.isdir(PUPPETEER))) if not ok]
    if missing:
        raise Skip("missing " + ", ".join(missing))
    args = [NODE, os.path.join(HERE, "firefox_page.mjs"), page_path(binary), FIREFOX, mode]
    with tempfile.NamedTemporaryFile("w", suffix=".json", encoding="utf-8") as f:
        if pairs is not None:
            json.dump(pairs, f)
            f.flush()
            args.append(f.name)
        env = dict(os.environ, PUPPETEER_SKIP_DOWNLOAD="1")
        p = subprocess.run(args, capture_output=True, timeout=300, env=env)
    check(p.returncode == 0, p.stderr.decode(errors="replace"))
    out = json.loads(p.stdout)
    check(out["agent"].startswith("firefox/"), out["agent"])
    return out


def test_firefox_memorial_matches_the_program(binary):
    rng = random.Random(SEED + 1)
    pairs = [(random_reply(rng), random_reply(rng)) for _ in range(FIREFOX_PAIRS)]
    out = firefox_page(binary, "memos", pairs)
    expect_equal((out["ready"], out["errors"]), ("", []))
    compare_memos(binary, pairs, out["memos"])


def test_firefox_long_replies_and_no_webassembly(binary):
    out = firefox_page(binary, "campos", [[" " * 2000000 + "3", "1"], [" " * 99999 + "4", "2"]])
    expect_equal((out["ready"], out["errors"]), ("", []))
    expect_equal(out["shown"], [
        {"tela": "Texto longo demais: o campo c tem mais de cem mil caracteres, mais do que esta "
                 "calculadora aceita. Apague parte dele.", "memo": "(nenhum)", "baixar": False},
        {"tela": "  Raio: r= 5\n  Semi arco: a= 4.636476\n  Angulo: Alfa(grau)= 53.12997",
         "memo": out["shown"][1]["memo"], "baixar": True}])
    check(out["shown"][1]["memo"].endswith("Alfa(\u00b0)= 53.12997\n\n"), out["shown"][1]["memo"])
    out = firefox_page(binary, "sem-wasm")
    expect_equal(out, dict(out, ready="zepa: este navegador n\u00e3o executa WebAssembly", errors=[],
                           page={"zepa": "object", "webassembly": "undefined", "baixar": False,
                                 "tela": "A calculadora precisa de WebAssembly, que este navegador"
                                         " n\u00e3o tem ou deixa desligado. O resto da p\u00e1gina"
                                         " funciona sem ele: os exemplos resolvidos est\u00e3o"
                                         " acima."}))


if __name__ == "__main__":
    try:
        main([test_page_loads_offline_cleanly, test_memorial_matches_the_program,
              test_console_line_rules, test_fields_show_the_console_lines, test_long_replies,
              test_without_webassembly, test_without_javascript, test_axe_finds_no_violation,
              test_focus_ring_contrast, test_figure_labels_read, test_screenshots_and_print,
              test_firefox_memorial_matches_the_program,
              test_firefox_long_replies_and_no_webassembly])
    finally:
        close_browsers()
