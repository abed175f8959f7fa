using System;
using System.Collections.Concurrent;
using System.Threading;

namespace Mvfiles.Interop;

/// The binding's state for the whole process. The native library has one
/// state per process, and every copy of this assembly (one per plug-in load
/// context) must share one serialisation of native calls, one client count
/// and one kept transport. A copy cannot see another copy's types, so the
/// shared state is made of core-library types only (arrays, delegates,
/// AsyncLocal) and kept in AppDomain.CurrentDomain's data, which on .NET
/// (Core) is one per process.
///
/// On .NET Framework and mono each AppDomain has its own data: there every
/// domain keeps its own hub and worker, and the worker holds a named mutex
/// of the process around each native call, so calls of two domains never
/// meet inside the library. The client count is then kept in a named
/// semaphore where the runtime has them.
internal sealed class Hub
{
    private const string Slot = "Mvfiles.Net.ProcessState.1";

    // Slots of the shared array; its layout is fixed for every copy that
    // carries this version of the slot name.
    private const int PostSlot = 0, MarkerSlot = 1, CountSlot = 2, KeptSlot = 3, EpochSlot = 4,
                      InTransportSlot = 5, OnWorkerSlot = 6, CallSlot = 7, ErrorSlot = 8, Slots = 9;

    private readonly Action<Action> _post;
    private readonly object _marker;
    private readonly int[] _count;
    private readonly IDisposable?[] _kept;
    private readonly long[] _epoch;
    private readonly AsyncLocal<object?> _inTransport;
    private readonly Func<bool> _onWorker;
    private readonly CancellationToken[] _call;
    private readonly Exception?[] _error;
    private readonly Semaphore? _domainCount;
    private readonly bool _perDomain;

    internal static readonly Hub Instance = Attach();

    private Hub(object[] s, bool perDomain, Semaphore? domainCount)
    {
        _perDomain = perDomain;
        _post = (Action<Action>)s[PostSlot];
        _marker = s[MarkerSlot];
        _count = (int[])s[CountSlot];
        _kept = (IDisposable?[])s[KeptSlot];
        _epoch = (long[])s[EpochSlot];
        _inTransport = (AsyncLocal<object?>)s[InTransportSlot];
        _onWorker = (Func<bool>)s[OnWorkerSlot];
        _call = (CancellationToken[])s[CallSlot];
        _error = (Exception?[])s[ErrorSlot];
        _domainCount = domainCount;
    }

    private static Hub Attach()
    {
#if NET5_0_OR_GREATER
        const bool perDomain = false;
#else
        bool perDomain = Type.GetType("System.Runtime.Loader.AssemblyLoadContext", false) == null;
#endif
        object[] s;
        // The first copy to arrive makes the state; the lock is on a type
        // object of the core library, the one object every copy sees.
        lock (typeof(AppDomain))
        {
            s = AppDomain.CurrentDomain.GetData(Slot) as object[] ?? Create(perDomain ? ProcessMutex() : null);
            AppDomain.CurrentDomain.SetData(Slot, s);
        }
        return new Hub(s, perDomain, perDomain ? DomainCount() : null);
    }

    private static object[] Create(Mutex? processGate)
    {
        var worker = new Worker(processGate);
        var s = new object[Slots];
        s[PostSlot] = (Action<Action>)worker.Post;
        // Any object: it only marks an exchange in progress (EnterTransport).
        s[MarkerSlot] = new object();
        s[CountSlot] = new int[1];
        s[KeptSlot] = new IDisposable?[1];
        s[EpochSlot] = new long[1];
        s[InTransportSlot] = new AsyncLocal<object?>();
        s[OnWorkerSlot] = (Func<bool>)worker.OnWorker;
        s[CallSlot] = new CancellationToken[2];
        s[ErrorSlot] = new Exception?[1];
        return s;
    }

    private static string ProcessName(string what)
    {
        using var self = System.Diagnostics.Process.GetCurrentProcess();
        return "Local\\mvfiles-net-" + what + "-" + self.Id;
    }

    private static Mutex ProcessMutex() => new Mutex(false, ProcessName("calls"));

