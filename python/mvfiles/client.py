"""The client object, the records it returns and its one exception type."""

from __future__ import annotations

import ctypes
import functools
import os
from dataclasses import dataclass
from enum import IntEnum
from typing import Any, Callable, Dict, Iterable, List, Optional, Tuple, TypeVar, overload

from ._native import LOCK, FilesState, PathArg, address, bundled_corpus, load_library, tables_module


class Result(IntEnum):
    """Result codes of the library (``MVFILES_OK`` ... ``MVFILES_ERR_NOT_ARMED``)."""

    OK = 0
    ERR_TRANSPORT = 1
    ERR_HTTP = 2
    ERR_JSON = 3
    ERR_EMPTY = 4
    ERR_NOT_FOUND = 5
    ERR_ARG = 6
    ERR_NO_TRANSPORT = 7
    ERR_OOM = 8
    ERR_NOT_ARMED = 9


class MvfilesError(Exception):
    """A library call failed.

    Attributes: ``code`` (the :class:`Result`), ``name`` (its C name, such
    as ``"MVFILES_ERR_HTTP"``), ``message`` (the library's last-error text)
    and ``http_code`` (the HTTP status of the last exchange, 0 when none).
    """

    def __init__(self, code: int, message: str, http_code: int = 0) -> None:
        result = Result(code)
        name = "MVFILES_" + result.name
        # Many of the library's messages name the status already.
        status = "HTTP %d" % http_code
        text = "%s: %s" % (name, message)
        if http_code and status not in message:
            text += " (%s)" % status
        super().__init__(text)
        self.code = result
        self.name = name
        self.message = message
        self.http_code = http_code


@dataclass(frozen=True)
class Entry:
    """One access entry of a file; ``content_source`` is None when unknown."""

    uri: Optional[str]
    url: Optional[str]
    active: bool
    content_source: Optional[int]


class _FileJson:
    """``File.json``, produced when first read: from the library's table
    while it is the one the record was read from, and otherwise from the copy
    the binding took before that table went away. Kept in the record once
    made, so the record never changes."""

    @overload
    def __get__(self, rec: None, owner: Any = None) -> "_FileJson": ...
    @overload
    def __get__(self, rec: "File", owner: Any = None) -> Optional[str]: ...

    def __get__(self, rec: Optional["File"], owner: Any = None) -> Any:
        if rec is None:
            return self
        attrs = vars(rec)
        with LOCK:
            if "json" not in attrs:
                table = attrs.get("_table")
                current = table is not None and table.state.table is table
                attrs["json"] = table.json(rec.index) if current else None
        return attrs["json"]


@dataclass(frozen=True)
class File:
    """One file of the catalogue. Texts are None when the service left them
    out; the three flags are None when unknown; ``season`` and ``episode``
    are None when absent. ``json`` is the file as compact JSON, its members
    in the service's order and its numbers written again from their values
    (1E6 as 1000000.0); it is made when first read (None if the library
    could not make it)."""

    index: int
    key: Optional[str]
    imdb_id: Optional[str]
    parent_key: Optional[str]
    file_name: Optional[str]
    path: Optional[str]
    extension: Optional[str]
    subtitle_languages: Optional[str]
    subtitle_language_titles: Optional[str]
    created: Optional[str]
    record_updated: Optional[str]
    size: int
    duration_seconds: int
    season: Optional[int]
    episode: Optional[int]
    hdr: Optional[bool]
    hevc: Optional[bool]
    dolby_atmos: Optional[bool]
    subtitle_count: int
    audio_channels: int
    video_width: int
    video_height: int
    entries: Tuple[Entry, ...]
    json = _FileJson()


@dataclass(frozen=True)
class Playlist:
    """One playlist row; ``id`` is None when the value is not a JSON object."""

    key: Optional[str]
    value: Optional[str]
    id: Optional[int]
    name: Optional[str]
    logo: Optional[str]
    origin: Optional[str]
    imdb_ids: Tuple[str, ...]


