"""lre-ui's API against the programs it serves: every /api/case answer is
lre-perf --json's output (or its message) byte for byte, every /api/sweep
answer lre-sweep's, and every bad request gets 400 or 413 naming its fault."""
import json
import subprocess
import urllib.parse

from ui_server import UiServer, program_paths, report

# Option lists as (name, value) pairs: what lre-perf prints for them decides
# the answer (200 with its document, or 422 with its message).
CASES = [
    [],
    [("throttle-pct", "75"), ("altitude-km", "20"), ("burn-s", "120")],
    [("k", "3.1"), ("pc-mpa", "12"), ("epsilon", "30"), ("beta", "0.1"), ("eta-cf", "0.95")],
    [("throttle-pct", "40.25"), ("t-oxygen-k", "95"), ("t-methane-k", "115"), ("eta-c-star", "0.96")],
    [("altitude-km", "-0"), ("k", "1"), ("k", "3")],
    [("engine", "tq15b")],
    [("engine", "tq15b"), ("k", "3.2"), ("burn-s", "500"), ("altitude-km", "0")],
    [("engine", "yf100k"), ("throttle-pct", "80"), ("epsilon", "30")],
    [("engine", "yf100k"), ("altitude-km", "86"), ("burn-s", "100"), ("throttle-pct", "105")],
    [("throttle-pct", "120")],
    [("throttle-pct", "39.9")],
    [("engine", "yf100k"), ("throttle-pct", "60")],
    [("engine", "yf100k"), ("beta", "0.1")],
    [("beta", "0.1"), ("engine", "yf100k")],
    [("engine", "tq15b"), ("throttle-pct", "100")],
    [("engine", "tq15b"), ("altitude-km", "0.001")],
    [("altitude-km", "87")],
    [("engine", "yf100k"), ("epsilon", "19")],
    [("engine", "x")],
    [("engine", "")],
    [("eta-c-star", "-1")],
    [("pc-mpa", "0.0001")],
]

# Raw queries that decode to an option list of lre-perf.
ENCODED = [
    ("throttle-pct=7%35&altitude-km=1e1", [("throttle-pct", "75"), ("altitude-km", "1e1")]),
    ("throttle-pct=+75&", [("throttle-pct", " 75")]),
    ("", []),
]

# Bad requests: the raw query and a word the message must hold.
BAD_CASES = [
    ("foo=1", "foo"),
    ("json=1", "json"),
    ("vary=k:1:2:1", "vary"),
    ("--k=3", "--k"),
    ("K=3", "K"),
    ("throttle-pct=abc", "throttle-pct"),
    ("throttle-pct=", "throttle-pct"),
    ("throttle-pct=nan", "throttle-pct"),
    ("k=inf", "k"),
    ("k=1e999", "k"),
    ("k=3%20", "k"),
    ("k=0x", "k"),
    ("throttle-pct", "throttle-pct"),
    ("k=%zz", "k"),
    ("k=%4", "k"),
    ("k=%00", "k"),
    ("=5", "=5"),
    ("k=3&&beta=0.1", "''"),
    ("engine=yf100k&foo=1", "foo"),
    ("k=" + "1" * 200, "k"),
    ("&".join("k=%d" % i for i in range(60)), "parameters"),
]

# Sweeps: the raw query and the same sweep's lre-sweep arguments.
SWEEPS = [
    ("vary=throttle-pct:40:110:10&format=csv", ["--vary", "throttle-pct=40:110:10", "--format", "csv"]),
    ("vary=throttle-pct:90:120:10&burn-s=60&format=csv",
     ["--vary", "throttle-pct=90:120:10", "--burn-s", "60", "--format", "csv"]),
    ("engine=yf100k&vary=epsilon:20,28,36&vary=throttle-pct:65:105:20&format=jsonl",
     ["--engine", "yf100k", "--vary", "epsilon=20,28,36", "--vary", "throttle-pct=65:105:20", "--format", "jsonl"]),
    ("engine=tq15b&vary=k:2.5:3.5:0.25&format=csv",
     ["--engine", "tq15b", "--vary", "k=2.5:3.5:0.25", "--format", "csv"]),
    ("vary=pc-mpa:8:14:3&maximize=calculated.I_s_v_mps&over=k:2:4&format=csv",
     ["--vary", "pc-mpa=8:14:3", "--maximize", "calculated.I_s_v_mps", "--over", "k=2:4", "--format", "csv"]),
]

