"""Runs `hc-screen record` beside a recording made with the screen, and `hc-screen ocr` after it.

Threading: start() runs on the event loop's thread (it starts the child); a reader thread notes
when the tool reports that capture has started; stop() and read_text() may run on any thread.
"""
import json
import signal
import subprocess
import threading
import time
from pathlib import Path

from .children import end, lower_priority, spawn
from .settings import screen_tool


class ScreenRecorder:
    def __init__(self):
        self.proc: subprocess.Popen | None = None
        self.started: float | None = None  # time.monotonic() when capture began
        self.reader: threading.Thread | None = None
        self.stop_asked = False

    def start(self, folder: Path) -> list[str]:
        """Starts recording into folder/screen.mp4 and folder/frames; returns notes on failure."""
        self.proc, self.started, self.stop_asked = None, None, False
        tool = screen_tool()
        if tool is None:
            return ["The screen was not recorded: hc-screen was not found."]
        folder.mkdir(parents=True, exist_ok=True)
        with open(folder / "screen.log", "wb") as log:
            try:
                self.proc = spawn([str(tool), "record", str(folder / "screen.mp4"), str(folder / "frames")],
                                  stdout=subprocess.PIPE, stderr=log)
            except OSError as e:
                return [f"The screen was not recorded: hc-screen could not be started ({e.strerror})."]
        self.reader = threading.Thread(target=self._read, args=(self.proc,), daemon=True)
        self.reader.start()
        return []

    def _read(self, proc: subprocess.Popen) -> None:
        for line in proc.stdout:  # "recording" once capture runs; nothing else
            if line.strip() == b"recording" and self.started is None:
                self.started = time.monotonic()
        proc.stdout.close()

    def stop(self, folder: Path) -> list[str]:
        """SIGINT lets the tool finalise its video; it ends within about 25 s. Returns notes on
        what went wrong, with the tool's own error line."""
        if self.proc is None:
            return []
        proc, self.proc = self.proc, None
        ended_before = proc.poll() is not None
        end(proc, first=signal.SIGINT, wait=30)
        if self.reader:
            self.reader.join(timeout=5)
        try:
            lines = (folder / "screen.log").read_text(errors="replace").strip().splitlines()
        except OSError:
            lines = []
        why = lines[-1] if lines else f"hc-screen ended with status {proc.returncode}"
        if self.started is None:
            return [f"The screen was not recorded: {why}"]
        if ended_before:
            return [f"The screen recording ended early: {why}"]
        return []


def read_text(frames: Path) -> list[dict]:
    """The text on the stills, one {"t", "file", "text"} per readable still, by `hc-screen ocr`.
    Raises RuntimeError with the reason when the tool is missing or fails."""
    tool = screen_tool()
    if tool is None:
        raise RuntimeError("hc-screen was not found")
    try:
        done = subprocess.run([str(tool), "ocr", str(frames)], capture_output=True, timeout=3600,
                              stdin=subprocess.DEVNULL, preexec_fn=lower_priority)
    except (OSError, subprocess.TimeoutExpired) as e:
        raise RuntimeError(str(e)) from e
    if done.returncode != 0:
        raise RuntimeError(done.stderr.decode(errors="replace").strip() or f"status {done.returncode}")
    try:
        stills = json.loads(done.stdout)
    except ValueError as e:
        raise RuntimeError("its output is not JSON") from e
    return [{"t": int(s["t"]), "file": str(s["file"]), "text": str(s["text"])}
            for s in stills if isinstance(s, dict) and {"t", "file", "text"} <= s.keys()]
