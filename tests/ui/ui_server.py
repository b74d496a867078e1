"""Starts lre-ui on a free loopback port for a test, and stops it."""
import http.client
import os
import re
import signal
import subprocess
import sys

ADDRESS = re.compile(r"http://127\.0\.0\.1:(\d+)/")


class UiServer:
    def __init__(self, program, database, extra=()):
        # Under AddressSanitizer freed memory is held back for a while, which
        # would read as growth; without that hold the resident set is the
        # program's own again.
        environment = dict(os.environ)
        environment["ASAN_OPTIONS"] = environment.get("ASAN_OPTIONS", "") + \
            ":quarantine_size_mb=0:thread_local_quarantine_size_kb=0"
        self.process = subprocess.Popen([program, database, "--port", "0", *extra], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True, env=environment)
        line = self.process.stdout.readline()
        found = ADDRESS.search(line)
        if not found:
            self.process.kill()
            sys.exit("lre-ui did not print its address: %r %r" % (line, self.process.stderr.read()))
        self.port = int(found.group(1))
        self.url = "http://127.0.0.1:%d/" % self.port

    def get(self, target, connection=None):
        """(status, content type, body bytes) of one GET."""
        own = connection is None
        if own:
            connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        connection.request("GET", target)
        response = connection.getresponse()
        body = response.read()
        if own:
            connection.close()
        return response.status, response.getheader("Content-Type"), body

    def rss_kib(self):
        with open("/proc/%d/status" % self.process.pid) as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def alive(self):
        return self.process.poll() is None

    def stop(self):
        """Sends SIGTERM; returns the failures of a clean stop."""
        self.process.send_signal(signal.SIGTERM)
        try:
            out, err = self.process.communicate(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return ["lre-ui did not stop within 20 s of SIGTERM"]
        failures = []
        if self.process.returncode != 0 or "stopped" not in out:
            failures.append("unclean stop: status %s, %r %r" % (self.process.returncode, out, err))
        return failures


def report(failures, what):
    for failure in failures:
        print("FAIL:", failure)
    print("%s: %s" % (what, "%d failure(s)" % len(failures) if failures else "ok"))
    sys.exit(1 if failures else 0)


def program_paths():
    """lre-ui, lre-perf, lre-sweep and the database, from the command line."""
    if len(sys.argv) < 5:
        sys.exit("usage: %s LRE_UI LRE_PERF LRE_SWEEP THERMO_LIB [OUTPUT_DIR]" % sys.argv[0])
    return sys.argv[1:5] + [sys.argv[5] if len(sys.argv) > 5 else os.getcwd()]
