#include "mixer/voice_params.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "mixer/channel_gains.h"
#include "sound/sound_access.h"

namespace cl {
namespace {

constexpr std::memory_order relaxed = std::memory_order_relaxed;

const char* word(VoiceParam param) {
    switch (param) {
        case VoiceParam::Gain: return "gain";
        case VoiceParam::Volume: return "volume";
        case VoiceParam::Fade: return "fade";
        case VoiceParam::Pan: return "pan";
        case VoiceParam::Speed: return "speed";
        case VoiceParam::Semitones: return "semitones";
    }
    return "";
}

// "set gain for", "get loop status for", ...
std::string action(const char* verb, const char* what) { return std::string(verb) + " " + what + " for"; }

std::atomic<float>* field(SoundRecord& record, VoiceParam param) {
    switch (param) {
        case VoiceParam::Gain: return &record.gain;
        case VoiceParam::Volume: return &record.volume;
        case VoiceParam::Fade: return &record.fade;
        case VoiceParam::Pan: return &record.pan;
        default: return nullptr;
    }
}

SmoothedLevel& level(MixerState& engine, Bus bus) {
    switch (bus) {
        case Bus::Music: return engine.buses.musicVolume;
        case Bus::Sfx: return engine.buses.sfxVolume;
        case Bus::Menu: return engine.buses.menuVolume;
        case Bus::Global: break;
    }
    return engine.buses.globalVolume;
}

const char* busWord(Bus bus) {
    switch (bus) {
        case Bus::Music: return "music";
        case Bus::Sfx: return "sfx";
        case Bus::Menu: return "menu";
        case Bus::Global: break;
    }
    return "global";
}

}  // namespace

void setVoiceParam(MixerState& engine, uint32_t id, VoiceParam param, float value) {
    SoundCall call(engine, id, action("set", word(param)).c_str());
    SoundRecord* record = call.record();
    if (record == nullptr) return;
    if (std::isnan(value)) {
        call.release();
        engine.log.message(3, "[CL] [tid=%4x] Failed to set %s for sound %d (value cannot be NaN)\n", tid(),
                           word(param), static_cast<int>(id));
        return;
    }
    float stored = value;
    switch (param) {
        case VoiceParam::Gain: stored = static_cast<float>(std::pow(10.0, static_cast<double>(value) / 20.0)); break;
        case VoiceParam::Volume:
        case VoiceParam::Fade: stored = std::clamp(value, 0.0f, 1.0f); break;
        case VoiceParam::Pan: stored = std::clamp(value, -1.0f, 1.0f); break;
        default: return;
    }
    setLevelParameter(*record, *field(*record, param), stored);
}

float getVoiceParam(MixerState& engine, uint32_t id, VoiceParam param) {
    SoundCall call(engine, id, action("get", word(param)).c_str());
    SoundRecord* record = call.record();
    if (record == nullptr) return 0.0f;
    switch (param) {
        case VoiceParam::Gain:
            return static_cast<float>(20.0 * std::log10(static_cast<double>(record->gain.load(relaxed))));
        case VoiceParam::Speed: return record->speed;
        case VoiceParam::Semitones: return record->semitones;
        default: return field(*record, param)->load(relaxed);
    }
}

void setLoop(MixerState& engine, uint32_t id, bool loop) {
    SoundCall call(engine, id, "set loop status for");
    if (SoundRecord* record = call.record()) record->loop.store(loop ? 1 : 0, relaxed);
}

bool getLoop(MixerState& engine, uint32_t id) {
    SoundCall call(engine, id, "get loop status for");
    SoundRecord* record = call.record();
    return record != nullptr && record->loop.load(relaxed) != 0;
}

void setSpeedOrPitch(MixerState& engine, uint32_t id, VoiceParam param, float) {
    const bool speed = param == VoiceParam::Speed;
    if (!requireMainThread(engine, speed ? "SetSpeed" : "SetSemitones")) return;
    SoundRecord* record = engine.sounds.lookupSound(id);  // main thread: no lock needed
    if (record == nullptr) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to set %s for sound %d (sound does not exist)\n", tid(),
                           word(param), static_cast<int>(id));
        return;
    }
    if (!record->runtimeSpeed) {
        engine.log.message(
            3, "[CL] [tid=%4x] Failed to set %s for sound %d (sound does not allow runtime speed updates)\n", tid(),
            word(param), static_cast<int>(id));
    }
}

void setBusVolume(MixerState& engine, Bus bus, float volume) {
    if (std::isnan(volume)) {
        engine.log.message(3, "[CL] [tid=%4x] Failed to set %s volume (value cannot be NaN)\n", tid(), busWord(bus));
        return;
    }
    level(engine, bus).target.store(std::clamp(volume, 0.0f, 1.0f), relaxed);
}

float getBusVolume(MixerState& engine, Bus bus) { return level(engine, bus).target.load(relaxed); }

}  // namespace cl
