"""Finding the mvfiles shared library and declaring the C functions it exports."""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from typing import Any, Dict, List, Optional, Tuple, Union

#: Environment variable naming the library file to load (read by this
#: binding only; the C library itself reads no environment).
LIBRARY_ENV = "MVFILES_LIBRARY"

#: Environment variable that, set to "1", makes the binding read tables
#: through ctypes alone, without its compiled helper module.
PURE_ENV = "MVFILES_PYTHON_PURE"

PathArg = Union[str, "os.PathLike[str]"]

#: The one lock of the process: every call into the library, and the reading
#: of what it returned, holds it. ctypes lets go of the GIL during a foreign
#: call, so without it two threads would meet inside the library's one state.
#: Re-entrant, since the binding's methods call one another.
LOCK = threading.RLock()

_T = ctypes.c_char_p
_I32 = ctypes.c_int32
_I64 = ctypes.c_int64
_U64 = ctypes.c_uint64
_D = ctypes.c_double

# Signatures by shape: (result type, argument types) -> exported names.
_SIGNATURES: List[Tuple[Optional[type], Tuple[type, ...], str]] = [
    (_T, (), "version last_error fake_last_url"),
    (_I32, (), "last_http_code writes_armed count playlist_count progress_count sub_count "
               "sessionix_count storage_count session_count use_curl use_fake get_storages"),
    (_I64, (), "fake_calls fake_fail_count"),
    (None, (), "shutdown cache_clear fake_reset"),
    (None, (_T,), "set_host"),
    (_I32, (ctypes.c_void_p,), "set_io"),
    (_I32, (_T,), "stable_hash fake_corpus get_session_index get_playback_sessions is_playable"),
    (_I32, (_I32,), "arm_writes fake_mode season episode is_hdr is_hevc is_dolby subtitle_count "
                    "audio_channels video_width video_height entry_count playlist_imdb_count "
                    "progress_season progress_episode sub_enabled sub_is_child sessionix_profile "
                    "sessionix_season sessionix_episode storage_files_count"),
    (_T, (_I32,), "key imdb parent_key filename path extension subtitle_languages "
                  "subtitle_language_titles created record_updated file_json playlist_key "
                  "playlist_value playlist_name playlist_logo playlist_origin playlist_imdbids "
                  "progress_key progress_updated sub_key sub_uri sub_label sub_filename sub_updated "
                  "sessionix_key sessionix_user sessionix_imdb sessionix_sessionkey storage_email "
                  "storage_name storage_id storage_state storage_type session_id session_created "
                  "session_value"),
    (_I64, (_I32,), "size duration_seconds playlist_id progress_size sub_id sub_parent_id "
                    "sessionix_size storage_total storage_used storage_remaining"),
    (_D, (_I32,), "progress_value"),
    (_T, (_I32, _I32), "entry_uri entry_url playlist_imdb"),
    (_I32, (_I32, _I32), "entry_is_active entry_content_source session_bit"),
    (_I32, (_T, _I32, _I32), "get_by_imdb is_playable_se get_external_subtitles"),
    (_I32, (ctypes.POINTER(_T), _U64), "get_by_keys"),
    (_I32, (_T, _T, _T), "get_playlists"),
    (_I32, (_T, _I32, _T), "get_progress"),
    (None, (_I32, _I32, _I32), "cache_set_ttl"),
    (_I32, (_T, _T), "cache_invalidate"),
    (_I32, (_T, _T, ctypes.POINTER(_I32)), "cache_has"),
    (_I32, (_T, _I32, _T, _I32, _I32, _I64, _D, _D), "save_progress"),
    (_I32, (_T, _T, _T, _T), "update_playback_session"),
    (_I32, (_T, _T, _T, _T, _T, _T), "download_magnet"),
]

#: Every export of the library, by name without its "mvfiles_" prefix.
EXPORTS: Tuple[str, ...] = tuple(n for _, _, names in _SIGNATURES for n in names.split())

_loaded: Dict[str, ctypes.CDLL] = {}
_states: Dict[int, "FilesState"] = {}

_HERE = os.path.dirname(os.path.abspath(__file__))


def _installed(what: str) -> Optional[str]:
    """The library ("LIBRARY") or corpus ("FIXTURES") installed with this
    package, when it was installed and the file is there."""
    try:
        from . import _installed as paths  # written by the installation only
    except ImportError:
        return None
    path = os.path.normpath(os.path.join(_HERE, getattr(paths, what)))
    return path if os.path.exists(path) else None


