"""What the backend's tests start for themselves: the stand-in backend as the agent starts it, a
private audio server of the kind this machine runs, a virtual display, and ways to look at the
sound files the backend writes."""
import array
import json
import math
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import urllib.error
import urllib.request
from pathlib import Path

APP_DIR = os.environ["QV_APP_DIR"]
PYTHON = os.environ["QV_PYTHON"]
BIN_DIR = os.environ.get("QV_BIN_DIR", "")


def free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(condition, timeout: float = 30, every: float = 0.1):
    """Polls `condition` until it gives something true, which is returned; None after `timeout`."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result or time.monotonic() > deadline:
            return result
        time.sleep(every)


def children(pid: int) -> dict[int, str]:
    """The processes whose parent is `pid`, with their command names."""
    out = {}
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            stat = (entry / "stat").read_text()
        except OSError:
            continue
        name = stat[stat.index("(") + 1:stat.rindex(")")]
        if int(stat[stat.rindex(")") + 2:].split()[1]) == pid:
            out[int(entry.name)] = name
    return out


def alive(pid: int) -> bool:
    try:
        state = Path(f"/proc/{pid}/stat").read_text()
    except OSError:
        return False
    return state[state.rindex(")") + 2] != "Z"


class Backend:
    """The stand-in, started as the agent starts it: its interpreter, `-m uvicorn app.main:app`,
    from the app folder, with HALCYRA_DATA (a temporary folder unless one is given)."""

    def __init__(self, control: bool = True, env: dict | None = None, data: str | None = None):
        self.owned = None if data else tempfile.TemporaryDirectory()
        self.data = Path(data or self.owned.name)
        self.port = free_port()
        # Without an audio server of the test's own, none: never the desktop's microphone.
        full = {**os.environ, "HALCYRA_DATA": str(self.data), "PULSE_SERVER": "unix:/nonexistent/native",
                **(env or {})}
        full = {k: v for k, v in full.items() if v is not None}  # None: leave the variable out
        full.pop("QV_BACKEND_CONTROL", None)
        if control:
            full["QV_BACKEND_CONTROL"] = "1"
        self.log = open(self.data / "server.log", "ab")
        self.proc = subprocess.Popen(
            [PYTHON, "-m", "uvicorn", "app.main:app", "--host", "127.0.0.1", "--port", str(self.port)],
            cwd=APP_DIR, env=full, stdout=self.log, stderr=self.log, stdin=subprocess.DEVNULL)
        if not wait_for(lambda: self._answers() or self.proc.poll() is not None, 30) or self.proc.poll() is not None:
            self.close()
            raise RuntimeError(f"the backend did not come up; see {self.data / 'server.log'}")

    def _answers(self) -> bool:
        try:
            return self.call("GET", "/api/status")[0] == 200
        except OSError:
            return False

    def call(self, method, path, body=None, raw=None, headers=None, timeout=60):
        data = raw if raw is not None else (json.dumps(body).encode() if body is not None else None)
        req = urllib.request.Request(f"http://127.0.0.1:{self.port}{path}", data=data, method=method)
        if data is not None:
            req.add_header("Content-Type", "application/json")
        for key, value in (headers or {}).items():
            req.add_header(key, value)
        try:
            with urllib.request.urlopen(req, timeout=timeout) as resp:
                status, kind, payload = resp.status, resp.headers.get_content_type(), resp.read()
        except urllib.error.HTTPError as e:
            status, kind, payload = e.code, e.headers.get_content_type(), e.read()
        if kind == "application/json":
            return status, json.loads(payload)
        return status, payload.decode() if kind.startswith("text/") else (payload or None)

    def meeting(self, mid: str) -> dict:
        return self.call("GET", f"/api/meetings/{mid}")[1]

    def processed(self, mid: str, timeout: float = 120) -> dict:
        """The meeting once the work after its recordings' stops is done."""
        done = wait_for(lambda: (m := self.meeting(mid)) and all(p["processed"] for p in m["parts"]) and m,
                        timeout, 0.3)
        if not done:
            raise AssertionError(f"the meeting was not processed in time: {self.meeting(mid)}")
        return done

    def helpers(self) -> dict[int, str]:
        return children(self.proc.pid)

    def kill(self) -> None:
        self.proc.kill()
        self.proc.wait(10)

    def close(self) -> None:
        self.stop()
        self.log.close()
        if self.owned:
            self.owned.cleanup()

    def stop(self) -> None:
        """Stops the backend as the agent does (SIGTERM), keeping its data folder."""
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(40)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class AudioServer:
    """A private audio server of the kind installed here: PulseAudio's daemon where `pulseaudio`
    is installed, else PipeWire with WirePlumber and its PulseAudio service, in a runtime folder
    of its own with a D-Bus session of its own. Its default output is "speakers"; its default
    microphone is "microphone", which hears what is played into the output "mic_feed"."""

    def __init__(self):
        self.dir = Path(tempfile.mkdtemp(prefix="qv-audio-"))
        self.run = self.dir / "run"
        self.run.mkdir(mode=0o700)
        self.procs: list[subprocess.Popen] = []
        self.env = {"HOME": str(self.dir), "XDG_RUNTIME_DIR": str(self.run),
                    "XDG_CONFIG_HOME": str(self.dir / "config"), "XDG_STATE_HOME": str(self.dir / "state")}
        self.kind = os.environ.get("QV_TEST_AUDIO_SERVER") or (
            "pulseaudio" if shutil.which("pulseaudio") or not shutil.which("pipewire-pulse") else "pipewire")
        self.microphone_module = None

    def client_env(self) -> dict:
        """What a client of this server (the backend) needs in its environment."""
        return {"PULSE_SERVER": self.server}

    def _spawn(self, args, env):
        log = open(self.dir / (Path(args[0]).name + ".log"), "ab")
        self.procs.append(subprocess.Popen(args, env=env, stdout=log, stderr=log, stdin=subprocess.DEVNULL))
        log.close()

    def start(self) -> "AudioServer":
        env = {k: v for k, v in os.environ.items() if k not in ("DBUS_SESSION_BUS_ADDRESS", "DISPLAY",
                                                                 "WAYLAND_DISPLAY", "PULSE_SERVER")}
        env.update(self.env)
        if self.kind == "pulseaudio":
            self.server = f"unix:{self.dir}/native"
            self._spawn(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                         "--disallow-module-loading=no", "-L",
                         f"module-native-protocol-unix auth-anonymous=1 socket={self.dir}/native"], env)
        else:
            bus = f"unix:path={self.dir}/bus"
            self._spawn(["dbus-daemon", "--session", "--nofork", f"--address={bus}"], env)
            if not wait_for(lambda: (self.dir / "bus").exists(), 10):
                raise RuntimeError("the D-Bus session did not start")
            env["DBUS_SESSION_BUS_ADDRESS"] = bus
            self.server = f"unix:{self.run}/pulse/native"
            self._leave_the_machines_devices_alone()
            # The session manager gives up at once when the graph does not listen yet.
            self._spawn(["pipewire"], env)
            if not wait_for(lambda: (self.run / "pipewire-0").exists(), 10):
                self.stop()
                raise RuntimeError(f"PipeWire did not start; see {self.dir}")
            for program in ("wireplumber", "pipewire-pulse"):
                self._spawn([program], env)
        if not wait_for(lambda: self.pactl("info", check=False) is not None, 20):
            self.stop()
            raise RuntimeError(f"the {self.kind} audio server did not start; see {self.dir}")
        self.pactl("load-module", "module-null-sink", "sink_name=speakers")
        self.pactl("load-module", "module-null-sink", "sink_name=mic_feed")
        # PipeWire's service takes a default device only once its session manager keeps the
        # defaults, a moment after it answers.
        if not wait_for(lambda: self.pactl("set-default-sink", "speakers", check=False) is not None, 20):
            raise RuntimeError("the audio server does not take a default output")
        self.add_microphone()
        return self

    def _leave_the_machines_devices_alone(self) -> None:
        """The private session manager must not take the machine's sound cards, cameras or
        Bluetooth devices from the user's own audio server."""
        config = self.dir / "config" / "wireplumber"
        for part, monitors in (("main", ("alsa", "v4l2", "libcamera")), ("bluetooth", ("bluez",))):
            folder = config / f"{part}.lua.d"
            folder.mkdir(parents=True, exist_ok=True)
            (folder / "51-private-test-server.lua").write_text(
                "".join(f"{m}_monitor.enabled = false\n" for m in monitors))

    def add_microphone(self) -> None:
        self.microphone_module = self.pactl(
            "load-module", "module-remap-source", "master=mic_feed.monitor", "source_name=microphone").strip()
        if not wait_for(lambda: "microphone" in self.names("sources"), 10):
            raise RuntimeError("the microphone did not appear")
        wait_for(lambda: self.pactl("set-default-source", "microphone", check=False) is not None, 10)
        wait_for(lambda: json.loads(self.pactl("-f", "json", "info")).get("default_source_name") == "microphone", 10)

    def remove_microphone(self) -> None:
        self.pactl("unload-module", self.microphone_module)
        wait_for(lambda: "microphone" not in self.names("sources"), 10)

    def names(self, what: str) -> list[str]:
        return [s["name"] for s in json.loads(self.pactl("-f", "json", "list", what))]

    def pactl(self, *args, check=True) -> str | None:
        done = subprocess.run(["pactl", f"--server={self.server}", *args], capture_output=True, text=True,
                              stdin=subprocess.DEVNULL, timeout=20)
        if done.returncode != 0:
            if check:
                raise RuntimeError(f"pactl {' '.join(args)}: {done.stderr.strip()}")
            return None
        return done.stdout

    def play(self, sink: str, frequency: int) -> subprocess.Popen:
        """Plays a sine tone into `sink` until the returned process is ended. It asks for a short
        buffer: a virtual output otherwise works in blocks of seconds, and its monitor would
        deliver the first sound only that long after a recorder connects."""
        proc = subprocess.Popen(
            ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-re", "-f", "lavfi", "-i",
             f"sine=frequency={frequency}:sample_rate=48000", "-f", "pulse", "-server", self.server,
             "-buffer_duration", "40", "-device", sink, "tone"], stdin=subprocess.DEVNULL)
        self.procs.insert(0, proc)
        if not wait_for(lambda: self._latency(sink) < 100_000, 20):
            raise RuntimeError(f"the tone did not reach {sink}")
        return proc

    def _latency(self, sink: str) -> float:
        for s in json.loads(self.pactl("-f", "json", "list", "sinks")):
            if s["name"] == sink and s["state"] == "RUNNING":
                return s["latency"]["configured"]
        return float("inf")

    def stop(self) -> None:
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.kill()
            proc.wait()
        self.procs.clear()
        shutil.rmtree(self.dir, ignore_errors=True)


