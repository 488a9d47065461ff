"""Where the backend keeps its data, and the switches read from its environment."""
import os
from pathlib import Path


def data_dir() -> Path:
    """The data folder shared with the agent: HALCYRA_DATA, else the XDG data home + Quorvia."""
    explicit = os.environ.get("HALCYRA_DATA")
    if explicit:
        path = Path(explicit)
    else:
        base = os.environ.get("XDG_DATA_HOME") or str(Path.home() / ".local" / "share")
        path = Path(base) / "Quorvia"
    path.mkdir(parents=True, exist_ok=True)
    return path


def control_enabled() -> bool:
    """The test control interface exists only when QV_BACKEND_CONTROL is 1."""
    return os.environ.get("QV_BACKEND_CONTROL") == "1"


def screen_tool() -> Path | None:
    """hc-screen in the folder the agent names in QV_BIN_DIR, when it is there."""
    folder = os.environ.get("QV_BIN_DIR")
    if not folder:
        return None
    tool = Path(folder) / "hc-screen"
    return tool if os.access(tool, os.X_OK) else None
