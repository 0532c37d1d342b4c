#!/usr/bin/env python3
"""Measures the running application under Xvfb, the way a user drives it.

1. Idle cost: with the dashboard shown and the simulated spreadsheet running (status "active", the
   power button pulsing), the CPU the application takes over `--cpu-seconds` (default 60).
2. Fast typing: `--keys` key presses (default 20,000) typed with XTest into the spreadsheet's window
   at `--rate` keys per second (default 200), in rounds of Alt, H, A, L ("Left Align") and one plain
   key. Prints the rate the application kept up with, the sequences it counted (from its stored usage
   records), the analytics events a local server received, the event loop's answer time (p50, p99,
   max, by _NET_WM_PING every 20 ms) and the growth of its resident memory.

The application is built into build/perf (RelWithDebInfo, no tests) with every endpoint pointed at a
local HTTP server on 127.0.0.1:`--port`, since the endpoints are compiled in. Run from anywhere:

    python3 tests/perf/measure_app.py            # about 3 minutes after the build
    python3 tests/perf/measure_app.py --keys 2000 --cpu-seconds 10   # a quick look

Needs Xvfb (scripts/install-deps.sh installs it) and the X11 and XTest client libraries.
"""

import argparse
import http.server
import json
import os
import plistlib
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

sys.dont_write_bytecode = True  # no cache folder in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
import xlib  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
LEFT_ALIGN = "4,0,37"  # H, A, L
# Tall enough for the spreadsheet's window to sit below the dashboard's cards, leaving them in view.
SCREEN = (1440, 1400)


class Collector(http.server.ThreadingHTTPServer):
    """Stands in for every server the application talks to; counts analytics events by name."""

    daemon_threads = True

    def __init__(self, port):
        super().__init__(("127.0.0.1", port), Handler)
        self.lock = threading.Lock()
        self.events = {}
        self.requests = 0

    def handle_error(self, request, client_address):
        pass  # the application closing a connection at exit is no finding


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def _answer(self, status, body=b""):
        self.send_response(status)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Content-Type", "application/json")
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        self._answer(404)

    def do_PUT(self):
        self.do_POST()

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length") or 0))
        server = self.server
        with server.lock:
            server.requests += 1
            if self.path.startswith("/capture"):
                try:
                    name = json.loads(body).get("event", "?")
                except ValueError:
                    name = "?"
                server.events[name] = server.events.get(name, 0) + 1
        self._answer(200 if self.path.startswith(("/capture", "/api/1/envelope")) else 404, b"{}")


def build(port, build_dir):
    base = f"http://127.0.0.1:{port}"
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build_dir), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                    "-DKEYLOOM_BUILD_TESTS=OFF", f"-DKEYLOOM_API_BASE_URL={base}",
                    f"-DKEYLOOM_ANALYTICS_URL={base}/capture/", f"-DKEYLOOM_SENTRY_DSN=http://key@127.0.0.1:{port}/1",
                    f"-DKEYLOOM_APPCAST_URL={base}/appcast.xml"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(build_dir), "-j", "3", "--target", "keyloom"], check=True)
    return build_dir / "keyloom"


def start_xvfb():
    for number in range(90, 140):
        if not os.path.exists(f"/tmp/.X11-unix/X{number}") and not os.path.exists(f"/tmp/.X{number}-lock"):
            break
    else:
        raise RuntimeError("no free X display number")
    proc = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 10
    while not os.path.exists(f"/tmp/.X11-unix/X{number}"):
        if time.monotonic() > deadline or proc.poll() is not None:
            raise RuntimeError("Xvfb did not start")
        time.sleep(0.05)
    return proc, f":{number}"


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


def wait_for(predicate, timeout, step=0.1):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


