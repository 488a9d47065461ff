"""The running recording (its sound and its screen) and the work that follows each stop: a mix of
the sound's tracks for playback, and the text read from the stills.

Threading: everything here is called on the event loop's thread; the slow parts run in worker
threads and hand their results back before anything is written to the store.
"""
import asyncio
import json
import os
import shutil
import subprocess
from pathlib import Path

from .audio import AudioCapture, find_devices, track_names
from .children import lower_priority
from .screen import ScreenRecorder, read_text
from .store import Store


class Session:
    def __init__(self, store: Store, data: Path):
        self.store, self.data = store, data
        self.audio = AudioCapture()
        self.screen = ScreenRecorder()
        self.recording = None  # the store's row of the running recording
        self.tracks: list[str] = []
        self.notes: list[str] = []
        # Starts and stops one at a time: a stop that comes while a start still looks for the
        # audio devices waits for it, so nothing is left recording.
        self.lock = asyncio.Lock()
        self.work = asyncio.Lock()  # the after-stop work, one recording at a time
        self.tasks: set[asyncio.Task] = set()

    def folder(self, row) -> Path:
        return self.data / row["folder"]

    async def start(self, row) -> None:
        """Starts the recording's children; stop() ends whatever started, even after a failure."""
        self.recording, self.tracks, self.notes = row, [], []
        self.screen.started = None
        folder = self.folder(row)
        folder.mkdir(parents=True, exist_ok=True)
        tracks, self.notes = await asyncio.to_thread(find_devices)
        self.tracks, more = self.audio.start(folder, tracks)
        self.notes += more
        if row["screen"]:
            self.notes += self.screen.start(folder)

    async def stop(self) -> None:
        """Ends the running recording's children, describes what they wrote and starts the
        after-stop work."""
        row, self.recording = self.recording, None
        if row is None:
            return
        folder = self.folder(row)
        audio_notes, screen_notes = await asyncio.gather(
            asyncio.to_thread(self.audio.stop), asyncio.to_thread(self.screen.stop, folder))
        offset = None
        if self.tracks and self.screen.started is not None:
            began = await asyncio.to_thread(self.audio.began, folder / "audio.ogg")
            offset = round(self.screen.started - began, 3)
        self.store.describe(row["id"], self.tracks, offset, self.notes + audio_notes + screen_notes)
        self.process(row["id"])

    def process(self, recording_id: int) -> None:
        task = asyncio.create_task(self._process(recording_id))
        self.tasks.add(task)
        task.add_done_callback(self.tasks.discard)

    async def _process(self, recording_id: int) -> None:
        async with self.work:
            row = self.store.recording(recording_id)
            if row is None:
                return
            folder, notes, stills = self.folder(row), [], []
            tracks = json.loads(row["tracks"])
            if not tracks and (folder / "audio.ogg").exists():  # left by a backend that died
                tracks = await asyncio.to_thread(track_names, folder / "audio.ogg")
                self.store.describe(recording_id, tracks, row["screen_offset"], [])
            if len(tracks) > 1:
                problem = await asyncio.to_thread(mix, folder)
                if problem:
                    notes.append(f"The tracks could not be mixed for playback: {problem}")
            frames = folder / "frames"
            if frames.is_dir() and any(frames.glob("*.jpg")):
                try:
                    stills = await asyncio.to_thread(read_text, frames)
                except RuntimeError as e:
                    notes.append(f"The text on the screen could not be read: {e}")
            self.store.add_notes(recording_id, notes)
            self.store.finish_processing(recording_id, stills)

    async def remove_folder(self, folder: Path) -> None:
        """Removes a deleted meeting's folder; after-stop work still writing into it is waited
        for and the removal done again."""
        shutil.rmtree(folder, ignore_errors=True)
        if folder.exists():
            async with self.work:
                shutil.rmtree(folder, ignore_errors=True)


def mix(folder: Path) -> str | None:
    """folder/mix.ogg: the sound's tracks mixed into one, which a browser plays (it plays only
    the first track of a file). Returns the problem, or None."""
    part = folder / "mix.part"
    try:
        done = subprocess.run(
            ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-i", str(folder / "audio.ogg"),
             "-filter_complex", "[0:a:0][0:a:1]amix=inputs=2:duration=longest:normalize=0",
             "-c:a", "libopus", "-b:a", "64k", "-f", "ogg", "-y", str(part)],
            capture_output=True, stdin=subprocess.DEVNULL, timeout=3600, preexec_fn=lower_priority)
    except (OSError, subprocess.TimeoutExpired) as e:
        return str(e)
    if done.returncode != 0:
        part.unlink(missing_ok=True)
        lines = done.stderr.decode(errors="replace").strip().splitlines()
        return lines[-1] if lines else f"ffmpeg ended with status {done.returncode}"
    os.replace(part, folder / "mix.ogg")
    return None