# Bad sweeps: the raw query, the status and a word the message must hold.
BAD_SWEEPS = [
    ("vary=throttle-pct:40:110:0.01&format=csv", 413, "5000"),
    ("vary=k:1:3:0.01&vary=beta:0:0.2:0.001&format=csv", 413, "5000"),
    ("vary=engine:tq12b,tq15b&format=csv", 400, "engine"),
    ("vary=bogus:1:2:1&format=csv", 400, "bogus"),
    ("vary=throttle-pct&format=csv", 400, "throttle-pct"),
    ("vary=k:1:2:1&format=xml", 400, "format"),
    ("vary=k:1:2:1&output=x.csv", 400, "output"),
    ("vary=k:1:2:1&cases=-", 400, "cases"),
    ("vary=k:1:2:1&shard=1/2", 400, "shard"),
    ("vary=k:1:2:1&jobs=2", 400, "jobs"),
    ("vary=k:1:2:1&foo=1", 400, "foo"),
    ("maximize=calculated.nothing&over=k:2:4", 400, "calculated.nothing"),
    ("vary=k:1:%zz", 400, "vary"),
]


def lre_perf(program, database, options):
    words = [program, database]
    for name, value in options:
        words += ["--" + name, value]
    return subprocess.run(words + ["--json"], capture_output=True)


def main():
    ui, perf, sweep, database, _ = program_paths()
    server = UiServer(ui, database)
    failures = []

    def check_case(query, options):
        status, content_type, body = server.get("/api/case?" + query)
        run = lre_perf(perf, database, options)
        if run.returncode == 0:
            expected = (200, "application/json", run.stdout)
        elif run.stdout == b"" and run.stderr.count(b"\n") == 1:
            message = run.stderr.decode().rstrip("\n")
            expected = (422, "application/json", json.dumps({"error": message}).encode() + b"\n")
        else:
            expected = (400, "application/json", None)
        if (status, content_type) != expected[:2] or (expected[2] is not None and body != expected[2]):
            failures.append("case %r: got %d %s %r, lre-perf gives %r" % (query, status, content_type, body[:200],
                                                                           expected))

    for options in CASES:
        check_case(urllib.parse.urlencode(options), options)
    for query, options in ENCODED:
        check_case(query, options)

    def check_refusal(path, query, want_status, word):
        status, content_type, body = server.get(path + query)
        try:
            message = json.loads(body)["error"]
        except (ValueError, KeyError, TypeError):
            message = None
        if status != want_status or content_type != "application/json" or message is None or word not in message:
            failures.append("%s%s: got %d %r, want %d naming %r" % (path, query[:60], status, body[:200],
                                                                  want_status, word))

    for query, word in BAD_CASES:
        check_refusal("/api/case?", query, 400, word)
    for query, status, word in BAD_SWEEPS:
        check_refusal("/api/sweep?", query, status, word)

    for query, arguments in SWEEPS:
        status, content_type, body = server.get("/api/sweep?" + query)
        run = subprocess.run([sweep, database] + arguments, capture_output=True)
        want_type = "text/csv" if "csv" in arguments else "application/jsonl"
        if status != 200 or not content_type.startswith(want_type) or body != run.stdout or run.stdout == b"":
            failures.append("sweep %r: got %d %s %r, lre-sweep gives %r" % (query, status, content_type, body[:200],
                                                                             run.stdout[:200]))

    status, _, body = server.get("/api/modules")
    if status != 200 or [m["key"] for m in json.loads(body)["modules"]] != ["tq12b", "tq15b", "yf100k"]:
        failures.append("/api/modules: %d %r" % (status, body[:200]))

    for path, want in [("/", 200), ("/app.js", 200), ("/style.css", 200), ("/chart.js", 200),
                       ("/index.html/../app.js", 404), ("/../CMakeLists.txt", 404), ("/ui/app.js", 404),
                       ("/%2e%2e/CMakeLists.txt", 404), ("/api/nothing", 404)]:
        status, _, _ = server.get(path)
        if status != want:
            failures.append("%s: got %d, want %d" % (path, status, want))

    failures += server.stop()
    report(failures, "lre-ui API")


main()
