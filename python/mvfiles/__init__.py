"""Python binding of the mvfiles library, over ctypes.

Example::

    from mvfiles import Client
    with Client() as client:
        client.use_fake("/usr/share/mvfiles/fixtures")
        for f in client.files("tt4154796"):
            print(f.index, f.key, f.file_name, f.size)
"""

from ._native import EXPORTS, LIBRARY_ENV, load_library
from .client import (Client, Entry, FakeStats, File, MvfilesError, PlaybackSession, Playlist,
                     Progress, Result, SessionIndexEntry, Storage, Subtitle)

__version__ = "1.0.0"

__all__ = ["Client", "Entry", "EXPORTS", "FakeStats", "File", "LIBRARY_ENV", "MvfilesError",
           "PlaybackSession", "Playlist", "Progress", "Result", "SessionIndexEntry", "Storage",
           "Subtitle", "load_library"]