@dataclass(frozen=True)
class Progress:
    """One saved watch position: ``value`` is the watched fraction, ``size``
    the duration in whole seconds that the key carries; ``season`` and
    ``episode`` are None for a film."""

    key: Optional[str]
    value: float
    size: int
    season: Optional[int]
    episode: Optional[int]


@dataclass(frozen=True)
class Subtitle:
    """One external subtitle; ``parent_id`` is the id of the subtitle it
    derives from, None for a root subtitle."""

    key: Optional[str]
    uri: Optional[str]
    label: Optional[str]
    file_name: Optional[str]
    id: int
    parent_id: Optional[int]


@dataclass(frozen=True)
class SessionIndexEntry:
    """One row of the playback-session index, read from the parts of its
    key; ``season`` and ``episode`` are None for a film."""

    key: Optional[str]
    user: Optional[str]
    imdb_id: Optional[str]
    session_key: Optional[str]
    profile: int
    season: Optional[int]
    episode: Optional[int]
    size: int


@dataclass(frozen=True)
class Storage:
    """One cloud storage with its quota in bytes."""

    id: Optional[str]
    type: Optional[str]
    email: Optional[str]
    name: Optional[str]
    state: Optional[str]
    total: int
    used: int
    remaining: int


@dataclass(frozen=True)
class PlaybackSession:
    """One playback-session row; ``bits`` holds one flag per character of
    ``value``: True for "1", False for "0", None for anything else."""

    id: Optional[str]
    created: Optional[str]
    value: Optional[str]
    bits: Tuple[Optional[bool], ...]


@dataclass(frozen=True)
class FakeStats:
    """Statistics of the offline fixture backend."""

    calls: int
    fails: int
    last_url: str


def _text(raw: Optional[bytes]) -> Optional[str]:
    return None if raw is None else raw.decode("utf-8", "replace")


def _arg(text: Optional[str], what: str) -> Optional[bytes]:
    if text is None:
        return None
    if not isinstance(text, str):
        raise TypeError("%s must be a str, not %s" % (what, type(text).__name__))
    data = text.encode("utf-8")
    if b"\0" in data:
        raise ValueError("%s contains a NUL character" % what)
    return data


def _i32(value: Optional[int], what: str, none: int = -1) -> int:
    if value is None:
        return none
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError("%s must be an int, not %s" % (what, type(value).__name__))
    if not -2**31 <= value < 2**31:
        raise ValueError("%s is outside the 32-bit range: %d" % (what, value))
    return value


def _flag(v: int) -> Optional[bool]:
    return None if v < 0 else v == 1


def _number(v: int) -> Optional[int]:
    """A season, episode or id that the library gives as negative when there is none."""
    return None if v < 0 else int(v)


R = TypeVar("R")
F = TypeVar("F", bound=Callable[..., Any])

# The library the compiled reader was last bound to.
_bound: Optional[ctypes.CDLL] = None

# A look-up the library answers with these found nothing: an empty list.
_NOTHING = (Result.ERR_EMPTY, Result.ERR_NOT_FOUND)


def _serialised(method: F) -> F:
    """Runs the method under the process-wide lock."""
    @functools.wraps(method)
    def run(*args: Any, **kwargs: Any) -> Any:
        with LOCK:
            return method(*args, **kwargs)
    return run  # type: ignore[return-value]


class _Table:
    """Token shared by the records the compiled reader read from one file
    table: ``json`` gives the JSON of a file of that table while it is
    current, and ``retire`` gives it to the records still held before the
    table goes away, whichever client replaces it."""

    __slots__ = ("state", "json", "retire")

    def __init__(self, state: FilesState, json: Callable[[int], Optional[str]],
                 retire: Callable[[list], None]) -> None:
        self.state = state
        self.json = json
        self.retire = retire


def _record(cls: type, attrs: Dict[str, Any]) -> Any:
    # Frozen dataclasses refuse attribute assignment, and their __init__ is
    # what makes building many of them slow: fill the instance directly.
    obj = cls.__new__(cls)
    vars(obj).update(attrs)
    return obj


