// The library's exports, one line each, with blittable parameters only:
// texts cross as NUL-terminated UTF-8 made by Utf8.Encode and read back by
// Utf8.Copy, so no marshaller allocates or frees anything on either side.
//
// This file is written for the source-generated imports of .NET 7 and later.
// The netstandard2.0 build compiles a copy made by Mvfiles.csproj in which
// each line becomes a classic DllImport; keep one declaration per line.
using System.Runtime.InteropServices;

namespace Mvfiles.Interop;

internal static unsafe partial class Native
{
    internal const string Lib = "mvfiles";

    [LibraryImport(Lib)] internal static partial byte* mvfiles_version();
    [LibraryImport(Lib)] internal static partial void mvfiles_set_host(byte* origin);
    [LibraryImport(Lib)] internal static partial int mvfiles_set_io(void* io);
    [LibraryImport(Lib)] internal static partial int mvfiles_use_curl();
    [LibraryImport(Lib)] internal static partial byte* mvfiles_last_error();
    [LibraryImport(Lib)] internal static partial int mvfiles_last_http_code();
    [LibraryImport(Lib)] internal static partial void mvfiles_shutdown();
    [LibraryImport(Lib)] internal static partial int mvfiles_arm_writes(int arm);
    [LibraryImport(Lib)] internal static partial int mvfiles_writes_armed();
    [LibraryImport(Lib)] internal static partial int mvfiles_stable_hash(byte* text);
    [LibraryImport(Lib)] internal static partial void mvfiles_cache_set_ttl(int files, int kv, int sessions);
    [LibraryImport(Lib)] internal static partial void mvfiles_cache_clear();
    [LibraryImport(Lib)] internal static partial int mvfiles_cache_invalidate(byte* family, byte* key);
    [LibraryImport(Lib)] internal static partial int mvfiles_cache_has(byte* family, byte* key, int* present);
    [LibraryImport(Lib)] internal static partial int mvfiles_get_by_imdb(byte* imdb_id, int season, int episode);
    [LibraryImport(Lib)] internal static partial int mvfiles_get_by_keys(byte** keys, ulong count);
    [LibraryImport(Lib)] internal static partial int mvfiles_is_playable_se(byte* imdb_id, int season, int episode);
    [LibraryImport(Lib)] internal static partial int mvfiles_is_playable(byte* imdb_id);
    [LibraryImport(Lib)] internal static partial int mvfiles_count();
    [LibraryImport(Lib)] internal static partial byte* mvfiles_key(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_imdb(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_parent_key(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_filename(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_path(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_extension(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_subtitle_languages(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_subtitle_language_titles(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_created(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_record_updated(int i);
    [LibraryImport(Lib)] internal static partial long mvfiles_size(int i);
    [LibraryImport(Lib)] internal static partial long mvfiles_duration_seconds(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_season(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_episode(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_is_hdr(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_is_hevc(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_is_dolby(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_subtitle_count(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_audio_channels(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_video_width(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_video_height(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_entry_count(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_entry_uri(int i, int e);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_entry_url(int i, int e);
    [LibraryImport(Lib)] internal static partial int mvfiles_entry_is_active(int i, int e);
    [LibraryImport(Lib)] internal static partial int mvfiles_entry_content_source(int i, int e);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_file_json(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_get_playlists(byte* reserved1, byte* reserved2, byte* type);
    [LibraryImport(Lib)] internal static partial int mvfiles_playlist_count();
    [LibraryImport(Lib)] internal static partial byte* mvfiles_playlist_key(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_playlist_value(int i);
    [LibraryImport(Lib)] internal static partial long mvfiles_playlist_id(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_playlist_name(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_playlist_logo(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_playlist_origin(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_playlist_imdb_count(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_playlist_imdb(int i, int j);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_playlist_imdbids(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_get_progress(byte* user, int profile, byte* imdb_id);
    [LibraryImport(Lib)] internal static partial int mvfiles_progress_count();
    [LibraryImport(Lib)] internal static partial byte* mvfiles_progress_key(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_progress_updated(int i);
    [LibraryImport(Lib)] internal static partial double mvfiles_progress_value(int i);
    [LibraryImport(Lib)] internal static partial long mvfiles_progress_size(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_progress_season(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_progress_episode(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_get_external_subtitles(byte* imdb_id, int season, int episode);
    [LibraryImport(Lib)] internal static partial int mvfiles_sub_count();
    [LibraryImport(Lib)] internal static partial byte* mvfiles_sub_key(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_sub_uri(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_sub_label(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_sub_filename(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_sub_updated(int i);
    [LibraryImport(Lib)] internal static partial long mvfiles_sub_id(int i);
    [LibraryImport(Lib)] internal static partial long mvfiles_sub_parent_id(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_sub_enabled(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_sub_is_child(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_get_session_index(byte* user);
    [LibraryImport(Lib)] internal static partial int mvfiles_sessionix_count();
    [LibraryImport(Lib)] internal static partial byte* mvfiles_sessionix_key(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_sessionix_user(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_sessionix_imdb(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_sessionix_sessionkey(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_sessionix_profile(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_sessionix_season(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_sessionix_episode(int i);
    [LibraryImport(Lib)] internal static partial long mvfiles_sessionix_size(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_get_storages();
    [LibraryImport(Lib)] internal static partial int mvfiles_storage_count();
    [LibraryImport(Lib)] internal static partial byte* mvfiles_storage_email(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_storage_name(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_storage_id(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_storage_state(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_storage_type(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_storage_files_count(int i);
    [LibraryImport(Lib)] internal static partial long mvfiles_storage_total(int i);
    [LibraryImport(Lib)] internal static partial long mvfiles_storage_used(int i);
    [LibraryImport(Lib)] internal static partial long mvfiles_storage_remaining(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_get_playback_sessions(byte* ids);
    [LibraryImport(Lib)] internal static partial int mvfiles_session_count();
    [LibraryImport(Lib)] internal static partial byte* mvfiles_session_id(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_session_created(int i);
    [LibraryImport(Lib)] internal static partial byte* mvfiles_session_value(int i);
    [LibraryImport(Lib)] internal static partial int mvfiles_session_bit(int i, int position);
    [LibraryImport(Lib)] internal static partial int mvfiles_save_progress(byte* user, int profile, byte* imdb_id, int season, int episode, long reserved, double position, double duration);
    [LibraryImport(Lib)] internal static partial int mvfiles_update_playback_session(byte* key, byte* base64_body, byte* position, byte* duration);
    [LibraryImport(Lib)] internal static partial int mvfiles_download_magnet(byte* user, byte* magnet, byte* storage_id, byte* downloader_id, byte* extension, byte* tkey);
    [LibraryImport(Lib)] internal static partial int mvfiles_use_fake();
    [LibraryImport(Lib)] internal static partial int mvfiles_fake_corpus(byte* dir);
    [LibraryImport(Lib)] internal static partial int mvfiles_fake_mode(int mode);
    [LibraryImport(Lib)] internal static partial long mvfiles_fake_calls();
    [LibraryImport(Lib)] internal static partial long mvfiles_fake_fail_count();
    [LibraryImport(Lib)] internal static partial byte* mvfiles_fake_last_url();
    [LibraryImport(Lib)] internal static partial void mvfiles_fake_reset();
}
