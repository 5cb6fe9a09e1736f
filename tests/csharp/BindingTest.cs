// Drives the native libcantrelle.so through bindings/csharp/Cantrelle.cs, as
// a C# game would: every value crosses the real marshalling (one-byte bools,
// UTF-8 strings both ways, float arrays, delegates called from native code).
// Prints each failed check and exits 1 when any failed.
using System;
using System.Collections.Generic;
using System.Threading;
using Cantrelle;

static class BindingTest
{
    static int failures;
    static readonly object linesLock = new object();
    static readonly List<string> lines = new List<string>();

    static void Check(bool ok, string what)
    {
        Console.WriteLine((ok ? "ok   " : "FAIL ") + what);
        if (!ok) ++failures;
    }

    static void Near(double actual, double expected, string what)
    {
        Check(Math.Abs(actual - expected) < 1e-6, what + " = " + actual + " (expected " + expected + ")");
    }

    static List<string> TakeLines()
    {
        lock (linesLock)
        {
            var taken = new List<string>(lines);
            lines.Clear();
            return taken;
        }
    }

    static bool Logged(List<string> taken, string text)
    {
        foreach (string line in taken)
            if (line.StartsWith("[CL] [tid=") && line.EndsWith(text + "\n")) return true;
        return false;
    }

    static void Collect()
    {
        GC.Collect();
        GC.WaitForPendingFinalizers();
        GC.Collect();
    }

    // Registered through a lambda that nothing but the binding references.
    static void SubscribeLog()
    {
        Log.Line += line => {
            lock (linesLock) lines.Add(line);
        };
    }

    // A fresh delegate that only the binding references: the lambda captures
    // its argument, so the compiler cannot cache it in a static field.
    static void RegisterRawReceiver(string tag)
    {
        Native.setlogfunc(3, line => {
            lock (linesLock) lines.Add(tag + Utf8.Decode(line));
        });
    }

