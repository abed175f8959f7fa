using System;
using System.Text;

namespace Mvfiles.Interop;

/// Texts in and out of the library: NUL-terminated UTF-8 both ways.
internal static unsafe class Utf8
{
    private static readonly UTF8Encoding Strict = new UTF8Encoding(false, true);

    /// The text as NUL-terminated UTF-8, or null for null. A NUL inside the
    /// text would cut it short on the native side, and a lone surrogate has
    /// no UTF-8 form: both are refused rather than sent altered.
    internal static byte[]? Encode(string? text, string name)
    {
        if (text is null)
            return null;
        if (text.IndexOf('\0') >= 0)
            throw new ArgumentException(name + " contains a NUL character", name);
        try
        {
            var bytes = new byte[Strict.GetByteCount(text) + 1];
            Strict.GetBytes(text, 0, text.Length, bytes, 0);
            return bytes;
        }
        catch (EncoderFallbackException e)
        {
            throw new ArgumentException(name + " is not valid Unicode text", name, e);
        }
    }

    /// As Encode, for a text that must be given.
    internal static byte[] EncodeRequired(string? text, string name) =>
        Encode(text ?? throw new ArgumentNullException(name), name)!;

    /// Bytes of a NUL-terminated text, without the NUL.
    internal static int Length(byte* text)
    {
#if NET5_0_OR_GREATER
        return text == null ? 0 : System.Runtime.InteropServices.MemoryMarshal.CreateReadOnlySpanFromNullTerminated(text).Length;
#else
        int n = 0;
        if (text != null)
            while (text[n] != 0)
                n++;
        return n;
#endif
    }

    /// A managed copy of a library text (which stays the library's), or null.
    internal static string? Copy(byte* text) =>
        text == null ? null : Encoding.UTF8.GetString(text, Length(text));

    /// A copy of a text whose NULL reading is "" (version, last error).
    internal static string CopyOrEmpty(byte* text) => Copy(text) ?? "";
}
