using System;
using System.Collections.Generic;
using static Mvfiles.Interop.Native;
using static Mvfiles.MvfilesClient;

namespace Mvfiles.Interop;

/// Copies the library's file table into records, on the worker while the
/// table is current. Each file's JSON is copied as UTF-8 bytes into shared
/// chunks; the text is only made when a record's Json is first read.
internal static unsafe class FileReader
{
    private const int FirstChunk = 4 << 10, LargestChunk = 1 << 20;

    internal static IReadOnlyList<FileEntry> Read()
    {
        int count = mvfiles_count();
        if (count <= 0)
            return ValueList<FileEntry>.Empty;
        var files = new FileEntry[count];
        var json = new JsonChunks();
        var texts = new ShortTexts();
        for (int i = 0; i < count; i++)
        {
            int entryCount = mvfiles_entry_count(i);
            IReadOnlyList<AccessEntry> entries = ValueList<AccessEntry>.Empty;
            if (entryCount > 0)
            {
                var list = new AccessEntry[entryCount];
                for (int e = 0; e < entryCount; e++)
                    list[e] = new AccessEntry(texts.Copy(mvfiles_entry_uri(i, e)), texts.Copy(mvfiles_entry_url(i, e)),
                                              mvfiles_entry_is_active(i, e) == 1,
                                              Number(mvfiles_entry_content_source(i, e)));
                entries = new ValueList<AccessEntry>(list);
            }
            files[i] = new FileEntry(
                i, texts.Copy(mvfiles_key(i)), texts.Copy(mvfiles_imdb(i)), texts.Copy(mvfiles_parent_key(i)),
                texts.Copy(mvfiles_filename(i)), texts.Copy(mvfiles_path(i)), texts.Copy(mvfiles_extension(i)),
                texts.Copy(mvfiles_subtitle_languages(i)), texts.Copy(mvfiles_subtitle_language_titles(i)),
                texts.Copy(mvfiles_created(i)), texts.Copy(mvfiles_record_updated(i)), mvfiles_size(i),
                mvfiles_duration_seconds(i), Number(mvfiles_season(i)), Number(mvfiles_episode(i)),
                Flag(mvfiles_is_hdr(i)), Flag(mvfiles_is_hevc(i)), Flag(mvfiles_is_dolby(i)),
                mvfiles_subtitle_count(i), mvfiles_audio_channels(i), mvfiles_video_width(i),
                mvfiles_video_height(i), entries, json.Add(mvfiles_file_json(i)));
        }
        return new ValueList<FileEntry>(files);
    }

    // Files of one answer repeat many short texts (extensions, languages,
    // dates, the title's id): each is made once per answer. A text of up to
    // 15 bytes is its own key, its bytes and length packed in 128 bits.
    private sealed class ShortTexts
    {
        private const int Longest = 15, Most = 4096;
        private readonly Dictionary<Packed, string> _seen = new Dictionary<Packed, string>();

        private readonly struct Packed : IEquatable<Packed>
        {
            private readonly ulong _lo, _hi;

            internal Packed(ulong lo, ulong hi)
            {
                _lo = lo;
                _hi = hi;
            }

            public bool Equals(Packed other) => _lo == other._lo && _hi == other._hi;

            public override bool Equals(object? obj) => obj is Packed other && Equals(other);

            public override int GetHashCode() => (_lo * 0x9E3779B97F4A7C15UL ^ _hi).GetHashCode();
        }

        internal string? Copy(byte* text)
        {
            if (text == null)
                return null;
            int n = Utf8.Length(text);
            if (n > Longest)
                return System.Text.Encoding.UTF8.GetString(text, n);
            ulong lo = 0, hi = (ulong)n << 56;
            for (int i = 0; i < n; i++)
                if (i < 8)
                    lo |= (ulong)text[i] << (8 * i);
                else
                    hi |= (ulong)text[i] << (8 * (i - 8));
            if (_seen.TryGetValue(new Packed(lo, hi), out var known))
                return known;
            string made = System.Text.Encoding.UTF8.GetString(text, n);
            if (_seen.Count < Most)
                _seen[new Packed(lo, hi)] = made;
            return made;
        }
    }

    // Appends texts to buffers that double up to a megabyte: a few
    // allocations per answer instead of one per file.
    private sealed class JsonChunks
    {
        private byte[] _chunk = Array.Empty<byte>();
        private int _used;

        internal Utf8Text? Add(byte* text)
        {
            if (text == null)
                return null;
            int length = Utf8.Length(text);
            if (length == 0)
                return new Utf8Text(Array.Empty<byte>(), 0, 0);
            if (_chunk.Length - _used < length)
            {
                int size = _chunk.Length == 0 ? FirstChunk : Math.Min(_chunk.Length * 2, LargestChunk);
#if NET5_0_OR_GREATER
                _chunk = GC.AllocateUninitializedArray<byte>(Math.Max(size, length));
#else
                _chunk = new byte[Math.Max(size, length)];
#endif
                _used = 0;
            }
            fixed (byte* to = &_chunk[0])
                Buffer.MemoryCopy(text, to + _used, _chunk.Length - _used, length);
            var slice = new Utf8Text(_chunk, _used, length);
            _used += length;
            return slice;
        }
    }
}
