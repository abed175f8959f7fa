"""Python binding of the mvfiles library, over ctypes.

Example::

    from mvfiles import Client
    with Client() as client:
        client.use_fake()  # the bundled corpus, or use_curl(origin)
        for f in client.files("tt4154796"):
            print(f.index, f.key, f.file_name, f.size)
"""

from ._native import EXPORTS, LIBRARY_ENV, bundled_corpus, load_library
from .client import (Client, Entry, FakeStats, File, MvfilesError, PlaybackSession, Playlist,
                     Progress, Result, SessionIndexEntry, Storage, Subtitle)

__version__ = "1.0.0"

__all__ = ["Client", "Entry", "EXPORTS", "FakeStats", "File", "LIBRARY_ENV", "MvfilesError",
           "PlaybackSession", "Playlist", "Progress", "Result", "SessionIndexEntry", "Storage",
           "Subtitle", "bundled_corpus", "load_library"]
