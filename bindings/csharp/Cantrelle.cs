// Cantrelle for C#: the 69 functions of cantrelle.h as P/Invoke declarations
// (class Native), and a thin wrapper over them (Log, Audio, Clock, Sound,
// Input). cantrelle.h stays the reference for what each call does and on
// which thread it may run; scripts/check-csharp-binding.py keeps Native in
// step with it.
//
// Runs on .NET Framework 4.x, Mono and .NET (Core): nothing here needs more
// than C# 6 and the marshalling every runtime has had since .NET 2.0.
//
// - Library name "cantrelle": Windows loads Cantrelle.dll (names are not case
//   sensitive there); Mono and .NET on Linux add the "lib" prefix and ".so".
// - Every import and callback is cdecl, the C calling convention of the
//   header (on x86-64 the only one; stated so nothing is left to a default).
// - bool is one byte in cantrelle.h, so every bool is marshalled as U1 (the
//   default for P/Invoke is the four-byte Win32 BOOL).
// - A float* the library writes is an [In, Out] float[]: the runtime pins it
//   or copies it back, never drops the writes. null passes a null pointer.
// - Strings are UTF-8 on every runtime: .NET Framework would marshal string
//   as the ANSI code page, so strings go in as NUL-terminated UTF-8 byte
//   arrays (Utf8.Encode) and come out of callbacks as pointers that
//   Utf8.Decode reads.
// - Delegates handed to the library are kept reachable for as long as the
//   library may call them: a collected delegate's native thunk is freed, and a
//   call through it then crashes the process.
// - A callback must not throw: an exception cannot unwind through the
//   library. The wrapper's own callbacks catch everything.
using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;
using System.Text;

namespace Cantrelle
{
    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    public delegate void LogCallback(IntPtr line);

    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    public delegate IntPtr BuildStringCallback(IntPtr buildString);

    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    public delegate void DeviceCallback(int provider, IntPtr deviceId, IntPtr name);

