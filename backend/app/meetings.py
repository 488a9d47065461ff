"""What the pages read about meetings: their recordings with sound, video, stills and text, the
recordings' files, the search, and deleting a meeting."""
import json
import mimetypes
import re
from datetime import datetime, timezone
from pathlib import Path

from fastapi import APIRouter, Request
from fastapi.responses import FileResponse, JSONResponse, StreamingResponse

from .state import DATA, session, store

router = APIRouter()


def error(status: int, message: str) -> JSONResponse:
    return JSONResponse({"error": message}, status_code=status)


def _seconds(text: str | None) -> float | None:
    if not text:
        return None
    return datetime.fromisoformat(text.replace("Z", "+00:00")).timestamp()


def still_time(name: str) -> int:
    """The second of the video a still was taken at: the integer after the name's first letter."""
    stem = Path(name).stem[1:]
    return int(stem) if re.fullmatch(r"[+-]?\d+", stem) else 0


def part_json(row, meeting_id: str) -> dict:
    folder = DATA / row["folder"]
    base = f"/media/{meeting_id}/" + "/".join(Path(row["folder"]).parts[2:])
    url = lambda name: base.rstrip("/") + "/" + name  # noqa: E731
    start, stop = _seconds(row["started_at"]), _seconds(row["stopped_at"])
    texts = store.stills(row["id"])
    frames = sorted(p.name for p in (folder / "frames").glob("*.jpg")) if (folder / "frames").is_dir() else []
    audio = next((n for n in ("mix.ogg", "audio.ogg") if (folder / n).is_file()), None)
    return {
        "id": row["id"],
        "started_at": row["started_at"],
        "stopped_at": row["stopped_at"],
        "duration": round((stop or datetime.now(timezone.utc).timestamp()) - start),
        "recording": stop is None,
        "tracks": json.loads(row["tracks"]),
        "audio": url(audio) if audio else None,
        "video": url("screen.mp4") if (folder / "screen.mp4").is_file() else None,
        "offset": row["screen_offset"] or 0,
        "notes": json.loads(row["notes"]),
        "processed": bool(row["processed"]),
        "stills": [{"t": still_time(n), "file": n, "url": url("frames/" + n), "text": texts.get(n)}
                   for n in frames],
    }


def summary(row) -> dict:
    parts = store.recordings(row["id"])
    return {
        "id": row["id"],
        "title": row["title"],
        "created_at": row["created_at"],
        "start": parts[0]["started_at"] if parts else row["created_at"],
        "duration": sum(round((_seconds(p["stopped_at"]) or datetime.now(timezone.utc).timestamp())
                              - _seconds(p["started_at"])) for p in parts),
    }


@router.get("/api/meetings")
async def meetings():
    return {"meetings": [summary(row) for row in store.meetings()]}


@router.get("/api/meetings/{meeting_id}")
async def meeting(meeting_id: str):
    row = store.meeting(meeting_id)
    if row is None:
        return error(404, "No such meeting.")
    runs = store.db.execute("SELECT COUNT(*) AS n FROM runs WHERE meeting_id = ?", (meeting_id,)).fetchone()
    parts = [part_json(p, meeting_id) for p in store.recordings(meeting_id)]
    return {**summary(row), "recordings": len(parts), "runs": runs["n"], "parts": parts}


@router.delete("/api/meetings/{meeting_id}")
async def delete_meeting(meeting_id: str):
    if store.meeting(meeting_id) is None:
        return error(404, "No such meeting.")
    async with session.lock:
        active = store.active()
        if active is not None and active["meeting_id"] == meeting_id:
            return error(409, "This meeting is being recorded; stop the recording first.")
        store.delete_meeting(meeting_id)
    await session.remove_folder(DATA / "meetings" / meeting_id)
    return {"deleted": meeting_id}


@router.get("/api/search")
async def search(q: str = ""):
    return {"meetings": store.search(q)}


@router.get("/media/{meeting_id}/{path:path}")
async def media(meeting_id: str, path: str, request: Request):
    """A file of a meeting's folder, with byte ranges (a browser seeks audio and video so)."""
    folder = (DATA / "meetings" / meeting_id).resolve()
    if store.meeting(meeting_id) is None:
        return error(404, "No such meeting.")
    file = (folder / path).resolve()
    if not file.is_relative_to(folder) or not file.is_file():
        return error(404, "No such file.")
    return send_file(file, request.headers.get("range"))


def send_file(file: Path, wanted: str | None):
    size = file.stat().st_size
    kind = mimetypes.guess_type(file.name)[0] or "application/octet-stream"
    if file.suffix == ".ogg":
        kind = "audio/ogg"
    found = re.fullmatch(r"bytes=(\d*)-(\d*)", (wanted or "").strip())
    if not found or found[1] == found[2] == "":
        return FileResponse(file, media_type=kind, headers={"Accept-Ranges": "bytes"})
    if found[1]:
        first, last = int(found[1]), min(int(found[2]) if found[2] else size - 1, size - 1)
    else:  # the last N bytes
        first, last = max(0, size - int(found[2])), size - 1
    if first > last:
        return JSONResponse({"error": "The range lies outside the file."}, status_code=416,
                            headers={"Content-Range": f"bytes */{size}"})

    def chunks():
        with open(file, "rb") as f:
            f.seek(first)
            left = last - first + 1
            while left > 0:
                data = f.read(min(1 << 16, left))
                if not data:
                    break
                left -= len(data)
                yield data

    return StreamingResponse(chunks(), status_code=206, media_type=kind, headers={
        "Content-Range": f"bytes {first}-{last}/{size}", "Accept-Ranges": "bytes",
        "Content-Length": str(last - first + 1)})
