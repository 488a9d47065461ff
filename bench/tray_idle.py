"""Idle cost of the agent's tray beside CopyQ; run by bench/tray-idle.

Each run starts its own Xvfb, a private session bus (no service activation), an X11 tray
(trayer) and, when asked, the tests' StatusNotifierWatcher, then one tray application in a
private home. After a settling time it reads, over the measuring window, the context switches
of all the application's threads (its wake-ups) and its CPU time, and at the end its resident
memory.
"""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time


def spawn(argv, env, **kw):
    return subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True, **kw)


def stop(proc):
    if proc.poll() is None:
        os.killpg(proc.pid, signal.SIGTERM)
        try:
            proc.wait(20)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()


def switches(pid):
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/status") as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        total += int(line.split()[1])
        except FileNotFoundError:
            pass  # a thread that ended meanwhile
    return total


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def rss_mib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


def start_xvfb(env):
    r, w = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1920x1080x24",
                             "-nolisten", "tcp"], pass_fds=(w,), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(r, 16)
        if not chunk:
            break
        number += chunk
    os.close(r)
    env["DISPLAY"] = ":" + number.decode().strip()
    return proc


def start_bus(env, folder):
    config = os.path.join(folder, "bus.conf")
    with open(config, "w") as f:
        f.write("<busconfig><type>session</type>"
                f"<listen>unix:path={folder}/bus</listen><auth>EXTERNAL</auth>"
                "<policy context='default'><allow send_destination='*' eavesdrop='true'/>"
                "<allow eavesdrop='true'/><allow own='*'/></policy></busconfig>\n")
    proc = subprocess.Popen(["dbus-daemon", f"--config-file={config}", "--nofork",
                             "--nopidfile", "--print-address=1"], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    env["DBUS_SESSION_BUS_ADDRESS"] = proc.stdout.readline().decode().strip()
    return proc


def measure(name, argv, build, watcher, settle, seconds, extra_env=None):
    folder = tempfile.mkdtemp(prefix="qv-tray-idle-")
    env = {k: v for k, v in os.environ.items()
           if k not in ("WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "QT_QPA_PLATFORM",
                        "DBUS_SESSION_BUS_ADDRESS")}
    for sub in ("home", "data", "config", "runtime", "cache"):
        os.makedirs(os.path.join(folder, sub), mode=0o700)
    env.update(HOME=f"{folder}/home", XDG_DATA_HOME=f"{folder}/data",
               XDG_CONFIG_HOME=f"{folder}/config", XDG_RUNTIME_DIR=f"{folder}/runtime",
               XDG_CACHE_HOME=f"{folder}/cache", BROWSER="true")
    env.update(extra_env or {})
    helpers = []
    try:
        helpers.append(start_xvfb(env))
        helpers.append(start_bus(env, folder))
        helpers.append(spawn(["trayer", "--edge", "top", "--align", "right", "--widthtype",
                              "request", "--height", "24"], env))
        if watcher:
            helpers.append(spawn([os.path.join(build, "tests", "sni_watcher")], env))
        time.sleep(1)
        app = spawn(argv, env)
        helpers.append(app)
        time.sleep(settle)
        if app.poll() is not None:
            raise RuntimeError(f"{name} ended early with status {app.returncode}")
        s0, c0, t0 = switches(app.pid), cpu_seconds(app.pid), time.monotonic()
        time.sleep(seconds)
        s1, c1, t1 = switches(app.pid), cpu_seconds(app.pid), time.monotonic()
        return {"wakeups": (s1 - s0) / (t1 - t0), "cpu": (c1 - c0) / (t1 - t0) * 60 * 1000,
                "rss": rss_mib(app.pid)}
    finally:
        for proc in reversed(helpers):
            stop(proc)
        shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--settle", type=int, default=15)
    args = parser.parse_args()
    agent = [os.path.join(args.build, "stage", "bin", "quorvia")]
    copyq = ["copyq"]
    rows = []
    for watcher in (True, False):
        tray = "StatusNotifierItem" if watcher else "X11 tray (XEmbed)"
        for name, argv, extra in (("quorvia", agent, {"QT_QPA_PLATFORM": "xcb"}),
                                  ("copyq", copyq, {"QT_QPA_PLATFORM": "xcb"})):
            r = measure(name, argv, args.build, watcher, args.settle, args.seconds, extra)
            rows.append((name, tray, r))
            print(f"  measured {name} with {tray}", file=sys.stderr)
    print(f"Idle tray cost over {args.seconds} s after {args.settle} s of settling "
          f"(wake-ups = context switches of all threads per second)")
    print(f"{'program':<10} {'tray':<20} {'wake-ups/s':>11} {'CPU ms/min':>11} {'RSS MiB':>8}")
    for name, tray, r in rows:
        print(f"{name:<10} {tray:<20} {r['wakeups']:>11.1f} {r['cpu']:>11.1f} {r['rss']:>8.1f}")


if __name__ == "__main__":
    main()
