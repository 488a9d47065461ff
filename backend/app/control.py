"""Test control interface, installed only when QV_BACKEND_CONTROL=1.

A raw ASGI wrapper, so that it sees every request before the application does:
- POST /_control/script   {"method", "path", "status", "body" | "raw", "delay", "times"}
  queues a reply for the next matching request(s); "times" -1 means every one.
- GET  /_control/requests  {"requests": [{"method", "path", "content_type", "body"}]}
- POST /_control/reset     forgets the scripts and the request log.
- POST /_control/marker    {"name"} creates that empty file in the data folder.
"""
import asyncio
import json
import re

from .settings import data_dir


class Control:
    def __init__(self, app):
        self.app = app
        self.scripts: list[dict] = []
        self.requests: list[dict] = []

    async def __call__(self, scope, receive, send):
        if scope["type"] != "http":
            return await self.app(scope, receive, send)
        body = await _read_body(receive)
        method, path = scope["method"], scope["path"]
        if path.startswith("/_control/"):
            return await self._control(method, path, body, send)
        headers = {k.decode("latin-1").lower(): v.decode("latin-1") for k, v in scope["headers"]}
        self.requests.append({
            "method": method,
            "path": path,
            "content_type": headers.get("content-type"),
            "body": body.decode("utf-8", "replace"),
        })
        script = self._take(method, path)
        if script is not None:
            await asyncio.sleep(float(script.get("delay", 0)))
            if "raw" in script:
                payload = script["raw"].encode()
            elif "body" in script:
                payload = json.dumps(script["body"]).encode()
            else:
                payload = b""
            return await _respond(send, int(script.get("status", 200)), payload)
        return await self.app(scope, _replay(body), send)

    def _take(self, method: str, path: str):
        for script in self.scripts:
            if script.get("path") == path and script.get("method", "GET").upper() == method:
                times = int(script.get("times", 1))
                if times > 0:
                    script["times"] = times - 1
                    if times == 1:
                        self.scripts.remove(script)
                return script
        return None

    async def _control(self, method, path, body, send):
        try:
            data = json.loads(body) if body else {}
        except ValueError:
            return await _respond(send, 400, b'{"error": "body is not JSON"}')
        if method == "POST" and path == "/_control/script" and isinstance(data, dict):
            self.scripts.append(data)
        elif method == "POST" and path == "/_control/reset":
            self.scripts.clear()
            self.requests.clear()
        elif method == "GET" and path == "/_control/requests":
            return await _respond(send, 200, json.dumps({"requests": self.requests}).encode())
        elif method == "POST" and path == "/_control/marker" and isinstance(data, dict):
            name = str(data.get("name", ""))
            if not re.fullmatch(r"[A-Za-z0-9_.-]+", name) or name in (".", ".."):
                return await _respond(send, 400, b'{"error": "bad marker name"}')
            (data_dir() / name).touch()
        else:
            return await _respond(send, 404, b'{"error": "unknown control request"}')
        return await _respond(send, 200, b"{}")


async def _read_body(receive) -> bytes:
    body, more = b"", True
    while more:
        message = await receive()
        if message["type"] == "http.disconnect":
            break
        body += message.get("body", b"")
        more = message.get("more_body", False)
    return body


def _replay(body: bytes):
    sent = False

    async def receive():
        nonlocal sent
        if not sent:
            sent = True
            return {"type": "http.request", "body": body, "more_body": False}
        await asyncio.Event().wait()  # nothing more will come; the server cancels us

    return receive


async def _respond(send, status: int, payload: bytes):
    headers = [(b"content-length", str(len(payload)).encode())]
    if payload:
        headers.append((b"content-type", b"application/json"))
    await send({"type": "http.response.start", "status": status, "headers": headers})
    await send({"type": "http.response.body", "body": payload})
