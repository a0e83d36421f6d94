#!/usr/bin/env python3
"""The emulated line (line.py) in front of the test server (server.py), both started here on
free ports of 127.0.0.1: bytes come through unchanged, never faster than the line allows (a
round trip for the connection, one for the request, the shared rate), and a client's close
reaches the server and both logs. Standard library only."""
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(path, seconds=20):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if os.path.exists(path) and os.path.getsize(path) > 0:
            return True
        time.sleep(0.05)
    return False


class Line(unittest.TestCase):
    RTT_MS, MBPS = 100, 16

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        w = cls.work.name
        os.makedirs(os.path.join(w, "root"))
        cls.body = os.urandom(600000)
        with open(os.path.join(w, "root", "body.bin"), "wb") as f:
            f.write(cls.body)
        server_port, cls.port = free_port(), free_port()
        cls.requests, cls.line_log = os.path.join(w, "requests.log"), os.path.join(w, "line.log")
        open(cls.requests, "w").close()
        cls.procs = [
            subprocess.Popen([sys.executable, os.path.join(HERE, "server.py"), "--root",
                              os.path.join(w, "root"), "--port", str(server_port),
                              "--port-file", os.path.join(w, "server.port"),
                              "--log", cls.requests]),
            subprocess.Popen([sys.executable, os.path.join(HERE, "line.py"), "--relay",
                              f"{cls.port}:{server_port}", "--rtt", str(cls.RTT_MS), "--mbps",
                              str(cls.MBPS), "--log", cls.line_log, "--ready-file",
                              os.path.join(w, "line.pid")])]
        assert wait_for(os.path.join(w, "server.port")) and wait_for(os.path.join(w, "line.pid"))

    @classmethod
    def tearDownClass(cls):
        for p in cls.procs:
            p.terminate()
            p.wait(10)
        cls.work.cleanup()

    def fetch(self, path):
        opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
        with opener.open(f"http://127.0.0.1:{self.port}{path}", timeout=30) as answer:
            return answer.read()

    def test_bytes_come_whole_and_no_sooner_than_the_line_allows(self):
        rtt, rate = self.RTT_MS / 1000, self.MBPS * 1e6 / 8
        cases = [  # (path, bytes expected, least seconds: two round trips and the bytes' time)
            ("/body.bin", self.body, 2 * rtt + len(self.body) / rate),
            ("/_/big=300000/x", bytes(i % 251 for i in range(300000)), 2 * rtt + 300000 / rate),
        ]
        for path, expected, least in cases:
            with self.subTest(path=path):
                start = time.time()
                got = self.fetch(path)
                took = time.time() - start
                self.assertEqual(expected, got)
                self.assertGreaterEqual(took, least * 0.97)

    def test_two_transfers_at_once_share_the_rate(self):
        import threading
        results = []
        start = time.time()
        threads = [threading.Thread(target=lambda: results.append(self.fetch("/body.bin")))
                   for _ in range(2)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        took = time.time() - start
        self.assertEqual([self.body, self.body], results)
        self.assertGreaterEqual(took, 2 * len(self.body) * 8 / (self.MBPS * 1e6) * 0.97)

    def test_a_client_close_reaches_the_server_and_the_logs(self):
        with socket.create_connection(("127.0.0.1", self.port)) as s:
            s.sendall(b"GET /_/hang=20000/body.bin HTTP/1.1\r\nHost: x\r\n\r\n")
            deadline = time.time() + 10
            while "HANG /body.bin" not in open(self.requests).read() and time.time() < deadline:
                time.sleep(0.05)
            closed_at = time.time()
        deadline = time.time() + 10
        while "CLOSED /body.bin 0 at" not in open(self.requests).read() and time.time() < deadline:
            time.sleep(0.05)
        server_saw = [line for line in open(self.requests) if line.startswith("CLOSED /body.bin 0")]
        self.assertEqual(1, len(server_saw), open(self.requests).read())
        # Half a round trip later than the client closed, not sooner.
        self.assertGreaterEqual(float(server_saw[0].split()[-1]), closed_at + self.RTT_MS / 2000 * 0.9)
        line_saw = [line for line in open(self.line_log) if " by client at " in line]
        self.assertTrue(any(abs(float(line.split()[5]) - closed_at) < 1 for line in line_saw),
                        open(self.line_log).read())


if __name__ == "__main__":
    unittest.main()
