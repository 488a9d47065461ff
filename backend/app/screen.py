"""Runs `hc-screen record` beside a recording made with the screen."""
import signal
import subprocess
from pathlib import Path

from .settings import screen_tool


class ScreenRecorder:
    def __init__(self):
        self.proc: subprocess.Popen | None = None

    def start(self, folder: Path) -> bool:
        tool = screen_tool()
        if tool is None:
            return False
        folder.mkdir(parents=True, exist_ok=True)
        log = open(folder / "screen.log", "wb")
        self.proc = subprocess.Popen(
            [str(tool), "record", str(folder / "screen.mp4"), str(folder / "frames")],
            stdout=log, stderr=subprocess.STDOUT,
        )
        log.close()
        return True

    def stop(self) -> None:
        """SIGINT lets the tool finalise its video; it ends within about 25 s."""
        if self.proc is None:
            return
        proc, self.proc = self.proc, None
        if proc.poll() is None:
            proc.send_signal(signal.SIGINT)
            try:
                proc.wait(timeout=30)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
