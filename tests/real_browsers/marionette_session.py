"""A Marionette session with a real Firefox, in its chrome context, for the
real-browser tests (firefox_lib.sh, firefox_search_lib.sh).

connect(port_source) waits up to 90 s for Firefox to listen: port_source is
a port number, or a profile folder whose MarionetteActivePort Firefox writes
when started with marionette.port 0. Returns cmd(name, params), which sends
one command and returns its answer, raising RuntimeError on an error reply.
"""
import json
import os
import socket
import sys
import time


def _port_of(port_source):
    if isinstance(port_source, int):
        return port_source
    with open(os.path.join(port_source, "MarionetteActivePort")) as file:
        return int(file.read().strip())


def connect(port_source):
    deadline = time.time() + 90
    while True:
        try:
            sock = socket.create_connection(("127.0.0.1", _port_of(port_source)), timeout=60)
            break
        except (OSError, ValueError):
            if time.time() > deadline:
                sys.exit("Marionette did not answer")
            time.sleep(0.2)
    state = {"buffer": b"", "id": 0}

    def receive():
        while True:
            if b":" in state["buffer"]:
                length, rest = state["buffer"].split(b":", 1)
                if len(rest) >= int(length):
                    state["buffer"] = rest[int(length):]
                    return json.loads(rest[:int(length)])
            chunk = sock.recv(65536)
            if not chunk:
                raise EOFError
            state["buffer"] += chunk

    def cmd(name, params):
        state["id"] += 1
        data = json.dumps([0, state["id"], name, params]).encode()
        sock.sendall(str(len(data)).encode() + b":" + data)
        while True:
            reply = receive()
            if reply[0] == 1 and reply[1] == state["id"]:
                if reply[2]:
                    raise RuntimeError(reply[2])
                return reply[3]

    receive()  # the server's greeting
    cmd("WebDriver:NewSession", {"capabilities": {}})
    cmd("Marionette:SetContext", {"value": "chrome"})
    return cmd


def quit_firefox(cmd):
    try:
        cmd("Marionette:Quit", {"flags": ["eAttemptQuit"]})
    except (EOFError, OSError):
        pass
