"""The meeting's sound: the default microphone and what the default output plays (its monitor),
each as its own Opus track of one Ogg file, through the audio server the desktop runs
(PulseAudio, or PipeWire's PulseAudio service).

Each device is read by a `parec` of its own, which pipes raw samples into one `ffmpeg` that
encodes both and writes the Ogg pages out as they fill: a killed encoder or backend leaves a file
that plays up to its last second, and a reader that ends (its device went away) ends only its
own track. The audio server moves a stream whose device went away to another device (a
microphone stream onto the speakers' monitor, say); a watcher ends such a reader instead, so a
track never records a device it was not meant for.

Threading: start() and stop() run on the event loop's thread (they start children); the watcher
thread only ends readers and records when things ended, under the lock.
"""
import fcntl
import json
import os
import subprocess
import threading
import time
from dataclasses import dataclass
from pathlib import Path

from .children import clock, end, spawn

RATE = 48000
LABELS = {"microphone": "Microphone", "speakers": "Speakers"}
BITRATES = {"microphone": "32k", "speakers": "64k"}
PIPE_BYTES = 1 << 20  # about five seconds of 48 kHz stereo samples


@dataclass
class Track:
    name: str  # "microphone" or "speakers"
    device: str  # the audio server's source name
    index: int  # ... and its index, to see the stream moved elsewhere
    channels: int
    proc: subprocess.Popen | None = None
    ended: float | None = None  # seconds into the recording when it ended early
    # Its stream was seen on its device: PipeWire reports a new stream on another source until
    # the stream is linked, which is no move.
    arrived: bool = False


def pactl(*args: str):
    out = subprocess.run(["pactl", "-f", "json", *args], capture_output=True, timeout=10,
                         stdin=subprocess.DEVNULL, check=True).stdout
    return json.loads(out)


def find_devices() -> tuple[list[Track], list[str]]:
    """The tracks to record (the default source unless it is a monitor, and the default
    sink's monitor), and notes on what is missing."""
    try:
        info, sinks, sources = pactl("info"), pactl("list", "sinks"), pactl("list", "sources")
    except (OSError, subprocess.SubprocessError, ValueError):
        return [], ["No sound was recorded: no audio server answered."]
    index = {s.get("name"): s.get("index") for s in sources}
    monitors = {s.get("monitor_source") for s in sinks}
    tracks = []
    mic = info.get("default_source_name")
    if mic in index and mic not in monitors:
        tracks.append(Track("microphone", mic, index[mic], 1))
    sink = next((s for s in sinks if s.get("name") == info.get("default_sink_name")), None)
    monitor = sink.get("monitor_source") if sink else None
    if monitor in index:
        tracks.append(Track("speakers", monitor, index[monitor], 2))
    names = [t.name for t in tracks]
    if not names:
        return [], ["No sound was recorded: the audio server has no microphone and no output."]
    if names == ["speakers"]:
        return tracks, ["No microphone was found: only what the speakers played was recorded."]
    if names == ["microphone"]:
        return tracks, ["No output was found: only the microphone was recorded."]
    return tracks, []


def probe(file: Path) -> list[dict]:
    """ffprobe's view of a sound file's tracks (their "duration" and "tags"); [] when it has none."""
    try:
        done = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=duration:stream_tags=title",
                               "-of", "json", str(file)], capture_output=True, stdin=subprocess.DEVNULL, timeout=60)
        return json.loads(done.stdout).get("streams", [])
    except (OSError, subprocess.TimeoutExpired, ValueError):
        return []


def track_names(file: Path) -> list[str]:
    """The names of a sound file's tracks, from the titles the recorder gave them."""
    names = {label: name for name, label in LABELS.items()}
    return [names.get(s.get("tags", {}).get("title"), "unknown") for s in probe(file)]


