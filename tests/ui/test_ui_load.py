"""lre-ui under load: 8 clients at once, 250 requests each, a quarter of them
bad. Every answer must equal the one the same request got alone, the server
must live on, and its memory must stay flat: the 250 requests run in two
halves, and the second half may not grow the resident set by what a leak of
half a kilobyte a request would (allocators settle in the warm-up and the
first half; a leak grows in both)."""
import http.client
import threading
import time

from ui_server import UiServer, program_paths, report

CLIENTS = 8
REQUESTS_PER_CLIENT = 250
WARM_UP_PER_CLIENT = 100
RSS_GROWTH_LIMIT_KIB = CLIENTS * REQUESTS_PER_CLIENT // 2 // 2
DEADLINE_S = 240

GOOD = [
    "/api/case?throttle-pct=75",
    "/api/case?engine=yf100k&throttle-pct=80&epsilon=30",
    "/api/case?engine=tq15b&burn-s=100",
    "/api/case?altitude-km=20&k=3.1",
    "/api/sweep?vary=throttle-pct:40:110:10&format=csv",
    "/api/sweep?engine=yf100k&vary=altitude-km:0:80:20&format=jsonl",
]
BAD = [
    "/api/case?throttle-pct=120",
    "/api/case?foo=1",
]


def run_client(server, targets, expected, failures, lock):
    connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=60)
    for target in targets:
        try:
            answer = server.get(target, connection)
        except (OSError, http.client.HTTPException) as error:
            connection.close()
            connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=60)
            answer = ("error", str(error), b"")
        if answer != expected[target]:
            with lock:
                failures.append("%s: got %r, want %r" % (target, answer[:2], expected[target][:2]))
    connection.close()


def mixed_targets(client, count):
    """Three good requests to one bad one, shifted per client."""
    targets = []
    for i in range(count):
        n = i + client
        targets.append(BAD[n // 4 % len(BAD)] if n % 4 == 3 else GOOD[n % len(GOOD)])
    return targets


def run_phase(server, per_client, expected, failures):
    lock = threading.Lock()
    threads = [threading.Thread(target=run_client,
                                args=(server, mixed_targets(c, per_client), expected, failures, lock))
               for c in range(CLIENTS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(DEADLINE_S)
        if thread.is_alive():
            failures.append("a client did not finish within %d s" % DEADLINE_S)
            return


def main():
    ui, _, _, database, _ = program_paths()
    server = UiServer(ui, database)
    failures = []
    expected = {target: server.get(target) for target in GOOD + BAD}
    for target, (status, _, _) in expected.items():
        if (status == 200) != (target in GOOD):
            failures.append("%s alone: status %d" % (target, status))

    run_phase(server, WARM_UP_PER_CLIENT, expected, failures)
    rss = [server.rss_kib()]
    started = time.monotonic()
    for _ in range(2):
        run_phase(server, REQUESTS_PER_CLIENT // 2, expected, failures)
        rss.append(server.rss_kib())
    elapsed = time.monotonic() - started

    print("%d requests in %.1f s; RSS %d kB after warm-up, %d kB after the first half, %d kB after the second" %
          (CLIENTS * REQUESTS_PER_CLIENT, elapsed, rss[0], rss[1], rss[2]))
    if rss[2] - rss[1] > RSS_GROWTH_LIMIT_KIB:
        failures.append("RSS grew by %d kB in the second half" % (rss[2] - rss[1]))
    if not server.alive() or server.get("/api/case")[0] != 200:
        failures.append("the server is not answering after the load")
    failures += server.stop()
    report(failures[:20], "lre-ui under load")


main()
