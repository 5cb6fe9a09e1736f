#include <windows.h>

#include <mfapi.h>
#include <mferror.h>
#include <mftransform.h>
#include "platform/audio_services.h"
#include "platform/win32/com_ptr.h"

namespace cl::platform::win32 {
namespace {

// CLSID_CResamplerMediaObject, the audio resampler DSP.
const CLSID kResamplerClass{0xf447b69e, 0x1884, 0x4a7e, {0x80, 0x55, 0x34, 0x6f, 0x74, 0xd6, 0xed, 0xb3}};

constexpr DWORD kOutputPassBytes = 0xA00000;  // 10 MiB a pass

// The Media Foundation audio resampler DSP. Its output passes stay locked
// until the next pass or the end, so the caller copies straight from them.
class MfResampler final : public SampleRateTransform {
public:
    explicit MfResampler(IMFTransform* transform) : transform_(transform) {}
    ~MfResampler() override { releasePass(); }

    int32_t SetTypes(const WaveFormat& input, const WaveFormat& output) override {
        ComPtr<IMFMediaType> inputType, outputType;
        HRESULT result = makeType(input, &inputType);
        if (SUCCEEDED(result)) result = makeType(output, &outputType);
        if (SUCCEEDED(result)) result = transform_->SetInputType(0, inputType.get(), 0);
        if (SUCCEEDED(result)) result = transform_->SetOutputType(0, outputType.get(), 0);
        MFT_OUTPUT_STREAM_INFO info{};
        if (SUCCEEDED(result)) result = transform_->GetOutputStreamInfo(0, &info);
        return result;
    }

    int32_t ProcessInput(const uint8_t* bytes, size_t size) override {
        ComPtr<IMFMediaBuffer> buffer;
        ComPtr<IMFSample> sample;
        const DWORD length = static_cast<DWORD>(size);
        HRESULT result = MFCreateMemoryBuffer(length, buffer.put());
        if (SUCCEEDED(result)) result = buffer->SetCurrentLength(length);
        BYTE* data = nullptr;
        if (SUCCEEDED(result)) result = buffer->Lock(&data, nullptr, nullptr);
        if (SUCCEEDED(result)) {
            if (length > 0) memcpy(data, bytes, length);
            result = buffer->Unlock();
        }
        if (SUCCEEDED(result)) result = MFCreateSample(sample.put());
        if (SUCCEEDED(result)) result = sample->AddBuffer(buffer.get());
        if (SUCCEEDED(result)) result = transform_->ProcessInput(0, sample.get(), 0);
        return result;
    }

    int32_t ProcessOutput(const uint8_t** bytes, size_t* size) override {
        releasePass();
        HRESULT result = MFCreateMemoryBuffer(kOutputPassBytes, passBuffer_.put());
        if (SUCCEEDED(result)) result = passBuffer_->SetCurrentLength(0);
        if (SUCCEEDED(result)) result = MFCreateSample(passSample_.put());
        if (SUCCEEDED(result)) result = passSample_->AddBuffer(passBuffer_.get());
        if (FAILED(result)) return result;

        MFT_OUTPUT_DATA_BUFFER output{};
        output.dwStreamID = 0;
        output.pSample = passSample_.get();
        DWORD status = 0;
        result = transform_->ProcessOutput(0, 1, &output, &status);
        if (output.pEvents != nullptr) output.pEvents->Release();
        if (FAILED(result)) return result;  // MF_E_TRANSFORM_NEED_MORE_INPUT included

        DWORD length = 0;
        BYTE* data = nullptr;
        result = passBuffer_->GetCurrentLength(&length);
        if (SUCCEEDED(result)) result = passBuffer_->Lock(&data, nullptr, nullptr);
        if (FAILED(result)) return result;
        locked_ = true;
        *bytes = data;
        *size = length;
        return result;
    }

private:
    static HRESULT makeType(const WaveFormat& format, ComPtr<IMFMediaType>* type) {
        HRESULT result = MFCreateMediaType(type->put());
        if (SUCCEEDED(result)) {
            result = MFInitMediaTypeFromWaveFormatEx(type->get(), reinterpret_cast<const WAVEFORMATEX*>(&format),
                                                     sizeof(WAVEFORMATEX));
        }
        return result;
    }
    void releasePass() {
        if (locked_) passBuffer_->Unlock();
        locked_ = false;
        passSample_.reset();
        passBuffer_.reset();
    }

    ComPtr<IMFTransform> transform_;
    ComPtr<IMFMediaBuffer> passBuffer_;
    ComPtr<IMFSample> passSample_;
    bool locked_ = false;
};

}  // namespace

int32_t createMfResampler(std::unique_ptr<SampleRateTransform>* transform) {
    IMFTransform* raw = nullptr;
    const HRESULT result =
        CoCreateInstance(kResamplerClass, nullptr, CLSCTX_ALL, __uuidof(IMFTransform), reinterpret_cast<void**>(&raw));
    if (SUCCEEDED(result)) *transform = std::make_unique<MfResampler>(raw);
    return result;
}

}  // namespace cl::platform::win32
