#if !NET5_0_OR_GREATER
// Lets records with init-only members compile for netstandard2.0.
namespace System.Runtime.CompilerServices
{
    internal static class IsExternalInit { }
}
#endif