def bundled_corpus() -> str:
    """Directory of the offline corpus that came with the library: the one
    installed beside this package, or the source tree's ``fixtures`` when
    the package runs from its source tree.

    Raises :class:`FileNotFoundError` when neither is there.
    """
    installed = _installed("FIXTURES")
    if installed:
        return installed
    source = os.path.normpath(os.path.join(_HERE, "..", "..", "fixtures"))
    if os.path.isdir(source):
        return source
    raise FileNotFoundError("no bundled mvfiles corpus beside " + _HERE)


def _system_names() -> List[str]:
    if sys.platform == "win32":
        names = ["mvfiles.dll", "libmvfiles.dll"]
    elif sys.platform == "darwin":
        names = ["libmvfiles.1.dylib", "libmvfiles.dylib"]
    else:
        names = ["libmvfiles.so.1"]
    found = ctypes.util.find_library("mvfiles")
    if found and found not in names:
        names.append(found)
    return names


class FilesState:
    """What the binding knows of one library's file table. Every call goes
    through the binding, so it knows when the table is replaced or released:
    ``records`` are the records read from the current table (None when the
    binding holds none), ``table`` the token they share when the compiled
    reader read them (None otherwise: records read through ctypes carry
    their JSON from the start), and ``key`` the (id, season, episode)
    arguments that filled it (None after a look-up by keys)."""

    def __init__(self) -> None:
        self.table: Optional[object] = None
        self.records: Optional[list] = None
        self.key: Optional[tuple] = None
        #: "curl", "fake" or None: the transport the binding installed.
        self.transport: Optional[str] = None
        #: Open Clients of this library: the last one to close shuts it down.
        self.clients = 0


def _declare(lib: ctypes.CDLL) -> ctypes.CDLL:
    for restype, argtypes, names in _SIGNATURES:
        for name in names.split():
            fn = getattr(lib, "mvfiles_" + name)
            fn.restype = restype
            fn.argtypes = list(argtypes)
    # The same file loaded under two names is one library state: the loader
    # hands out one handle for it.
    lib.files_state = _states.setdefault(lib._handle, FilesState())
    return lib


def tables_module() -> Optional[Any]:
    """The compiled table reader, or None where it is not built (the binding
    then reads through ctypes)."""
    if os.environ.get(PURE_ENV) == "1":
        return None
    try:
        from . import _tables  # type: ignore[attr-defined]
    except ImportError:
        return None
    return _tables


def address(lib: ctypes.CDLL, name: str) -> int:
    """Address of the export ``mvfiles_<name>``."""
    return ctypes.cast(getattr(lib, "mvfiles_" + name), ctypes.c_void_p).value or 0


def load_library(path: Optional[PathArg] = None) -> ctypes.CDLL:
    """Loads the mvfiles shared library and declares its exports.

    The library is looked for, in this order: ``path`` when given; the
    library installed together with this package (same prefix); the file
    named by the environment variable ``MVFILES_LIBRARY``; the system's
    loader (``libmvfiles.so.1``, ``mvfiles.dll`` or ``libmvfiles.dylib``,
    then whatever :func:`ctypes.util.find_library` reports). A library
    loaded once is reused.

    Raises :class:`OSError` when no library can be loaded, and
    :class:`AttributeError` when the file lacks one of the exports.
    """
    installed = _installed("LIBRARY")
    if path is not None:
        candidates = [os.fspath(path)]
    elif installed:
        candidates = [installed]
    elif os.environ.get(LIBRARY_ENV):
        candidates = [os.environ[LIBRARY_ENV]]
    else:
        candidates = _system_names()
    errors = []
    with LOCK:
        return _load_first(candidates, errors)


def _load_first(candidates: List[str], errors: List[str]) -> ctypes.CDLL:
    for name in candidates:
        if name in _loaded:
            return _loaded[name]
        try:
            lib = ctypes.CDLL(name)
        except OSError as e:
            errors.append(str(e))
            continue
        _loaded[name] = _declare(lib)
        return _loaded[name]
    raise OSError("cannot load the mvfiles library (" + "; ".join(errors) + "); pass its path "
                  "or set " + LIBRARY_ENV)