    // A count shared by the AppDomains of the process: Release returns the
    // count before it, WaitOne(0) takes one back.
    private static Semaphore? DomainCount()
    {
        try
        {
            return new Semaphore(0, int.MaxValue, ProcessName("clients"));
        }
        catch (Exception e) when (e is PlatformNotSupportedException || e is NotSupportedException
                                  || e is UnauthorizedAccessException || e is System.IO.IOException)
        {
            return null;
        }
    }

    /// Queues work for the worker thread; work runs one item at a time, in order.
    internal void Post(Action work) => _post(work);

    /// Whether the current code runs where a library call would wait for
    /// itself: on the worker, or in a host transport's handler.
    internal bool WouldDeadlock => _onWorker() || _inTransport.Value != null;

    /// Marks the execution context of a transport exchange: the handlers'
    /// continuations inherit it.
    internal void EnterTransport() => _inTransport.Value = _marker;

    internal void LeaveTransport() => _inTransport.Value = null;

    /// Starts a call on the worker: the caller's token and the client's
    /// deadline, which the host transport sends with.
    internal void BeginCall(CancellationToken caller, CancellationToken deadline)
    {
        _call[0] = caller;
        _call[1] = deadline;
        _error[0] = null;
    }

    internal void EndCall()
    {
        _call[0] = _call[1] = default;
        _error[0] = null;
    }

    /// The token of the caller of the call the worker runs now.
    internal CancellationToken CallToken => _call[0];

    /// Cancelled when the running call's client-side timeout has passed.
    internal CancellationToken CallDeadline => _call[1];

    /// The host transport's exception of the running call, if any.
    internal Exception? TransportError
    {
        get => _error[0];
        set => _error[0] = value;
    }

    /// Generation of the library's file table: raised (on the worker) by
    /// every call that may have replaced or dropped it. Only meaningful when
    /// the hub is the whole process's: another AppDomain's calls do not
    /// raise this domain's count.
    internal long FilesEpoch => _epoch[0];

    /// Whether every native call of the process goes through this hub.
    internal bool WholeProcess => !_perDomain;

    internal void FilesChanged() => _epoch[0]++;

    /// Adds a client of the process. Counting runs on the worker, in the
    /// order of the calls, so that a count and a shutdown never cross.
    internal void Open() => Post(() =>
    {
        _count[0]++;
        _domainCount?.Release();
    });

    /// Removes a client; the last one of the process runs lastGone on the worker.
    internal void Close(Action lastGone) => Post(() =>
    {
        _count[0]--;
        bool last = _count[0] == 0;
        if (_domainCount != null)
        {
            _domainCount.WaitOne(0);
            // Release reports the count before it; the probe is taken back.
            last = _domainCount.Release() == 0;
            _domainCount.WaitOne(0);
        }
        if (last)
            lastGone();
    });

    /// Keeps the host transport the library now refers to (null for none),
    /// releasing the one it referred to before. Runs on the worker.
    internal void Keep(IDisposable? transport)
    {
        var old = _kept[0];
        _kept[0] = transport;
        if (!ReferenceEquals(old, transport))
            old?.Dispose();
    }

    /// The one thread that calls the library.
    private sealed class Worker
    {
        private readonly BlockingCollection<Action> _queue = new BlockingCollection<Action>();
        private readonly Thread _thread;
        private readonly Mutex? _processGate;

        internal Worker(Mutex? processGate)
        {
            _processGate = processGate;
            _thread = new Thread(Run) { IsBackground = true, Name = "mvfiles" };
            _thread.Start();
        }

        internal void Post(Action work) => _queue.Add(work);

        internal bool OnWorker() => Thread.CurrentThread == _thread;

        private void Run()
        {
            foreach (var work in _queue.GetConsumingEnumerable())
            {
                bool held = false;
                try
                {
                    if (_processGate != null)
                    {
                        try { held = _processGate.WaitOne(); }
                        catch (AbandonedMutexException) { held = true; }
                    }
                    work();
                }
                catch
                {
                    // Work items complete their own tasks; nothing may end the worker.
                }
                finally
                {
                    if (held)
                        _processGate!.ReleaseMutex();
                }
            }
        }
    }
}
