#!/usr/bin/env python3
"""SIGTERM at random moments against the real agent, each run checked for a clean end.

Each run starts the staged agent (build/stage/bin/quorvia) in a private desktop world on a
shared virtual display with a tray host. The agent launches the stand-in backend from its
resources folder as it does in production, and a stand-in local model server from the bundle's
bin folder. The run brings the agent into one situation (the backend launching, a status poll in
flight, a start or stop request in flight, an open prompt, card or question, a listen-address
restart, a backend slow to stop), sends SIGTERM at a random moment in it, and checks:
  - the agent's exit status is 0 (it ended through its own quit path);
  - it ended within the backend's stop limits: 20 s of grace after SIGTERM, then SIGKILL;
  - no process of the run is left (backend, model server, anything they started);
  - nothing on the agent's standard error reads like a crash or a teardown fault.
The launch window opens once the agent's own code runs (it holds SIGTERM back or handles it);
before that the dynamic loader is at work and SIGTERM's default action ends any program.

Usage: quit_torture.py STAGE_DIR [--runs 50] [--seed N] [--only situation,...]
The backend's port 8765 is shared with the tests: each run holds the machine-wide port lock.
"""

import argparse
import fcntl
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request
from datetime import datetime, timedelta, timezone

BASE = "http://127.0.0.1:8765"
PORT_LOCK = "/tmp/quorvia-test-port-8765.lock"
GRACE = 20.0
# From SIGTERM to exit: the grace period, its 0.2 s polling, the SIGKILL and the reaping, and the
# agent's own teardown around it.
EXIT_LIMIT = GRACE + 2.0
# A process of the run that is still there this long after the agent ended counts as left behind
# (the model server gets SIGTERM without a wait, so it may need a moment).
SETTLE = 2.0

CRASH = re.compile(
    r"Segmentation fault|Aborted|core dumped|terminate called|Assertion|ASSERT|double free|"
    r"corrupted|pure virtual|QThread: Destroyed|QObject::~QObject|QBasicTimer|QSocketNotifier|"
    r"Timers cannot|destroyed while|QObject::killTimer|QObject::startTimer|SIG(SEGV|ABRT|BUS)|"
    r"AddressSanitizer|runtime error",
    re.IGNORECASE)

MODEL_SERVER = """#!/usr/bin/python3
# Stand-in local model server: runs until a signal ends it (SIGTERM's default action).
import time
while True:
    time.sleep(60)
"""


class SetupFailed(Exception):
    pass


# --- the backend's control interface -------------------------------------------------------------

def call(method, path, body=None, timeout=5.0):
    data = None if body is None else json.dumps(body).encode()
    request = urllib.request.Request(BASE + path, data=data, method=method)
    if data is not None:
        request.add_header("Content-Type", "application/json")
    try:
        with urllib.request.urlopen(request, timeout=timeout) as reply:
            text = reply.read()
            return reply.status, (json.loads(text) if text else {})
    except urllib.error.HTTPError as e:
        return e.code, {}
    except (OSError, ValueError):
        return 0, {}


def backend_answers():
    return call("GET", "/api/status", timeout=1.0)[0] == 200


def logged(path, method=None):
    status, reply = call("GET", "/_control/requests")
    if status != 200:
        return []
    return [r for r in reply.get("requests", [])
            if r.get("path") == path and (method is None or r.get("method") == method)]


def script(method, path, status, body, delay=0.0, times=1):
    ok, _ = call("POST", "/_control/script", {"method": method, "path": path, "status": status,
                                               "body": body, "delay": delay, "times": times})
    if ok != 200:
        raise SetupFailed("the backend took no script")


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return
        time.sleep(0.1)
    raise SetupFailed(what)


# --- the display ---------------------------------------------------------------------------------