def open_spreadsheet(display, main):
    """Clicks the dashboard's "Open Excel": the accent-filled button at the top right of the page."""
    x, y, width, height = display.geometry(main)
    top = display.pixels(x + width // 2, y, width - width // 2, min(height, 200))
    hits = [(cx, cy) for cy, row in enumerate(top) for cx, px in enumerate(row) if px == (0, 122, 255)]
    if not hits:
        raise RuntimeError("no \"Open Excel\" button on the dashboard")
    cx = sum(h[0] for h in hits) // len(hits)
    cy = sum(h[1] for h in hits) // len(hits)
    display.click(x + width // 2 + cx, y + cy)


def usage_count(defaults_path):
    try:
        with open(defaults_path, "rb") as f:
            records = json.loads(plistlib.load(f).get("usageRecords", b"{}"))
        return int(records.get(LEFT_ALIGN, {}).get("count", 0))
    except (OSError, ValueError, plistlib.InvalidFileException):
        return 0


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--keys", type=int, default=20000)
    parser.add_argument("--rate", type=float, default=200.0, help="keys per second typed")
    parser.add_argument("--cpu-seconds", type=float, default=60.0)
    parser.add_argument("--port", type=int, default=47813)
    parser.add_argument("--build-dir", type=Path, default=ROOT / "build" / "perf")
    parser.add_argument("--no-build", action="store_true", help="use the executable already in --build-dir")
    parser.add_argument("--screenshot", type=Path, help="save the screen after the idle measurement")
    args = parser.parse_args()

    for tool in ("Xvfb", "cmake"):
        if not shutil.which(tool):
            sys.exit(f"{tool} is missing: run scripts/install-deps.sh")
    exe = args.build_dir / "keyloom" if args.no_build else build(args.port, args.build_dir)

    server = Collector(args.port)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    xvfb, display_name = start_xvfb()
    home = Path(tempfile.mkdtemp(prefix="keyloom-perf-"))
    app = None
    try:
        xlib.init_threads()
        env = dict(os.environ, DISPLAY=display_name, QT_QPA_PLATFORM="xcb", XDG_CONFIG_HOME=str(home / "config"),
                   HOME=str(home))
        log = open(home / "stdout.txt", "w")
        app = subprocess.Popen([str(exe)], env=env, stdout=log, stderr=subprocess.STDOUT)
        display = xlib.Display(display_name)

        main_window = wait_for(lambda: display.find_window(lambda t: t == "Keyloom"), 20)
        if not main_window:
            raise RuntimeError("the main window did not appear")
        time.sleep(2)
        open_spreadsheet(display, main_window)
        sheet = wait_for(lambda: display.find_window(lambda t: "Microsoft Excel (simulated)" in t), 10)
        if not sheet:
            raise RuntimeError("the simulated spreadsheet did not open")
        sx, sy, sw, sh = display.geometry(sheet)
        sx, sy = 0, SCREEN[1] - sh
        display.move(sheet, sx, sy)
        display.move_pointer(sx + sw // 2, sy + sh // 2)
        display.focus(sheet)
        time.sleep(5)  # the dashboard sees the spreadsheet at its next 3 s check

        # 1. Idle cost of the dashboard while the spreadsheet runs.
        start_cpu, start = cpu_seconds(app.pid), time.monotonic()
        time.sleep(args.cpu_seconds)
        idle_cpu = 100 * (cpu_seconds(app.pid) - start_cpu) / (time.monotonic() - start)
        if args.screenshot:
            display.save_png(str(args.screenshot), 0, 0, *SCREEN)

        # 2. Fast typing.
        codes = {name: display.keycode(name) for name in ("Alt_L", "h", "a", "l", "x")}
        rounds = ["Alt_L", "h", "a", "l", "x"]
        pinger = xlib.Pinger(display_name, sheet)
        latencies, pinging = [], threading.Event()

        def ping_loop():
            while not pinging.is_set():
                answer = pinger.ping(10.0)
                latencies.append(answer if answer is not None else 10.0)
                time.sleep(0.02)

        display.focus(sheet)
        time.sleep(1)
        idle_pings = [pinger.ping(2.0) for _ in range(10)]
        if None in idle_pings:
            raise RuntimeError("the spreadsheet's window does not answer _NET_WM_PING")
        rss_before = rss_mb(app.pid)
        events_before = server.events.copy()
        pinger_thread = threading.Thread(target=ping_loop, daemon=True)
        pinger_thread.start()
        start = time.monotonic()
        for i in range(args.keys):
            due = start + i / args.rate
            delay = due - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            code = codes[rounds[i % len(rounds)]]
            display.key(code, True)
            display.key(code, False)
            display.flush()
        typed = time.monotonic() - start
        # Caught up once the window answers a ping sent after the last key.
        caught_up_ping = xlib.Pinger(display_name, sheet).ping(120.0)
        caught_up = time.monotonic() - start
        pinging.set()
        pinger_thread.join()

        sequences = args.keys // len(rounds)
        wait_for(lambda: usage_count(home / "config" / "keyloom" / "defaults.plist") >= sequences, 30, 0.5)
        wait_for(lambda: server.events.get("shortcut_used", 0) - events_before.get("shortcut_used", 0) >= sequences,
                 60, 0.5)
        time.sleep(5)
        rss_after = rss_mb(app.pid)
        counted = usage_count(home / "config" / "keyloom" / "defaults.plist")
        triggered = server.events.get("shortcut_triggered", 0) - events_before.get("shortcut_triggered", 0)
        used = server.events.get("shortcut_used", 0) - events_before.get("shortcut_used", 0)

        print(f"Dashboard with the spreadsheet running: {idle_cpu:.2f} % of one core over {args.cpu_seconds:.0f} s")
        print(f"Typing: {args.keys} keys typed in {typed:.1f} s ({args.keys / typed:.0f} keys/s); the application"
              f" caught up after {caught_up:.1f} s ({args.keys / caught_up:.0f} keys/s)"
              + ("" if caught_up_ping is not None else " [no answer within 120 s]"))
        print(f"Sequences: {sequences} typed, {counted} counted")
        print(f"Analytics events delivered: shortcut_triggered {triggered}/{sequences},"
              f" shortcut_used {used}/{sequences}")
        if latencies:
            print(f"Event loop answer (ping every 20 ms, {len(latencies)} pings): p50"
                  f" {1000 * statistics.median(latencies):.1f} ms, p99 {1000 * percentile(latencies, 0.99):.1f} ms,"
                  f" max {1000 * max(latencies):.1f} ms")
        print(f"Resident memory: {rss_before:.1f} MB before, {rss_after:.1f} MB after"
              f" (growth {rss_after - rss_before:+.1f} MB)")
    finally:
        if app and app.poll() is None:
            app.send_signal(signal.SIGTERM)
            try:
                app.wait(10)
            except subprocess.TimeoutExpired:
                app.kill()
        xvfb.terminate()
        xvfb.wait()
        server.shutdown()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    main()
