// The smallest C# program worth reading: opens audio, makes a click,
// schedules eight of them on the engine clock, and prints every key press
// with its distance from the nearest click. Compile it together with
// bindings/csharp/Cantrelle.cs (see docs/csharp.md).
//
// On Windows it plays through the default device. On Linux, against
// libcantrelle.so, it opens the null output, which renders nothing: it
// schedules the clicks, reports and stops there.
using System;
using System.Runtime.InteropServices;
using System.Threading;
using Cantrelle;

static class Clicks
{
    const double FirstClick = 0.5;  // seconds of clock before the first click
    const double Spacing = 0.5;     // 120 clicks a minute
    const int Count = 8;

    // The library never initialises COM or Media Foundation: the thread that
    // opens audio must have done both.
    static class WindowsPlatform
    {
        [DllImport("ole32.dll")]
        static extern int CoInitializeEx(IntPtr reserved, uint coInit);
        [DllImport("mfplat.dll")]
        static extern int MFStartup(uint version, uint flags);

        public static void Start()
        {
            CoInitializeEx(IntPtr.Zero, 0);  // COINIT_MULTITHREADED; S_FALSE or a mode change means it already was
            MFStartup(0x00020070, 1);        // MF_VERSION, MFSTARTUP_LITE
        }
    }

    static void OnPress(uint source, uint code)
    {
        // With safe input on this runs on the library's dispatcher thread
        // while the game loop waits in Input.Unlock.
        double now = Clock.Seconds;
        double nearest = Math.Max(0, Math.Min(Count - 1, Math.Round((now - FirstClick) / Spacing)));
        double offsetMs = (now - (FirstClick + nearest * Spacing)) * 1000.0;
        Console.WriteLine("press 0x{0:x} from 0x{1:x}: {2:+0.0;-0.0} ms from click {3}", code, source, offsetMs,
                          nearest + 1);
    }

    static int Main()
    {
        Log.Line += line => Console.Error.Write(line);  // first: no refusal goes unseen
        bool windows = Environment.OSVersion.Platform == PlatformID.Win32NT;
        if (windows) WindowsPlatform.Start();

        foreach (AudioDevice device in Audio.Devices()) Console.WriteLine("device: {0} [{1}]", device.Name, device.Id);
        // Shared mode at the device's own rate with its default buffer; this
        // thread becomes the main thread.
        if (!Audio.Init(windows ? Provider.Default : Provider.Null, windows ? 0u : 48000u)) {
            Console.Error.WriteLine("clicks: cannot open audio (see the log above)");
            return 1;
        }

        // 40 ms of a decaying 1 kHz tone at 48000 Hz, mono; the engine copies
        // it and converts it to the output rate.
        const uint rate = 48000;
        var samples = new float[rate / 25];
        for (int i = 0; i < samples.Length; ++i) {
            double t = (double)i / rate;
            samples[i] = (float)(0.5 * Math.Cos(2 * Math.PI * 1000 * t) * Math.Exp(-t * 120));
        }
        // With the null output (no rate conversion) it is loaded at the output rate.
        Sound click = Sound.Load(samples, 1, rate, Bus.Music, "click");
        if (click == null) {
            Audio.Free();
            return 1;
        }

        // Every click is scheduled before the clock starts, each on its exact frame.
        for (int i = 0; i < Count; ++i) click.Schedule(FirstClick + i * Spacing);
        // Safe input: presses wait for Input.Unlock, and input starts locked.
        bool input = Input.Init(OnPress, null);
        Clock.Start();
        Console.WriteLine("scheduled {0} clicks of {1:0.000} s; input {2}", Count, click.Length,
                          input ? "on" : "not available");

        double end = FirstClick + Count * Spacing;
        while (windows && Clock.Seconds < end) {  // the game loop
            if (input) {  // with safe input off, call neither: each call only logs a refusal
                Input.Unlock();  // the presses queued since the last frame are delivered now
                Input.Lock();    // and none from here to the next frame's Unlock
            }
            // ...the game reads its own input state here...
            Audio.Tick();
            if (Audio.NeedsReinit) {  // device lost or default device changed
                Audio.Free();
                if (!Audio.Init()) break;
            }
            Thread.Sleep(1);
        }

        Console.WriteLine("clock at {0:0.000} s", Clock.Seconds);
        if (input) Input.Free();
        Clock.Stop();
        click.Dispose();
        Audio.Free();
        return 0;
    }
}
