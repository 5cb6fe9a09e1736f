// Every export called the way a careless or hostile game could call it:
// null pointers, ids never issued or long released, NaN, infinities and
// huge values, levels and buses out of range, the wrong thread, before the
// output opens and after it closed. Each call must log its lines and give a
// neutral result, and the library must go on working afterwards. The same
// table runs against libcantrelle.so and, under Wine, Cantrelle.dll.
#include <gmock/gmock.h>

#include <cctype>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "loaded_library.h"

namespace cltest {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kHuge = std::numeric_limits<float>::max();
constexpr float kDenormal = std::numeric_limits<float>::denorm_min();
constexpr double kNaNd = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfd = std::numeric_limits<double>::infinity();

// Where the game stands when the hostile call comes.
enum class Stage {
    Fresh,         // nothing called yet: no output, no main thread
    OutputOpen,    // the null output open on this thread, two sounds loaded
    OutputClosed,  // the same, after freeaudio
};

// Ids of the sounds the stage set up (Fresh has none).
struct Ids {
    uint32_t loaded = 0;    // loaded, named "kick", not runtime speed
    uint32_t released = 0;  // loaded, unloaded and freed before `loaded` came
    uint32_t neverIssued = 4000;
};

struct HostileCall {
    const char* call;  // as the game wrote it, shown when the case fails
    Stage stage;
    bool otherThread;  // made from a thread that is not the main thread
    std::function<double(const Exports&, const Ids&)> run;
    double result;                   // the neutral (or clamped) answer
    std::vector<std::string> lines;  // what is logged, after "[CL] [tid=...] "
};

void PrintTo(const HostileCall& hostile, std::ostream* out) { *out << hostile.call; }

const char* const kNoName = nullptr;
const float kStereo[8] = {0.5f, -0.5f, 0.25f, -0.25f, 0.0f, 0.0f, 1.0f, -1.0f};

int32_t loadTiny(const Exports& cl, const char* name) {
    return cl.loadfloat(kStereo, 8, 2, 48000, 1, 1.0f, 0.0f, 0, name);
}

void noInput(uint32_t, uint32_t) {}

// The calls, grouped by what the game was doing.
std::vector<HostileCall> hostileCalls() {
    using E = const Exports&;
    using I = const Ids&;
    const Stage fresh = Stage::Fresh, open = Stage::OutputOpen, closed = Stage::OutputClosed;
    const std::string mainOnly = " must be called from the main thread\n";
    return {
        // ---- Before initaudio: no thread is the main thread ----------------
        {"freeaudio()", fresh, false, [](E cl, I) { return cl.freeaudio(), 0.0; }, 0, {"FreeAudio" + mainOnly}},
        {"audioneedsreinit()",
         fresh,
         false,
         [](E cl, I) { return double(cl.audioneedsreinit()); },
         0,
         {"AudioNeedsReinit" + mainOnly}},
        {"setposition(never, 1)",
         fresh,
         false,
         [](E cl, I ids) { return cl.setposition(ids.neverIssued, 1), 0.0; },
         0,
         {"SetPosition" + mainOnly}},
        {"scheduleclock(never, 1, 2)",
         fresh,
         false,
         [](E cl, I ids) { return cl.scheduleclock(ids.neverIssued, 1, 2), 0.0; },
         0,
         {"ScheduleClock" + mainOnly}},
        {"unschedule(never)",
         fresh,
         false,
         [](E cl, I ids) { return cl.unschedule(ids.neverIssued), 0.0; },
         0,
         {"Unschedule" + mainOnly}},
        {"setspeed(never, 2)",
         fresh,
         false,
         [](E cl, I ids) { return cl.setspeed(ids.neverIssued, 2), 0.0; },
         0,
         {"SetSpeed" + mainOnly}},
        {"setsemitones(never, 1)",
         fresh,
         false,
         [](E cl, I ids) { return cl.setsemitones(ids.neverIssued, 1), 0.0; },
         0,
         {"SetSemitones" + mainOnly}},
        {"pauseaudio()", fresh, false, [](E cl, I) { return double(cl.pauseaudio()); }, 0, {"PauseAudio" + mainOnly}},
        {"unpauseaudio()",
         fresh,
         false,
         [](E cl, I) { return cl.unpauseaudio(), 0.0; },
         0,
         {"UnpauseAudio" + mainOnly}},
        {"tick()", fresh, false, [](E cl, I) { return cl.tick(), 0.0; }, 0, {"TickAudio" + mainOnly}},
        // While no output is open the clock is anyone's to start and stop.
        {"startclock() from another thread",
         fresh,
         true,
         [](E cl, I) { return cl.startclock(), double(cl.clockrunning()); },
         1,
         {}},
        {"stopclock()", fresh, false, [](E cl, I) { return cl.stopclock(), double(cl.clockrunning()); }, 0, {}},
        {"getclock()", fresh, false, [](E cl, I) { return cl.getclock(); }, 0, {}},
        // Without a device the engine clock stands in, on any thread.
        {"getheardclock()", fresh, false, [](E cl, I) { return cl.getheardclock(); }, 0, {}},
        {"getheardclock() from another thread",
         fresh,
         true,
         [](E cl, I) { return cl.startclockfrom(2.5), cl.getheardclock(); },
         2.5,
         {}},
        {"clockrunning()", fresh, false, [](E cl, I) { return double(cl.clockrunning()); }, 0, {}},
        {"pausegameaudio(); unpausegameaudio()",
         fresh,
         false,
         [](E cl, I) { return cl.pausegameaudio(), cl.unpausegameaudio(), 0.0; },
         0,
         {}},
        {"getlimiterscale()", fresh, false, [](E cl, I) { return double(cl.getlimiterscale()); }, 1, {}},
        {"getmaxsample()", fresh, false, [](E cl, I) { return double(cl.getmaxsample()); }, 0, {}},

        // ---- Information and logging ---------------------------------------
        {"getversion() from another thread", fresh, true, [](E cl, I) { return double(cl.getversion()); }, 35, {}},
        {"getfeatures() from another thread", fresh, true, [](E cl, I) { return double(cl.getfeatures()); }, 0, {}},
        {"getbuildstring(null)",
         fresh,
         false,
         [](E cl, I) { return double(cl.getbuildstring(nullptr)); },
         0,
         {"Failed to get build string (callback is null)\n"}},
        {"enumaudiodevices(null)",
         fresh,
         false,
         [](E cl, I) { return cl.enumaudiodevices(nullptr), 0.0; },
         0,
         {"Failed to enumerate audio devices (callback is null)\n"}},
        {"setlogfunc(6, null)",
         fresh,
         false,
         [](E cl, I) { return cl.setlogfunc(6, nullptr), 0.0; },
         0,
         {"Invalid log level: 6\n"}},
        {"setlogfunc(-2147483648, null)",
         fresh,
         false,
         [](E cl, I) { return cl.setlogfunc(std::numeric_limits<int32_t>::min(), nullptr), 0.0; },
         0,
         {"Invalid log level: -2147483648\n"}},

        // ---- initaudio and freeaudio ---------------------------------------
        {"initaudio(provider 3)",
         fresh,
         false,
         [](E cl, I) { return double(cl.initaudio(3, 48000, 0, 0, 0, 0, nullptr, nullptr, nullptr, false)); },
         0,
         {"Requested audio provider is not available on this platform\n"}},
        {"initaudio(provider -1)",
         fresh,
         false,
         [](E cl, I) { return double(cl.initaudio(-1, 48000, 0, 0, 0, 0, nullptr, nullptr, nullptr, false)); },
         0,
         {"Requested audio provider is not available on this platform\n"}},
        {"initaudio(null output, bufferMs -inf)",
         fresh,
         false,
         [](E cl, I) { return double(cl.initaudio(1, 48000, 0, -kInf, 0, 0, nullptr, nullptr, nullptr, false)); },
         0,
         {"Requested buffer size must be positive (or 0 for default)\n"}},
        {"initaudio(null output, frame rate 0)",
         fresh,
         false,
         [](E cl, I) { return double(cl.initaudio(1, 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, false)); },
         0,
         {"Frame rate must be non-zero (got 0)\n", "Failed to initialise audio\n"}},
        {"initaudio(null output) twice",
         open,
         false,
         [](E cl, I) { return double(cl.initaudio(1, 48000, 0, 0, 0, 0, nullptr, nullptr, nullptr, false)); },
         0,
         {"Audio already initialised\n"}},
        {"freeaudio() from another thread",
         open,
         true,
         [](E cl, I) { return cl.freeaudio(), 0.0; },
         0,
         {"FreeAudio" + mainOnly}},
        {"freeaudio() twice",
         closed,
         false,
         [](E cl, I) { return cl.freeaudio(), 0.0; },
         0,
         {"Audio not initialised\n"}},
        {"getoutputinfo(null)",
         open,
         false,
         [](E cl, I) { return double(cl.getoutputinfo(nullptr)); },
         0,
         {"Failed to get output info (info is null)\n"}},
        {"getoutputinfo(size 3)",
         open,
         false,
         [](E cl, I) {
             CantrelleOutputInfo info{};
             info.size = 3;
             return double(cl.getoutputinfo(&info));
         },
         0,
         {"Failed to get output info (size 3 is too small)\n"}},
        {"getoutputinfo() before initaudio",
         fresh,
         false,
         [](E cl, I) {
             CantrelleOutputInfo info{};
             info.size = sizeof info;
             return double(cl.getoutputinfo(&info));
         },
         0,
         {"GetOutputInfo" + mainOnly}},
        {"getoutputinfo() from another thread",
         open,
         true,
         [](E cl, I) {
             CantrelleOutputInfo info{};
             info.size = sizeof info;
             return double(cl.getoutputinfo(&info));
         },
         0,
         {"GetOutputInfo" + mainOnly}},
        {"getoutputinfo() after freeaudio",
         closed,
         false,
         [](E cl, I) {
             CantrelleOutputInfo info{};
             info.size = sizeof info;
             return double(cl.getoutputinfo(&info));
         },
         0,
         {"Failed to get output info (audio not initialised)\n"}},
        {"audioneedsreinit() from another thread",
         open,
         true,
         [](E cl, I) { return double(cl.audioneedsreinit()); },
         0,
         {"AudioNeedsReinit" + mainOnly}},
        {"audioneedsreinit() after freeaudio",
         closed,
         false,
         [](E cl, I) { return double(cl.audioneedsreinit()); },
         0,
         {}},

        // ---- Loading --------------------------------------------------------
        {"loadfloat(null, 8 samples)",
         fresh,
         false,
         [](E cl, I) { return double(cl.loadfloat(nullptr, 8, 2, 48000, 0, 1, 0, 0, kNoName)); },
         -1,
         {"Invalid sample data (pData is null but sampleTotal is 8)\n"}},
        {"loadfloat(channels 0)",
         fresh,
         false,
         [](E cl, I) { return double(cl.loadfloat(kStereo, 8, 0, 48000, 0, 1, 0, 0, "a")); },
         -1,
         {"Invalid channel count 0 (must be 1 or 2)\n"}},
        {"loadfloat(channels 4294967295)",
         fresh,
         false,
         [](E cl, I) { return double(cl.loadfloat(kStereo, 8, 0xFFFFFFFFu, 48000, 0, 1, 0, 0, "a")); },
         -1,
         {"Invalid channel count 4294967295 (must be 1 or 2)\n"}},
        {"loadfloat(frequency 0)",
         open,
         false,
         [](E cl, I) { return double(cl.loadfloat(kStereo, 8, 2, 0, 0, 1, 0, 0, "a")); },
         -1,
         {"Invalid frequency 0 (must be greater than 0)\n"}},
        {"loadfloat(bus 4)",
         open,
         false,
         [](E cl, I) { return double(cl.loadfloat(kStereo, 8, 2, 48000, 4, 1, 0, 0, "a")); },
         -1,
         {"Invalid bus 4 (must be less than 4)\n"}},
        {"loadfloat(speed NaN)",
         open,
         false,
         [](E cl, I) { return double(cl.loadfloat(kStereo, 8, 2, 48000, 0, kNaN, 0, 0, "a")); },
         -1,
         {"Invalid speed nan (must be strictly positive)\n"}},
        {"loadfloat(speed -inf)",
         open,
         false,
         [](E cl, I) { return double(cl.loadfloat(kStereo, 8, 2, 48000, 0, -kInf, 0, 0, "a")); },
         -1,
         {"Invalid speed -inf (must be strictly positive)\n"}},
        {"loadfloat(semitones inf)",
         open,
         false,
         [](E cl, I) { return double(cl.loadfloat(kStereo, 8, 2, 48000, 0, 1, kInf, 0, "a")); },
         -1,
         {"Invalid semitones inf (must not be infinite)\n"}},
        {"loadfloat(NaN, inf and huge samples)",
         open,
         false,
         [](E cl, I) {
             const float wild[6] = {kNaN, kInf, -kInf, kHuge, kDenormal, -kHuge};
             const int32_t id = cl.loadfloat(wild, 6, 2, 48000, 0, 1, 0, 0, "wild");
             return id < 0 ? -1.0 : std::round(cl.getlength(uint32_t(id)) * 48000.0);  // three frames, kept
         },
         3,
         {}},
        {"loadfloat(name of invalid UTF-8); setposition(it, NaN)",
         open,
         false,
         [](E cl, I) {
             const int32_t id = loadTiny(cl, "\xff\xfe\xc3");
             cl.setposition(uint32_t(id), kNaNd);  // names the sound in its line
             return double(id);
         },
         2,
         {"Failed to set position for sound 2 [\xff\xfe\xc3] (seconds cannot be NaN)\n"}},
        {"loadbytes(null, 0)",
         fresh,
         false,
         [](E cl, I) { return double(cl.loadbytes(nullptr, 0, 0, 1, 0, 0, kNoName)); },
         -1,
         {"Decoding is not supported in this build\n"}},
        {"loadsegment(null, no file)",
         fresh,
         false,
         [](E cl, I) { return double(cl.loadsegment(nullptr, 0, nullptr, 0, 1, 0, 0, 0, 1)); },
         -1,
         {"Must specify exactly one of pData and filename\n"}},
        {"loadsegment(file, duration NaN)",
         fresh,
         false,
         [](E cl, I) { return double(cl.loadsegment(nullptr, 0, "x.ogg", 0, 1, 0, 0, 0, kNaN)); },
         -1,
         {"Invalid sample section (durationSeconds 0 must be greater than 0)\n"}},
        {"decode(null, 5, null, 5)",
         fresh,
         false,
         [](E cl, I) { return double(cl.decode(nullptr, 5, nullptr, 5)); },
         0,
         {"Decoding is not supported in this build\n"}},
        {"unload(never)",
         open,
         false,
         [](E cl, I ids) { return cl.unload(ids.neverIssued), 0.0; },
         0,
         {"Failed to unload sound 4000 (sound does not exist)\n"}},
        {"unload(released)",
         open,
         false,
         [](E cl, I ids) { return cl.unload(ids.released), 0.0; },
         0,
         {"Failed to unload sound 0 (sound does not exist)\n"}},
        {"unload(4294967295)",
         open,
         false,
         [](E cl, I) { return cl.unload(0xFFFFFFFFu), 0.0; },
         0,
         {"Failed to unload sound -1 (sound does not exist)\n"}},

        // ---- Playback -------------------------------------------------------
        {"play(released)",
         open,
         false,
         [](E cl, I ids) { return cl.play(ids.released), 0.0; },
         0,
         {"Failed to play sound 0 (sound does not exist)\n"}},
        {"playfrom(loaded, NaN)",
         open,
         false,
         [](E cl, I ids) { return cl.playfrom(ids.loaded, kNaNd), 0.0; },
         0,
         {"Failed to play sound 1 (seconds cannot be NaN)\n"}},
        {"playfrom(loaded, -inf)",
         open,
         false,
         [](E cl, I ids) { return cl.playfrom(ids.loaded, -kInfd), 0.0; },
         0,
         {"Failed to play sound 1 (seconds cannot be negative)\n"}},
        // Past the end: the request waits for the next render, which leaves
        // the sound idle (the fuzzer renders such offsets).
        {"playfrom(loaded, +inf)",
         open,
         false,
         [](E cl, I ids) { return cl.playfrom(ids.loaded, kInfd), double(cl.isplaying(ids.loaded)); },
         1,
         {}},
        {"stop(never)",
         fresh,
         false,
         [](E cl, I ids) { return cl.stop(ids.neverIssued), 0.0; },
         0,
         {"Failed to stop sound 4000 (sound does not exist)\n"}},
        {"getposition(released)",
         closed,
         false,
         [](E cl, I ids) { return cl.getposition(ids.released); },
         0,
         {"Failed to get position for sound 0 (sound does not exist)\n"}},
        {"setposition(loaded, 1) from another thread",
         open,
         true,
         [](E cl, I ids) { return cl.setposition(ids.loaded, 1), 0.0; },
         0,
         {"SetPosition" + mainOnly}},
        {"setposition(loaded, NaN)",
         open,
         false,
         [](E cl, I ids) { return cl.setposition(ids.loaded, kNaNd), 0.0; },
         0,
         {"Failed to set position for sound 1 [kick] (seconds cannot be NaN)\n"}},
        {"setposition(released, 1)",
         open,
         false,
         [](E cl, I ids) { return cl.setposition(ids.released, 1), 0.0; },
         0,
         {"Failed to set position for sound 0 (sound does not exist)\n"}},
        {"getlength(never)",
         fresh,
         false,
         [](E cl, I ids) { return cl.getlength(ids.neverIssued); },
         0,
         {"Failed to get length for sound 4000 (sound does not exist)\n"}},
        {"isplaying(released)",
         open,
         false,
         [](E cl, I ids) { return double(cl.isplaying(ids.released)); },
         0,
         {"Failed to get playing status for sound 0 (sound does not exist)\n"}},

        // ---- Per-sound levels: refused, clamped or kept ---------------------
        {"setgain(loaded, NaN)",
         open,
         false,
         [](E cl, I ids) { return cl.setgain(ids.loaded, kNaN), double(cl.getgain(ids.loaded)); },
         0,
         {"Failed to set gain for sound 1 (value cannot be NaN)\n"}},
        {"setgain(loaded, -inf) is silence",
         open,
         false,
         [](E cl, I ids) { return cl.setgain(ids.loaded, -kInf), double(cl.getgain(ids.loaded)); },
         -kInfd,
         {}},
        {"getgain(never)",
         fresh,
         false,
         [](E cl, I ids) { return double(cl.getgain(ids.neverIssued)); },
         0,
         {"Failed to get gain for sound 4000 (sound does not exist)\n"}},
        {"setvolume(loaded, huge)",
         open,
         false,
         [](E cl, I ids) { return cl.setvolume(ids.loaded, kHuge), double(cl.getvolume(ids.loaded)); },
         1,
         {}},
        {"setvolume(loaded, NaN)",
         open,
         false,
         [](E cl, I ids) { return cl.setvolume(ids.loaded, kNaN), double(cl.getvolume(ids.loaded)); },
         1,
         {"Failed to set volume for sound 1 (value cannot be NaN)\n"}},
        {"getvolume(released)",
         open,
         false,
         [](E cl, I ids) { return double(cl.getvolume(ids.released)); },
         0,
         {"Failed to get volume for sound 0 (sound does not exist)\n"}},
        {"setfade(loaded, -inf)",
         open,
         false,
         [](E cl, I ids) { return cl.setfade(ids.loaded, -kInf), double(cl.getfade(ids.loaded)); },
         0,
         {}},
        {"getfade(never)",
         fresh,
         false,
         [](E cl, I ids) { return double(cl.getfade(ids.neverIssued)); },
         0,
         {"Failed to get fade for sound 4000 (sound does not exist)\n"}},
        {"setpan(loaded, -huge)",
         open,
         false,
         [](E cl, I ids) { return cl.setpan(ids.loaded, -kHuge), double(cl.getpan(ids.loaded)); },
         -1,
         {}},
        {"setpan(released, 0.5)",
         open,
         false,
         [](E cl, I ids) { return cl.setpan(ids.released, 0.5f), 0.0; },
         0,
         {"Failed to set pan for sound 0 (sound does not exist)\n"}},
        {"getpan(released)",
         open,
         false,
         [](E cl, I ids) { return double(cl.getpan(ids.released)); },
         0,
         {"Failed to get pan for sound 0 (sound does not exist)\n"}},
        {"setspeed(loaded, 2)",
         open,
         false,
         [](E cl, I ids) { return cl.setspeed(ids.loaded, 2), double(cl.getspeed(ids.loaded)); },
         1,
         {"Failed to set speed for sound 1 (sound does not allow runtime speed updates)\n"}},
        {"setspeed(loaded, 2) from another thread",
         open,
         true,
         [](E cl, I ids) { return cl.setspeed(ids.loaded, 2), 0.0; },
         0,
         {"SetSpeed" + mainOnly}},
        {"getspeed(never)",
         fresh,
         false,
         [](E cl, I ids) { return double(cl.getspeed(ids.neverIssued)); },
         0,
         {"Failed to get speed for sound 4000 (sound does not exist)\n"}},
        {"setsemitones(released, 1)",
         open,
         false,
         [](E cl, I ids) { return cl.setsemitones(ids.released, 1), 0.0; },
         0,
         {"Failed to set semitones for sound 0 (sound does not exist)\n"}},
        {"getsemitones(released)",
         open,
         false,
         [](E cl, I ids) { return double(cl.getsemitones(ids.released)); },
         0,
         {"Failed to get semitones for sound 0 (sound does not exist)\n"}},
        {"setloop(released, 1)",
         open,
         false,
         [](E cl, I ids) { return cl.setloop(ids.released, 1), 0.0; },
         0,
         {"Failed to set loop status for sound 0 (sound does not exist)\n"}},
        {"setloop(loaded, -7) is on",
         open,
         false,
         [](E cl, I ids) { return cl.setloop(ids.loaded, -7), double(cl.getloop(ids.loaded)); },
         1,
         {}},
        {"getloop(never)",
         fresh,
         false,
         [](E cl, I ids) { return double(cl.getloop(ids.neverIssued)); },
         0,
         {"Failed to get loop status for sound 4000 (sound does not exist)\n"}},

        // ---- Buses and the limiter ------------------------------------------
        {"setglobalvolume(NaN); getglobalvolume()",
         open,
         false,
         [](E cl, I) { return cl.setglobalvolume(kNaN), double(cl.getglobalvolume()); },
         1,
         {"Failed to set global volume (value cannot be NaN)\n"}},
        {"setmusicvolume(inf); getmusicvolume()",
         open,
         false,
         [](E cl, I) { return cl.setmusicvolume(kInf), double(cl.getmusicvolume()); },
         1,
         {}},
        {"setsfxvolume(-huge); getsfxvolume()",
         open,
         false,
         [](E cl, I) { return cl.setsfxvolume(-kHuge), double(cl.getsfxvolume()); },
         0,
         {}},
        {"setmenuvolume(NaN); getmenuvolume()",
         fresh,
         false,
         [](E cl, I) { return cl.setmenuvolume(kNaN), double(cl.getmenuvolume()); },
         1,
         {"Failed to set menu volume (value cannot be NaN)\n"}},
        {"setlimiterthreshold(NaN); getlimiterthreshold()",
         open,
         false,
         [](E cl, I) { return cl.setlimiterthreshold(kNaN), double(cl.getlimiterthreshold()); },
         0,
         {"Failed to set limiter threshold (value cannot be NaN)\n"}},
        {"setlimiterthreshold(inf) is no limit",
         open,
         false,
         [](E cl, I) { return cl.setlimiterthreshold(kInf), double(cl.getlimiterthreshold()); },
         0,
         {}},
        {"setlimiterrelease(NaN); getlimiterrelease()",
         open,
         false,
         [](E cl, I) { return cl.setlimiterrelease(kNaN), double(cl.getlimiterrelease()); },
         0,
         {"Failed to set limiter release (value cannot be NaN)\n"}},
        {"setlimiterrelease(-inf)",
         open,
         false,
         [](E cl, I) { return cl.setlimiterrelease(-kInf), double(cl.getlimiterrelease()); },
         0,
         {}},

        // ---- The clock and scheduling ---------------------------------------
        {"startclockfrom(NaN)",
         open,
         false,
         [](E cl, I) { return cl.startclockfrom(kNaNd), double(cl.clockrunning()); },
         0,
         {"Failed to start clock (clock time must be finite)\n"}},
        {"startclockfrom(-inf)",
         open,
         false,
         [](E cl, I) { return cl.startclockfrom(-kInfd), double(cl.clockrunning()); },
         0,
         {"Failed to start clock (clock time must be finite)\n"}},
        {"startclockfrom(1e300) stays finite",
         open,
         false,
         [](E cl, I) { return cl.startclockfrom(1e300), double(std::isfinite(cl.getclock())); },
         1,
         {}},
        {"startclock() from another thread",
         open,
         true,
         [](E cl, I) { return cl.startclock(), 0.0; },
         0,
         {"Failed to start clock (must be started on the main thread)\n"}},
        {"stopclock() from another thread",
         open,
         true,
         [](E cl, I) { return cl.stopclock(), 0.0; },
         0,
         {"Failed to stop clock (must be stopped on the main thread)\n"}},
        {"scheduleclock(released, 1, 2)",
         open,
         false,
         [](E cl, I ids) { return cl.scheduleclock(ids.released, 1, 2), 0.0; },
         0,
         {"Failed to schedule sound 0 (sound does not exist)\n"}},
        {"scheduleclock(loaded, NaN, 2)",
         open,
         false,
         [](E cl, I ids) { return cl.scheduleclock(ids.loaded, kNaNd, 2), 0.0; },
         0,
         {"Failed to schedule sound 1 (startSeconds must be finite)\n"}},
        {"scheduleclock(loaded, inf, inf)",
         open,
         false,
         [](E cl, I ids) { return cl.scheduleclock(ids.loaded, kInfd, kInfd), 0.0; },
         0,
         {"Failed to schedule sound 1 (startSeconds must be finite)\n"}},
        {"scheduleclock(loaded, 1, NaN)",
         open,
         false,
         [](E cl, I ids) { return cl.scheduleclock(ids.loaded, 1, kNaNd), 0.0; },
         0,
         {"Failed to schedule sound 1 (stopSeconds cannot be NaN)\n"}},
        {"scheduleclock(loaded, 2, 1)",
         open,
         false,
         [](E cl, I ids) { return cl.scheduleclock(ids.loaded, 2, 1), 0.0; },
         0,
         {"Failed to schedule sound 1 (stopSeconds cannot be before startSeconds)\n"}},
        {"scheduleclock(loaded, 1, 2) from another thread",
         open,
         true,
         [](E cl, I ids) { return cl.scheduleclock(ids.loaded, 1, 2), 0.0; },
         0,
         {"ScheduleClock" + mainOnly}},
        {"unschedule(released)",
         open,
         false,
         [](E cl, I ids) { return cl.unschedule(ids.released), 0.0; },
         0,
         {"Failed to unschedule sound 0 (sound does not exist)\n"}},
        {"unschedule(loaded) from another thread",
         open,
         true,
         [](E cl, I ids) { return cl.unschedule(ids.loaded), 0.0; },
         0,
         {"Unschedule" + mainOnly}},
        {"pauseaudio() from another thread",
         open,
         true,
         [](E cl, I) { return double(cl.pauseaudio()); },
         0,
         {"PauseAudio" + mainOnly}},
        {"unpauseaudio() from another thread",
         open,
         true,
         [](E cl, I) { return cl.unpauseaudio(), 0.0; },
         0,
         {"UnpauseAudio" + mainOnly}},
        {"tick() from another thread", open, true, [](E cl, I) { return cl.tick(), 0.0; }, 0, {"TickAudio" + mainOnly}},

        // ---- After freeaudio: sounds stay, calls go on ------------------------
        {"play(loaded) after freeaudio",
         closed,
         false,
         [](E cl, I ids) { return cl.play(ids.loaded), double(cl.isplaying(ids.loaded)); },
         1,
         {}},
        {"pauseaudio() after freeaudio",
         closed,
         false,
         [](E cl, I) { return double(cl.pauseaudio()) + (cl.unpauseaudio(), 0.0); },
         1,
         {}},
        {"getlength(loaded) after freeaudio",
         closed,
         false,
         [](E cl, I ids) { return std::round(cl.getlength(ids.loaded) * 48000.0); },
         4,
         {}},

        // ---- Input before initinput -------------------------------------------
        {"freeinput()", fresh, false, [](E cl, I) { return cl.freeinput(), 0.0; }, 0, {"Input is not initialised\n"}},
        {"lockinput()",
         fresh,
         false,
         [](E cl, I) { return cl.lockinput(), 0.0; },
         0,
         {"Input has not been initialised\n"}},
        {"unlockinput()",
         fresh,
         false,
         [](E cl, I) { return cl.unlockinput(), 0.0; },
         0,
         {"Input has not been initialised\n"}},
        {"onfocus(-5); setacceptmouseinput(12345)",
         fresh,
         true,
         [](E cl, I) { return cl.onfocus(-5), cl.setacceptmouseinput(12345), 0.0; },
         0,
         {}},
        // Outside a callback there is no event to time.
        {"getinputtime()", fresh, false, [](E cl, I) { return cl.getinputtime(); }, kNaNd, {}},
        {"getinputtime() from another thread", open, true, [](E cl, I) { return cl.getinputtime(); }, kNaNd, {}},
        // No build has a provider for the alternative selections.
        {"initinput(null callbacks, alternative controllers -1)",
         fresh,
         true,
         [](E cl, I) { return double(cl.initinput(-1, nullptr, nullptr, -1, -1, nullptr, nullptr, 0)); },
         0,
         {"Specified controller input provider is not available on this platform\n"}},
        {"initinput(alternative input)",
         open,
         false,
         [](E cl, I) { return double(cl.initinput(1, noInput, noInput, 0, 0, nullptr, nullptr, 1)); },
         0,
         {"Specified controller input provider is not available on this platform\n"}},
    // Natively the default provider cannot start; on Windows it does,
    // with null callbacks (their events are dropped).
#ifdef _WIN32
        {"initinput(null callbacks); freeinput()",
         fresh,
         true,
         [](E cl, I) {
             const bool up = cl.initinput(-1, nullptr, nullptr, 0, -1, nullptr, nullptr, 0);
             cl.freeinput();
             return double(up);
         },
         1,
         {}},
#else
        {"initinput(null callbacks)",
         fresh,
         true,
         [](E cl, I) { return double(cl.initinput(-1, nullptr, nullptr, 0, -1, nullptr, nullptr, 0)); },
         0,
         {"Failed to initialise input\n"}},
#endif
    };
}

// "[CL] [tid=<hex>] text" -> "text"; a line without the prefix is kept whole
// so the comparison shows it.
std::string withoutPrefix(const std::string& line) {
    const std::string start = "[CL] [tid=";
    const size_t end = line.find("] ", start.size());
    if (line.rfind(start, 0) != 0 || end == std::string::npos) return line;
    return line.substr(end + 2);
}

// True when `calls` holds `name(` not preceded by a letter (so "stop("
// is not found in "clockstop(").
bool callsExport(const std::string& calls, const std::string& name) {
    for (size_t at = calls.find(name + "("); at != std::string::npos; at = calls.find(name + "(", at + 1)) {
        if (at == 0 || !std::isalpha(static_cast<unsigned char>(calls[at - 1]))) return true;
    }
    return false;
}

std::string caseName(const testing::TestParamInfo<HostileCall>& info) {
    std::string name = std::to_string(info.index) + "_";
    for (const char* c = info.param.call; *c != '\0' && *c != '(' && *c != ' '; ++c) name += *c;
    return name;
}

class HostileCallTest : public LoadedCantrelle, public testing::WithParamInterface<HostileCall> {
protected:
    Ids setUpStage(Stage stage) {
        Ids ids;
        if (stage == Stage::Fresh) return ids;
        EXPECT_TRUE(cl.initaudio(1, 48000, 0, 0, 0, 0, nullptr, nullptr, nullptr, false));
        ids.released = static_cast<uint32_t>(loadTiny(cl, "gone"));
        cl.unload(ids.released);
        EXPECT_TRUE(cl.pauseaudio());  // nothing renders: the unloaded record is freed
        cl.unpauseaudio();
        ids.loaded = static_cast<uint32_t>(loadTiny(cl, "kick"));
        EXPECT_EQ(ids.loaded, ids.released + 1);
        if (stage == Stage::OutputClosed) cl.freeaudio();
        return ids;
    }
};

TEST_P(HostileCallTest, LogsItsLinesAndAnswersNeutrally) {
    const HostileCall& hostile = GetParam();
    const Ids ids = setUpStage(hostile.stage);
    std::vector<std::string> setupLines = logged();
    ASSERT_THAT(setupLines, testing::IsEmpty()) << "setting the stage logged";

    double result = 0;
    uint32_t callingThread = currentThreadId();
    auto call = [&] {
        callingThread = currentThreadId();
        result = hostile.run(cl, ids);
    };
    if (hostile.otherThread) {
        std::thread(call).join();
    } else {
        call();
    }

    std::vector<std::string> texts;
    for (const std::string& line : logged()) {
        const std::string prefix = logLine("", callingThread);  // "[CL] [tid=...] \n"
        EXPECT_EQ(line.rfind(prefix.substr(0, prefix.size() - 1), 0), 0u) << "not from the calling thread: " << line;
        texts.push_back(withoutPrefix(line));
    }
    EXPECT_THAT(texts, testing::ElementsAreArray(hostile.lines)) << hostile.call;
    if (std::isnan(hostile.result)) {
        EXPECT_TRUE(std::isnan(result)) << hostile.call;
    } else {
        EXPECT_EQ(result, hostile.result) << hostile.call;
    }

    // Whatever came before, the library still loads and plays.
    const int32_t after = loadTiny(cl, "after");
    ASSERT_GE(after, 0) << "no load after " << hostile.call;
    cl.play(static_cast<uint32_t>(after));
    EXPECT_EQ(cl.isplaying(static_cast<uint32_t>(after)), 1) << hostile.call;
    EXPECT_EQ(cl.getversion(), 35);
}

INSTANTIATE_TEST_SUITE_P(EveryExport, HostileCallTest, testing::ValuesIn(hostileCalls()), caseName);

// Each export appears in the table at least once.
TEST(HostileCallTable, NamesEveryExport) {
    std::string calls;
    for (const HostileCall& hostile : hostileCalls()) calls += std::string(hostile.call) + " ";
    std::vector<std::string> missing;
#define CLTEST_FIND(name) \
    if (!callsExport(calls, #name)) missing.push_back(#name);
    CLTEST_EXPORTS(CLTEST_FIND)
#undef CLTEST_FIND
    EXPECT_THAT(missing, testing::IsEmpty());
}

}  // namespace
}  // namespace cltest
