"""Times the workbench (quillpack open) side by side with the floor server
(bench/floor_server.cpp), as a client holding a session already: round after
round, a page load and then a Save on each, in an order that alternates.

usage: workbench.py OUT.json RUNS WARMUP PACK FLOOR_SERVER TOOL_LIST FLOOR_LIST RECORD EDIT [EDIT ...]

TOOL_LIST and FLOOR_LIST are two copies of one archive (each with data/
beside it): each server changes its own. RECORD (from 1) is the record each
Save replaces, with the EDIT files in turn. Writes the shape bench/interleave.py
writes, with the servers' peak memory (VmHWM, KiB) and the resource's final
size beside.

A page load is what the page fetches before it shows the archive, in the
waves a browser fetches it in, on up to 6 kept-alive connections, each wave's
requests spread over them and sent together: the page; its style and main.js;
the modules main.js imports; the modules those import, and so on; then
/api/archive; then /api/history and /api/status together (the page asks for
both at once). A Save is the
request the page sends (api.js: one multipart form, the bytes as part f0,
"replace RECORD f0 raw", the version the page was shown); the reload the
page makes after it is a page load's work and is not counted in it. The
version is fetched before each Save, outside the timing.
"""
import http.client
import json
import os
import re
import secrets
import socket
import subprocess
import sys
import threading
import time

ADDRESS = re.compile(r"http://(quillpack-[0-9a-f]+\.localhost):(\d+)/\?token=([0-9a-f]+)")
IMPORT = re.compile(r"""(?:import|export)\s[^'";]*?from\s+['"]\./([^'"]+)['"]""")
API_AT_LOAD = ["/api/archive", "/api/history", "/api/status"]


