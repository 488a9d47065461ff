"""The backend's child processes: started directly (never through a shell) and tied to the
backend's life, so that a backend that is killed leaves no recorder running on its own.

Start children from the event loop's thread: the kernel signals a child when the thread that
started it ends, and that thread lives as long as the backend.
"""
import ctypes
import os
import signal
import subprocess

_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def _tie_to(parent: int, death_signal: int):
    def tie():
        _libc.prctl(_PR_SET_PDEATHSIG, death_signal)
        if os.getppid() != parent:  # the backend died before the tie was made
            os._exit(1)
    return tie


def spawn(args: list[str], death_signal: int | None = signal.SIGTERM, **options) -> subprocess.Popen:
    """Starts a child that gets `death_signal` when the backend ends (SIGTERM finalises the
    recorders we run: parec, hc-screen). None for a child that ends by itself once the others
    have: the sound encoder ends cleanly when its inputs end, and a signal on top would cut its
    file short."""
    options.setdefault("stdin", subprocess.DEVNULL)
    tie = _tie_to(os.getpid(), death_signal) if death_signal else None
    return subprocess.Popen(args, preexec_fn=tie, **options)


def lower_priority():
    """For work after a recording: the desktop and a new recording come first."""
    os.nice(10)


def end(proc: subprocess.Popen | None, first=signal.SIGTERM, wait: float = 10.0) -> None:
    """Asks a child to end with `first`, kills it after `wait` seconds, and reaps it."""
    if proc is None:
        return
    if proc.poll() is None:
        proc.send_signal(first)
        try:
            proc.wait(timeout=wait)
        except subprocess.TimeoutExpired:
            proc.kill()
    proc.wait()


def clock(seconds: float) -> str:
    """m:ss (h:mm:ss from an hour on), as the meeting page shows times."""
    s = max(0, int(seconds))
    return f"{s // 3600}:{s // 60 % 60:02d}:{s % 60:02d}" if s >= 3600 else f"{s // 60}:{s % 60:02d}"
