"""Idle cost of the agent beside CopyQ; run by bench/idle.

Each run starts its own Xvfb, a private session bus (no service activation), an X11 tray
(trayer), when asked the tests' StatusNotifierWatcher, and a private audio server of the kind
asked for (the tests' audio_server), then one tray application in a private home. After a
settling time it reads, over the measuring window, the voluntary context switches of all the
application's threads (its wake-ups: each is a sleep that ended) and its CPU time, and at the
end its peak resident memory.
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


def thread_switches(pid):
    """Voluntary context switches per thread: {(tid, name): count}."""
    counts = {}
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/comm") as f:
                name = f.read().strip()
            with open(f"/proc/{pid}/task/{task}/status") as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches"):
                        counts[(task, name)] = int(line.split()[1])
        except (FileNotFoundError, ProcessLookupError):
            pass  # a thread that ended meanwhile
    return counts


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def peak_rss_mib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return 0.0


def on_path(program):
    return shutil.which(program) is not None


def audio_kinds():
    kinds = []
    if on_path("pulseaudio"):
        kinds.append("pulseaudio")
    if all(on_path(p) for p in ("pipewire", "wireplumber", "pipewire-pulse")):
        kinds.append("pipewire")
    return kinds


AUDIO_NAMES = {"pulseaudio": "PulseAudio", "pipewire": "PipeWire (pulse)"}


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


def start_audio(env, build, kind):
    proc = subprocess.Popen([os.path.join(build, "tests", "audio_server")],
                            env=dict(env, QV_TEST_AUDIO_SERVER=kind), stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    line = proc.stdout.readline().decode().split()
    if len(line) != 2 or line[0] != kind:
        stop(proc)
        raise RuntimeError(f"the private {kind} audio server did not start")
    env["PULSE_SERVER"] = line[1]
    return proc


def measure(name, argv, build, watcher, audio, settle, seconds, extra_env=None):
    folder = tempfile.mkdtemp(prefix="qv-idle-")
    env = {k: v for k, v in os.environ.items()
           if k not in ("WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "QT_QPA_PLATFORM",
                        "DBUS_SESSION_BUS_ADDRESS", "PULSE_SERVER", "PIPEWIRE_REMOTE")}
    for sub in ("home", "data", "config", "runtime", "cache"):
        os.makedirs(os.path.join(folder, sub), mode=0o700)
    env.update(HOME=f"{folder}/home", XDG_DATA_HOME=f"{folder}/data",
               XDG_CONFIG_HOME=f"{folder}/config", XDG_RUNTIME_DIR=f"{folder}/runtime",
               XDG_CACHE_HOME=f"{folder}/cache", BROWSER="true")
    env.update(extra_env or {})
    helpers = []
    try:
        helpers.append(start_audio(env, build, audio))
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
        s0, c0, t0 = thread_switches(app.pid), cpu_seconds(app.pid), time.monotonic()
        time.sleep(seconds)
        s1, c1, t1 = thread_switches(app.pid), cpu_seconds(app.pid), time.monotonic()
        per_thread = {k: (v - s0.get(k, 0)) / (t1 - t0) for k, v in s1.items()}
        return {"wakeups": sum(per_thread.values()), "cpu": (c1 - c0) / (t1 - t0) * 60 * 1000,
                "rss": peak_rss_mib(app.pid), "threads": per_thread}
    finally:
        for proc in reversed(helpers):
            stop(proc)
        shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--seconds", type=int, default=120)
    parser.add_argument("--settle", type=int, default=15)
    parser.add_argument("--threads", action="store_true")
    parser.add_argument("--audio", help="comma-separated kinds (default: every kind available)")
    parser.add_argument("--only", help="run only this program (quorvia or copyq)")
    args = parser.parse_args()
    kinds = args.audio.split(",") if args.audio else audio_kinds()
    if not kinds:
        sys.exit("no audio server is available (pulseaudio, or pipewire with pipewire-pulse)")
    agent = [os.path.join(args.build, "stage", "bin", "quorvia")]
    programs = [(n, a) for n, a in (("quorvia", agent), ("copyq", ["copyq"]))
                if not args.only or n == args.only]
    runs = [(kind, True) for kind in kinds] + [(kinds[0], False)]
    rows = []
    for kind, watcher in runs:
        tray = "StatusNotifierItem" if watcher else "X11 tray (XEmbed)"
        for name, argv in programs:
            r = measure(name, argv, args.build, watcher, kind, args.settle, args.seconds,
                        {"QT_QPA_PLATFORM": "xcb"})
            rows.append((name, AUDIO_NAMES.get(kind, kind), tray, r))
            print(f"  measured {name} with {kind}, {tray}", file=sys.stderr)
    print(f"Idle cost over {args.seconds} s after {args.settle} s of settling (wake-ups = "
          f"voluntary context switches of all threads per second; RSS = peak resident memory)")
    print(f"{'program':<9} {'audio server':<17} {'tray':<19} {'wake-ups/s':>10} "
          f"{'CPU ms/min':>10} {'peak RSS MiB':>12}")
    for name, audio, tray, r in rows:
        print(f"{name:<9} {audio:<17} {tray:<19} {r['wakeups']:>10.2f} {r['cpu']:>10.1f} "
              f"{r['rss']:>12.1f}")
    if args.threads:
        for name, audio, tray, r in rows:
            busy = sorted(r["threads"].items(), key=lambda kv: -kv[1])
            listed = ", ".join(f"{n} {v:.2f}" for (_, n), v in busy if v >= 0.01)
            print(f"{name}, {audio}, {tray}: {listed}")


if __name__ == "__main__":
    main()