class Server:
    """One running server and the session a client holds with it."""

    def __init__(self, name, process, port, host):
        self.name, self.process, self.port, self.host = name, process, port, host
        self.cookie = ""

    def get(self, path, connection=None):
        own = connection is None
        connection = connection or http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        connection.request("GET", path, headers={"Host": self.host, "Cookie": self.cookie})
        response = connection.getresponse()
        body = response.read()
        if own:
            connection.close()
        if response.status != 200:
            raise RuntimeError(f"{self.name}: GET {path} answered {response.status}: {body[:200]!r}")
        return response, body

    def open_session(self, token):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        connection.request("GET", "/?token=" + token, headers={"Host": self.host})
        response = connection.getresponse()
        response.read()
        connection.close()
        granted = response.getheader("Set-Cookie") or ""
        if response.status != 200 or not granted:
            sys.exit(f"{self.name}: the key was not exchanged for a cookie ({response.status})")
        self.cookie = granted.split(";", 1)[0]

    def post(self, path, body, content_type):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=120)
        connection.request("POST", path, body=body, headers={
            "Host": self.host, "Cookie": self.cookie, "Origin": "http://" + self.host, "Content-Type": content_type})
        response = connection.getresponse()
        answer = response.read()
        connection.close()
        return response.status, answer

    def peak_kib(self):
        with open(f"/proc/{self.process.pid}/status") as f:
            return int(re.search(r"^VmHWM:\s+(\d+)", f.read(), re.M).group(1))

    def close(self):
        try:
            self.post("/api/close", b"", "text/plain")
        except OSError:
            pass
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def start_tool(pack, list_path):
    process = subprocess.Popen([pack, "open", os.path.basename(list_path), "--no-browser"],
                               cwd=os.path.dirname(list_path), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    seen = ""
    while True:
        line = process.stdout.readline()
        if not line:
            sys.exit(f"quillpack open ended before printing an address: {seen}{process.stderr.read()}")
        seen += line
        found = ADDRESS.search(line)
        if found:
            break
    # Nothing more is read from its output: a thread drains it so it never blocks.
    threading.Thread(target=process.stdout.read, daemon=True).start()
    threading.Thread(target=process.stderr.read, daemon=True).start()
    server = Server("quillpack open", process, int(found.group(2)), f"{found.group(1)}:{found.group(2)}")
    server.open_session(found.group(3))
    return server


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_floor(floor_server, list_path, captured):
    port = free_port()
    base = os.path.splitext(list_path)[0]
    process = subprocess.Popen([floor_server, list_path, base + ".RES", os.path.join(os.path.dirname(list_path), "data"),
                                captured, str(port), secrets.token_hex(32)], stdout=subprocess.PIPE, text=True)
    if process.stdout.readline().strip() != "listening":
        sys.exit("the floor server did not start")
    server = Server("floor server", process, port, f"floor.localhost:{port}")
    server.open_session("any")
    return server


def page_waves(server):
    """What the page loads at start, wave by wave: the page, its style and main.js, then each level of imports."""
    waves, known = [["/"], ["/style.css", "/main.js"]], {"/", "/style.css", "/main.js"}
    scripts = ["/main.js"]
    while scripts:
        found = []
        for path in scripts:
            _, body = server.get(path)
            for name in IMPORT.findall(body.decode("utf-8")):
                if "/" + name not in known:
                    known.add("/" + name)
                    found.append("/" + name)
        if found:
            waves.append(found)
        scripts = found
    return waves


def capture(server, paths, directory):
    """The tool's answers, for the floor server to send: "PATH TYPE FILE" lines in directory/index."""
    os.makedirs(directory, exist_ok=True)
    lines = []
    for i, path in enumerate(paths + API_AT_LOAD + ["/api/stamp"]):
        response, body = server.get(path)
        with open(os.path.join(directory, str(i)), "wb") as f:
            f.write(body)
        kind = (response.getheader("Content-Type") or "application/octet-stream").replace(" ", "")
        lines.append(f"{path} {kind} {i}\n")
    with open(os.path.join(directory, "index"), "w") as f:
        f.writelines(lines)


def fetch_together(server, connections, paths):
    """The paths spread over the connections, each connection's share one after another, all at once."""
    shares = [paths[i::len(connections)] for i in range(len(connections))]
    failures = []

    def fetch(connection, share):
        try:
            for path in share:
                server.get(path, connection)
        except Exception as failure:  # said by the caller: a thread's own exit would go unseen
            failures.append(failure)

    threads = [threading.Thread(target=fetch, args=(c, share)) for c, share in zip(connections, shares) if share]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if failures:
        raise failures[0]


def page_load(server, waves):
    start = time.perf_counter()
    connections = [http.client.HTTPConnection("127.0.0.1", server.port, timeout=60) for _ in range(6)]
    for wave in waves + [["/api/archive"], API_AT_LOAD[1:]]:
        fetch_together(server, connections, wave)
    elapsed = time.perf_counter() - start
    for connection in connections:
        connection.close()
    return elapsed


def form(parts):
    """multipart/form-data as FormData sends it: (name, bytes, file name or None)."""
    boundary = "----quillbench" + secrets.token_hex(8)
    chunks = []
    for name, data, file_name in parts:
        disposition = f'form-data; name="{name}"' + (f'; filename="{file_name}"' if file_name else "")
        head = f"--{boundary}\r\nContent-Disposition: {disposition}\r\n"
        head += "Content-Type: application/octet-stream\r\n\r\n" if file_name else "\r\n"
        chunks += [head.encode(), data, b"\r\n"]
    chunks.append(f"--{boundary}--\r\n".encode())
    return b"".join(chunks), "multipart/form-data; boundary=" + boundary


def save(server, record, edit):
    _, archive = server.get("/api/archive")
    version = json.loads(archive).get("version", "")
    body, content_type = form([("f0", edit, "f0"), ("version", version.encode(), None),
                               ("changes", f"replace {record} f0 raw".encode(), None)])
    start = time.perf_counter()
    status, answer = server.post("/api/save", body, content_type)
    elapsed = time.perf_counter() - start
    if status != 200 or not json.loads(answer).get("ok"):
        sys.exit(f"{server.name}: Save refused ({status}): {answer[:300]!r}")
    return elapsed


def main():
    out, runs, warmup, pack, floor_server, tool_list, floor_list, record = sys.argv[1:9]
    runs, warmup, record = int(runs), int(warmup), int(record)
    edits = [open(path, "rb").read() for path in sys.argv[9:]]
    tool = start_tool(pack, tool_list)
    servers = [tool]
    try:
        waves = page_waves(tool)
        assets = [path for wave in waves for path in wave]
        captured = os.path.join(os.path.dirname(out), "workbench-captured")
        capture(tool, assets, captured)
        servers.append(start_floor(floor_server, floor_list, captured))
        names = {"floor server": "floor server", "quillpack open": "quillpack open"}
        times = {(name, what): [] for name in names for what in ("page ready", "Save of one change")}
        for round_ in range(warmup + runs):
            order = servers if round_ % 2 == 0 else servers[::-1]
            for server in order:
                elapsed = page_load(server, waves)
                if round_ >= warmup:
                    times[(server.name, "page ready")].append(elapsed)
            for server in order:
                elapsed = save(server, record, edits[round_ % len(edits)])
                if round_ >= warmup:
                    times[(server.name, "Save of one change")].append(elapsed)
        peaks = {server.name: server.peak_kib() for server in servers}
        resource = os.path.getsize(os.path.splitext(tool_list)[0] + ".RES")
    finally:
        for server in servers:
            server.close()
    results = [{"command": f"{name}, {what}", "times": t} for (name, what), t in times.items()]
    with open(out, "w") as f:
        json.dump({"results": results, "peaks_kib": peaks, "resource_bytes": resource, "assets": len(assets),
                   "waves": len(waves)}, f)


main()
