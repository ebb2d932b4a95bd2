#!/usr/bin/python3
"""The IMAP watch's figures for scripts/bench (its `watch` section); Python's standard library only.

  imap_watch.py deliveries --port P --user U --password W --maildir M --rounds N
                           --probe PROBE --title TITLE --rawlog DIR
      Waits until the program (already started on Dovecot's IMAP port P) idles: a session of
      its user in the server's raw log DIR has sent IDLE. Then opens the floor, a bare IDLE
      client (LOGIN, EXAMINE INBOX, IDLE) as the same user, and in N rounds delivers one message
      into the Maildir M as a server does (written into tmp/, renamed into new/) and measures
      from the rename to the floor's `* n EXISTS` and to the program's notice board (window
      TITLE) being mapped, as `PROBE mapped` sees it; then waits for the board to go.

  imap_watch.py signals --port P --maildir M --rounds N --probe PROBE --title TITLE
                        --bus ADDRESS
      A relay to Dovecot's port P: prints "PORT <port>" for the program to connect to, and waits
      for the program's session to idle through it. Then, in N rounds of each kind (alternately):
      the signal of going to sleep (logind's PrepareForSleep(true)) or of the network going
      (NetworkManager's StateChanged(20)), the open sessions silenced (nothing passes either way
      and nobody is told, as over a computer's sleep), one message delivered, 1.5 s without a
      board (Dovecot tells of mail within about 0.5 s, to a session that no longer hears), then
      the signal of waking (PrepareForSleep(false)) or of the network's return
      (StateChanged(70)) through python3-dbusmock on the bus at ADDRESS, and the time from
      sending it to the board being mapped.

Each round prints a "ROUND …" line; the end "RESULT key=value" lines (milliseconds: medians and
ranges). Times are CLOCK_MONOTONIC's, in this script as in the probe.
"""

import argparse
import os
import selectors
import socket
import statistics
import subprocess
import sys
import threading
import time

LINE_LIMIT = 64 * 1024  # a server's or the probe's line; longer is a fault


def say(text):
    print(text, flush=True)


class LineReader:
    """Lines from a file descriptor, each waited for until a deadline."""

    def __init__(self, fd, what):
        self.fd = fd
        self.what = what
        self.buffer = b""

    def line(self, timeout):
        deadline = time.monotonic() + timeout
        while b"\n" not in self.buffer:
            if len(self.buffer) > LINE_LIMIT:
                raise RuntimeError(f"{self.what}: a line longer than {LINE_LIMIT} bytes")
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError(f"{self.what}: nothing within {timeout:.0f} s")
            selector = selectors.DefaultSelector()
            selector.register(self.fd, selectors.EVENT_READ)
            ready = selector.select(left)
            selector.close()
            if not ready:
                continue
            chunk = os.read(self.fd, 65536)
            if not chunk:
                raise EOFError(f"{self.what}: ended")
            self.buffer += chunk
        line, _, self.buffer = self.buffer.partition(b"\n")
        return line.rstrip(b"\r")

    def has_line(self):
        """Whether a line is there, without waiting."""
        self.buffer_more(0)
        return b"\n" in self.buffer

    def buffer_more(self, timeout):
        selector = selectors.DefaultSelector()
        selector.register(self.fd, selectors.EVENT_READ)
        ready = selector.select(timeout)
        selector.close()
        if ready:
            chunk = os.read(self.fd, 65536)
            if not chunk:
                raise EOFError(f"{self.what}: ended")
            self.buffer += chunk


