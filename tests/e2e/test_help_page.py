"""The help page in headless Chromium, opened from file:// with networking off: it loads cleanly,
its calculator gives the memo the native program appends for the same replies, byte for byte,
and its fields show the console's lines. Screenshots go to the build directory.

Needs chromium, chromium-driver and python3-selenium (Debian packages); without them the test
says so and reports itself skipped (exit code 77).
"""

import os
import random
import shutil
import sys
import tempfile

from common import MEMO_FILE, Scratch, check, expect_equal, main, run

SKIPPED = 77
CHROMIUM = shutil.which("chromium")
DRIVER = shutil.which("chromedriver")
PAIRS = 4000
SEED = int(os.environ.get("ZEPA_SEED", "20150511"))


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
    return os.path.join(os.path.dirname(os.path.abspath(binary)), "ajuda-zepa4-07.html")


class Browser:
    """Headless Chromium on a fresh profile, every network request refused."""

    def __init__(self, webdriver):
        from selenium.webdriver.chrome.service import Service
        self.profile = tempfile.mkdtemp(prefix="zepa-chromium-")
        options = webdriver.ChromeOptions()
        for arg in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                    "--no-first-run", "--disable-background-networking",
                    "--disable-component-update", "--disable-sync", "--hide-scrollbars",
                    "--proxy-server=http://127.0.0.1:9", "--user-data-dir=" + self.profile):
            options.add_argument(arg)
        options.binary_location = CHROMIUM
        options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
        self.driver = webdriver.Chrome(service=Service(DRIVER), options=options)
        self.driver.set_script_timeout(120)
        self.driver.execute_cdp_cmd("Network.enable", {})
        self.driver.execute_cdp_cmd("Network.emulateNetworkConditions", {
            "offline": True, "latency": 0, "downloadThroughput": -1, "uploadThroughput": -1})

    def open(self, path, width, height, mobile):
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})
        # What the browser logged before (its own start page) is not the page's.
        self.driver.get_log("performance")
        self.driver.get_log("browser")
        self.driver.get("file://" + path)
        self.driver.execute_async_script(
            "var done = arguments[0]; zepa.pronto.then(function () { done(true); });")

    def requested_urls(self):
        import json
        urls = []
        for entry in self.driver.get_log("performance"):
            message = json.loads(entry["message"])["message"]
            if message["method"] == "Network.requestWillBeSent":
                urls.append(message["params"]["request"]["url"])
        return urls

    def close(self):
        self.driver.quit()
        shutil.rmtree(self.profile, ignore_errors=True)


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


def test_page_loads_offline_cleanly(browser, binary):
    browser.open(page_path(binary), 1280, 800, False)
    errors = [e for e in browser.driver.get_log("browser") if e["level"] in ("SEVERE", "WARNING")]
    expect_equal(errors, [])
    outside = [u for u in browser.requested_urls() if not u.startswith(("file://", "data:"))]
    expect_equal(outside, [])
    driver = browser.driver
    expect_equal(driver.execute_script("return document.documentElement.lang"), "pt-BR")
    # Every field has its label; the diagram is inline and scales with the page.
    expect_equal(driver.execute_script(
        "return Array.from(document.querySelectorAll('input')).filter(function (i) {"
        " return !document.querySelector('label[for=\"' + i.id + '\"]'); }).length"), 0)
    check(driver.execute_script("return document.querySelector('figure svg') !== null"),
          "no inline diagram")


def test_memorial_matches_the_program(browser, binary):
    browser.open(page_path(binary), 1280, 800, False)
    rng = random.Random(SEED)
    pairs = [(random_reply(rng), random_reply(rng)) for _ in range(PAIRS)]
    memos = browser.driver.execute_script(
        "return arguments[0].map(function (p) { return zepa.memorial(p[0], p[1]); });", pairs)
    accepted = [m != "" for m in memos]
    check(200 < sum(accepted) < PAIRS, f"{sum(accepted)} of {PAIRS} pairs computed")
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


def test_console_line_rules(browser, binary):
    """What only a typed line has: the rest of the line after the first item is dropped, and a
    number keeps 67 bytes. Each reply reads as its batch counterpart."""
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


def test_fields_show_the_console_lines(browser, binary):
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
    screen, memo, can_save = type_pair("1", "3")
    expect_equal(screen, " f nao pode ser maior que 2c, informe outro valor")
    check(not can_save, "a refused pair can be saved")
    # The download is the memo's own bytes: Windows-1252, CR LF.
    expect_equal(driver.execute_script(
        "var k = zepa.caso('3', '1'); return Array.from(k.bytes).slice(0, 48);"),
        list(" Programa ZEPA4-07\r\n Programa de Zepa N\u00b01\r\n C\u00e1lc".encode("cp1252")))


def test_screenshots(browser, binary):
    """Kept beside the test for a person to look at: the top and the calculator, wide and narrow."""
    for width, height, mobile in ((1280, 800, False), (390, 844, True)):
        browser.open(page_path(binary), width, height, mobile)
        browser.driver.save_screenshot(f"help-page-{width}x{height}.png")
        browser.driver.execute_script("document.getElementById('t-calculadora').scrollIntoView()")
        browser.driver.save_screenshot(f"help-page-{width}x{height}-calculadora.png")
        overflow = browser.driver.execute_script(
            "return document.documentElement.scrollWidth - window.innerWidth")
        check(overflow <= 0, f"the page is {overflow} px wider than {width} px")


if __name__ == "__main__":
    binary = sys.argv[1]
    webdriver = import_selenium()
    missing = [name for name, ok in (("chromium", CHROMIUM), ("chromedriver", DRIVER),
                                     ("python3-selenium", webdriver)) if not ok]
    if missing:
        print("help page test skipped: missing " + ", ".join(missing))
        sys.exit(SKIPPED)
    if not os.path.exists(page_path(binary)):
        print("no help page beside the program: " + page_path(binary))
        sys.exit(1)
    shared = Browser(webdriver)

    def in_browser(test):
        def run_test(b):
            test(shared, b)
        run_test.__name__ = test.__name__
        return run_test

    try:
        main([in_browser(t) for t in (
            test_page_loads_offline_cleanly, test_memorial_matches_the_program,
            test_console_line_rules, test_fields_show_the_console_lines, test_screenshots)])
    finally:
        shared.close()
