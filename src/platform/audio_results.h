#pragma once
// Result codes of the Windows audio services, as the platform layer returns
// them (HRESULTs as int32_t), so the logic can compare and log them on every
// build.
#include <cstdint>

namespace cl::platform {

constexpr int32_t hresult(uint32_t code) { return static_cast<int32_t>(code); }
constexpr bool failed(int32_t result) { return result < 0; }

inline constexpr int32_t kOk = 0;                                         // S_OK
inline constexpr int32_t kFalse = 1;                                      // S_FALSE
inline constexpr int32_t kNotImplemented = hresult(0x80004001);           // E_NOTIMPL
inline constexpr int32_t kFail = hresult(0x80004005);                     // E_FAIL
inline constexpr int32_t kUnexpected = hresult(0x8000FFFF);               // E_UNEXPECTED
inline constexpr int32_t kClassNotRegistered = hresult(0x80040154);       // REGDB_E_CLASSNOTREG
inline constexpr int32_t kNotFound = hresult(0x80070490);                 // HRESULT of ERROR_NOT_FOUND
inline constexpr int32_t kIoDeviceError = hresult(0x8007045D);            // HRESULT of ERROR_IO_DEVICE
inline constexpr int32_t kDeviceInvalidated = hresult(0x88890004);        // AUDCLNT_E_DEVICE_INVALIDATED
inline constexpr int32_t kUnsupportedFormat = hresult(0x88890008);        // AUDCLNT_E_UNSUPPORTED_FORMAT
inline constexpr int32_t kDeviceInUse = hresult(0x8889000A);              // AUDCLNT_E_DEVICE_IN_USE
inline constexpr int32_t kServiceNotRunning = hresult(0x88890010);        // AUDCLNT_E_SERVICE_NOT_RUNNING
inline constexpr int32_t kResourcesInvalidated = hresult(0x88890026);     // AUDCLNT_E_RESOURCES_INVALIDATED
inline constexpr int32_t kEnginePeriodicityLocked = hresult(0x88890028);  // AUDCLNT_E_ENGINE_PERIODICITY_LOCKED
inline constexpr int32_t kTransformNeedMoreInput = hresult(0xC00D6D72);   // MF_E_TRANSFORM_NEED_MORE_INPUT
inline constexpr int32_t kComNotInitialized = hresult(0x800401F0);        // CO_E_NOTINITIALIZED
inline constexpr int32_t kMfNotStarted = hresult(0xC00D36B0);             // MF_E_PLATFORM_NOT_INITIALIZED

// Release flag of a buffer that holds no sound (AUDCLNT_BUFFERFLAGS_SILENT).
inline constexpr uint32_t kBufferFlagsSilent = 2;

// EDataFlow and ERole values the device-change client compares.
inline constexpr int32_t kFlowRender = 0;
inline constexpr int32_t kRoleConsole = 0;

}  // namespace cl::platform
