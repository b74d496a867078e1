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

# Option lists: what lre-perf prints for them is the answer (200 with its
# document, or 422 with its message); then raw queries and their options.
CASES = [
    [], [("throttle-pct", "75"), ("altitude-km", "20"), ("burn-s", "120")],
    [("k", "3.1"), ("pc-mpa", "12"), ("epsilon", "30"), ("beta", "0.1"), ("eta-cf", "0.95")],
    [("altitude-km", "-0"), ("k", "1"), ("k", "3")], [("engine", "tq15b"), ("k", "3.2"), ("burn-s", "500")],
    [("engine", "yf100k"), ("altitude-km", "86"), ("burn-s", "100"), ("throttle-pct", "105")],
    [("throttle-pct", "120")], [("beta", "0.1"), ("engine", "yf100k")], [("engine", "tq15b"), ("throttle-pct", "100")],
    [("engine", "x")], [("k", "1" * 95)],
]
ENCODED = [
    ("throttle-pct=7%35&altitude-km=1e1", [("throttle-pct", "75"), ("altitude-km", "1e1")]),
    ("k=+3&eta-cf=0%2E9&beta=0%2e1", [("k", " 3"), ("eta-cf", "0.9"), ("beta", "0.1")]),
    ("&".join(["k=" + "0" * 92 + "3"] * 42 + ["k=" + "0" * 61 + "2"]), [("k", "2")]),  # 4096 bytes
    ("&".join(["k=3"] * 48), [("k", "3")]),
]
K = "k=" + "0" * 92 + "3"
BAD = [
    ("case", "foo=1", 400, "unknown parameter 'foo'"), ("case", "json=1", 400, "unknown parameter 'json'"),
    ("case", "vary=k:1:2:1", 400, "parameter 'vary': 'k:1:2:1' is not a number"),
    ("case", "--k=3", 400, "unknown parameter '--k'"), ("case", "a+b=1", 400, "malformed query: bad parameter name 'a+b'"),
    ("case", "K=3", 400, "malformed query: bad parameter name 'K'"),
    ("case", "k" * 47 + "=1", 400, "unknown parameter '%s'" % ("k" * 47)),
    ("case", "k" * 48 + "=1", 400, "malformed query: bad parameter name '%s'" % ("k" * 48)),
    ("case", "throttle-pct=", 400, "parameter 'throttle-pct': '' is not a number"),
    ("case", "k=3%20", 400, "parameter 'k': '3 ' is not a number"),
    ("case", "throttle-pct", 400, "malformed query: 'throttle-pct' is not NAME=VALUE"),
    ("case", "=5", 400, "malformed query: '=5' is not NAME=VALUE"),
    ("case", "k=3&&beta=0.1", 400, "malformed query: '' is not NAME=VALUE"),
] + [("case", "k=" + value, 400, "malformed query: bad value in 'k=%s'" % value)
     for value in ["%zz", "%4", "%g0", "%00", "%01", "%1f", "%7f", "%7F", "1" * 96]] + [
    ("case", "&".join(["k=3"] * 49), 400, "malformed query: more parameters than the limit"),
    ("case", "&".join([K] * 42 + ["k=" + "0" * 62 + "2"]), 400, "malformed query: longer than the limit"),
    ("case", "throttle-pct=120", 422, "TQ-12B throttle percentage must be between 40 and 110."),
    ("sweep", "vary=throttle-pct:40:110:0.01", 413, "The sweep has 7001 cases, more than the limit of 5000."),
    ("sweep", "vary=k:1:5001:1", 413, "The sweep has 5001 cases, more than the limit of 5000."),
    ("sweep", "vary=engine:tq12b,tq15b", 400, "--vary engine: the module cannot be varied, one module per sweep."),
    ("sweep", "vary=throttle-pct", 400, "--vary \"throttle-pct\" must read NAME=VALUES."),
    ("sweep", "format=xml", 400, "--format xml: the format is csv or jsonl."),
    ("sweep", "foo=1", 400, "Unknown option \"--foo\"."),
    ("sweep", "maximize=calculated.nothing&over=k:2:4", 400, "The tq12b document has no member \"calculated.nothing\"."),
    ("sweep", "vary=k:1:%zz", 400, "malformed query: bad value in 'vary=k:1:%zz'"),
] + [("sweep", "vary=k:1:2:1&%s=1" % name, 400, "parameter '%s' is not available here" % name)
     for name in ["cases", "output", "shard", "progress", "jobs", "json"]]
# Sweeps: the raw query and the same sweep's lre-sweep arguments.
SWEEPS = [
    ("vary=throttle-pct:30:120:10&burn-s=60", ["--vary", "throttle-pct=30:120:10", "--burn-s", "60"]),
    ("engine=yf100k&vary=epsilon:20,36&vary=throttle-pct=65:105:20&format=jsonl",
     ["--engine", "yf100k", "--vary", "epsilon=20,36", "--vary", "throttle-pct=65:105:20", "--format", "jsonl"]),
    ("engine=tq15b&vary=k:2.5:3.5:0.5&format=csv", ["--engine", "tq15b", "--vary", "k=2.5:3.5:0.5"]),
    ("vary=pc-mpa:8:14:6&maximize=calculated.I_s_v_mps&over=k:2:4",
     ["--vary", "pc-mpa=8:14:6", "--maximize", "calculated.I_s_v_mps", "--over", "k=2:4"]),
]


def main():
    ui, perf, sweep, database, _ = program_paths()
    source_ui = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "ui")
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

    for query, options in [(urllib.parse.urlencode(o), o) for o in CASES] + ENCODED:
        words = [w for name, value in options for w in ("--" + name, value)]
        run = subprocess.run([perf, database, *words, "--json"], capture_output=True)
        check("/api/case?" + query, (200, "application/json", run.stdout) if run.returncode == 0 else
              error(422, run.stderr.decode().rstrip("\n")))
    for endpoint, query, status, message in BAD:
        check("/api/%s?%s" % (endpoint, query), error(status, message))
    for query, arguments in SWEEPS:
        run = subprocess.run([sweep, database, *arguments], capture_output=True)
        check("/api/sweep?" + query, (200, "application/jsonl" if "jsonl" in arguments else "text/csv", run.stdout))

    version = subprocess.run([ui, "--version"], capture_output=True, text=True).stdout.split()[1]
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "modules.json"), "rb") as golden:
        check("/api/modules", (200, "application/json", golden.read().replace(b"VERSION", version.encode())))
    for path, name, kind in [("/", "index.html", "html"), ("/app.js", "app.js", "javascript"),
                             ("/style.css", "style.css", "css"),
                             ("/chart.js", "/usr/share/javascript/chart.js/chart.min.js", "javascript")]:
        with open(os.path.join(source_ui, name), "rb") as asset:
            check(path, (200, "text/%s; charset=utf-8" % kind, asset.read()))
    for path in ["/index.html/../app.js", "/../CMakeLists.txt", "/ui/app.js", "/%2e%2e/CMakeLists.txt", "/api/nothing"]:
        check(path, error(404, "no such page or endpoint"))
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
