#!/usr/bin/python3
"""qtx view: the server's answers over HTTP, and the page in a headless Chromium.

usage: view_test.py QTX OUTPUT_DIR [--http-only] [EMULATOR...]

Writes its files and a screenshot per step into OUTPUT_DIR. Exits 77 (a
skip) when Chromium, its driver or Selenium is missing; --http-only (the
Windows build under Wine) checks the page and one data answer alone.
"""
import json
import math
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

SKIP = 77
SPIKE_ROW, SPIKE_ROWS = 7_654_321, 10_000_000


def write_small(path):
    """Mode One, 2000 rows: In1 [V], Current [A] with a gap, In2 [V] short (the last: a row ends early)."""
    head = ("Quorset Measurement\t\nWriter_Version\t0.92\nReader_Version\t1\nSeparator\tTab\nMulti_Headings\tYes\n"
            "X_Columns\tOne\n***End_of_Header***\t\n\nChannels\t3\t\t\t\nSamples\t\t2000\t\t2000\t\t1500\t\n"
            "Y_Dimension\t\tVoltage\t\tCurrent\t\tVoltage\t\nY_Unit_Label\t\tV\t\tA\t\tV\t\n"
            "X_Dimension\t\tTime\t\tTime\t\tTime\t\nX_Unit_Label\t\ts\t\ts\t\ts\t\n"
            "***End_of_Header***\t\nTime\tIn1\tCurrent\tIn2\tComment\n")
    lines = []
    for r in range(2000):
        t = r * 0.01
        current = "nan" if 900 <= r < 1000 else repr(0.2 * math.cos(t))
        short = "" if r >= 1500 else "\t" + repr(0.5 * math.sin(3 * t))
        lines.append("%r\t%r\t%s%s\n" % (t, math.sin(t), current, short))
    with open(path, "w") as f:
        f.write(head + "".join(lines))


def write_spike(path):
    """Mode No, 10,000,000 rows of 0 with 1000 at one row, X = row * 0.001."""
    head = ("Quorset Measurement\t\nX_Columns\tNo\n***End_of_Header***\t\n\nChannels\t1\t\n"
            "Samples\t\t%d\t\nY_Dimension\t\tPressure\t\nY_Unit_Label\t\tbar\t\nX_Dimension\t\tTime\t\n"
            "X_Unit_Label\t\ts\t\nX0\t\t0\t\nDelta_X\t\t1e-3\t\n***End_of_Header***\t\nP\tComment\n" % SPIKE_ROWS)
    with open(path, "wb") as f:
        f.write(head.encode())
        f.write(b"0\n" * SPIKE_ROW + b"1000\n" + b"0\n" * (SPIKE_ROWS - SPIKE_ROW - 1))


def write_run(path, time_of_day, unit, x0, step, rows, scale):
    """Mode One, a recording started on 2024/03/05 at `time_of_day`: Speed = scale * sin(row / 100)."""
    head = ("Quorset Measurement\t\nSeparator\tTab\nMulti_Headings\tYes\nX_Columns\tOne\nDate\t2024/03/05\nTime\t%s\n"
            "***End_of_Header***\t\n\nChannels\t1\t\nSamples\t\t%d\t\nY_Dimension\t\tSpeed\t\nY_Unit_Label\t\tm/s\t\n"
            "X_Dimension\t\tTime\t\nX_Unit_Label\t\t%s\t\n***End_of_Header***\t\nTime\tSpeed\tComment\n" % (time_of_day, rows, unit))
    with open(path, "w") as f:
        f.write(head + "".join("%r\t%r\n" % (x0 + r * step, scale * math.sin(r * 0.01)) for r in range(rows)))


