"""lre-ui against the programs it serves, by the table of requests.txt:
/api/case answers are lre-perf --json's output (or its message) byte for
byte, /api/sweep answers lre-sweep's; bad requests and command lines get their
status and message. The page's files are served as they are; 8 clients at
once get the answers each request got alone; a stop ends a sweep with 503."""
import concurrent.futures
import http.client
import json
import os
import subprocess
import tempfile
import threading
import time
import urllib.parse

from ui_server import UiServer, program_paths, report


def main():
    ui, perf, sweep, database, _ = program_paths()
    here = os.path.dirname(os.path.abspath(__file__))
    server = UiServer(ui, database)
    failures, answers = [], {}

    def check(target, want):
        answers[target] = got = server.get(target)
        if got != want:
            failures.append("%s: got %r, want %r" % (target[:80], got[:2] + (got[2][:150],), want[:2] + (want[2][:150],)))

    def error(status, message):
        return status, "application/json", json.dumps({"error": message}).encode() + b"\n"

    with tempfile.TemporaryDirectory() as assets, open(os.path.join(here, "requests.txt")) as requests:
        for name, size in [("index.html", (4 << 20) + 1), ("style.css", 1), ("chart.min.js", 4 << 20)]:  # 4 MiB at most
            with open(os.path.join(assets, name), "w") as asset:
                asset.write((name * (size // len(name) + 1))[:max(size, len(name))])
        for line in requests:
            if line.startswith("= "):
                path, _, query = line.split()[1].partition("?")
                words = [w for name, value in urllib.parse.parse_qsl(query, keep_blank_values=True) for w in
                         ("--" + name, value if name not in ("vary", "over") or "=" in value else value.replace(":", "=", 1))]
                case = path == "/api/case"
                run = subprocess.run([perf if case else sweep, database, *words, *["--json"][:case]], capture_output=True)
                kind = "application/json" if case else "application/jsonl" if "format=jsonl" in query else "text/csv"
                check(line.split()[1], (200, kind, run.stdout) if run.returncode in (0, 2) else
                      error(422, run.stderr.decode().rstrip("\n")))
            elif line[0].isdigit():
                status, target, message = line.rstrip("\n").split(" ", 2)
                check(target, error(int(status), message))
            elif line.startswith("run "):
                for name, value in [("@DB", database), ("@PORT", str(server.port)), ("@ASSETS", assets), ("@UI", ui)]:
                    line = line.replace(name, value)
                status, arguments, text = (part.strip() for part in line[4:].split("|", 2))
                run = subprocess.run([ui, *arguments.split()], capture_output=True, text=True, timeout=20)
                first = (run.stdout + run.stderr).split("\n")[0]
                if run.returncode != int(status) or (first[:len(text) - 3] + "..." if text.endswith("...") else first) != text:
                    failures.append("lre-ui %s: %d %r" % (arguments, run.returncode, run.stdout + run.stderr))
        # A folder's own chart.min.js comes before the system's; it may be 4 MiB.
        for name in ["index.html", "app.js"]:
            with open(os.path.join(assets, name), "w") as asset:
                asset.write(name)
        own = UiServer(ui, database, ["--assets", assets])
        if own.get("/chart.js")[2] != (b"chart.min.js" * (4 << 20))[:4 << 20] or "(page from %s)" % assets not in own.first_line:
            failures.append("the folder's own chart.min.js is not served: %r" % own.first_line)
        failures += own.stop()

    version = subprocess.run([ui, "x", "--version"], capture_output=True, text=True).stdout
    with open(os.path.join(here, "modules.json"), "rb") as golden:
        check("/api/modules", (200, "application/json", golden.read().replace(b"VERSION", version.split()[1].encode())))
    for path, name, kind in [("/", "index.html", "html"), ("/app.js", "app.js", "javascript"),
                             ("/style.css", "style.css", "css"),
                             ("/chart.js", "/usr/share/javascript/chart.js/chart.min.js", "javascript")]:
        with open(os.path.join(here, "..", "..", "ui", name), "rb") as asset:
            check(path, (200, "text/%s; charset=utf-8" % kind, asset.read()))
    page, api = server.get("/app.js", headers=True)[3], server.get("/api/case", headers=True)[3]
    if (page.get("X-Content-Type-Options"), page.get("Content-Security-Policy", "")[:18], api.get("Cache-Control")) != \
            ("nosniff", "default-src 'self'", "no-store") or version != "lre-ui %s\n" % version.split()[1]:
        failures.append("headers %r %r, version %r" % (page, api, version))

    def client(number):  # on a kept-alive connection, 24 requests, a third of them bad
        connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=20)
        for i in range(24):
            target = sorted(answers)[(number * 7 + i * 5) % len(answers)]
            if server.get(target, connection) != answers[target]:
                failures.append("under load %s: %r" % (target[:80], server.get(target)[:2]))
        connection.close()

    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        list(pool.map(client, range(8)))

    # A stop while a long sweep runs (each row a search): 503, then a clean stop.
    result = []
    long_sweep = threading.Thread(target=lambda: result.append(server.get(
        "/api/sweep?vary=pc-mpa:5:14.99:0.002&maximize=calculated.I_s_v_mps&over=k:2:4")))
    long_sweep.start()
    time.sleep(0.5)
    started = time.monotonic()
    failures += server.stop()
    long_sweep.join()
    if result != [error(503, "the server is stopping")] or time.monotonic() - started > 5:
        failures.append("a sweep in progress at the stop: %r" % (result[0][:2] if result else None,))
    report(failures, "lre-ui API")


main()
