"""Meetings, recordings, stills and settings in SQLite ("halcyra.db" in the data folder).

One connection, used from the event loop's thread only (uvicorn runs handlers there; background
work hands its results back to that thread before it writes).
"""
import json
import re
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
CREATE TABLE IF NOT EXISTS stills (
    recording_id INTEGER NOT NULL REFERENCES recordings(id),
    t INTEGER NOT NULL,
    file TEXT NOT NULL,
    text TEXT NOT NULL,
    PRIMARY KEY (recording_id, file)
);
CREATE VIRTUAL TABLE IF NOT EXISTS search USING fts5(
    body, meeting_id UNINDEXED, recording_id UNINDEXED, t UNINDEXED
);
"""
# Columns that later versions added to a table of an earlier database: name -> declaration.
ADDED_COLUMNS = {
    "recordings": {
        "folder": "TEXT",  # relative to the data folder
        "tracks": "TEXT NOT NULL DEFAULT '[]'",  # the sound's tracks, in file order
        "screen_offset": "REAL",  # seconds from the sound's start to the video's
        "notes": "TEXT NOT NULL DEFAULT '[]'",  # what went wrong, for the meeting page
        "processed": "INTEGER NOT NULL DEFAULT 0",  # the work after the stop is done
    },
}


def now_iso() -> str:
    """UTC, whole seconds, with a zone designator: the form the agent parses."""
    return datetime.now(timezone.utc).replace(microsecond=0).strftime("%Y-%m-%dT%H:%M:%SZ")


def new_id() -> str:
    return uuid.uuid4().hex[:12]


def match_expression(query: str) -> str | None:
    """The words of a search box as an FTS5 query: every word, each as a prefix."""
    words = re.findall(r"\w+", query)
    return " ".join('"' + w.replace('"', '""') + '"*' for w in words) or None


class Store:
    def __init__(self, folder: Path):
        self.folder = folder
        self.db = sqlite3.connect(folder / "halcyra.db", isolation_level=None)
        self.db.row_factory = sqlite3.Row
        self.db.executescript(SCHEMA)
        for table, columns in ADDED_COLUMNS.items():
            have = {row["name"] for row in self.db.execute(f"PRAGMA table_info({table})")}
            for name, declaration in columns.items():
                if name not in have:
                    self.db.execute(f"ALTER TABLE {table} ADD COLUMN {name} {declaration}")
        # Meetings made before titles were searchable.
        self.db.execute(
            "INSERT INTO search(body, meeting_id) SELECT title, id FROM meetings WHERE id NOT IN"
            " (SELECT meeting_id FROM search WHERE recording_id IS NULL)")
        # A recording left open by a backend that died is over: close it, and say so.
        for row in self.db.execute("SELECT id FROM recordings WHERE stopped_at IS NULL").fetchall():
            self.add_notes(row["id"], ["The recording ended when the backend stopped unexpectedly."])
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
        self.db.execute("INSERT INTO search(body, meeting_id) VALUES (?, ?)", (title, mid))
        return self.meeting(mid)

    def delete_meeting(self, meeting_id: str) -> None:
        """Its rows, all of them; the caller removes its folder."""
        with self.db:
            self.db.execute("BEGIN")
            self.db.execute(
                "DELETE FROM stills WHERE recording_id IN (SELECT id FROM recordings WHERE meeting_id = ?)",
                (meeting_id,))
            for table in ("search", "recordings", "runs", "meetings"):
                column = "id" if table == "meetings" else "meeting_id"
                self.db.execute(f"DELETE FROM {table} WHERE {column} = ?", (meeting_id,))

    def has_recording(self, meeting_id: str) -> bool:
        row = self.db.execute(
            "SELECT 1 FROM recordings WHERE meeting_id = ? AND superseded = 0", (meeting_id,)
        ).fetchone()
        return row is not None

    # Recordings -----------------------------------------------------------
    def active(self):
        return self.db.execute("SELECT * FROM recordings WHERE stopped_at IS NULL").fetchone()

    def recording(self, recording_id: int):
        return self.db.execute("SELECT * FROM recordings WHERE id = ?", (recording_id,)).fetchone()

    def recordings(self, meeting_id: str):
        """The meeting's current recordings, oldest first."""
        return self.db.execute(
            "SELECT * FROM recordings WHERE meeting_id = ? AND superseded = 0 ORDER BY id", (meeting_id,)
        ).fetchall()

    def unprocessed(self):
        return self.db.execute(
            "SELECT id FROM recordings WHERE stopped_at IS NOT NULL AND processed = 0 AND superseded = 0"
        ).fetchall()

    def begin(self, meeting_id: str, app: str | None, screen: bool, replace: bool):
        """A new recording of the meeting, in a folder of its own: the meeting's folder for its
        first recording, a numbered one inside it for every later one (an added recording never
        overwrites an earlier one's files)."""
        if replace:
            # A replaced recording leaves the page and the search; its files stay until the
            # meeting is deleted.
            self.db.execute(
                "DELETE FROM stills WHERE recording_id IN (SELECT id FROM recordings WHERE meeting_id = ?)",
                (meeting_id,))
            self.db.execute(
                "DELETE FROM search WHERE meeting_id = ? AND recording_id IS NOT NULL", (meeting_id,))
            self.db.execute("UPDATE recordings SET superseded = 1 WHERE meeting_id = ?", (meeting_id,))
        count = self.db.execute(
            "SELECT COUNT(*) AS n FROM recordings WHERE meeting_id = ?", (meeting_id,)).fetchone()["n"]
        folder = f"meetings/{meeting_id}" + (f"/{count + 1}" if count else "")
        self.db.execute(
            "INSERT INTO recordings(meeting_id, started_at, app, screen, folder) VALUES (?, ?, ?, ?, ?)",
            (meeting_id, now_iso(), app, int(screen), folder),
        )
        return self.active()

    def end(self):
        """Closes the running recording and returns it; None when nothing records."""
        row = self.active()
        if row is None:
            return None
        self.db.execute("UPDATE recordings SET stopped_at = ? WHERE id = ?", (now_iso(), row["id"]))
        return row

    def describe(self, recording_id: int, tracks: list[str], offset: float | None, notes: list[str]):
        row = self.recording(recording_id)
        if row is None:
            return
        notes = json.loads(row["notes"]) + notes
        self.db.execute(
            "UPDATE recordings SET tracks = ?, screen_offset = ?, notes = ? WHERE id = ?",
            (json.dumps(tracks), offset, json.dumps(notes), recording_id))

    def add_notes(self, recording_id: int, notes: list[str]) -> None:
        row = self.recording(recording_id)
        if row is not None and notes:
            self.db.execute("UPDATE recordings SET notes = ? WHERE id = ?",
                            (json.dumps(json.loads(row["notes"]) + notes), recording_id))

    def finish_processing(self, recording_id: int, stills: list[dict]) -> None:
        """Stores the text read from the recording's stills; marks its after-stop work done."""
        row = self.recording(recording_id)
        if row is None:
            return  # deleted meanwhile
        with self.db:
            self.db.execute("BEGIN")
            self.db.execute("DELETE FROM stills WHERE recording_id = ?", (recording_id,))
            self.db.execute("DELETE FROM search WHERE recording_id = ?", (recording_id,))
            for still in stills:
                self.db.execute("INSERT INTO stills(recording_id, t, file, text) VALUES (?, ?, ?, ?)",
                                (recording_id, still["t"], still["file"], still["text"]))
                if still["text"].strip():
                    self.db.execute(
                        "INSERT INTO search(body, meeting_id, recording_id, t) VALUES (?, ?, ?, ?)",
                        (still["text"], row["meeting_id"], recording_id, still["t"]))
            self.db.execute("UPDATE recordings SET processed = 1 WHERE id = ?", (recording_id,))

    def stills(self, recording_id: int) -> dict[str, str]:
        rows = self.db.execute("SELECT file, text FROM stills WHERE recording_id = ?", (recording_id,))
        return {row["file"]: row["text"] for row in rows}

    def start_run(self, meeting_id: str) -> str:
        rid = new_id()
        self.db.execute(
            "INSERT INTO runs(id, meeting_id, created_at) VALUES (?, ?, ?)", (rid, meeting_id, now_iso())
        )
        return rid

    # Search ---------------------------------------------------------------
    def search(self, query: str, limit: int = 50) -> list[dict]:
        """Meetings whose title or stills hold every word of the query, best first, each with
        the best-matching passage (matches between \\x02 and \\x03) and its still's time."""
        expression = match_expression(query)
        if expression is None:
            return []
        rows = self.db.execute(
            "SELECT s.meeting_id, s.recording_id, s.t, m.title, m.created_at,"
            " snippet(search, 0, char(2), char(3), '…', 12) AS passage"
            " FROM search AS s JOIN meetings AS m ON m.id = s.meeting_id"
            " WHERE search MATCH ? ORDER BY rank LIMIT 500", (expression,)).fetchall()
        found: dict[str, dict] = {}
        for row in rows:
            if row["meeting_id"] in found:
                continue
            found[row["meeting_id"]] = {
                "id": row["meeting_id"], "title": row["title"], "created_at": row["created_at"],
                "passage": row["passage"], "t": row["t"], "recording_id": row["recording_id"],
            }
        return list(found.values())[:limit]
