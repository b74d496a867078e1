"""lre-ui against the programs it serves: every /api/case answer is lre-perf
--json's output (or its message) byte for byte, every /api/sweep answer
lre-sweep's; every bad request and command line gets its status and message;
the page's files are served as they are; 8 clients at once get the answers
each request got alone; a stop ends a sweep in progress with 503."""
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
    source_ui = os.path.join(here, "..", "..", "ui")
    server = UiServer(ui, database)
    failures = []
    answers = {}

    def check(target, want):
        got = server.get(target)
        answers[target] = got
        if got != want:
            failures.append("%s: got %r, want %r" % (target[:80], got[:2] + (got[2][:150],), want[:2] + (want[2][:150],)))

    def error(status, message):
        return (status, "application/json", json.dumps({"error": message}).encode() + b"\n")

    with open(os.path.join(here, "requests.txt")) as requests:
        for line in requests:
            if line.startswith("="):
                target = line.split()[1]
                path, _, query = target.partition("?")
                words = [w for name, value in urllib.parse.parse_qsl(query, keep_blank_values=True) for w in
                         ("--" + name, value if name not in ("vary", "over") or "=" in value else value.replace(":", "=", 1))]
                case = path == "/api/case"
                run = subprocess.run([perf if case else sweep, database, *words, *["--json"][:case]], capture_output=True)
                kind = "application/json" if case else "application/jsonl" if "format=jsonl" in query else "text/csv"
                check(target, (200, kind, run.stdout) if run.returncode in (0, 2) else
                      error(422, run.stderr.decode().rstrip("\n")))
            elif line[0].isdigit():
                status, target, message = line.rstrip("\n").split(" ", 2)
                check(target, error(int(status), message))

    version = subprocess.run([ui, "--version"], capture_output=True, text=True).stdout.split()[1]
    with open(os.path.join(here, "modules.json"), "rb") as golden:
        check("/api/modules", (200, "application/json", golden.read().replace(b"VERSION", version.encode())))
    for path, name, kind in [("/", "index.html", "html"), ("/app.js", "app.js", "javascript"),
                             ("/style.css", "style.css", "css"),
                             ("/chart.js", "/usr/share/javascript/chart.js/chart.min.js", "javascript")]:
        with open(os.path.join(source_ui, name), "rb") as asset:
            check(path, (200, "text/%s; charset=utf-8" % kind, asset.read()))
    headers = server.get("/app.js", headers=True)[3], server.get("/api/case", headers=True)[3]
    if headers[0].get("X-Content-Type-Options") != "nosniff" or "default-src 'self'" not in headers[0].get(
            "Content-Security-Policy", "") or headers[1].get("Cache-Control") != "no-store":
        failures.append("headers: %r" % (headers,))

    # lre-ui's command lines that do not start a server, and asset folders.
    with tempfile.TemporaryDirectory() as folder:
        for name in ["index.html", "app.js", "style.css", "chart.min.js"]:
            with open(os.path.join(folder, name), "w") as asset:
                asset.write(name)
        own = UiServer(ui, database, ["--assets", folder])
        if own.get("/chart.js")[2] != b"chart.min.js" or "(page from %s)" % folder not in own.first_line:
            failures.append("the folder's own chart.min.js is not served: %r" % own.first_line)
        failures += own.stop()
        os.remove(os.path.join(folder, "app.js"))
        usage = "Usage: %s THERMO_LIB [--port N] [--host ADDR] [--assets DIR]\n" % ui
        for arguments, status, out, err in [
                ([], 1, usage, ""), (["--help"], 0, usage, ""), (["x", "--version"], 0, "lre-ui %s\n" % version, ""),
                ([database, "--port"], 1, "", "lre-ui: --port needs a value.\n"),
                ([database, "--bogus", "1"], 1, "", "lre-ui: unknown option '--bogus' (see --help).\n"),
                ([database, "--assets", folder], 1, "", "lre-ui: cannot read the asset %s/app.js\n" % folder),
                ([database, "--assets", "/nonexistent"], 1, "",
                 "lre-ui: no page (index.html) in the asset folder /nonexistent\n"),
                (["/nonexistent"], 1, "", "CEA initialization: "),
                ([database, "--host", "203.0.113.1", "--port", "0"], 1, "", "lre-ui: cannot listen on 203.0.113.1 port 0\n"),
                ([database, "--port", str(server.port)], 1, "", "lre-ui: cannot listen on 127.0.0.1 port %d\n" % server.port),
        ] + [([database, "--port", port], 1, "", "lre-ui: --port must be a whole number from 0 to 65535, not '%s'.\n" % port)
             for port in ["65536", "-1", "8x", ""]]:
            run = subprocess.run([ui, *arguments], capture_output=True, text=True, timeout=20)
            if (run.returncode, run.stdout[:len(out)], run.stderr[:len(err)]) != (status, out, err) or \
                    bool(run.stderr) != bool(err):
                failures.append("lre-ui %r: %d %r %r" % (arguments, run.returncode, run.stdout[:100], run.stderr))

    # Load: 8 clients on kept-alive connections, 24 requests each, a third bad.
    targets = sorted(answers)
    lock = threading.Lock()

    def client(number):
        connection = None
        for i in range(24):
            target = targets[(number * 7 + i * 5) % len(targets)]
            connection = connection or http.client.HTTPConnection("127.0.0.1", server.port, timeout=20)
            got = server.get(target, connection)
            if got != answers[target]:
                with lock:
                    failures.append("under load %s: %r" % (target[:80], got[:2]))
        connection.close()

    clients = [threading.Thread(target=client, args=(n,)) for n in range(8)]
    for thread in clients:
        thread.start()
    for thread in clients:
        thread.join()

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