class BoardProbe:
    """`pelmora-bench-window mapped`: listening for the board before anything can cause it."""

    def __init__(self, probe, title, timeout_s):
        self.process = subprocess.Popen([probe, "mapped", str(int(timeout_s * 1000)), title],
                                        stdout=subprocess.PIPE)
        self.lines = LineReader(self.process.stdout.fileno(), "the window probe")
        self.timeout = timeout_s + 5
        self.expect("READY")

    def expect(self, word):
        line = self.lines.line(self.timeout).decode()
        if not line.startswith(word):
            raise RuntimeError(f"the window probe said {line!r}, not {word}")
        return float(line.split()[1]) if " " in line else 0.0

    def mapped(self):
        return self.expect("MAPPED")

    def gone(self):
        value = self.expect("GONE")
        self.process.wait(5)
        return value

    def mapped_already(self):
        return self.lines.has_line()

    def end(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(5)


class Deliverer:
    """Delivers numbered messages into a Maildir as a server does: tmp/, then renamed into new/."""

    def __init__(self, maildir):
        self.maildir = maildir
        self.number = 0

    def prepare(self):
        """Writes the next message into tmp/; answers the rename that delivers it."""
        self.number += 1
        name = f"{int(time.time())}.M{self.number}P{os.getpid()}.pelmora-bench"
        temporary = os.path.join(self.maildir, "tmp", name)
        with open(temporary, "w") as file:
            file.write("From: Bench <bench@pelmora.test>\nTo: idle@pelmora.test\n"
                       f"Subject: Watched {self.number}\n"
                       "Date: Tue, 2 Jan 2024 09:00:00 +0900\nMIME-Version: 1.0\n\nHello.\n")
        # The server's own user owns what it delivers.
        stat = os.stat(os.path.join(self.maildir, "new"))
        os.chown(temporary, stat.st_uid, stat.st_gid)
        return lambda: os.rename(temporary, os.path.join(self.maildir, "new", name))


class IdleFloor:
    """The bare IDLE client: what any client idling on the server hears, and when."""

    def __init__(self, port, user, password):
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.socket.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.lines = LineReader(self.socket.fileno(), "the IDLE client's server")
        self.lines.line(10)  # greeting
        self.command("a1", f'LOGIN "{user}" "{password}"')
        self.command("a2", "EXAMINE INBOX")
        self.socket.sendall(b"a3 IDLE\r\n")
        while not self.lines.line(10).startswith(b"+"):
            pass

    def command(self, tag, text):
        self.socket.sendall(f"{tag} {text}\r\n".encode())
        while True:
            line = self.lines.line(10)
            if line.startswith(tag.encode() + b" "):
                if not line.startswith(tag.encode() + b" OK"):
                    raise RuntimeError(f"the server refused {text.split()[0]}: {line!r}")
                return

    def exists(self, timeout):
        """Waits for the next `* n EXISTS`; answers when it came."""
        deadline = time.monotonic() + timeout
        while True:
            line = self.lines.line(max(0.0, deadline - time.monotonic()))
            if line.startswith(b"* ") and line.endswith(b" EXISTS"):
                return time.monotonic()

    def close(self):
        try:
            self.socket.sendall(b"DONE\r\na4 LOGOUT\r\n")
        except OSError:
            pass
        self.socket.close()


def spread(values):
    return statistics.median(values), min(values), max(values)


def result(key, values):
    median, low, high = spread(values)
    say(f"RESULT {key}_ms={median:.0f}")
    say(f"RESULT {key}_min_ms={low:.0f}")
    say(f"RESULT {key}_max_ms={high:.0f}")


def wait_for_idle_in_rawlog(directory, timeout):
    """Until a session's commands in Dovecot's raw log (files *.in) hold an IDLE."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        for name in os.listdir(directory):
            if name.endswith(".in"):
                with open(os.path.join(directory, name), "rb") as file:
                    if b" IDLE\r\n" in file.read(LINE_LIMIT):
                        return
        time.sleep(0.1)
    raise TimeoutError("the program never idled on the server")


def deliveries(arguments):
    wait_for_idle_in_rawlog(arguments.rawlog, 60)
    floor = IdleFloor(arguments.port, arguments.user, arguments.password)
    deliverer = Deliverer(arguments.maildir)
    boards, floors = [], []
    for number in range(1, arguments.rounds + 1):
        probe = BoardProbe(arguments.probe, arguments.title, 20)
        try:
            deliver = deliverer.prepare()
            start = time.monotonic()
            deliver()
            floor_ms = (floor.exists(15) - start) * 1000
            board_ms = (probe.mapped() - start) * 1000
            probe.gone()
        finally:
            probe.end()
        say(f"ROUND {number} board={board_ms:.0f} ms floor={floor_ms:.0f} ms")
        boards.append(board_ms)
        floors.append(floor_ms)
        time.sleep(1)  # the check ends, the watch idles on
    floor.close()
    result("board", boards)
    result("floor", floors)
    say(f"RESULT rounds={arguments.rounds}")


class Relay:
    """A TCP relay on 127.0.0.1 to the server, in a thread of its own. It can silence the open
    sessions, and knows which of them idle (the client sent IDLE, the server answered "+")."""

    def __init__(self, server_port):
        self.server_port = server_port
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.listener.setblocking(False)
        self.port = self.listener.getsockname()[1]
        self.lock = threading.Lock()
        self.sessions = []  # each: client, server, number, idling, asked_idle, alive
        self.silenced_up_to = 0
        self.count = 0
        self.selector = selectors.DefaultSelector()
        self.selector.register(self.listener, selectors.EVENT_READ, None)
        threading.Thread(target=self.run, daemon=True).start()

    def silence_open_sessions(self):
        with self.lock:
            self.silenced_up_to = self.count

    def idling(self):
        """Whether a session that is not silenced idles."""
        with self.lock:
            return any(s["idling"] and s["alive"] and s["number"] > self.silenced_up_to
                       for s in self.sessions)

    def run(self):
        while True:
            for key, _ in self.selector.select():
                if key.data is None:
                    self.accept()
                else:
                    self.pass_on(*key.data)

    def accept(self):
        try:
            client, _ = self.listener.accept()
        except BlockingIOError:
            return
        try:
            server = socket.create_connection(("127.0.0.1", self.server_port))
        except OSError:
            client.close()
            return
        with self.lock:
            self.count += 1
            session = {"number": self.count, "idling": False, "asked_idle": False, "alive": True,
                       "client": client, "server": server}
            self.sessions.append(session)
        self.selector.register(client, selectors.EVENT_READ, (session, True))
        self.selector.register(server, selectors.EVENT_READ, (session, False))

    def pass_on(self, session, from_client):
        source = session["client"] if from_client else session["server"]
        target = session["server"] if from_client else session["client"]
        try:
            data = source.recv(65536)
        except OSError:
            data = b""
        with self.lock:
            silenced = session["number"] <= self.silenced_up_to
            if data and not silenced:
                if from_client:
                    if data.endswith(b" IDLE\r\n"):
                        session["asked_idle"] = True
                    elif data.startswith(b"DONE"):
                        session["idling"] = session["asked_idle"] = False
                elif session["asked_idle"] and (data.startswith(b"+") or b"\r\n+" in data):
                    session["idling"] = True
        if not data:
            # The client's end closes the session; the server's end, only what the client can
            # still hear of (a silenced client is told nothing).
            if from_client or not silenced:
                self.close(session)
            else:
                self.selector.unregister(source)
                source.close()
            return
        if silenced:
            return
        try:
            target.sendall(data)
        except OSError:
            self.close(session)

    def close(self, session):
        with self.lock:
            session["alive"] = False
        for end in (session["client"], session["server"]):
            try:
                self.selector.unregister(end)
            except (KeyError, ValueError):
                pass
            end.close()


# The signals before and after, as the system's services send them through dbusmock.
SIGNALS = {
    "waking": ("org.freedesktop.login1", "/org/freedesktop/login1",
               "org.freedesktop.login1.Manager", "PrepareForSleep", "b", "true", "false"),
    # NetworkManager's states: 20 disconnected, 70 connected with full connectivity.
    "network": ("org.freedesktop.NetworkManager", "/org/freedesktop/NetworkManager",
                "org.freedesktop.NetworkManager", "StateChanged", "u", "uint32 20", "uint32 70"),
}


def emit(bus, kind, after):
    service, path, interface, name, signature, before_value, after_value = SIGNALS[kind]
    value = after_value if after else before_value
    subprocess.run(["gdbus", "call", "--address", bus, "--dest", service, "--object-path", path,
                    "--method", "org.freedesktop.DBus.Mock.EmitSignal", interface, name,
                    signature, f"[<{value}>]"], check=True, stdout=subprocess.DEVNULL, timeout=10)


def wait_until(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise TimeoutError(what)
        time.sleep(0.05)


def signals(arguments):
    relay = Relay(arguments.port)
    say(f"PORT {relay.port}")
    wait_until(relay.idling, 60, "the program never idled through the relay")
    time.sleep(3)  # the program's first check, and any board it shows, are over
    deliverer = Deliverer(arguments.maildir)
    times = {kind: [] for kind in SIGNALS}
    for number in range(1, arguments.rounds + 1):
        for kind in SIGNALS:
            wait_until(relay.idling, 30, "the program did not idle again")
            probe = BoardProbe(arguments.probe, arguments.title, 20)
            try:
                emit(arguments.bus, kind, after=False)
                relay.silence_open_sessions()
                deliverer.prepare()()
                time.sleep(1.5)
                if probe.mapped_already():
                    raise RuntimeError("the board came through a silenced connection")
                start = time.monotonic()
                emit(arguments.bus, kind, after=True)
                board_ms = (probe.mapped() - start) * 1000
                probe.gone()
            finally:
                probe.end()
            say(f"ROUND {number} {kind} board={board_ms:.0f} ms")
            times[kind].append(board_ms)
            time.sleep(1)
    for kind, values in times.items():
        result(kind, values)
    say(f"RESULT rounds={arguments.rounds}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("mode", choices=["deliveries", "signals"])
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--maildir", required=True)
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--title", required=True)
    parser.add_argument("--rawlog")
    parser.add_argument("--bus")
    arguments = parser.parse_args()
    try:
        if arguments.mode == "deliveries":
            deliveries(arguments)
        else:
            signals(arguments)
    except (OSError, RuntimeError, TimeoutError, EOFError, subprocess.SubprocessError) as error:
        print(f"imap_watch.py: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