    [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
    public delegate void InputCallback(uint source, uint code);

    // cantrelle.h's CantrelleOutputInfo, field for field (checked with the
    // header). getoutputinfo fills as much as size says: Audio.OutputInfo
    // sets it.
    [StructLayout(LayoutKind.Sequential)]
    public struct CantrelleOutputInfo
    {
        public uint size;
        public uint provider;
        public uint sampleFormat;
        public uint frameRate;
        public uint channels;
        public uint exclusive;
        public uint devicePeriodFrames;
        public uint bufferFrames;
        public uint fillTargetFrames;
        public uint latencyFrames;
        public ulong underruns;
    }

    public static class Utf8
    {
        // NUL-terminated UTF-8 for a const char* argument; null stays null.
        public static byte[] Encode(string text)
        {
            if (text == null) return null;
            byte[] bytes = new byte[Encoding.UTF8.GetByteCount(text) + 1];
            Encoding.UTF8.GetBytes(text, 0, text.Length, bytes, 0);
            return bytes;
        }

        // Reads a NUL-terminated UTF-8 string the library passed to a callback.
        public static string Decode(IntPtr text)
        {
            if (text == IntPtr.Zero) return null;
            int length = 0;
            while (Marshal.ReadByte(text, length) != 0) ++length;
            byte[] bytes = new byte[length];
            Marshal.Copy(text, bytes, 0, length);
            return Encoding.UTF8.GetString(bytes);
        }
    }

    // The exports, named and typed as in cantrelle.h. The four that take a
    // callback are wrapped so that the delegate stays alive while the library
    // holds it; their imports are private.
    public static class Native
    {
        public const string Library = "cantrelle";
        private const CallingConvention Cdecl = CallingConvention.Cdecl;

        // ---- Audio initialisation and information ----

        [DllImport(Library, CallingConvention = Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool initaudio(int providerId, uint frameRate, int exclusive, float bufferMs,
                                            int sleepPolling, int useMmcss, [In, Out] float[] exclusiveDefaultMs,
                                            [In, Out] float[] sharedDefaultMs, byte[] deviceId,
                                            [MarshalAs(UnmanagedType.U1)] bool strictBufferSize);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void freeaudio();

        [DllImport(Library, CallingConvention = Cdecl, EntryPoint = "enumaudiodevices")]
        private static extern void enumaudiodevicesImport(DeviceCallback callback);

        // The list is made during the call: the delegate is needed only until it returns.
        public static void enumaudiodevices(DeviceCallback callback)
        {
            enumaudiodevicesImport(callback);
            GC.KeepAlive(callback);
        }

        [DllImport(Library, CallingConvention = Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool audioneedsreinit();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern int getversion();

        [DllImport(Library, CallingConvention = Cdecl, EntryPoint = "getbuildstring")]
        private static extern IntPtr getbuildstringImport(BuildStringCallback callback);

        // Called once, during the call.
        public static IntPtr getbuildstring(BuildStringCallback callback)
        {
            IntPtr result = getbuildstringImport(callback);
            GC.KeepAlive(callback);
            return result;
        }

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern int getfeatures();

        // ---- Logging ----

        [DllImport(Library, CallingConvention = Cdecl, EntryPoint = "setlogfunc")]
        private static extern void setlogfuncImport(int level, LogCallback callback);

        // A line being logged on another thread may still reach the receiver it
        // read before a replacement, and nothing tells when that line is done:
        // every receiver ever registered stays alive for the life of the process
        // (one small object per registration).
        private static readonly HashSet<LogCallback> logReceivers = new HashSet<LogCallback>();

        public static void setlogfunc(int level, LogCallback callback)
        {
            lock (logReceivers)
            {
                if (callback != null) logReceivers.Add(callback);
                setlogfuncImport(level, callback);
            }
        }

        // ---- Loading ----

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern int loadfloat(float[] pData, uint sampleTotal, uint channels, uint frequency, uint bus,
                                           float speed, float semitones, int runtimeSpeed, byte[] name);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern int loadbytes(byte[] pData, uint byteCount, uint bus, float speed, float semitones,
                                           int runtimeSpeed, byte[] name);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern int loadsegment(byte[] pData, uint unusedSize, byte[] filename, uint bus, float speed,
                                             float semitones, int runtimeSpeed, uint unusedOffset,
                                             float durationSeconds);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern int decode(byte[] pData, uint byteCount, [In, Out] float[] pOut, uint outCount);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void unload(uint id);

        // ---- Playback ----

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void play(uint id);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void playfrom(uint id, double seconds);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void stop(uint id);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern double getposition(uint id);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void setposition(uint id, double seconds);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern double getlength(uint id);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern int isplaying(uint id);

        // ---- Per-sound parameters and bus volumes ----

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void setgain(uint id, float decibels);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern float getgain(uint id);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void setvolume(uint id, float volume);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern float getvolume(uint id);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void setfade(uint id, float fade);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern float getfade(uint id);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void setpan(uint id, float pan);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern float getpan(uint id);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void setspeed(uint id, float speed);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern float getspeed(uint id);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void setsemitones(uint id, float semitones);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern float getsemitones(uint id);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void setloop(uint id, int loop);

        [DllImport(Library, CallingConvention = Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool getloop(uint id);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void setglobalvolume(float volume);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern float getglobalvolume();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void setmusicvolume(float volume);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern float getmusicvolume();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void setsfxvolume(float volume);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern float getsfxvolume();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void setmenuvolume(float volume);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern float getmenuvolume();

        // ---- Limiter and meters ----

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void setlimiterthreshold(float decibels);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern float getlimiterthreshold();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void setlimiterrelease(float milliseconds);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern float getlimiterrelease();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern float getlimiterscale();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern float getmaxsample();

        // ---- Clock ----

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void startclock();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void startclockfrom(double seconds);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void stopclock();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern double getclock();

        [DllImport(Library, CallingConvention = Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool clockrunning();

        // ---- Scheduling, pause and tick ----

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void scheduleclock(uint id, double startSeconds, double stopSeconds);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void unschedule(uint id);

        [DllImport(Library, CallingConvention = Cdecl)]
        [return: MarshalAs(UnmanagedType.U1)]
        public static extern bool pauseaudio();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void unpauseaudio();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void pausegameaudio();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void unpausegameaudio();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void tick();

        // ---- Input ----

        [DllImport(Library, CallingConvention = Cdecl, EntryPoint = "initinput")]
        [return: MarshalAs(UnmanagedType.U1)]
        private static extern bool initinputImport(int focused, InputCallback onPress, InputCallback onRelease,
                                                   int alternativeControllers, int disableSafeInput, IntPtr unused1,
                                                   IntPtr unused2, int alternativeInput);

        // The callbacks of the last successful initinput. The library calls
        // them until freeinput returns, and a later initinput succeeds only
        // after that, so replacing them there is the first safe moment. Kept
        // when freeinput is refused (not initialised, or called from inside a
        // callback), so input that is still up never calls a freed delegate.
        private static readonly object inputLock = new object();
#pragma warning disable 414  // never read: it only keeps the delegates reachable
        private static InputCallback[] inputCallbacks;
#pragma warning restore 414

        public static bool initinput(int focused, InputCallback onPress, InputCallback onRelease,
                                     int alternativeControllers, int disableSafeInput, IntPtr unused1, IntPtr unused2,
                                     int alternativeInput)
        {
            lock (inputLock)
            {
                bool up = initinputImport(focused, onPress, onRelease, alternativeControllers, disableSafeInput,
                                          unused1, unused2, alternativeInput);
                if (up) inputCallbacks = new InputCallback[] { onPress, onRelease };
                GC.KeepAlive(onPress);
                GC.KeepAlive(onRelease);
                return up;
            }
        }

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void freeinput();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void lockinput();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void unlockinput();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void onfocus(int focused);

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern void setacceptmouseinput(int accept);

        // One timeline for sound and input (extends the interface).

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern double getheardclock();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern double getinputtime();

        [DllImport(Library, CallingConvention = Cdecl)]
        public static extern byte getoutputinfo(ref CantrelleOutputInfo info);
    }

    // ---- The wrapper ----------------------------------------------------

    // Log entries as a .NET event, each as the library wrote it: usually one
    // line with its newline, but a format block ("Selected format:") is
    // twelve lines in one entry. One receiver of the wrapper's own, registered
    // at level 0, takes every line while the event has handlers (a receiver
    // set with Native.setlogfunc at a level above 0 takes its levels away);
    // handlers run on the thread that logged, possibly several at once.
    public static class Log
    {
        private static readonly LogCallback receiver = Receive;  // alive for the life of the process
        private static readonly object handlersLock = new object();
        private static Action<string> handlers;

        public static event Action<string> Line
        {
            add
            {
                lock (handlersLock)
                {
                    bool first = handlers == null;
                    handlers += value;
                    if (first && handlers != null) Native.setlogfunc(0, receiver);
                }
            }
            remove
            {
                lock (handlersLock)
                {
                    handlers -= value;
                    // Without a receiver lines go to the debugger output again.
                    if (handlers == null) Native.setlogfunc(0, null);
                }
            }
        }

        private static void Receive(IntPtr line)
        {
            Action<string> current = handlers;
            if (current == null) return;
            try
            {
                current(Utf8.Decode(line));
            }
            catch (Exception)
            {
                // An exception cannot unwind through the library; the line is dropped.
            }
        }
    }

    public enum Provider
    {
        Default = 0,
        Null = 1,
        Wasapi = 2,
    }

    public enum Bus : uint
    {
        Ungrouped = 0,  // only the global volume applies
        Music = 1,
        Sfx = 2,
        Menu = 3,
    }

    public struct AudioDevice
    {
        public int Provider;
        public string Id;
        public string Name;
    }

    public static class Audio
    {
        // Opens output. frameRate 0 is the device's own rate (the null
        // provider needs one); bufferMs 0 the provider's default; deviceId
        // null the default device. Call it on the thread that is to be the
        // main thread.
        public static bool Init(Provider provider = Provider.Default, uint frameRate = 0, bool exclusive = false,
                                float bufferMs = 0, string deviceId = null, bool strictBufferSize = false,
                                bool sleepPolling = false, bool useMmcss = false)
        {
            float exclusiveDefaultMs, sharedDefaultMs;
            return Init(out exclusiveDefaultMs, out sharedDefaultMs, provider, frameRate, exclusive, bufferMs, deviceId,
                        strictBufferSize, sleepPolling, useMmcss);
        }

        // Also reports the device's default buffer lengths (WASAPI only; 0 otherwise).
        public static bool Init(out float exclusiveDefaultMs, out float sharedDefaultMs,
                                Provider provider = Provider.Default, uint frameRate = 0, bool exclusive = false,
                                float bufferMs = 0, string deviceId = null, bool strictBufferSize = false,
                                bool sleepPolling = false, bool useMmcss = false)
        {
            float[] exclusiveMs = new float[1], sharedMs = new float[1];
            bool running = Native.initaudio((int)provider, frameRate, exclusive ? 1 : 0, bufferMs, sleepPolling ? 1 : 0,
                                            useMmcss ? 1 : 0, exclusiveMs, sharedMs, Utf8.Encode(deviceId),
                                            strictBufferSize);
            exclusiveDefaultMs = exclusiveMs[0];
            sharedDefaultMs = sharedMs[0];
            return running;
        }

        public static void Free() { Native.freeaudio(); }
        public static bool NeedsReinit { get { return Native.audioneedsreinit(); } }

        // What the open output is; null (with a log line) when none is open
        // or on a thread other than the main thread.
        public static CantrelleOutputInfo? OutputInfo
        {
            get
            {
                var info = new CantrelleOutputInfo();
                info.size = (uint)Marshal.SizeOf(typeof(CantrelleOutputInfo));
                if (Native.getoutputinfo(ref info) == 0) return null;
                return info;
            }
        }
        public static int Version { get { return Native.getversion(); } }
        public static int Features { get { return Native.getfeatures(); } }

        public static string BuildString
        {
            get
            {
                string text = null;
                Native.getbuildstring(buildString => {
                    text = Utf8.Decode(buildString);
                    return IntPtr.Zero;
                });
                return text;
            }
        }

        public static List<AudioDevice> Devices()
        {
            var devices = new List<AudioDevice>();
            Native.enumaudiodevices((provider, id, name) => devices.Add(
                                        new AudioDevice { Provider = provider, Id = Utf8.Decode(id), Name = Utf8.Decode(name) }));
            return devices;
        }

        public static void Tick() { Native.tick(); }
        public static bool Pause() { return Native.pauseaudio(); }
        public static void Unpause() { Native.unpauseaudio(); }
        public static void PauseGame() { Native.pausegameaudio(); }
        public static void UnpauseGame() { Native.unpausegameaudio(); }

        public static float GlobalVolume { get { return Native.getglobalvolume(); } set { Native.setglobalvolume(value); } }
        public static float MusicVolume { get { return Native.getmusicvolume(); } set { Native.setmusicvolume(value); } }
        public static float SfxVolume { get { return Native.getsfxvolume(); } set { Native.setsfxvolume(value); } }
        public static float MenuVolume { get { return Native.getmenuvolume(); } set { Native.setmenuvolume(value); } }
        public static float LimiterThreshold
        {
            get { return Native.getlimiterthreshold(); }
            set { Native.setlimiterthreshold(value); }
        }
        public static float LimiterReleaseMs
        {
            get { return Native.getlimiterrelease(); }
            set { Native.setlimiterrelease(value); }
        }
        // Meters: each read resets them.
        public static float TakeLimiterScale() { return Native.getlimiterscale(); }
        public static float TakeMaxSample() { return Native.getmaxsample(); }
    }

    public static class Clock
    {
        public static void Start() { Native.startclock(); }
        public static void StartFrom(double seconds) { Native.startclockfrom(seconds); }
        public static void Stop() { Native.stopclock(); }
        public static double Seconds { get { return Native.getclock(); } }
        // The clock time the device is playing now: what the player hears.
        public static double HeardSeconds { get { return Native.getheardclock(); } }
        public static bool Running { get { return Native.clockrunning(); } }
    }

    // A loaded sound. Dispose unloads it; dropping the object does not.
    public sealed class Sound : IDisposable
    {
        public readonly uint Id;

        public Sound(uint id) { Id = id; }

        // Interleaved samples of 1 or 2 channels; null when the library
        // refused them (the reason is logged).
        public static Sound Load(float[] samples, uint channels, uint frequency, Bus bus = Bus.Sfx, string name = null,
                                 float speed = 1.0f, float semitones = 0.0f)
        {
            uint count = samples == null ? 0u : (uint)samples.Length;
            int id = Native.loadfloat(samples, count, channels, frequency, (uint)bus, speed, semitones, 0,
                                      Utf8.Encode(name));
            return id < 0 ? null : new Sound((uint)id);
        }

        public void Play() { Native.play(Id); }
        public void PlayFrom(double seconds) { Native.playfrom(Id, seconds); }
        public void Stop() { Native.stop(Id); }
        public bool IsPlaying { get { return Native.isplaying(Id) != 0; } }
        public double Length { get { return Native.getlength(Id); } }
        public double Position { get { return Native.getposition(Id); } set { Native.setposition(Id, value); } }
        // stopSeconds infinity: no stop.
        public void Schedule(double startSeconds, double stopSeconds = double.PositiveInfinity)
        {
            Native.scheduleclock(Id, startSeconds, stopSeconds);
        }
        public void Unschedule() { Native.unschedule(Id); }

        public float GainDb { get { return Native.getgain(Id); } set { Native.setgain(Id, value); } }
        public float Volume { get { return Native.getvolume(Id); } set { Native.setvolume(Id, value); } }
        public float Fade { get { return Native.getfade(Id); } set { Native.setfade(Id, value); } }
        public float Pan { get { return Native.getpan(Id); } set { Native.setpan(Id, value); } }
        public bool Loop { get { return Native.getloop(Id); } set { Native.setloop(Id, value ? 1 : 0); } }
        public float Speed { get { return Native.getspeed(Id); } }
        public float Semitones { get { return Native.getsemitones(Id); } }

        public void Dispose() { Native.unload(Id); }
    }

    public static class Input
    {
        // Either callback may be null. With safe input on (the default) they
        // run on the library's dispatcher thread, never between Lock and
        // Unlock; input starts locked, so nothing arrives before the first
        // Unlock: each frame, call Unlock, then Lock. With safe input off
        // they run on the input threads, at once, and Lock and Unlock only
        // log a refusal: call neither.
        public static bool Init(InputCallback onPress, InputCallback onRelease, bool focused = true,
                                bool safeInput = true, bool alternativeControllers = false,
                                bool alternativeInput = false)
        {
            return Native.initinput(focused ? 1 : 0, onPress, onRelease, alternativeControllers ? 1 : 0,
                                    safeInput ? 0 : 1, IntPtr.Zero, IntPtr.Zero, alternativeInput ? 1 : 0);
        }

        public static void Free() { Native.freeinput(); }
        public static void Lock() { Native.lockinput(); }
        public static void Unlock() { Native.unlockinput(); }
        public static void OnFocus(bool focused) { Native.onfocus(focused ? 1 : 0); }
        public static void AcceptMouse(bool accept) { Native.setacceptmouseinput(accept ? 1 : 0); }
        // Inside a callback: when the event was seen, on the clock as the
        // player heard it (the clock's seconds without a device). NaN outside.
        public static double EventTime { get { return Native.getinputtime(); } }
    }
}
