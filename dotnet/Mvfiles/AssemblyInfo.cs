using System.Runtime.CompilerServices;

[assembly: InternalsVisibleTo("Mvfiles.Tests")]
