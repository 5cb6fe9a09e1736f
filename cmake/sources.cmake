# The library's sources; the platform layer differs between the two builds.
set(CANTRELLE_SOURCES
  src/api/global_engine.cpp
  src/api/exports_engine.cpp
  src/api/exports_input.cpp
  src/api/global_input.cpp
  src/api/exports_loading.cpp
  src/api/exports_mixer.cpp
  src/api/exports_playback.cpp
  src/audio/wasapi_provider.cpp
  src/clock/clock.cpp
  src/clock/render_handshake.cpp
  src/clock/scheduling.cpp
  src/core/audio_init.cpp
  src/core/engine.cpp
  src/core/log.cpp
  src/core/null_provider.cpp
  src/core/provider_registry.cpp
  src/input/controller_state.cpp
  src/input/default_input.cpp
  src/input/hook_logic.cpp
  src/input/input_core.cpp
  src/input/input_registry.cpp
  src/input/own_client_area.cpp
  src/input/polling_input.cpp
  src/input/safe_input.cpp
  src/input/thread_start.cpp
  src/mixer/limiter_controls.cpp
  src/mixer/mix_kernel.cpp
  src/mixer/output_format.cpp
  src/mixer/render.cpp
  src/mixer/sound_preparation.cpp
  src/mixer/voice_mix.cpp
  src/mixer/voice_params.cpp
  src/mixer/voice_start.cpp
  src/sound/loading.cpp
  src/sound/playback.cpp
  src/sound/sample_memory.cpp
  src/sound/sound_record.cpp
  src/sound/sound_table.cpp
  src/sound/start_event.cpp
)
if(WIN32)
  list(APPEND CANTRELLE_SOURCES src/platform/win32/thread_win32.cpp)
  list(APPEND CANTRELLE_SOURCES src/platform/win32/input_win32.cpp src/platform/win32/hook_thread_win32.cpp)
  set(CANTRELLE_WIN32_LIBS)
else()
  list(APPEND CANTRELLE_SOURCES src/platform/posix/thread_posix.cpp)
  list(APPEND CANTRELLE_SOURCES src/platform/posix/input_posix.cpp)
endif()