class Server:
    """qtx view FILE... --no-browser --port 0, ended with SIGTERM by its PID."""

    def __init__(self, command, path, options=()):
        paths = path if isinstance(path, list) else [path]
        self.process = subprocess.Popen(command + ["view"] + paths + ["--no-browser", "--port", "0"] + list(options),
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.url = self.process.stdout.readline().strip()
        if not self.url.startswith("http://127.0.0.1:"):
            raise AssertionError("no address on stdout: %r %s" % (self.url, self.stop(expect_zero=False)))
        self.port = int(self.url.split(":")[2].split("/")[0])
        self.base = "http://127.0.0.1:%d" % self.port

    def stop(self, expect_zero=True):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
        try:
            code = self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            code = self.process.wait()
        err = self.process.stderr.read()
        if expect_zero:
            check(code == 0, "exit code %s after SIGTERM, stderr: %s" % (code, err))
        return err


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def get(url, headers=None):
    """(status, body) of a GET."""
    try:
        with urllib.request.urlopen(urllib.request.Request(url, headers=headers or {}), timeout=20) as r:
            return r.status, r.read().decode()
    except urllib.error.HTTPError as e:
        return e.code, e.read().decode()


def check_http(server):
    """Token, status codes, one-line reasons, loopback only, and a flood."""
    status, page = get(server.url)
    check(status == 200 and "app.js" in page, "page: %s" % status)
    check(get(server.url + "app.js")[0] == 200, "script")
    status, body = get(server.url + "data?w=500")
    check(status == 200, "data: %s %s" % (status, body))
    answer = json.loads(body)
    check(answer["x0"] == answer["xLow"] and answer["x1"] == answer["xHigh"] and answer["channels"], body[:200])
    token = server.url.rstrip("/").rsplit("/", 1)[1]
    for path in ["/", "/meta", "/" + "0" * len(token) + "/meta", "/" + token[:-1] + "/meta", "/../" + token + "/"]:
        check(get(server.base + path)[0] == 403, "no 403 for " + path)
    check(get(server.url + "nothing.js")[0] == 404, "no 404")
    status, body = get(server.url + "data?w=500&x0=5.113&x1=5.117")
    between = json.loads(body)
    check(between["rowsInView"] == 0 and all(a["x"] == [5.11, 5.12] for a in between["channels"]), body[:300])
    check(json.loads(get(server.url + "data?w=500&x0=1&x1=2")[1])["rowsInView"] == 101, "rows in view")
    for query in ["w=abc", "w=0", "w=100&x0=5&x1=1", "w=100&x0=nan&x1=1", "w=10&channels=99", "w=10&channels=0,0",
                  "w=10&section=7", "w=10&file=/etc/passwd", "w=10&w=10", "stats?x0=1", "stats?x0=2&x1=1",
                  "stats?x0=0&x1=1&w=5", "stats?x0=0&x1=1&channels=3", "stats?x0=inf&x1=1",
                  "w=10&x0=0x1&x1=2", "w=10&x0=%201&x1=2", "csv?x0=1", "csv?x0=2&x1=1", "csv?x0=0&x1=1&w=5",
                  "csv?x0=0&x1=1&channels=3", "csv?x0=0&x1=1&channels=1,1", "csv?x0=inf&x1=1", "csv?x0=0&x1=1&section=1"]:
        status, body = get(server.url + (query if query.startswith(("stats", "csv")) else "data?" + query))
        check(status == 400 and body.count("\n") == 1 and len(body) < 200, "%s: %s %r" % (query, status, body))
    # Across the gap of Current and the end of In2, within one bin, before the first row, at one X.
    rows = range(2000)
    check_stats(server.url, [r * 0.01 for r in rows],
                [[math.sin(r * 0.01) for r in rows], [math.nan if 900 <= r < 1000 else 0.2 * math.cos(r * 0.01) for r in rows],
                 [0.5 * math.sin(3 * (r * 0.01)) if r < 1500 else math.nan for r in rows]], [2000, 2000, 1500],
                [(0.005, 19.5), (5.113, 17.0), (9.5, 9.8), (-1.0, 0.0), (-2.0, -1.0), (3.0, 3.0), (0, 100)])
    return answer


def dump(command, path, x0, x1, channels):
    """What qtx dump --x writes for the range and channels."""
    return subprocess.run(command + ["dump", path, "--x", "%r:%r" % (x0, x1), "--channels", channels],
                          check=True, stdout=subprocess.PIPE).stdout


def check_csv(server, command, path):
    """csv equals qtx dump --x byte for byte, over several pieces, in the section's order of channels."""
    for x0, x1, channels in [(1.0, 1.05, "2,0"), (-1.0, 100.0, "0,1,2"), (9.5, 17.0, "1,2"), (5.113, 5.117, "0")]:
        with urllib.request.urlopen(server.url + "csv?x0=%r&x1=%r&channels=%s" % (x0, x1, channels), timeout=20) as r:
            got, disposition = r.read(), r.headers["Content-Disposition"]
        want = dump(command, path, x0, x1, ",".join(sorted(channels.split(","))))
        check(got == want, "csv %r..%r %s: %r, not %r" % (x0, x1, channels, got[:200], want[:200]))
        check(disposition == 'attachment; filename="small-section0.csv"', "disposition: %s" % disposition)


def check_stats(url, xs, columns, lengths, spans):
    """stats between x0 and x1 against numpy over the same rows: cursors, count, min, max exact, mean, RMS to 1e-12."""
    import numpy as np
    xs = np.asarray(xs, dtype=float)
    for x0, x1 in spans:
        answer = json.loads(get(url + "stats?x0=%r&x1=%r" % (x0, x1))[1])
        inside = (xs >= x0) & (xs <= x1)
        for c, got in zip(range(len(columns)), answer["channels"]):
            y = np.asarray(columns[c], dtype=float)
            for name, x in (("a", x0), ("b", x1)):
                at = np.nonzero(xs[:lengths[c]] <= x)[0]
                want = None if not len(at) else {"row": int(at[-1]), "x": xs[at[-1]],
                                                  "y": None if np.isnan(y[at[-1]]) else y[at[-1]]}
                check(got[name] == want, "cursor %s at %r, channel %d: %s, not %s" % (name, x, c, got[name], want))
            v = y[inside][~np.isnan(y[inside])]
            check(got["rows"] == inside.sum() and got["count"] == len(v), "count %r..%r: %s" % (x0, x1, got))
            if not len(v):
                continue
            check(got["min"] == v.min() and got["max"] == v.max(), "min, max %r..%r: %s" % (x0, x1, got))
            check(got["xMin"] == xs[inside][~np.isnan(y[inside])][v.argmin()], "xMin: %s" % got)
            for name, want in (("mean", v.mean()), ("rms", np.sqrt(np.mean(v * v)))):
                check(abs(got[name] - want) <= 1e-12 * abs(want), "%s %r..%r: %r, not %r" % (name, x0, x1, got[name], want))


def check_short_file(command, out_dir):
    """A file that ends before its Samples: the rows it holds; a value that is not finite: null."""
    path = os.path.join(out_dir, "short.qtx")
    with open(path, "w") as f:
        f.write("X_Columns\tOne\n***End_of_Header***\n\nChannels\t1\nSamples\t100\n***End_of_Header***\nX\tY\n" +
                "".join("%d\t%s\n" % (r, "nan" if 10 <= r < 20 else r) for r in range(60)))
    server = Server(command, path)
    try:
        answer = json.loads(get(server.url + "data?w=500")[1])
        channel = answer["channels"][0]
        check(answer["rows"] == 60 and channel["raw"] and channel["x"] == list(range(60)), "short: %s" % answer)
        check(channel["y"][9:21] == [9] + [None] * 10 + [20], "gap: %s" % channel["y"])
    finally:
        server.stop()


def check_loopback_and_flood(server):
    # Listening on 127.0.0.1 alone: not reachable on the machine's other address.
    probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        probe.connect(("10.254.254.254", 9))  # no packet is sent
        address = probe.getsockname()[0]
    except OSError:
        address = None
    probe.close()
    if address and not address.startswith("127."):
        try:
            socket.create_connection((address, server.port), timeout=2).close()
            check(False, "the server answers on %s" % address)
        except OSError:
            pass
    with open("/proc/net/tcp") as f:
        listening = [l.split()[1] for l in f.readlines()[1:] if l.split()[3] == "0A"]
    check("0100007F:%04X" % server.port in listening, "not listening on 127.0.0.1 alone")

    # A flood: oversized headers, bodies, half requests and plain ones at once.
    def one(i):
        try:
            s = socket.create_connection(("127.0.0.1", server.port), timeout=20)
            kind = i % 4
            if kind == 0:
                s.sendall(b"GET /x HTTP/1.1\r\nHost: a\r\nX-Pad: " + b"a" * 20000 + b"\r\n\r\n")
            elif kind == 1:
                s.sendall(b"POST /x HTTP/1.1\r\nHost: a\r\nContent-Length: 100000\r\n\r\n" + b"b" * 4096)
            elif kind == 2:
                s.sendall(b"GET / HTT")
            else:
                s.sendall(b"GET /" + server.url.split("/")[3].encode() + b"/meta HTTP/1.1\r\nHost: a\r\n\r\n")
            s.settimeout(20)
            s.recv(100)
            s.close()
        except OSError:
            pass
    threads = [threading.Thread(target=one, args=(i,)) for i in range(300)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    status, body = get(server.url + "meta")
    check(status == 200 and json.loads(body)["sections"], "no answer after the flood: %s" % status)

    # Idle connections without the token count against nothing and lock nobody out.
    idle = [socket.create_connection(("127.0.0.1", server.port), timeout=20) for _ in range(200)]
    try:
        started = time.time()
        status, page = get(server.url)
        check(status == 200 and "app.js" in page and time.time() - started < 1.5, "page behind 200 idle connections")
    finally:
        for s in idle:
            s.close()


def browser(out_dir):
    """A headless Chromium driven by Selenium, or None when one is missing."""
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        return None, None
    chromium = shutil.which("chromium")
    driver = shutil.which("chromedriver") or "/usr/bin/chromedriver"
    if not chromium or not os.path.exists(driver):
        return None, None
    profile = tempfile.mkdtemp(dir=out_dir, prefix="chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for a in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
              "--disable-background-networking", "--disable-component-update", "--disable-sync",
              "--window-size=1000,743", "--user-data-dir=" + profile]:
        options.add_argument(a)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service(executable_path=driver), options=options), profile


class Page:
    def __init__(self, driver, out_dir, name):
        self.driver, self.out_dir, self.name, self.step = driver, out_dir, name, 0

    def hook(self):
        return self.driver.execute_script("return window.__qtxView")

    def settle(self, replies_before=-1):
        """Waits until the answer for the current view is drawn."""
        end = time.time() + 60
        while time.time() < end:
            h = self.hook()
            if h and h["ready"] and h["replies"] > replies_before and (h["error"] or h["lastAnswer"]):
                return h
            time.sleep(0.05)
        raise AssertionError("the page did not settle: view %s, error %s" % (h["view"], h["error"]))

    def shot(self, what):
        self.step += 1
        self.driver.save_screenshot(os.path.join(self.out_dir, "%s-%02d-%s.png" % (self.name, self.step, what)))

    def act(self, build):
        from selenium.webdriver.common.action_chains import ActionChains
        before = self.hook()["replies"]
        build(ActionChains(self.driver)).perform()
        return self.settle(before)


def covers(h):
    """The last answer is for the view shown, and the chart shows it."""
    a = h["lastAnswer"]
    return a["x0"] == h["view"]["x0"] and a["x1"] == h["view"]["x1"] and not h["error"]


def check_view_out(driver, page, command, path):
    """The view goes out: its CSV as qtx dump writes it, its command lines, its picture."""
    from selenium.webdriver.common.by import By
    driver.find_element(By.CSS_SELECTOR, '#legend [data-channel="1"] input').click()
    h = page.hook()
    driver.find_element(By.ID, "csv").click()
    query = page.hook()["csv"]
    got = driver.execute_async_script("fetch(arguments[0]).then((r) => r.text()).then(arguments[1])", query)
    want = dump(command, path, h["view"]["x0"], h["view"]["x1"], "0,2").decode()
    check(got == want and want.count("\n") > 2, "csv of the view %s: %r, not %r" % (query, got[:200], want[:200]))
    driver.find_element(By.ID, "command").click()
    shown = driver.find_element(By.ID, "command-text")
    lines = shown.get_attribute("value").splitlines()
    page.shot("command")
    check(shown.is_displayed() and len(lines) == 2 and lines[0].startswith("qtx cut " + path + " -o ") and
          lines[1].startswith("qtx export " + path + " "), "command: %r" % lines)
    for line in lines:
        words = line.split()
        x = words[words.index("--x") + 1].split(":")
        check([float(v) for v in x] == [h["view"]["x0"], h["view"]["x1"]] and words[-2:] == ["--channels", "0,2"],
              "range or channels of %r, not %s" % (line, h["view"]))
    driver.find_element(By.ID, "picture").click()
    end = time.time() + 10
    while not page.hook().get("picture") and time.time() < end:
        time.sleep(0.05)
    check(page.hook().get("picture", 0) > 1000, "no picture: %s" % page.hook().get("picture"))
    driver.find_element(By.CSS_SELECTOR, '#legend [data-channel="1"] input').click()
    driver.find_element(By.ID, "command").click()


def check_small_page(driver, server, out_dir, path, command):
    from selenium.webdriver.common.actions.wheel_input import ScrollOrigin
    from selenium.webdriver.common.by import By
    page = Page(driver, out_dir, "small")
    driver.get(server.url)
    h = page.settle()
    page.shot("loaded")
    errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
    check(not errors, "console errors: %s" % errors)
    for c in range(3):
        check(h["drawn"][str(c)]["points"] > 0, "channel %d not drawn: %s" % (c, h["drawn"]))
    legend = " ".join(driver.find_element(By.ID, "legend").text.split())
    for text in ["In1 [V]", "In2 [V]", "Current [A]"]:
        check(text in legend, "legend %r lacks %r" % (legend, text))
    full = h["full"]
    canvas = driver.find_element(By.ID, "chart")

    h = page.act(lambda a: a.scroll_from_origin(ScrollOrigin.from_element(canvas, 50, 0), 0, -400))
    page.shot("wheel-zoom")
    check(h["view"]["x1"] - h["view"]["x0"] < (full["x1"] - full["x0"]) * 0.7 and covers(h), "wheel: %s" % h)
    wheeled = h["view"]

    h = page.act(lambda a: a.move_to_element_with_offset(canvas, -150, 0).click_and_hold()
                 .move_by_offset(120, 0).release())
    page.shot("box-zoom")
    check(wheeled["x0"] < h["view"]["x0"] < h["view"]["x1"] < wheeled["x1"] and covers(h), "box: %s" % h)
    span = h["view"]["x1"] - h["view"]["x0"]
    check(span < (wheeled["x1"] - wheeled["x0"]) * 0.3, "box zoom too wide: %s" % h["view"])
    # Narrow enough for rows: every one of them, not the columns.
    check(all(a["raw"] for a in h["lastAnswer"]["channels"]), "not rows: %s" % h["lastAnswer"])
    check_view_out(driver, page, command, path)

    from selenium.webdriver.common.keys import Keys
    boxed = h["view"]
    h = page.act(lambda a: a.key_down(Keys.SHIFT).move_to_element_with_offset(canvas, 0, 0).click_and_hold()
                 .move_by_offset(-100, 0).release().key_up(Keys.SHIFT))
    page.shot("pan")
    moved = h["view"]["x0"] - boxed["x0"]
    check(moved > 0 and abs(h["view"]["x1"] - boxed["x1"] - moved) < span * 1e-9 and covers(h), "pan: %s" % h["view"])

    h = page.act(lambda a: a.double_click(canvas))
    page.shot("restored")
    check(h["view"] == full and covers(h), "double-click: %s vs %s" % (h["view"], full))

    # Cursors A and B by two clicks: the table holds the file's rows at them and the statistics between.
    def stats_after(build, both=False):
        asked = page.hook()["statsAsked"]
        build(ActionChains(driver)).perform()
        end = time.time() + 20
        while time.time() < end:
            h = page.hook()
            # With both cursors placed, not an answer still on its way from when only A was.
            if h["statsAsked"] > asked and h["stats"] and (h["stats"]["x1"] > h["stats"]["x0"] if both else
                                                           h["stats"]["x1"] >= h["stats"]["x0"]):
                return h["stats"]
            time.sleep(0.05)
        raise AssertionError("no statistics")
    from selenium.webdriver.common.action_chains import ActionChains
    stats_after(lambda a: a.move_to_element_with_offset(canvas, -200, 0).click())
    stats = stats_after(lambda a: a.move_to_element_with_offset(canvas, 150, 0).click(), both=True)
    page.shot("cursors")
    for name in ("a", "b"):
        x = stats["x0"] if name == "a" else stats["x1"]
        row = int(math.floor(x / 0.01 + 1e-9))
        row -= (row * 0.01) > x
        got = stats["channels"][0][name]
        check(got["row"] == row and got["x"] == row * 0.01 and got["y"] == math.sin(row * 0.01), "cursor %s: %s" % (name, got))
    check_stats(server.url, [r * 0.01 for r in range(2000)], [[math.sin(r * 0.01) for r in range(2000)]], [2000],
                [(stats["x0"], stats["x1"])])
    table = driver.find_element(By.ID, "stats")
    check(table.is_displayed() and len(table.find_elements(By.TAG_NAME, "tr")) == 4, "table: %r" % table.text)
    mean = table.find_elements(By.TAG_NAME, "tr")[1].find_elements(By.TAG_NAME, "td")[13].text
    check(abs(float(mean) - stats["channels"][0]["mean"]) < 1e-6, "mean shown: %s" % mean)

    # A box in Y alone (Alt), then in X and Y (Ctrl): the Y axes zoom and stop following the data.
    from selenium.webdriver.common.action_chains import ActionChains
    y_full = page.hook()["y"]
    ActionChains(driver).key_down(Keys.ALT).move_to_element_with_offset(canvas, 0, -100).click_and_hold() \
        .move_by_offset(0, 100).release().key_up(Keys.ALT).perform()
    page.shot("box-zoom-y")
    h = page.hook()
    check(h["view"] == full and h["y"][0][2] and h["y"][0][1] - h["y"][0][0] < (y_full[0][1] - y_full[0][0]) * 0.5,
          "box in Y: %s from %s" % (h["y"], y_full))
    h = page.act(lambda a: a.key_down(Keys.CONTROL).move_to_element_with_offset(canvas, -100, -50).click_and_hold()
                 .move_by_offset(200, 40).release().key_up(Keys.CONTROL))
    y_box = h["y"][0]
    check(h["view"]["x1"] - h["view"]["x0"] < (full["x1"] - full["x0"]) * 0.5 and y_box[1] - y_box[0] < 0.2 and covers(h),
          "box in X and Y: %s %s" % (h["view"], h["y"]))
    h = page.act(lambda a: a.double_click(canvas))
    check(h["view"] == full and h["y"] == y_full, "double-click after Y zoom: %s" % h["y"])

    # Keys zoom and pan; the fragment keeps view and cursors over a reload; Home shows everything.
    h = page.act(lambda a: a.send_keys("+"))
    h = page.act(lambda a: a.send_keys(Keys.ARROW_RIGHT))
    span = full["x1"] - full["x0"]
    check(abs(h["view"]["x1"] - h["view"]["x0"] - span / 2) < 1e-9 * span and h["view"]["x0"] > full["x0"] + span / 4,
          "keys: %s" % h["view"])
    view = h["view"]
    driver.refresh()
    h = page.settle()
    canvas = driver.find_element(By.ID, "chart")
    end = time.time() + 20
    while not (page.hook()["stats"]) and time.time() < end:
        time.sleep(0.05)
    h = page.hook()
    check(h["view"] == view and covers(h) and (h["stats"]["x0"], h["stats"]["x1"]) == (stats["x0"], stats["x1"]),
          "after a reload: %s %s, not %s" % (h["view"], h["stats"] and h["stats"]["x0"], view))
    h = page.act(lambda a: a.send_keys(Keys.HOME))
    check(h["view"] == full, "Home: %s" % h["view"])

    # The cursor reads each channel's value under the mouse.
    from selenium.webdriver.common.action_chains import ActionChains
    ActionChains(driver).move_to_element_with_offset(canvas, 120, 0).perform()
    shown = driver.find_element(By.ID, "readout")
    lines = shown.text.splitlines()
    page.shot("cursor")
    check(shown.is_displayed() and lines[0].startswith("X = ") and len(lines) == 4, "readout: %r" % shown.text)
    check(any(c.isdigit() for c in lines[1].split(":")[1]), "no value in the readout: %r" % shown.text)

    # Zoomed in between two rows: the line between them and its value.
    before = page.hook()["replies"]
    driver.execute_script("window.__qtxView.setView(5.113, 5.117)")
    h = page.settle(before)
    drawn = h["drawn"]["0"]
    check(drawn["low"] is not None and -0.93 < drawn["low"] <= drawn["high"] < -0.91, "between rows: %s" % drawn)
    ActionChains(driver).move_to_element_with_offset(canvas, 0, 0).perform()
    page.shot("between-rows")
    check("≈ -0.92" in driver.find_element(By.ID, "readout").text, "readout between rows")
    check(driver.find_element(By.ID, "status").text.startswith("0 of 2,000 rows in view"), "status line")
    page.act(lambda a: a.double_click(canvas))

    # The file changes under the server: the page says so.
    with open(path, "a") as f:
        f.write("1\t2\t3\t4\n")
    os.utime(path, (time.time() + 5, time.time() + 5))
    h = page.act(lambda a: a.scroll_from_origin(ScrollOrigin.from_element(canvas, 0, 0), 0, -200))
    page.shot("file-changed")
    shown = driver.find_element(By.ID, "error")
    check(h["error"] and "changed" in shown.text and shown.is_displayed(), "no error shown: %s" % h["error"])
    check("loading" not in driver.find_element(By.ID, "status").text, "status says loading under the error")
    before = page.hook()["replies"]
    driver.find_element(By.ID, "reload").click()
    h = page.settle(before)
    page.shot("reloaded")
    check(not h["error"] and not shown.is_displayed() and covers(h), "reload: %s" % h["error"])


def check_spike_page(driver, server, out_dir):
    from selenium.webdriver.common.actions.wheel_input import ScrollOrigin
    from selenium.webdriver.common.by import By
    page = Page(driver, out_dir, "spike")
    driver.get(server.url)
    h = page.settle()
    page.shot("full")
    spike_x = SPIKE_ROW * 1e-3
    canvas = driver.find_element(By.ID, "chart")
    kinds = set()
    for step in range(12):
        drawn = h["drawn"]["0"]
        check(drawn["high"] == 1000 and drawn["low"] == 0, "step %d: spike not drawn: %s" % (step, drawn))
        kinds.add("rows" if drawn["raw"] else drawn["from"])
        if drawn["raw"]:
            break
        p, v = h["plot"], h["view"]
        at = p["left"] + (spike_x - v["x0"]) / (v["x1"] - v["x0"]) * (p["right"] - p["left"])
        # Offsets count from the canvas' centre.
        h = page.act(lambda a: a.scroll_from_origin(
            ScrollOrigin.from_element(canvas, int(round(at - p["width"] / 2)), 0), 0, -1000))
        check(h["view"]["x0"] <= spike_x <= h["view"]["x1"] and covers(h), "zoom left the spike: %s" % h["view"])
    page.shot("zoomed")
    check(kinds == {"summary", "rows"}, "zoomed from the summary to the rows: %s" % kinds)
    # A single spike among 10 million rows, from the summary and the edge rows.
    for x0, x1 in [(1.0005, 9999.0), (spike_x, spike_x), (0, 1e9)]:
        got = json.loads(get(server.url + "stats?x0=%r&x1=%r" % (x0, x1))[1])["channels"][0]
        first, last = max(0, math.ceil(x0 * 1000 - 1e-6)), min(SPIKE_ROWS - 1, math.floor(x1 * 1000 + 1e-6))
        n = last - first + 1
        check(got["count"] == n and got["max"] == 1000 and got["min"] == 0 and got["xMax"] == spike_x or n == 1,
              "spike stats %r..%r: %s" % (x0, x1, got))
        check(abs(got["mean"] - 1000 / n) <= 1e-12 * 1000 / n and abs(got["rms"] - math.sqrt(1e6 / n)) <= 1e-12 * 1000,
              "spike mean, rms %r..%r: %s" % (x0, x1, got))


def check_multi(driver, server, out_dir, runs):
    """Two recordings: stacked panels zoom together, laid over each other with an X offset and by wall-clock
    time; a cursor steps row by row; the fragment keeps files, layout, offsets and Y ranges."""
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.actions.wheel_input import ScrollOrigin
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import Select
    meta = json.loads(get(server.url + "meta")[1])
    check([f["file"] for f in meta["files"]] == ["run1.qtx", "run2.qtx"], "files: %s" % meta["files"])
    c = meta["files"][1]["sections"][0]["channels"][0]
    check((c["startTime"], c["xSeconds"]) == ("2024-03-05T10:21:00", 0.001), "clock of run2: %s" % c)
    step = json.loads(get(server.url + "step?file=1&channel=0&x=105&dir=1")[1])
    check(step["row"] == {"row": 1, "x": 110.0, "y": 1.5 * math.sin(0.01)}, "step: %s" % step)
    check(json.loads(get(server.url + "step?file=1&channel=0&x=99&dir=-1")[1])["row"] is None, "step before the first row")
    for query in ["data?w=10&file=2", "stats?file=-1&x0=0&x1=1", "csv?file=1e0&x0=0&x1=1", "step?channel=0&x=1",
                  "step?channel=1&x=1&dir=1", "step?channel=0&x=nan&dir=1", "step?channel=0&x=1&dir=2",
                  "step?channel=0&x=1&dir=1&x0=1", "step?file=9&channel=0&x=1&dir=1"]:
        status, body = get(server.url + query)
        check(status == 400 and body.count("\n") == 1 and len(body) < 200, "%s: %s %r" % (query, status, body))

    page = Page(driver, out_dir, "multi")
    driver.get(server.url)
    h = page.settle()
    canvas = driver.find_element(By.ID, "chart")
    page.shot("stacked")
    legend = " ".join(driver.find_element(By.ID, "legend").text.split())
    check(len(h["panels"]) == 2 and legend.index("run1.qtx:0") < legend.index("run2.qtx:0"), "panels, legend %r" % legend)

    def answers_cover(h, offsets=(0, 0)):
        return all(h["answers"][k]["x0"] == h["view"]["x0"] - o and h["answers"][k]["x1"] == h["view"]["x1"] - o
                   for k, o in zip(("0:0", "1:0"), offsets))
    full = h["full"]
    check(full == {"x0": 0, "x1": 8090}, "both files' X: %s" % full)
    h = page.act(lambda a: a.scroll_from_origin(ScrollOrigin.from_element(canvas, -300, 100), 0, -500))
    page.shot("stacked-zoomed")
    check(h["view"]["x1"] - h["view"]["x0"] < 8090 * 0.7 and answers_cover(h), "panels zoom together: %s" % h["view"])

    # Laid over each other, then lined up: run2's first X (100) falls on run1's (0).
    Select(driver.find_element(By.ID, "layout")).select_by_value("overlay")
    h = page.settle()
    driver.find_element(By.ID, "line-up").click()
    h = page.act(lambda a: a.double_click(canvas))
    page.shot("overlay-lined-up")
    check(len(h["panels"]) == 1 and h["offsets"] == [0, -100] and h["full"] == {"x0": 0, "x1": 7990} and
          answers_cover(h, (0, -100)) and h["drawn"]["1:0:0"]["points"] > 0, "overlay: %s %s" % (h["offsets"], h["view"]))

    # A cursor steps through run1's rows (the first source's first channel), as the file holds them.
    driver.execute_script("window.__qtxView.setCursor('a', 3.004)")
    for key, want in [(".", 3.01), (".", 3.02), (",", 3.01), (",", 3.0)]:
        before = page.hook()["statsAsked"]
        ActionChains(driver).send_keys(key).perform()
        end = time.time() + 10
        while page.hook()["statsAsked"] == before and time.time() < end:
            time.sleep(0.05)
        got = page.hook()["step"]["row"]
        check(got["x"] == round(want / 0.01) * 0.01 and got["row"] == round(want / 0.01), "step %r: %s" % (key, got))
    page.shot("cursor-stepped")

    # Wall-clock: both runs by their real time; the axis starts at run1's start.
    driver.find_element(By.ID, "clock").click()
    time.sleep(0.3)
    h = page.settle()
    page.shot("wall-clock")
    run2 = h["answers"]["1:0"]
    check(h["clock"] and "2024-03-05 10:20:30.000" in h["xTitle"] and h["full"]["x0"] == 0 and
          abs(h["full"]["x1"] - 38.09) < 1e-9 and abs(run2["x0"] + 30000) < 1e-6 and abs(run2["x1"] - 8090) < 1e-6,
          "wall-clock: %s %s %s" % (h["xTitle"], h["full"], run2["x0"]))
    check(any(t.startswith("10:2") for t in h["xTicks"]), "ticks: %s" % h["xTicks"])
    ActionChains(driver).key_down(Keys.ALT).move_to_element_with_offset(canvas, 0, -100).click_and_hold() \
        .move_by_offset(0, 80).release().key_up(Keys.ALT).perform()
    y = page.hook()["y"]
    driver.refresh()
    h = page.settle()
    page.shot("fragment-restored")
    check(h["clock"] and len(h["panels"]) == 1 and h["offsets"] == [0, -100] and h["y"] == y and y[0][2],
          "after a reload: %s %s %s" % (h["clock"], h["offsets"], h["y"]))


def check_follow(driver, command, out_dir):
    """qtx view --follow --write-index of a file being written: the page takes in the rows appended (half a row
    held back), a view of the end moves with it, the grown summary's statistics equal numpy's, and the index and
    summary are written beside the file for the next view."""
    path = os.path.join(out_dir, "growing.qtx")
    write_run(path, "08:00:00", "s", 0.0, 0.01, 3000, 1.0)
    data = open(path, "rb").read()
    rows = data.split(b"\n")
    first = data.index(b"Time\tSpeed\tComment\n") + len(b"Time\tSpeed\tComment\n")
    cut = data.index(b"\n", first + 10000) + 1  # the rows of the first 10 kB
    held = len(data[first:cut].split(b"\n")) - 1
    with open(path, "wb") as f:
        f.write(data[:cut + 4])  # and half a row
    server = Server(command, path, ["--follow", "--write-index"])
    try:
        check(json.loads(get(server.url + "refresh")[1])["sections"][0]["rowsInFile"] == held, "rows before")
        page = Page(driver, out_dir, "follow")
        driver.get(server.url)
        h = page.settle()
        xs = [float(line.split(b"\t")[0]) for line in rows[rows.index(b"Time\tSpeed\tComment") + 1:] if line]
        ys = [float(line.split(b"\t")[1]) for line in rows[rows.index(b"Time\tSpeed\tComment") + 1:] if line]
        check(h["full"]["x1"] == xs[held - 1], "end before: %s" % h["full"])
        page.shot("before")
        with open(path, "ab") as f:
            f.write(data[cut + 4:data.index(b"\n", cut + 20000) + 1])
        grown = data[:data.index(b"\n", cut + 20000) + 1].count(b"\n") - data[:first].count(b"\n")
        end = time.time() + 20
        while time.time() < end:
            h = page.hook()
            if h["full"]["x1"] == xs[grown - 1] and h["view"]["x1"] == xs[grown - 1] and h["ready"]:
                break
            time.sleep(0.1)
        check(h["full"]["x1"] == xs[grown - 1] and h["view"]["x1"] == xs[grown - 1], "end after: %s %s" % (h["full"], h["view"]))
        page.shot("after")
        check_stats(server.url, xs[:grown], [ys[:grown]], [grown], [(0, xs[grown - 1]), (1.234, 17.5)])
    finally:
        server.stop()
    check(os.path.exists(path + ".qtxi") and os.path.exists(path + ".qtxs"), "index and summary beside the file")
    with open(path, "ab") as f:
        f.write(data[data.index(b"\n", cut + 20000) + 1:])
    server = Server(command, path)
    try:
        check(get(server.url + "refresh")[0] == 404, "/refresh without --follow")
        check_stats(server.url, xs, [ys], [len(xs)], [(0, xs[-1]), (3.0, 29.0)])
    finally:
        err = server.stop()
    check("qtxs" not in err, "the stored summary of the grown file was taken: %r" % err)


def main():
    tool, out_dir = sys.argv[1], sys.argv[2]
    http_only = len(sys.argv) > 3 and sys.argv[3] == "--http-only"
    command = sys.argv[4:] + [tool] if http_only else [tool]
    os.makedirs(out_dir, exist_ok=True)
    small = os.path.join(out_dir, "small.qtx")
    write_small(small)
    server = Server(command, small)
    try:
        check_http(server)
        if http_only:
            print("ok: the page and a data answer over HTTP")
            return 0
        check_csv(server, command, small)
        check_loopback_and_flood(server)
        check_short_file(command, out_dir)
        driver, profile = browser(out_dir)
        if driver is None:
            print("SKIP: the server's answers are right; chromium, chromium-driver or python3-selenium is missing")
            return SKIP
        try:
            check_small_page(driver, server, out_dir, small, command)
            server.stop()
            spike = os.path.join(out_dir, "spike.qtx")
            write_spike(spike)
            server = Server(command, spike)
            check_spike_page(driver, server, out_dir)
            os.remove(spike)
            server.stop()
            runs = [os.path.join(out_dir, "run1.qtx"), os.path.join(out_dir, "run2.qtx")]
            write_run(runs[0], "10:20:30", "s", 0.0, 0.01, 1000, 1.0)
            write_run(runs[1], "10:21:00", "ms", 100.0, 10.0, 800, 1.5)
            server = Server(command, runs)
            check_multi(driver, server, out_dir, runs)
            server.stop()
            check_follow(driver, command, out_dir)
        finally:
            driver.quit()
            shutil.rmtree(profile, ignore_errors=True)
    finally:
        # Under Wine a signal need not end the program with 0.
        server.stop(expect_zero=not http_only)
    print("ok: screenshots in " + out_dir)
    return 0


if __name__ == "__main__":
    sys.exit(main())
