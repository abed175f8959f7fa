"""Python binding of the mvfiles library, over ctypes and a small compiled
helper that reads whole tables.

Example::

    from mvfiles import Client
    with Client() as client:
        client.use_fake()  # the bundled corpus, or use_curl(origin)
        for f in client.files("tt4154796"):
            print(f.index, f.key, f.file_name, f.size)
"""

# A build tree keeps the compiled helper module in its own mvfiles/ folder,
# which joins this package when it is on the path too.
import pkgutil

__path__ = pkgutil.extend_path(__path__, __name__)

from ._native import EXPORTS, LIBRARY_ENV, PURE_ENV, bundled_corpus, load_library
from .client import (Client, Entry, FakeStats, File, MvfilesError, PlaybackSession, Playlist,
                     Progress, Result, SessionIndexEntry, Storage, Subtitle)

__version__ = "1.0.0"

__all__ = ["Client", "Entry", "EXPORTS", "FakeStats", "File", "LIBRARY_ENV", "MvfilesError",
           "PURE_ENV", "PlaybackSession", "Playlist", "Progress", "Result", "SessionIndexEntry", "Storage",
           "Subtitle", "bundled_corpus", "load_library"]