    static int Main()
    {
        SubscribeLog();

        // Information: ints, an intptr_t callback result and a UTF-8 string
        // handed to a callback.
        Check(Audio.Version == 35, "getversion is 35");
        Check(Audio.Features == 0, "getfeatures is 0");
        Check(Audio.BuildString == "Cantrelle Engine 0.35 (19d5a091) compiled for Windows x86_64",
              "getbuildstring hands the build string to the callback");
        IntPtr passedBack = Native.getbuildstring(text => new IntPtr(0x1234));
        Check(passedBack == new IntPtr(0x1234), "getbuildstring returns the callback's result");
        Check(Audio.Devices().Count == 0, "enumaudiodevices lists no device natively");

        // The null provider, from this thread, which becomes the main thread.
        float exclusiveMs, sharedMs;
        Check(Audio.Init(out exclusiveMs, out sharedMs, Provider.Null, 48000), "initaudio opens the null provider");
        Near(exclusiveMs + sharedMs, 0.0, "the null provider reports no buffer defaults");
        Check(!Audio.Init(Provider.Null), "a second initaudio is refused (one-byte false)");
        Check(Logged(TakeLines(), "Audio already initialised"), "and says so through the log event");
        Check(!Audio.NeedsReinit, "audioneedsreinit is false");

        // The output info struct, filled in place field by field.
        CantrelleOutputInfo? info = Audio.OutputInfo;
        Check(info.HasValue && info.Value.size == 48 && info.Value.provider == 1 && info.Value.sampleFormat == 2 &&
                  info.Value.frameRate == 48000 && info.Value.channels == 2 && info.Value.bufferFrames == 0 &&
                  info.Value.underruns == 0,
              "getoutputinfo describes the null output: 16-bit stereo at 48000, no device");
        var part = new CantrelleOutputInfo();
        part.size = 16;
        part.channels = 77;
        Check(Native.getoutputinfo(ref part) == 1 && part.size == 16 && part.frameRate == 48000 && part.channels == 77,
              "getoutputinfo fills only the fields within size");

        // 0.5 s of stereo at the output rate (the null provider converts no rate).
        var samples = new float[2 * 24000];
        for (int i = 0; i < samples.Length; ++i) samples[i] = (i % 2 == 0 ? 0.25f : -0.25f);
        string name = "Grüße ♪ 音 🎵";  // two, three and four bytes in UTF-8
        Sound sound = Sound.Load(samples, 2, 48000, Bus.Music, name, 1.0f, 0.0f);
        Check(sound != null, "loadfloat returns an id");
        if (sound == null) return 1;
        Near(sound.Length, 0.5, "getlength");
        Near(sound.Speed, 1.0, "getspeed");
        Near(sound.Semitones, 0.0, "getsemitones");
        Check(!sound.IsPlaying, "isplaying is 0 before play");

        sound.Play();
        Check(sound.IsPlaying, "isplaying is 1 after play");
        // Refused while playing: the line carries the sound's name, sent as
        // UTF-8 and read back from the log callback.
        sound.Position = 0.25;
        Check(Logged(TakeLines(), "Failed to set position for sound " + sound.Id + " [" + name +
                                      "] (cannot set position while sound is playing and audio is not paused)"),
              "a refused setposition logs the sound's UTF-8 name");
        sound.Stop();
        Check(!sound.IsPlaying, "isplaying is 0 after stop");

        // Per-sound levels and bus volumes read back through float marshalling;
        // out-of-range values come back clamped.
        sound.GainDb = -6.0f;
        Near(sound.GainDb, -6.0, "getgain");
        sound.Volume = 1.5f;
        Near(sound.Volume, 1.0, "getvolume clamps");
        sound.Fade = 0.25f;
        Near(sound.Fade, 0.25, "getfade");
        sound.Pan = -0.5f;
        Near(sound.Pan, -0.5, "getpan");
        Check(!sound.Loop, "getloop is false at load");
        sound.Loop = true;
        Check(sound.Loop, "getloop is true after setloop(1)");
        Audio.MusicVolume = 0.5f;
        Near(Audio.MusicVolume, 0.5, "getmusicvolume");
        Audio.GlobalVolume = -1.0f;
        Near(Audio.GlobalVolume, 0.0, "getglobalvolume clamps");
        Audio.LimiterThreshold = 3.0f;
        Near(Audio.LimiterThreshold, 0.0, "getlimiterthreshold caps at 0 dB");
        Audio.LimiterReleaseMs = 50.0f;
        Near(Audio.LimiterReleaseMs, 50.0, "getlimiterrelease");
        Near(Audio.TakeMaxSample(), 0.0, "getmaxsample with nothing rendered");
        Near(Audio.TakeLimiterScale(), 1.0, "getlimiterscale with nothing rendered");

        // The clock: doubles and a one-byte bool.
        Check(!Clock.Running, "clockrunning is false before startclock");
        Clock.StartFrom(2.5);
        Check(Clock.Running, "clockrunning is true after startclockfrom");
        Near(Clock.Seconds, 2.5, "getclock");
        Near(Clock.HeardSeconds, 2.5, "getheardclock is the clock itself on the null output");
        sound.Schedule(3.0, 3.25);
        Check(sound.IsPlaying == false && TakeLines().Count == 0, "scheduleclock on the main thread is accepted");
        Clock.Stop();
        Check(!Clock.Running, "clockrunning is false after stopclock");

        // Main-thread calls from another thread are refused with a log line
        // that the delegate receives on that thread.
        var other = new Thread(() => Audio.Tick());
        other.Start();
        other.Join();
        Check(Logged(TakeLines(), "TickAudio must be called from the main thread"),
              "tick from another thread is refused, the line arrives from that thread");

        // A UTF-8 name in a refused load.
        Check(Sound.Load(samples, 3, 48000, Bus.Sfx, "Tür") == null, "loadfloat with 3 channels returns -1");
        Check(Logged(TakeLines(), "Invalid channel count 3 (must be 1 or 2)"), "and logs why");

        // Natively there are no input devices: initinput fails cleanly, and
        // the delegates given to it need not be kept.
        Check(!Input.Init((source, code) => { }, null), "initinput fails natively");
        Check(Logged(TakeLines(), "Failed to initialise input"), "and logs why");
        Check(double.IsNaN(Input.EventTime), "getinputtime is NaN outside a callback");

        // Garbage collection with log receivers registered: the binding holds
        // the delegates (the event's and a raw one for level 3 that nothing
        // else references), so lines still arrive afterwards.
        RegisterRawReceiver("raw ");
        Collect();
        const string noSound = "Failed to play sound 9999 (sound does not exist)";
        Native.play(9999);
        List<string> taken = TakeLines();
        Check(taken.Count == 1 && taken[0].StartsWith("raw [CL] [tid=") && taken[0].EndsWith(noSound + "\n"),
              "after a collection a level-3 line reaches the raw delegate");
        Native.setlogfunc(3, null);
        Collect();
        Native.play(9999);
        Check(Logged(TakeLines(), noSound), "after a collection the event receives the line again");

        sound.Dispose();
        Near(sound.Length, 0.0, "getlength is 0 once unloaded");
        TakeLines();
        Audio.Free();
        Check(TakeLines().Count == 0, "freeaudio on the main thread logs nothing");
        Check(!Audio.OutputInfo.HasValue && Logged(TakeLines(), "Failed to get output info (audio not initialised)"),
              "getoutputinfo refuses once the output is closed");

        Console.WriteLine(failures == 0 ? "all checks passed" : failures + " checks failed");
        return failures == 0 ? 0 : 1;
    }
}