class AudioCapture:
    """One recording's sound at a time."""

    def __init__(self):
        self.lock = threading.Lock()
        self.tracks: list[Track] = []
        self.encoder: subprocess.Popen | None = None
        self.encoder_ended: float | None = None
        self.subscriber: subprocess.Popen | None = None
        self.threads: list[threading.Thread] = []
        self.stopping = threading.Event()
        self.changed = threading.Event()
        self.t0 = self.stopped = 0.0

    def start(self, folder: Path, tracks: list[Track]) -> tuple[list[str], list[str]]:
        """Starts recording `tracks` into folder/audio.ogg; returns the names of the tracks in
        the file and notes on what could not be started."""
        self.tracks, self.encoder, self.encoder_ended = [], None, None
        self.stopping.clear()
        if not tracks:
            return [], []
        folder.mkdir(parents=True, exist_ok=True)
        log = open(folder / "audio.log", "ab")
        # The encoder starts first and the readers after it, each into a pipe that holds a few
        # seconds: a reader must never wait on an encoder that is still starting (on a busy
        # machine that takes a second or more), or the audio server drops what it captured.
        pipes = [os.pipe() for _ in tracks]
        for read, _ in pipes:
            try:
                fcntl.fcntl(read, fcntl.F_SETPIPE_SZ, PIPE_BYTES)
            except OSError:
                pass  # the system's limit for pipes is lower: the default size then
        try:
            inputs, outputs = [], []
            for i, (track, (read, _)) in enumerate(zip(tracks, pipes)):
                inputs += ["-thread_queue_size", "1024", "-f", "s16le", "-ar", str(RATE),
                           "-ac", str(track.channels), "-i", f"pipe:{read}"]
                outputs += ["-map", f"{i}:a", f"-b:a:{i}", BITRATES[track.name],
                            f"-metadata:s:a:{i}", f"title={LABELS[track.name]}"]
            try:
                self.encoder = spawn(
                    ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", *inputs, *outputs,
                     "-c:a", "libopus", "-flush_packets", "1", "-max_interleave_delta", "0", "-page_duration", "250000",
                     "-f", "ogg", "-y", str(folder / "audio.ogg")],
                    stdout=subprocess.DEVNULL, stderr=log, pass_fds=[read for read, _ in pipes],
                    death_signal=None)
            except OSError as e:
                return [], [f"No sound was recorded: ffmpeg could not be started ({e.strerror})."]
            for read, _ in pipes:
                os.close(read)
            pipes = [(None, write) for _, write in pipes]
            for track, (_, write) in zip(tracks, pipes):
                try:
                    track.proc = spawn(
                        ["parec", f"--device={track.device}", "--raw", "--format=s16le",
                         f"--rate={RATE}", f"--channels={track.channels}", "--client-name=Quorvia",
                         f"--stream-name=Quorvia {track.name}", "--latency-msec=100",
                         "--property=node.dont-reconnect=true"],
                        stdout=write, stderr=log)
                except OSError as e:
                    self._end_all(tracks)
                    for _, w in pipes:  # the encoder ends once every input has ended
                        if w is not None:
                            os.close(w)
                    pipes = []
                    end(self.encoder, wait=20)
                    self.encoder = None
                    return [], [f"No sound was recorded: parec could not be started ({e.strerror})."]
        finally:
            for read, write in pipes:
                for fd in (read, write):
                    if fd is not None:
                        os.close(fd)
            log.close()
        self.t0 = time.monotonic()
        self.tracks = tracks
        self._watch()
        return [t.name for t in tracks], []

    def stop(self) -> list[str]:
        """Ends the recording and lets the encoder finish its file; returns notes on what ended
        early. May run on any thread once start() has returned."""
        if self.encoder is None:
            return []
        self.stopping.set()
        self.stopped = time.monotonic()
        for track in self.tracks:  # the encoder ends when its inputs end
            end(track.proc, wait=5)
        end(self.encoder, wait=20)
        end(self.subscriber, wait=5)
        for thread in self.threads:
            thread.join(timeout=10)
        notes = []
        if self.encoder_ended is not None:
            notes.append(f"The sound stops at {clock(self.encoder_ended)}: its encoder ended early.")
        for track in self.tracks:
            if track.ended is not None and (self.encoder_ended is None or track.ended < self.encoder_ended):
                what = "microphone" if track.name == "microphone" else "output (what the speakers play)"
                notes.append(f"The {what} went away at {clock(track.ended)}; its track ends there.")
        self.encoder, self.subscriber, self.threads = None, None, []
        return notes

    def began(self, file: Path) -> float:
        """When (time.monotonic()) the file's sound begins, after stop(): the stop time less the
        length of a track that ran until then. An audio server starts delivering a moment after
        a reader connects, so the start of the readers would put the video out of step."""
        lengths = [s.get("duration") for s in probe(file)]
        for i, track in enumerate(self.tracks):
            if track.ended is None and self.encoder_ended is None and i < len(lengths):
                try:
                    return self.stopped - float(lengths[i])
                except (TypeError, ValueError):
                    break
        return self.t0

    @staticmethod
    def _end_all(tracks: list[Track]) -> None:
        for track in tracks:
            end(track.proc, wait=5)

    def _elapsed(self) -> float:
        return time.monotonic() - self.t0

    # The watcher ---------------------------------------------------------
    def _watch(self) -> None:
        try:
            self.subscriber = spawn(["pactl", "subscribe"], stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL)
        except OSError:
            self.subscriber = None
        self.threads = [threading.Thread(target=self._follow, daemon=True),
                        threading.Thread(target=self._listen, daemon=True)]
        for thread in self.threads:
            thread.start()

    def _listen(self) -> None:
        """Wakes the watcher on every change of the audio server's capture streams or sources."""
        if self.subscriber is None:
            return
        for line in self.subscriber.stdout:
            if b"source" in line:
                self.changed.set()
        self.subscriber.stdout.close()

    def _follow(self) -> None:
        self.changed.set()
        while not self.stopping.is_set():
            if self.changed.wait(0.5):
                self.changed.clear()
                self._end_moved()
            with self.lock:
                for track in self.tracks:
                    if track.ended is None and track.proc.poll() is not None and not self.stopping.is_set():
                        track.ended = self._elapsed()
                if self.encoder_ended is None and self.encoder.poll() is not None and not self.stopping.is_set():
                    self.encoder_ended = self._elapsed()
                    for track in self.tracks:
                        if track.proc.poll() is None:
                            track.proc.terminate()

    def _end_moved(self) -> None:
        """Ends the readers whose stream the audio server moved off their device."""
        try:
            outputs = pactl("list", "source-outputs")
        except (OSError, subprocess.SubprocessError, ValueError):
            return
        where = {str(o.get("properties", {}).get("application.process.id")): o.get("source")
                 for o in outputs}
        with self.lock:
            for track in self.tracks:
                source = where.get(str(track.proc.pid))
                if source == track.index:
                    track.arrived = True
                elif track.arrived and track.ended is None and source is not None \
                        and not self.stopping.is_set():
                    track.ended = self._elapsed()
                    track.proc.terminate()
