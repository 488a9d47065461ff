"""Meetings, recordings and settings in SQLite ("halcyra.db" in the data folder).

One connection, used from the event loop's thread only (uvicorn runs handlers there).
"""
import sqlite3
import uuid
from datetime import datetime, timezone
from pathlib import Path

SCHEMA = """
CREATE TABLE IF NOT EXISTS meetings (
    id TEXT PRIMARY KEY,
    title TEXT NOT NULL,
    created_at TEXT NOT NULL,
    event_key TEXT UNIQUE
);
CREATE TABLE IF NOT EXISTS recordings (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    meeting_id TEXT NOT NULL REFERENCES meetings(id),
    started_at TEXT NOT NULL,
    stopped_at TEXT,
    app TEXT,
    screen INTEGER NOT NULL DEFAULT 0,
    superseded INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS runs (
    id TEXT PRIMARY KEY,
    meeting_id TEXT NOT NULL REFERENCES meetings(id),
    created_at TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS settings (key TEXT PRIMARY KEY, value TEXT NOT NULL);
"""


def now_iso() -> str:
    """UTC, whole seconds, with a zone designator: the form the agent parses."""
    return datetime.now(timezone.utc).replace(microsecond=0).strftime("%Y-%m-%dT%H:%M:%SZ")


def new_id() -> str:
    return uuid.uuid4().hex[:12]


class Store:
    def __init__(self, folder: Path):
        self.db = sqlite3.connect(folder / "halcyra.db", isolation_level=None)
        self.db.row_factory = sqlite3.Row
        self.db.executescript(SCHEMA)
        # A recording left open by a backend that died is over: close it.
        self.db.execute("UPDATE recordings SET stopped_at = ? WHERE stopped_at IS NULL", (now_iso(),))

    # Settings -------------------------------------------------------------
    def setting(self, key: str, default: str) -> str:
        row = self.db.execute("SELECT value FROM settings WHERE key = ?", (key,)).fetchone()
        return row["value"] if row else default

    def set_setting(self, key: str, value: str) -> None:
        self.db.execute("INSERT OR REPLACE INTO settings(key, value) VALUES (?, ?)", (key, value))

    # Meetings -------------------------------------------------------------
    def meeting(self, meeting_id: str):
        return self.db.execute("SELECT * FROM meetings WHERE id = ?", (meeting_id,)).fetchone()

    def meetings(self):
        return self.db.execute("SELECT * FROM meetings ORDER BY created_at DESC").fetchall()

    def meeting_for_event(self, key: str, title: str):
        """The meeting of a calendar event, made on first use."""
        row = self.db.execute("SELECT * FROM meetings WHERE event_key = ?", (key,)).fetchone()
        if row:
            return row
        return self.create_meeting(title, key)

    def create_meeting(self, title: str, event_key: str | None = None):
        mid = new_id()
        self.db.execute(
            "INSERT INTO meetings(id, title, created_at, event_key) VALUES (?, ?, ?, ?)",
            (mid, title, now_iso(), event_key),
        )
        return self.meeting(mid)

    def has_recording(self, meeting_id: str) -> bool:
        row = self.db.execute(
            "SELECT 1 FROM recordings WHERE meeting_id = ? AND superseded = 0", (meeting_id,)
        ).fetchone()
        return row is not None

    # Recordings -----------------------------------------------------------
    def active(self):
        return self.db.execute("SELECT * FROM recordings WHERE stopped_at IS NULL").fetchone()

    def begin(self, meeting_id: str, app: str | None, screen: bool, replace: bool):
        if replace:
            self.db.execute("UPDATE recordings SET superseded = 1 WHERE meeting_id = ?", (meeting_id,))
        self.db.execute(
            "INSERT INTO recordings(meeting_id, started_at, app, screen) VALUES (?, ?, ?, ?)",
            (meeting_id, now_iso(), app, int(screen)),
        )
        return self.active()

    def end(self) -> str | None:
        row = self.active()
        if row is None:
            return None
        self.db.execute("UPDATE recordings SET stopped_at = ? WHERE id = ?", (now_iso(), row["id"]))
        return row["meeting_id"]

    def start_run(self, meeting_id: str) -> str:
        rid = new_id()
        self.db.execute(
            "INSERT INTO runs(id, meeting_id, created_at) VALUES (?, ?, ?)", (rid, meeting_id, now_iso())
        )
        return rid
