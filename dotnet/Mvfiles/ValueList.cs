using System;
using System.Collections;
using System.Collections.Generic;

namespace Mvfiles;

/// A read-only list that equals another list of the same elements in the
/// same order, so that records holding lists compare by value.
internal sealed class ValueList<T> : IReadOnlyList<T>, IEquatable<ValueList<T>>
{
    internal static readonly ValueList<T> Empty = new ValueList<T>(Array.Empty<T>());

    private readonly T[] _items;

    internal ValueList(T[] items) => _items = items;

    public T this[int index] => _items[index];

    public int Count => _items.Length;

    public IEnumerator<T> GetEnumerator() => ((IEnumerable<T>)_items).GetEnumerator();

    IEnumerator IEnumerable.GetEnumerator() => _items.GetEnumerator();

    public bool Equals(ValueList<T>? other)
    {
        if (other is null || other._items.Length != _items.Length)
            return false;
        var same = EqualityComparer<T>.Default;
        for (int i = 0; i < _items.Length; i++)
            if (!same.Equals(_items[i], other._items[i]))
                return false;
        return true;
    }

    public override bool Equals(object? obj) => obj is ValueList<T> other && Equals(other);

    public override int GetHashCode()
    {
        int hash = _items.Length;
        var same = EqualityComparer<T>.Default;
        foreach (var item in _items)
            hash = unchecked(hash * 31 + (item is null ? 0 : same.GetHashCode(item)));
        return hash;
    }

    public override string ToString() => "[" + string.Join(", ", _items) + "]";
}