class Client:
    """A handle on the library's client state.

    The library keeps one client state per process (origin, transport,
    tables, write switch), so every Client of a process shares it. Any
    thread may call any Client: one process-wide lock serialises every call
    into the library and the reading of its answer, for every Client, so a
    call waits while another thread's call (a request, perhaps) runs.
    Look-ups return lists of records whose texts are copied out at once:
    they stay valid whatever the library does next. A look-up that finds
    nothing returns an empty list; other failures raise
    :class:`MvfilesError`. As a context manager the client calls
    :meth:`close` on leaving.
    """

    def __init__(self, library: Optional[PathArg] = None) -> None:
        """Loads the library (see :func:`mvfiles.load_library`)."""
        self._lib = load_library(library)
        self._files_state: FilesState = self._lib.files_state
        self._tables = tables_module()
        with LOCK:
            self._files_state.clients += 1
        self._open = True

    def __enter__(self) -> "Client":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def close(self) -> None:
        """Ends this client. The library is shut down (see :meth:`shutdown`)
        when the last open Client of the process closes, never under another
        one. Closing twice does nothing more."""
        with LOCK:
            if not self._open:
                return
            self._open = False
            self._files_state.clients -= 1
            if self._files_state.clients == 0:
                self.shutdown()

    # -- state and transports -------------------------------------------

    @property
    @_serialised
    def version(self) -> str:
        """The library's version text."""
        return _text(self._lib.mvfiles_version()) or ""

    @property
    @_serialised
    def last_error(self) -> str:
        """Message of the last operation ("" after a success)."""
        return _text(self._lib.mvfiles_last_error()) or ""

    @property
    @_serialised
    def last_http_code(self) -> int:
        """HTTP status of the last exchange; 0 when there was none."""
        return int(self._lib.mvfiles_last_http_code())

    @property
    @_serialised
    def writes_armed(self) -> bool:
        """Whether the library's write switch is on."""
        return self._lib.mvfiles_writes_armed() == 1

    def _check(self, result: int) -> None:
        if result != Result.OK:
            raise MvfilesError(result, self.last_error, self.last_http_code)

    def _found(self, result: int) -> bool:
        """False for a look-up that found nothing; raises for other failures."""
        if result in _NOTHING:
            return False
        self._check(result)
        return True

    @_serialised
    def set_host(self, origin: Optional[str]) -> None:
        """Sets the service origin ("https://" is added when it has no
        scheme); None restores the default origin."""
        self._lib.mvfiles_set_host(_arg(origin, "origin"))

    def use_curl(self, host: Optional[str] = None) -> None:
        """Installs the real HTTP transport, after setting ``host`` when given."""
        with LOCK:
            if host is not None:
                self.set_host(host)
            self._check(self._lib.mvfiles_use_curl())
            self._files_state.transport = "curl"

    def use_fake(self, corpus: Optional[PathArg] = None) -> None:
        """Installs the offline fixture backend, reading from ``corpus``, or
        from :func:`mvfiles.bundled_corpus` when none is given. The corpus
        answers each route with one fixed answer: the user, profile or keys
        asked for do not narrow it."""
        path = bundled_corpus() if corpus is None else os.fspath(corpus)
        with LOCK:
            # The library refuses a path it cannot keep whole, without a message.
            result = self._lib.mvfiles_fake_corpus(_arg(path, "corpus"))
            if result != Result.OK:
                raise MvfilesError(result, "corpus path over 511 bytes")
            self._check(self._lib.mvfiles_use_fake())
            self._files_state.transport = "fake"

    def shutdown(self) -> None:
        """Releases every table, forgets the transport and disarms writes,
        for every Client of the process at once (:meth:`close` ends only
        this one)."""
        with LOCK:
            self._retire_files()
            self._files_state.transport = None
            self._lib.mvfiles_shutdown()

    @_serialised
    def stable_hash(self, text: str) -> int:
        """The library's stable 32-bit hash of a text (0 for malformed input)."""
        return int(self._lib.mvfiles_stable_hash(_arg(text, "text")))

    # -- file catalogue -------------------------------------------------

    def _read_files(self) -> List[File]:
        # The ctypes path: about thirty calls a file, and the JSON taken at once.
        lib = self._lib
        files = []
        for i in range(lib.mvfiles_count()):
            entries = tuple(
                _record(Entry, {"uri": _text(lib.mvfiles_entry_uri(i, e)),
                                "url": _text(lib.mvfiles_entry_url(i, e)),
                                "active": lib.mvfiles_entry_is_active(i, e) == 1,
                                "content_source": _number(lib.mvfiles_entry_content_source(i, e))})
                for e in range(lib.mvfiles_entry_count(i)))
            files.append(_record(File, {
                "index": i, "key": _text(lib.mvfiles_key(i)), "imdb_id": _text(lib.mvfiles_imdb(i)),
                "parent_key": _text(lib.mvfiles_parent_key(i)),
                "file_name": _text(lib.mvfiles_filename(i)), "path": _text(lib.mvfiles_path(i)),
                "extension": _text(lib.mvfiles_extension(i)),
                "subtitle_languages": _text(lib.mvfiles_subtitle_languages(i)),
                "subtitle_language_titles": _text(lib.mvfiles_subtitle_language_titles(i)),
                "created": _text(lib.mvfiles_created(i)),
                "record_updated": _text(lib.mvfiles_record_updated(i)),
                "size": int(lib.mvfiles_size(i)),
                "duration_seconds": int(lib.mvfiles_duration_seconds(i)),
                "season": _number(lib.mvfiles_season(i)), "episode": _number(lib.mvfiles_episode(i)),
                "hdr": _flag(lib.mvfiles_is_hdr(i)), "hevc": _flag(lib.mvfiles_is_hevc(i)),
                "dolby_atmos": _flag(lib.mvfiles_is_dolby(i)),
                "subtitle_count": lib.mvfiles_subtitle_count(i),
                "audio_channels": lib.mvfiles_audio_channels(i),
                "video_width": lib.mvfiles_video_width(i),
                "video_height": lib.mvfiles_video_height(i), "entries": entries,
                "json": _text(lib.mvfiles_file_json(i))}))
        return files

    def _reader(self) -> Any:
        """The compiled reader, reading through this client's library (a
        process may have loaded more than one library file)."""
        global _bound
        if _bound is not self._lib:
            self._tables.bind(tuple(address(self._lib, n) for n in self._tables.NEEDS),
                              File, Entry)
            _bound = self._lib
        return self._tables

    def _take_files(self, key: Optional[tuple]) -> List[File]:
        """Reads the table the last look-up filled and remembers it as current."""
        state = self._files_state
        table: Optional[_Table] = None
        if self._tables:
            table = _Table(state, lambda i: self._reader().file_json(i),
                           lambda records: self._reader().retire(records))
            records = self._reader().read_files(table)
        else:
            records = self._read_files()  # each record carries its JSON already
        state.table, state.records, state.key = table, records, key
        return list(records)

    def _retire_files(self) -> None:
        """Called before anything that may replace or release the file table:
        records still held elsewhere get their JSON while the table is there,
        and the binding forgets the table."""
        state = self._files_state
        # The records' own reader decides, not this client's: a client
        # reading through ctypes may replace a table the compiled reader read.
        if isinstance(state.table, _Table):
            state.table.retire(state.records)
        state.table = state.records = state.key = None

    def _answered_from_table(self, key: tuple) -> bool:
        """Whether the library answers the look-up ``key`` from the table it
        holds, which is then the one the binding read. It is asked with the
        transport taken away, so that a table gone stale fails (no transport)
        instead of being replaced; the transport is put back at once."""
        state = self._files_state
        # Without a transport of the binding's own to take away, a stale
        # table would be replaced unseen: read it again instead.
        if state.key != key or not state.transport:
            return False
        lib = self._lib
        lib.mvfiles_set_io(None)
        try:
            return lib.mvfiles_get_by_imdb(*key) == Result.OK
        finally:
            if state.transport == "curl":
                lib.mvfiles_use_curl()
            elif state.transport == "fake":
                lib.mvfiles_use_fake()

    def files(self, imdb_id: str, season: Optional[int] = None,
              episode: Optional[int] = None) -> List[File]:
        """Files of an IMDb title ("tt" and 5 to 10 digits), optionally of
        one season and episode; an empty list when the service has none.
        While the same query is fresh the library answers it from its table,
        and the records already read from that table come back again."""
        key = (_arg(imdb_id, "imdb_id"), _i32(season, "season"), _i32(episode, "episode"))
        with LOCK:
            if self._answered_from_table(key):
                return list(self._files_state.records or ())
            self._retire_files()
            if not self._found(self._lib.mvfiles_get_by_imdb(*key)):
                return []
            return self._take_files(key)

    def files_by_keys(self, keys: Iterable[str]) -> List[File]:
        """Files with the given keys (1 to 4096), a list or another iterable
        of texts; a single text is refused with :class:`TypeError`."""
        if isinstance(keys, (str, bytes)):
            raise TypeError("keys must be an iterable of str, not one %s" % type(keys).__name__)
        encoded = [_arg(k, "key") for k in keys]
        array = (ctypes.c_char_p * max(len(encoded), 1))(*encoded)
        with LOCK:
            self._retire_files()
            if not self._found(self._lib.mvfiles_get_by_keys(array, len(encoded))):
                return []
            return self._take_files(None)

    @_serialised
    def is_playable(self, imdb_id: str, season: Optional[int] = None,
                    episode: Optional[int] = None) -> bool:
        """Whether any file of the title has an access entry. A title the
        service does not know is not playable; other failures raise."""
        args = (_arg(imdb_id, "imdb_id"), _i32(season, "season"), _i32(episode, "episode"))
        self._retire_files()
        r = self._lib.mvfiles_is_playable_se(*args)
        if r in (0, 1):
            return r == 1
        raise MvfilesError(Result.ERR_TRANSPORT if r < 0 else r, self.last_error,
                           self.last_http_code)

    # -- key-value data -------------------------------------------------

    def _rows(self, count: Callable[[], int], make: Callable[[int], R]) -> List[R]:
        return [make(i) for i in range(count())]

    @_serialised
    def playlists(self, playlist_type: str) -> List[Playlist]:
        """Rows of one playlist type: "Production", "Movies" or "Series"."""
        lib = self._lib
        r = lib.mvfiles_get_playlists(None, None, _arg(playlist_type, "playlist_type"))
        if not self._found(r):
            return []
        return self._rows(lib.mvfiles_playlist_count, lambda i: Playlist(
            _text(lib.mvfiles_playlist_key(i)), _text(lib.mvfiles_playlist_value(i)),
            _number(lib.mvfiles_playlist_id(i)),
            _text(lib.mvfiles_playlist_name(i)), _text(lib.mvfiles_playlist_logo(i)),
            _text(lib.mvfiles_playlist_origin(i)),
            tuple(_text(lib.mvfiles_playlist_imdb(i, j)) or ""
                  for j in range(lib.mvfiles_playlist_imdb_count(i)))))

    @_serialised
    def progress(self, imdb_id: str, user: Optional[str] = None,
                 profile: int = 0) -> List[Progress]:
        """Watch positions saved by a user profile for a title (and, since
        the key prefix has no trailing "_", for titles whose id extends it)."""
        lib = self._lib
        if not self._found(lib.mvfiles_get_progress(_arg(user, "user"), _i32(profile, "profile"),
                                                    _arg(imdb_id, "imdb_id"))):
            return []
        return self._rows(lib.mvfiles_progress_count, lambda i: Progress(
            _text(lib.mvfiles_progress_key(i)), float(lib.mvfiles_progress_value(i)),
            int(lib.mvfiles_progress_size(i)), _number(lib.mvfiles_progress_season(i)),
            _number(lib.mvfiles_progress_episode(i))))

    @_serialised
    def external_subtitles(self, imdb_id: str, season: int = -1,
                           episode: int = -1) -> List[Subtitle]:
        """External subtitles of one episode of a title (-1, -1 for a film)."""
        lib = self._lib
        if not self._found(lib.mvfiles_get_external_subtitles(_arg(imdb_id, "imdb_id"),
                                                              _i32(season, "season"),
                                                              _i32(episode, "episode"))):
            return []
        return self._rows(lib.mvfiles_sub_count, lambda i: Subtitle(
            _text(lib.mvfiles_sub_key(i)), _text(lib.mvfiles_sub_uri(i)),
            _text(lib.mvfiles_sub_label(i)), _text(lib.mvfiles_sub_filename(i)),
            int(lib.mvfiles_sub_id(i)),
            int(lib.mvfiles_sub_parent_id(i)) if lib.mvfiles_sub_is_child(i) == 1 else None))

    @_serialised
    def session_index(self, user: Optional[str] = None) -> List[SessionIndexEntry]:
        """Playback-session index rows of a user, or of all users for None."""
        lib = self._lib
        if not self._found(lib.mvfiles_get_session_index(_arg(user, "user"))):
            return []
        return self._rows(lib.mvfiles_sessionix_count, lambda i: SessionIndexEntry(
            _text(lib.mvfiles_sessionix_key(i)), _text(lib.mvfiles_sessionix_user(i)),
            _text(lib.mvfiles_sessionix_imdb(i)), _text(lib.mvfiles_sessionix_sessionkey(i)),
            lib.mvfiles_sessionix_profile(i), _number(lib.mvfiles_sessionix_season(i)),
            _number(lib.mvfiles_sessionix_episode(i)), int(lib.mvfiles_sessionix_size(i))))

    @_serialised
    def storages(self) -> List[Storage]:
        """The user's cloud storages (never answered from the cache)."""
        lib = self._lib
        if not self._found(lib.mvfiles_get_storages()):
            return []
        return self._rows(lib.mvfiles_storage_count, lambda i: Storage(
            _text(lib.mvfiles_storage_id(i)), _text(lib.mvfiles_storage_type(i)),
            _text(lib.mvfiles_storage_email(i)), _text(lib.mvfiles_storage_name(i)),
            _text(lib.mvfiles_storage_state(i)), int(lib.mvfiles_storage_total(i)),
            int(lib.mvfiles_storage_used(i)), int(lib.mvfiles_storage_remaining(i))))

    @_serialised
    def playback_sessions(self, ids: str) -> List[PlaybackSession]:
        """Playback-session rows by their ids (the text is sent as it is)."""
        lib = self._lib
        if not self._found(lib.mvfiles_get_playback_sessions(_arg(ids, "ids"))):
            return []

        def row(i: int) -> PlaybackSession:
            value = _text(lib.mvfiles_session_value(i))
            bits = tuple(_flag(lib.mvfiles_session_bit(i, p))
                         for p in range(len(lib.mvfiles_session_value(i) or b"")))
            return PlaybackSession(_text(lib.mvfiles_session_id(i)),
                                   _text(lib.mvfiles_session_created(i)), value, bits)
        return self._rows(lib.mvfiles_session_count, row)

    # -- writes ---------------------------------------------------------

    def _write(self, arm: bool, send: Callable[[], int]) -> None:
        # The switch is on only for the duration of one armed call.
        if not isinstance(arm, bool):
            raise TypeError("arm must be True or False")
        lib = self._lib
        lib.mvfiles_arm_writes(1 if arm else 0)
        try:
            result = send()
            error = MvfilesError(result, self.last_error, self.last_http_code) if result else None
        finally:
            if arm:
                lib.mvfiles_arm_writes(0)
        if error:
            raise error

    @_serialised
    def save_progress(self, user: str, profile: int, imdb_id: str, season: int, episode: int,
                      position: float, duration: float, *, arm: bool) -> None:
        """WRITE: saves a watch position (seconds) as position/duration.
        Changes real data; runs only with ``arm=True``."""
        args = (_arg(user, "user"), _i32(profile, "profile"), _arg(imdb_id, "imdb_id"),
                _i32(season, "season"), _i32(episode, "episode"), 0, float(position),
                float(duration))
        self._write(arm, lambda: self._lib.mvfiles_save_progress(*args))

    @_serialised
    def update_playback_session(self, key: str, base64_body: str, position: Optional[str] = None,
                                duration: Optional[str] = None, *, arm: bool) -> None:
        """WRITE: overwrites a playback-session row with a base64 body;
        position and duration travel only when both are given. Changes real
        data; runs only with ``arm=True``."""
        args = (_arg(key, "key"), _arg(base64_body, "base64_body"), _arg(position, "position"),
                _arg(duration, "duration"))
        self._write(arm, lambda: self._lib.mvfiles_update_playback_session(*args))

    @_serialised
    def download_magnet(self, user: str, magnet: Optional[str] = None, *,
                        storage_id: Optional[str] = None, downloader_id: Optional[str] = None,
                        extension: Optional[str] = None, tkey: Optional[str] = None,
                        arm: bool) -> None:
        """WRITE: queues a download by magnet link or tkey. Changes real
        data; runs only with ``arm=True``."""
        args = (_arg(user, "user"), _arg(magnet, "magnet"), _arg(storage_id, "storage_id"),
                _arg(downloader_id, "downloader_id"), _arg(extension, "extension"),
                _arg(tkey, "tkey"))
        self._write(arm, lambda: self._lib.mvfiles_download_magnet(*args))

    # -- cache and fixture controls -------------------------------------

    @_serialised
    def cache_set_ttl(self, files: int = 0, kv: int = 0, sessions: int = 0) -> None:
        """Sets the time-to-live in seconds of each family; 0 leaves it."""
        self._lib.mvfiles_cache_set_ttl(_i32(files, "files"), _i32(kv, "kv"),
                                        _i32(sessions, "sessions"))

    def cache_clear(self) -> None:
        """Drops the files, kv and sessions tables."""
        with LOCK:
            self._retire_files()
            self._lib.mvfiles_cache_clear()

    def cache_invalidate(self, family: str, key: Optional[str] = None) -> None:
        """Drops a family's table ("files", "kv", "sessions" or "*") when
        ``key`` is None or its stored key."""
        with LOCK:
            if family in ("files", "*"):
                self._retire_files()
            r = self._lib.mvfiles_cache_invalidate(_arg(family, "family"), _arg(key, "key"))
        if r:
            raise MvfilesError(r, "unknown cache family %r" % family)

    @_serialised
    def cache_has(self, family: str) -> bool:
        """Whether a family holds a fresh table ("*": any table)."""
        flag = ctypes.c_int32(0)
        r = self._lib.mvfiles_cache_has(_arg(family, "family"), None, ctypes.byref(flag))
        if r:
            raise MvfilesError(r, "unknown cache family %r" % family)
        return flag.value == 1

    @_serialised
    def fake_mode(self, mode: int) -> None:
        """Failure mode of the fixture backend: 0 normal routing, 1 transport
        failure, 2 HTTP 500, 3 HTTP 404, 4 invalid JSON, 5 empty body, 6 null."""
        r = self._lib.mvfiles_fake_mode(_i32(mode, "mode"))
        if r:
            raise MvfilesError(r, "fake mode must be 0 to 6 (got %d)" % mode)

    @_serialised
    def fake_stats(self) -> FakeStats:
        """Requests, routing failures and the last request of the fixture backend."""
        lib = self._lib
        return FakeStats(int(lib.mvfiles_fake_calls()), int(lib.mvfiles_fake_fail_count()),
                         _text(lib.mvfiles_fake_last_url()) or "")

    @_serialised
    def fake_reset(self) -> None:
        """Clears the fixture backend's statistics."""
        self._lib.mvfiles_fake_reset()
