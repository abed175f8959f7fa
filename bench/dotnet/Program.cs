// GetFiles on a large answer (45,000 files, about 31 MB) and a typical one
// (10 files), each against System.Text.Json deserialising the same bytes
// into equivalent records (source-generated, the fastest way it offers),
// then a repeat answered from the library's table; "look-up" is the native
// look-up alone, through the same queue, with nothing copied out. The answer has the
// shape of the native files benchmark. Medians of warm runs, in CPU time of
// the whole process (the worker thread and the collector's included), which
// other programs on the machine do not change as much as elapsed time.
using System.Diagnostics;
using System.Text;
using System.Text.Json;
using System.Text.Json.Serialization;
using Mvfiles;

static string Answer(int files)
{
    var s = new StringBuilder(files * 700).Append('[');
    for (int i = 0; i < files; i++)
    {
        if (i > 0)
            s.Append(',');
        int day = i % 28 + 1;
        s.Append($"{{\"key\":\"file-{i:D8}\",\"imDbID\":\"tt{i % 9999999:D7}\",\"parentKey\":\"p{i / 10:D6}\",")
         .Append($"\"fileName\":\"T.S{i % 20:D2}E{i % 30:D2}.{i % 100000:D5}.mkv\",")
         .Append($"\"path\":\"/lib/Season {i % 20:D2}/file-{i:D8}.mkv\",")
         .Append("\"extension\":\".mkv\",\"subtitleLanguages\":\"en,fr\",")
         .Append("\"subtitleLanguageTitles\":\"English,French\",")
         .Append($"\"created\":\"2024-01-{day:D2}\",\"recordUpdated\":\"2024-02-{day:D2}\",")
         .Append($"\"size\":{4000000000L + i},\"durationSeconds\":{2700 + i % 600},\"season\":{i % 20},\"episode\":{i % 30},")
         .Append($"\"isHDR\":{((i & 1) != 0 ? "true" : "false")},\"isHEVC\":true,\"isDolbyAtmos\":false,\"subtitleCount\":4,")
         .Append("\"audioChannelCount\":6,\"videoWidth\":3840,\"videoHeight\":2160,")
         .Append($"\"entries\":[{{\"uri\":\"s:a{i:D8}\",\"url\":\"https://cdn/a/{i:D8}\",")
         .Append("\"isActive\":true,\"accessSource\":{\"contentSource\":1}},")
         .Append($"{{\"uri\":\"s:b{i:D8}\",\"isActive\":false,\"accessSource\":{{\"contentSource\":2}}}}]}}");
    }
    return s.Append(']').ToString();
}

static double Median(int runs, Action run)
{
    run();
    var times = new double[runs];
    using var self = Process.GetCurrentProcess();
    for (int i = 0; i < runs; i++)
    {
        self.Refresh();
        var before = self.TotalProcessorTime;
        run();
        self.Refresh();
        times[i] = (self.TotalProcessorTime - before).TotalMilliseconds;
    }
    Array.Sort(times);
    return times[runs / 2];
}

string corpus = Path.Combine(Path.GetTempPath(), "mvfiles-dotnet-bench-" + Environment.ProcessId);
Directory.CreateDirectory(corpus);
try
{
    using var client = new MvfilesClient();
    client.UseFake(corpus);
    Console.WriteLine("files: .NET GetFiles against System.Text.Json into records (median CPU ms of the process)");
    Console.WriteLine($"{"case",-16}{"files",8}{"MB",8}{"GetFiles",12}{"STJ",12}{"ratio",8}{"look-up",12}");
    foreach (var (name, count, runs) in new[] { ("files/large", 45000, 15), ("files/typical", 10, 2001) })
    {
        byte[] bytes = Encoding.UTF8.GetBytes(Answer(count));
        File.WriteAllBytes(Path.Combine(corpus, "getfiles.movie-single.json"), bytes);
        // Season and episode -2 never match the table's key: every call
        // fetches and replaces the table.
        double ours = Median(runs, () => Check(client.GetFiles("tt0111161", -2, -2), count));
        double stj = Median(runs, () => Check(JsonSerializer.Deserialize(bytes, Records.Default.ListFileRecord)!, count));
        // The same native look-up and table build, nothing copied out.
        double native = Median(runs, () => client.IsPlayable("tt0111161", -2, -2));
        Console.WriteLine($"{name,-16}{count,8}{bytes.Length / 1e6,8:F1}{ours,12:F3}{stj,12:F3}{ours / stj,8:F2}{native,12:F3}");
        client.ClearCache();
        client.GetFiles("tt0111161");
        double hit = Median(runs, () => Check(client.GetFiles("tt0111161"), count));
        Console.WriteLine($"{name + " repeat",-16}{count,8}{"",8}{hit,12:F4}   (answered from the library's table)");
    }
}
finally
{
    Directory.Delete(corpus, true);
}

static void Check<T>(IReadOnlyCollection<T> files, int count)
{
    if (files.Count != count)
        throw new InvalidOperationException($"expected {count} files, got {files.Count}");
}

record AccessSourceRecord([property: JsonPropertyName("contentSource")] int? ContentSource);

record EntryRecord([property: JsonPropertyName("uri")] string? Uri, [property: JsonPropertyName("url")] string? Url,
                   [property: JsonPropertyName("isActive")] bool IsActive,
                   [property: JsonPropertyName("accessSource")] AccessSourceRecord? AccessSource);

record FileRecord(
    [property: JsonPropertyName("key")] string? Key, [property: JsonPropertyName("imDbID")] string? ImdbId,
    [property: JsonPropertyName("parentKey")] string? ParentKey, [property: JsonPropertyName("fileName")] string? FileName,
    [property: JsonPropertyName("path")] string? Path, [property: JsonPropertyName("extension")] string? Extension,
    [property: JsonPropertyName("subtitleLanguages")] string? SubtitleLanguages,
    [property: JsonPropertyName("subtitleLanguageTitles")] string? SubtitleLanguageTitles,
    [property: JsonPropertyName("created")] string? Created, [property: JsonPropertyName("recordUpdated")] string? RecordUpdated,
    [property: JsonPropertyName("size")] long Size, [property: JsonPropertyName("durationSeconds")] long DurationSeconds,
    [property: JsonPropertyName("season")] int? Season, [property: JsonPropertyName("episode")] int? Episode,
    [property: JsonPropertyName("isHDR")] bool? Hdr, [property: JsonPropertyName("isHEVC")] bool? Hevc,
    [property: JsonPropertyName("isDolbyAtmos")] bool? DolbyAtmos, [property: JsonPropertyName("subtitleCount")] int SubtitleCount,
    [property: JsonPropertyName("audioChannelCount")] int AudioChannels, [property: JsonPropertyName("videoWidth")] int VideoWidth,
    [property: JsonPropertyName("videoHeight")] int VideoHeight,
    [property: JsonPropertyName("entries")] List<EntryRecord>? Entries);

[JsonSerializable(typeof(List<FileRecord>))]
partial class Records : JsonSerializerContext { }
