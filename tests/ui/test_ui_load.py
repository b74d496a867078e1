"""lre-ui under load: 8 clients at once, 250 requests each, a quarter of them
bad. Every answer must equal the one the same request got alone, the server
must live on, and its memory must stay flat from the warm-up on."""
import http.client
import threading
import time

from ui_server import UiServer, program_paths, report

CLIENTS = 8
REQUESTS_PER_CLIENT = 250
WARM_UP_PER_CLIENT = 100
# Growth of the resident set allowed between the end of the warm-up and the
# end of the run; a leak of 1 kB a request would exceed it.
RSS_GROWTH_LIMIT_KIB = 1024
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
    rss_before = server.rss_kib()
    started = time.monotonic()
    run_phase(server, REQUESTS_PER_CLIENT, expected, failures)
    elapsed = time.monotonic() - started
    rss_after = server.rss_kib()

    print("%d requests in %.1f s; RSS %d kB after warm-up, %d kB after" % (CLIENTS * REQUESTS_PER_CLIENT, elapsed,
                                                                           rss_before, rss_after))
    if rss_after - rss_before > RSS_GROWTH_LIMIT_KIB:
        failures.append("RSS grew by %d kB" % (rss_after - rss_before))
    if not server.alive() or server.get("/api/case")[0] != 200:
        failures.append("the server is not answering after the load")
    failures += server.stop()
    report(failures[:20], "lre-ui under load")


main()
