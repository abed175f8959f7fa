"""The binding over the offline fixture backend and the loopback server."""

import os
import subprocess
import sys
from pathlib import Path

import pytest

from mvfiles import LIBRARY_ENV, Client, MvfilesError, Result, _native, bundled_corpus, load_library

ROOT = Path(__file__).resolve().parents[2]
FIXTURES = os.environ.get("MVFILES_TEST_FIXTURES", str(ROOT / "fixtures"))


@pytest.fixture
def client():
    c = Client()
    c.fake_mode(0)
    c.cache_clear()
    c.fake_reset()
    c.use_fake(FIXTURES)
    yield c
    c.fake_mode(0)
    c.shutdown()


@pytest.fixture(scope="module")
def loopback():
    # The service routes without a corpus: one built-in file that leaves
    # most members out.
    server = subprocess.Popen([sys.executable, str(ROOT / "tests" / "loopback_server.py"),
                               "--lifetime", "60"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    ports = dict(p.split("=") for p in server.stdout.readline().decode().split())
    yield "http://127.0.0.1:" + ports["http"]
    server.stdin.close()
    server.wait(10)


def test_files_map_types_and_survive_later_calls(client, monkeypatch):
    films = client.files("tt4154796")
    monkeypatch.setenv(_native.PURE_ENV, "1")
    with Client() as pure:  # one reading through ctypes replaces the table all the same
        pure.files("tt0111161")
    series = client.files("tt0944947", 1, 1)
    client.progress("tt0111161", user="u42")
    client.shutdown()  # releases every table the texts came from
    assert [f.index for f in films] == [0, 1, 2]
    f = films[0]
    assert f.file_name.startswith("Avengers.Endgame") and f.subtitle_language_titles.endswith("日本語")
    assert (f.size, f.season, f.hdr, f.dolby_atmos) == (62345678901, None, True, True)
    assert [(e.active, e.content_source) for e in f.entries] == [(True, 1), (False, 2)]
    assert f.json.startswith('{"key":"a81c4f0b') and f.json.endswith("}]}")
    assert (series[0].season, series[0].episode, series[0].hdr) == (1, 1, False)


def test_missing_members_map_to_none(client, loopback):
    client.use_curl(loopback)
    (f,) = client.files("tt0111161")
    assert (f.key, f.parent_key, f.hdr, f.season, f.video_width) == ("k-tt0111161", None, None, None, 0)
    assert f.entries[0].content_source is None and client.last_http_code == 200


def test_key_value_tables(client):
    movies = client.playlists("Movies")
    assert movies[0].id == 101 and movies[0].imdb_ids == ("tt0111161", "tt0120689", "tt0068646")
    subs = client.external_subtitles("tt0944947", 1, 1)
    assert subs[1].parent_id == subs[0].id and subs[0].parent_id is None
    ix = client.session_index()[0]
    assert (ix.user, ix.size, ix.session_key, ix.season) == ("u42", 2147483648, "ps-7f3a91", None)
    assert [(p.season, p.episode) for p in client.progress("tt0111161", "u42")[:2]] == [(None, None), (1, 1)]
    assert client.storages()[0].used == 274877906944
    s = client.playback_sessions("any")[0]
    assert s.bits == tuple(c == "1" for c in s.value)
    assert movies[0].name == "Prison dramas"  # still there after four more look-ups


@pytest.mark.parametrize("mode, call, name, http, message", [
    (2, lambda c: c.files("tt0111161"), "MVFILES_ERR_HTTP", 500, "HTTP 500"),
    (6, lambda c: c.playlists("Series"), "MVFILES_ERR_JSON", 200, "keyvalue: root is not an array"),
    (1, lambda c: c.is_playable("tt0111161"), "MVFILES_ERR_TRANSPORT", 0,
     "transport: transport: fake: injected transport failure"),
    (4, lambda c: c.playback_sessions("x"), "MVFILES_ERR_JSON", 200, "sessions: invalid JSON"),
    (0, lambda c: c.files("abc"), "MVFILES_ERR_ARG", 0, "imdb id must look like tt… (got 'abc')"),
    (0, lambda c: c.playlists("movies"), "MVFILES_ERR_ARG", 0,
     "type must be Production, Movies or Series (got 'movies')"),
    (0, lambda c: (c.shutdown(), c.storages()), "MVFILES_ERR_NO_TRANSPORT", 0,
     "no transport installed (mvfiles_use_curl / mvfiles_set_io)"),
    (0, lambda c: c.cache_has("KV"), "MVFILES_ERR_ARG", 0, "unknown cache family 'KV'"),
])
def test_failures_raise_one_exception_type(client, mode, call, name, http, message):
    client.fake_mode(mode)
    with pytest.raises(MvfilesError) as err:
        call(client)
    assert (err.value.name, err.value.http_code, err.value.message) == (name, http, message)
    assert isinstance(err.value.code, Result) and str(err.value).count("HTTP %d" % http) <= 1


@pytest.mark.parametrize("mode, call", [(m, call) for m in (3, 5) for call in [  # 404, empty body
    lambda c: c.files("tt0111161"), lambda c: c.files_by_keys(["k"]), lambda c: c.playlists("Series"),
    lambda c: c.progress("tt0111161", "u42"), lambda c: c.external_subtitles("tt0944947", 1, 1),
    lambda c: c.session_index("u42")]] + [(5, lambda c: c.playback_sessions("x"))])
def test_nothing_found_is_an_empty_list(client, mode, call):
    client.fake_mode(mode)
    assert call(client) == []


def test_arguments_are_checked_before_the_call(client):
    with pytest.raises(ValueError):
        client.files("tt0111161\0")
    with pytest.raises(ValueError):
        client.files("tt0944947", 2**31)
    with pytest.raises(TypeError):
        client.files("tt0944947", True)
    with pytest.raises(TypeError):
        client.files_by_keys("abc")
    with pytest.raises(MvfilesError, match="corpus path over 511 bytes"):
        client.use_fake("d" * 600)
    assert client.fake_stats().calls == 0


def test_writes_need_an_explicit_arm(client, loopback):
    args = ("u42", 0, "tt0111161", -1, -1, 30.0, 120.0)
    with pytest.raises(TypeError):
        client.save_progress(*args)  # no arm argument at all
    with pytest.raises(MvfilesError) as err:
        client.download_magnet("u42", "magnet:?xt=x", arm=False)
    assert err.value.name == "MVFILES_ERR_NOT_ARMED" and client.fake_stats().calls == 0
    with pytest.raises(MvfilesError) as err:
        client.save_progress(*args, arm=True)  # the fixture backend has no write routes
    assert err.value.name == "MVFILES_ERR_TRANSPORT" and not client.writes_armed
    client.use_curl(loopback)
    client.save_progress(*args, arm=True)
    assert client.last_http_code == 200 and not client.writes_armed


def test_cache_controls(client):
    client.files("tt0111161")
    assert client.cache_has("files")
    client.cache_invalidate("files", "files|tt0944947|-1|-1")  # another key: kept
    assert client.cache_has("files")
    client.cache_invalidate("files")
    assert not client.cache_has("files") and not client.cache_has("*")


def test_library_is_found_by_path_or_environment(monkeypatch, tmp_path):
    installed = _native._installed("LIBRARY")
    explicit = installed or os.environ[LIBRARY_ENV]
    assert load_library(explicit) is load_library()
    monkeypatch.setenv(LIBRARY_ENV, str(tmp_path / "libmvfiles.so.1"))
    if installed:  # the library installed with the package comes first
        assert load_library() is load_library(explicit)
    else:
        with pytest.raises(OSError, match=LIBRARY_ENV):
            Client()
    with Client(explicit) as c:
        assert c.version == "1.0.0"


def test_one_client_closing_leaves_the_library_to_another(client):
    assert os.path.samefile(bundled_corpus(), FIXTURES)
    with Client() as other:
        other.use_fake()  # the bundled corpus
        assert other.files("tt4154796")
    other.close()
    assert client.files("tt0111161")[0].key  # the transport is still there