class Xvfb:
    """A virtual X display for one test."""

    def __init__(self, width=1280, height=720):
        read, write = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", f"{width}x{height}x24", "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        if not number:
            self.close()
            raise RuntimeError("Xvfb did not start")
        self.display = f":{number}"

    def close(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
        self.proc.wait(10)


# Sound files ---------------------------------------------------------------
def streams(file: Path) -> list[dict]:
    """ffprobe's view of the file's streams: codec_name, duration, tags."""
    done = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                           "stream=codec_name,codec_type,channels,duration:stream_tags=title",
                           "-of", "json", str(file)], capture_output=True, check=True, timeout=60)
    return json.loads(done.stdout)["streams"]


def decode(file: Path, track: int, rate: int = 8000, finished: bool = True) -> array.array:
    """A track's samples, mono, as 16-bit integers. The whole file must decode without a
    complaint; one that was never `finished` may only lack its proper end."""
    done = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", str(file), "-map", f"0:a:{track}",
                           "-ac", "1", "-ar", str(rate), "-f", "s16le", "-"],
                          capture_output=True, timeout=120)
    complaints = [line for line in done.stderr.decode(errors="replace").splitlines()
                  if finished or not line.endswith(": End of file")]
    if complaints or (finished and done.returncode != 0):
        raise AssertionError(f"{file} track {track} does not decode: {complaints!r}")
    samples = array.array("h")
    samples.frombytes(done.stdout)
    return samples


def tone_level(samples, frequency: float, rate: int = 8000) -> float:
    """The strength of one frequency in the samples (Goertzel), per sample."""
    coefficient = 2 * math.cos(2 * math.pi * frequency / rate)
    s1 = s2 = 0.0
    for x in samples:
        s1, s2 = x + coefficient * s1 - s2, s1
    return math.sqrt(max(0.0, s1 * s1 + s2 * s2 - coefficient * s1 * s2)) / max(1, len(samples))


def ogg_duration(file: Path) -> list[float]:
    return [float(s.get("duration", 0)) for s in streams(file)]


def still(path: Path, text: str, width=1280, height=720) -> None:
    """A JPEG still like the recorder's, of a white screen with `text` on it in large letters."""
    font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
    lines = ",".join(f"drawtext=fontfile={font}:text='{line}':fontsize=56:fontcolor=black:x=80:y={120 + 90 * i}"
                     for i, line in enumerate(text.split("\n")))
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", f"color=white:s={width}x{height}",
                    "-vf", lines, "-frames:v", "1", "-y", str(path)], check=True, timeout=60)