class Display:
    """One Xvfb with a tray host (trayer) for every run."""

    def __init__(self):
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24", "-nolisten", "tcp",
             "-noreset"], pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        if not number:
            raise SystemExit("quit-torture: Xvfb did not start")
        self.name = ":" + number
        self.tray = subprocess.Popen(
            ["trayer", "--edge", "top", "--align", "left", "--widthtype", "request", "--height",
             "24", "--transparent", "false", "--SetDockType", "true"],
            env=self.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.name
        return env

    def xdotool(self, *args):
        p = subprocess.run(["xdotool", *args], env=self.env(), capture_output=True, text=True,
                           timeout=10)
        return p.stdout.strip()

    def visible(self, title):
        pattern = "^" + re.escape(title) + "$"
        return bool(self.xdotool("search", "--onlyvisible", "--name", pattern))

    def tray_icon(self):
        """The centre of the first icon docked in the tray host, or None."""
        ids = self.xdotool("search", "--class", "trayer").split()
        for window in ids:
            geometry = self.xdotool("getwindowgeometry", "--shell", window)
            values = dict(line.split("=", 1) for line in geometry.splitlines() if "=" in line)
            if int(values.get("WIDTH", "0")) >= 16 and int(values.get("HEIGHT", "0")) >= 16:
                return int(values["X"]) + 12, int(values["Y"]) + 12
        return None

    def menu_key(self, key, done):
        """Opens the status menu from the tray icon and presses Ctrl+key, until done() holds."""
        for _ in range(4):
            icon = self.tray_icon()
            if icon is None:
                time.sleep(0.5)
                continue
            self.xdotool("mousemove", str(icon[0]), str(icon[1]), "click", "1")
            time.sleep(0.6)
            self.xdotool("key", "ctrl+" + key)
            deadline = time.monotonic() + 4
            while time.monotonic() < deadline:
                if done():
                    return
                time.sleep(0.1)
            self.xdotool("key", "Escape")
        raise SetupFailed("the status menu did not act on Ctrl+" + key.upper())

    def close(self):
        for p in (self.tray, self.xvfb):
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()


# --- one run's world -----------------------------------------------------------------------------

class World:
    """A private HOME and XDG folders, an opener that records URLs, and a resources folder that
    is the staged one plus a stand-in model server in its bin folder."""

    def __init__(self, stage, display):
        self.root = tempfile.mkdtemp(prefix="quit-torture-")
        for sub in ("home", "data", "config", "runtime", "bin", "res/bin"):
            os.makedirs(self.path(sub))
        os.chmod(self.path("runtime"), 0o700)
        self.write("bin/xdg-open", '#!/bin/sh\nprintf "%s\\n" "$1" >> "' + self.path("opened") +
                   '"\n', 0o755)
        staged = os.path.join(stage, "lib", "quorvia")
        for part in ("app", "python"):
            os.symlink(os.path.join(staged, part), self.path("res/" + part))
        for tool in os.listdir(os.path.join(staged, "bin")):
            os.symlink(os.path.join(staged, "bin", tool), self.path("res/bin/" + tool))
        self.write("res/bin/ollama", MODEL_SERVER, 0o755)
        self.data = self.path("data/Quorvia")
        self.env = display.env()
        self.env.update({
            "HOME": self.path("home"), "XDG_DATA_HOME": self.path("data"),
            "XDG_CONFIG_HOME": self.path("config"), "XDG_RUNTIME_DIR": self.path("runtime"),
            "PATH": self.path("bin") + ":" + os.environ.get("PATH", "/usr/bin:/bin"),
            "QT_QPA_PLATFORM": "xcb", "QUORVIA_RESOURCES": self.path("res"),
            "QV_BACKEND_CONTROL": "1",
        })
        for name in ("HALCYRA_DATA", "DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY",
                     "XDG_CURRENT_DESKTOP"):
            self.env.pop(name, None)

    def path(self, sub):
        return os.path.join(self.root, sub)

    def write(self, sub, text, mode=0o644):
        with open(self.path(sub), "w") as f:
            f.write(text)
        os.chmod(self.path(sub), mode)

    def processes(self):
        """Pids of live processes started for this run (they carry its data folder)."""
        marker = ("HALCYRA_DATA=" + self.data).encode()
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/environ" % entry, "rb") as f:
                    if marker in f.read().split(b"\0"):
                        found.append(int(entry))
            except OSError:
                pass
        return found

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


# --- the situations ------------------------------------------------------------------------------
# Each brings the running agent into its situation and returns the length of the window (in
# seconds) during which the situation holds; SIGTERM goes at a random moment inside it.

def agent_polling(world, agent):
    wait_for(lambda: agent.poll() is None and logged("/api/native/status"), 60,
             "the agent never polled the backend")


def polls_after(count):
    return lambda: len(logged("/api/native/status")) > count


def see_recording(world, agent):
    """Makes the backend record and waits until the agent has polled it twice since."""
    if call("POST", "/api/native/start", {})[0] != 200:
        raise SetupFailed("the backend did not start recording")
    wait_for(polls_after(len(logged("/api/native/status")) + 1), 10,
             "the agent stopped polling")


def takes_sigterm(pid):
    """Whether the process's own code runs: it holds SIGTERM back or has a handler for it (before
    that, the dynamic loader is still at work and SIGTERM's default action applies)."""
    bit = 1 << (signal.SIGTERM - 1)
    try:
        with open("/proc/%d/status" % pid) as f:
            fields = dict(line.split(":", 1) for line in f if ":" in line)
        return bool((int(fields["SigBlk"], 16) | int(fields["SigCgt"], 16)) & bit)
    except (OSError, KeyError, ValueError):
        return False


def launch(world, agent, display):
    wait_for(lambda: takes_sigterm(agent.pid), 10, "the agent never started")
    return 2.5  # from its start: the backend is launched and waited for meanwhile


def poll(world, agent, display):
    agent_polling(world, agent)
    script("GET", "/api/native/status", 200, {"recording": False}, delay=2.5, times=-1)
    wait_for(polls_after(len(logged("/api/native/status"))), 10, "no poll after the script")
    return 2.4


def start(world, agent, display):
    agent_polling(world, agent)
    script("POST", "/api/native/start", 200, {"meeting": {"id": "torture"}}, delay=5.0)
    display.menu_key("r", lambda: logged("/api/native/start", "POST"))
    return 4.8


def stop(world, agent, display):
    agent_polling(world, agent)
    see_recording(world, agent)
    script("POST", "/api/native/stop", 200, {"meeting_id": "torture", "run_id": "r"}, delay=5.0)
    display.menu_key("s", lambda: logged("/api/native/stop", "POST"))
    return 4.8


def prompt(world, agent, display):
    agent_polling(world, agent)
    see_recording(world, agent)
    display.menu_key("s", lambda: display.visible("Recording saved"))
    return 3.0


def card(world, agent, display):
    agent_polling(world, agent)
    soon = datetime.now(timezone.utc) + timedelta(seconds=90)
    event = {"id": "torture-1", "title": "Torture review",
             "start": soon.strftime("%Y-%m-%dT%H:%M:%SZ"),
             "end": (soon + timedelta(minutes=30)).strftime("%Y-%m-%dT%H:%M:%SZ"),
             "url": "https://example.zoom.us/j/1", "service": "zoom"}
    with open(os.path.join(world.data, "calendar.json"), "w") as f:
        json.dump({"events": [event]}, f)
    if call("POST", "/api/setup", {"done": True})[0] != 200:
        raise SetupFailed("the backend's setup could not be finished")
    wait_for(lambda: display.visible("Torture review"), 30, "no meeting card within 30 s")
    return 3.0


def question(world, agent, display):
    agent_polling(world, agent)
    script("POST", "/api/native/start", 409,
           {"needs_mode": True, "meeting": {"id": "torture", "title": "Torture review"}})
    display.menu_key("r", lambda: logged("/api/native/start", "POST"))
    wait_for(lambda: display.visible("Quorvia"), 10, "no question on screen")
    return 3.0


def restart(world, agent, display):
    agent_polling(world, agent)
    if call("POST", "/_control/marker", {"name": "remote_access"})[0] != 200:
        raise SetupFailed("the remote_access marker could not be made")
    return 5.0  # the next poll stops the backend and launches it again on all interfaces


def slow_stop(world, agent, display):
    agent_polling(world, agent)
    # Polls the backend keeps busy for 30 s: its shutdown waits for them, so it outlasts the
    # grace period and the agent has to kill it.
    script("GET", "/api/native/status", 200, {"recording": False}, delay=30.0, times=-1)
    wait_for(polls_after(len(logged("/api/native/status"))), 10, "no poll after the script")
    return 1.0


SITUATIONS = {
    "launch": (launch, "backend launching and awaited"),
    "poll": (poll, "status poll in flight"),
    "start": (start, "start request in flight"),
    "stop": (stop, "stop request in flight"),
    "prompt": (prompt, "prompt open"),
    "card": (card, "meeting card open"),
    "question": (question, "add-or-replace question open"),
    "restart": (restart, "listen-address restart"),
    "slow-stop": (slow_stop, "backend slow to stop, second SIGTERM"),
}


# --- one run -------------------------------------------------------------------------------------

def port_free():
    return not backend_answers()


def one_run(number, name, stage, display, rng):
    world = World(stage, display)
    result = {"run": number, "situation": name, "at": None, "exit": None, "time": None,
              "left": [], "crash": [], "note": ""}
    lock = open(PORT_LOCK, "a+")
    fcntl.flock(lock, fcntl.LOCK_EX)
    agent = None
    try:
        wait_for(port_free, 30, "port 8765 is taken by something else")
        stderr = open(world.path("stderr"), "w+")
        agent = subprocess.Popen([os.path.join(stage, "bin", "quorvia")], env=world.env,
                                 stdout=subprocess.DEVNULL, stderr=stderr)
        prepare, _ = SITUATIONS[name]
        try:
            window = prepare(world, agent, display)
        except SetupFailed as e:
            result["note"] = "set-up failed: " + str(e)
            window = 0.0
        moment = rng.uniform(0.0, window)
        time.sleep(moment)
        result["at"] = moment
        sent = time.monotonic()
        agent.send_signal(signal.SIGTERM)
        if name == "slow-stop":
            time.sleep(rng.uniform(0.5, 3.0))
            if agent.poll() is None:
                agent.send_signal(signal.SIGTERM)
        try:
            agent.wait(EXIT_LIMIT + 10)
        except subprocess.TimeoutExpired:
            agent.kill()
            agent.wait()
            result["note"] = (result["note"] + "; " if result["note"] else "") + "killed by the bench"
        result["time"] = time.monotonic() - sent
        result["exit"] = agent.returncode
        deadline = time.monotonic() + SETTLE
        left = world.processes()
        while left and time.monotonic() < deadline:
            time.sleep(0.1)
            left = world.processes()
        for pid in left:
            try:
                with open("/proc/%d/cmdline" % pid, "rb") as f:
                    result["left"].append(f.read().replace(b"\0", b" ").decode(errors="replace")
                                          .strip())
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        stderr.seek(0)
        result["crash"] = [line.rstrip() for line in stderr if CRASH.search(line)]
        stderr.close()
        # Leave the port to the next user only once it is free.
        wait_for_quietly(port_free, 15)
    finally:
        # Interrupted: nothing of this run may outlive the bench either.
        if agent is not None and agent.poll() is None:
            agent.kill()
            agent.wait()
        for pid in world.processes():
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        fcntl.flock(lock, fcntl.LOCK_UN)
        lock.close()
        world.remove()
    return result


def wait_for_quietly(condition, seconds):
    try:
        wait_for(condition, seconds, "")
    except SetupFailed:
        pass


def held(r):
    return (not r["note"].startswith("set-up failed") and r["exit"] == 0 and
            r["time"] is not None and r["time"] <= EXIT_LIMIT and not r["left"] and
            not r["crash"])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("stage")
    parser.add_argument("--runs", type=int, default=50)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--only", default="", help="comma-separated situations")
    args = parser.parse_args()
    args.stage = os.path.abspath(args.stage)
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    names = [n for n in SITUATIONS if not args.only or n in args.only.split(",")]
    if not names:
        raise SystemExit("quit-torture: no such situation; known: " + ", ".join(SITUATIONS))
    # Every situation in turn, in an order shuffled once, so each gets its share of the runs.
    order = names[:]
    rng.shuffle(order)

    display = Display()
    results = []
    print("Quit torture: %d SIGTERMs against %s/bin/quorvia with the stand-in backend (seed %d)"
          % (args.runs, args.stage, seed), flush=True)
    header = "%4s  %-10s %8s  %5s %9s  %-12s %-7s %s" % (
        "run", "situation", "SIGTERM", "exit", "to exit", "left behind", "crash", "verdict")
    print(header)
    try:
        for i in range(args.runs):
            r = one_run(i + 1, order[i % len(order)], args.stage, display, rng)
            results.append(r)
            print("%4d  %-10s %7.2fs  %5s %8.2fs  %-12s %-7s %s%s" % (
                r["run"], r["situation"], r["at"] or 0.0, r["exit"], r["time"] or 0.0,
                "none" if not r["left"] else "%d process" % len(r["left"]),
                "none" if not r["crash"] else "%d lines" % len(r["crash"]),
                "held" if held(r) else "FAILED", ("  (" + r["note"] + ")") if r["note"] else ""),
                flush=True)
    finally:
        display.close()

    print()
    print("%-10s %4s  %-36s %7s %9s %8s  %6s %6s  %s" % (
        "situation", "runs", "while", "exit 0", "slowest", "limit", "left", "crash", "held"))
    for name in names:
        rows = [r for r in results if r["situation"] == name]
        if not rows:
            continue
        print("%-10s %4d  %-36s %3d/%-3d %8.2fs %7.1fs  %6d %6d  %d/%d" % (
            name, len(rows), SITUATIONS[name][1],
            sum(r["exit"] == 0 for r in rows), len(rows),
            max(r["time"] or 0.0 for r in rows), EXIT_LIMIT,
            sum(bool(r["left"]) for r in rows), sum(bool(r["crash"]) for r in rows),
            sum(held(r) for r in rows), len(rows)))
    failed = [r for r in results if not held(r)]
    for r in failed:
        for what in r["left"]:
            print("run %d left behind: %s" % (r["run"], what))
        for line in r["crash"]:
            print("run %d stderr: %s" % (r["run"], line))
    print("\n%d of %d runs held" % (len(results) - len(failed), len(results)))
    return 0 if not failed else 1


if __name__ == "__main__":
    sys.exit(main())
