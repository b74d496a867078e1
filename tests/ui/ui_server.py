"""Starts lre-ui on a free loopback port for a test, and stops it."""
import http.client
import re
import signal
import subprocess
import sys


class UiServer:
    def __init__(self, program, database, extra=()):
        self.process = subprocess.Popen([program, database, "--port", "0", *extra], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
        self.first_line = self.process.stdout.readline()
        found = re.search(r"http://127\.0\.0\.1:(\d+)/", self.first_line)
        if not found:
            self.process.kill()
            sys.exit("lre-ui did not print its address: %r %r" % (self.first_line, self.process.stderr.read()))
        self.port = int(found.group(1))
        self.url = "http://127.0.0.1:%d/" % self.port

    def get(self, target, connection=None, headers=False):
        """(status, content type, body bytes) of one GET, and its headers when asked."""
        own = connection or http.client.HTTPConnection("127.0.0.1", self.port, timeout=20)
        own.request("GET", target)
        response = own.getresponse()
        answer = (response.status, response.getheader("Content-Type"), response.read())
        if connection is None:
            own.close()
        return answer + (dict(response.getheaders()),) if headers else answer

    def stop(self):
        """Sends SIGTERM; the failures of a clean, quiet stop."""
        self.process.send_signal(signal.SIGTERM)
        try:
            out, err = self.process.communicate(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            out, err = "", "did not stop within 20 s of SIGTERM"
        status = self.process.returncode
        return [] if (status, out, err) == (0, "lre-ui: stopped\n", "") else ["stop: %s %r %r" % (status, out, err)]


def report(failures, what):
    for failure in failures[:20]:
        print("FAIL:", failure)
    print("%s: %s" % (what, "%d failure(s)" % len(failures) if failures else "ok"))
    sys.exit(1 if failures else 0)


def program_paths():
    """lre-ui, lre-perf, lre-sweep, the database and the output folder, from the command line."""
    if len(sys.argv) != 6:
        sys.exit("usage: %s LRE_UI LRE_PERF LRE_SWEEP THERMO_LIB OUTPUT_DIR" % sys.argv[0])
    return sys.argv[1:6]
