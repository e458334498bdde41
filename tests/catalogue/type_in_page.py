#!/usr/bin/env python3
"""Types a search into ctlgrm's HTML page in headless Chromium, as a user would, and prints
the matches it lists, a line each (fields between tabs), after clicking "Show more" until it
is gone. Chromium is driven through its DevTools protocol over a WebSocket of its own
(standard library only).

    type_in_page.py CHROMIUM PAGE PATTERN
"""
import base64
import http.client
import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time

TIMEOUT = 60


class DevTools:
    """One page's DevTools WebSocket: commands in, their results out."""

    def __init__(self, port, path):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
                           "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                           f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n").encode())
        response = b""
        while b"\r\n\r\n" not in response:
            response += self.sock.recv(1)
        if b" 101 " not in response.split(b"\r\n")[0]:
            raise RuntimeError("no WebSocket: " + response.decode(errors="replace"))
        self.next_id = 0

    def _send(self, text):
        payload = text.encode()
        header = bytes([0x81])
        if len(payload) < 126:
            header += bytes([0x80 | len(payload)])
        elif len(payload) < 65536:
            header += bytes([0x80 | 126]) + struct.pack(">H", len(payload))
        else:
            header += bytes([0x80 | 127]) + struct.pack(">Q", len(payload))
        mask = os.urandom(4)
        self.sock.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))

    def _exactly(self, count):
        data = b""
        while len(data) < count:
            chunk = self.sock.recv(count - len(data))
            if not chunk:
                raise RuntimeError("DevTools closed the connection")
            data += chunk
        return data

    def _message(self):
        message = b""
        while True:
            first, second = self._exactly(2)
            length = second & 0x7F
            if length == 126:
                length = struct.unpack(">H", self._exactly(2))[0]
            elif length == 127:
                length = struct.unpack(">Q", self._exactly(8))[0]
            message += self._exactly(length)
            if first & 0x80:
                return json.loads(message)

    def call(self, method, **params):
        self.next_id += 1
        self._send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            answer = self._message()
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise RuntimeError(f"{method}: {answer['error']}")
                return answer["result"]

    def evaluate(self, expression):
        return self.call("Runtime.evaluate", expression=expression,
                         returnByValue=True)["result"].get("value")

    def wait_for(self, expression):
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(0.05)
        raise RuntimeError("waited in vain for " + expression)

    def click(self, selector):
        """Scrolls the element into the window, as a user would, and clicks its middle."""
        box = self.evaluate(f"(() => {{ const e = document.querySelector('{selector}');"
                            "e.scrollIntoView({block: 'center'}); const r = e.getBoundingClientRect();"
                            "return [r.x + r.width / 2, r.y + r.height / 2]; })()")
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", type=kind, x=box[0], y=box[1], button="left",
                      clickCount=1)


def remove_when_left(folder):
    """Removes the folder once nothing writes in it any more, waiting a few seconds at most."""
    for _ in range(50):
        shutil.rmtree(folder, ignore_errors=True)
        if not os.path.exists(folder):
            return
        time.sleep(0.1)


def main():
    chromium, page, pattern = sys.argv[1:4]
    # Chromium's helpers may still write in the profile a moment after the browser has ended.
    with tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as profile:
        browser = subprocess.Popen([chromium, "--headless", "--no-sandbox", "--disable-gpu",
                                    "--user-data-dir=" + profile, "--remote-debugging-port=0",
                                    "file://" + page],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            active = os.path.join(profile, "DevToolsActivePort")
            deadline = time.monotonic() + TIMEOUT
            while not (os.path.exists(active) and open(active).read().count("\n") >= 1):
                if time.monotonic() > deadline:
                    raise RuntimeError("chromium gave no DevTools port")
                time.sleep(0.05)
            port = int(open(active).read().split("\n")[0])
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=TIMEOUT)
            connection.request("GET", "/json/list")
            target = next(t for t in json.loads(connection.getresponse().read())
                          if t["type"] == "page")
            tools = DevTools(port, target["webSocketDebuggerUrl"].split(str(port), 1)[1])
            tools.wait_for("document.body.dataset.readyMs")
            for ch in pattern:
                tools.call("Input.dispatchKeyEvent", type="keyDown", text=ch)
                tools.call("Input.dispatchKeyEvent", type="keyUp")
            tools.wait_for("/ in \\d+ ms$/.test(document.getElementById('status').textContent)")
            while not tools.evaluate("document.getElementById('more').hidden"):
                shown = tools.evaluate("document.querySelectorAll('tr.match').length")
                tools.click("#more")
                tools.wait_for(f"document.querySelectorAll('tr.match').length > {shown}")
            rows = tools.evaluate("Array.from(document.querySelectorAll('tr.match'), row => "
                                  "Array.from(row.cells, c => c.textContent).join('\\t'))")
            sys.stdout.write("".join(row + "\n" for row in rows))
        finally:
            browser.terminate()
            browser.wait()
            remove_when_left(profile)


main()
