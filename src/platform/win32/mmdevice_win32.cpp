#include <endpointvolume.h>

#include <atomic>

#include "platform/audio_results.h"
#include "platform/win32/audio_objects_win32.h"
#include "platform/win32/com_ptr.h"

namespace cl::platform::win32 {
namespace {

// Defined here rather than taken from the SDK's key headers, which would
// need their GUID storage instantiated in exactly one object.
const PROPERTYKEY kFriendlyName{{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};
const PROPERTYKEY kDeviceFormat{{0xf19f064d, 0x082c, 0x4e27, {0xbc, 0x73, 0x68, 0x82, 0xa1, 0xbb, 0x8e, 0x4c}}, 0};

class Win32EndpointVolume final : public EndpointVolume {
public:
    explicit Win32EndpointVolume(IAudioEndpointVolume* volume) : volume_(volume) {}

private:
    ComPtr<IAudioEndpointVolume> volume_;
};

class Win32PropertyStore final : public PropertyStore {
public:
    explicit Win32PropertyStore(IPropertyStore* store) : store_(store) {}
    int32_t GetFriendlyName(std::wstring* name) override {
        PROPVARIANT value;
        PropVariantInit(&value);
        const HRESULT result = store_->GetValue(kFriendlyName, &value);
        if (SUCCEEDED(result) && value.vt == VT_LPWSTR && value.pwszVal != nullptr) *name = value.pwszVal;
        PropVariantClear(&value);
        return result;
    }
    int32_t GetDeviceFormat(std::vector<uint8_t>* blob) override {
        PROPVARIANT value;
        PropVariantInit(&value);
        const HRESULT result = store_->GetValue(kDeviceFormat, &value);
        blob->clear();
        if (SUCCEEDED(result) && value.vt == VT_BLOB && value.blob.pBlobData != nullptr) {
            blob->assign(value.blob.pBlobData, value.blob.pBlobData + value.blob.cbSize);
        }
        PropVariantClear(&value);
        return result;
    }

private:
    ComPtr<IPropertyStore> store_;
};

class Win32Device final : public AudioDevice {
public:
    explicit Win32Device(IMMDevice* device) : device_(device) {}
    int32_t GetId(std::wstring* id) override {
        LPWSTR text = nullptr;
        const HRESULT result = device_->GetId(&text);
        if (SUCCEEDED(result) && text != nullptr) *id = text;
        CoTaskMemFree(text);
        return result;
    }
    int32_t OpenPropertyStore(std::unique_ptr<PropertyStore>* store) override {
        IPropertyStore* raw = nullptr;
        const HRESULT result = device_->OpenPropertyStore(STGM_READ, &raw);
        if (SUCCEEDED(result)) *store = std::make_unique<Win32PropertyStore>(raw);
        return result;
    }
    int32_t ActivateEndpointVolume(std::unique_ptr<EndpointVolume>* volume) override {
        IAudioEndpointVolume* raw = nullptr;
        const HRESULT result =
            device_->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&raw));
        if (SUCCEEDED(result)) *volume = std::make_unique<Win32EndpointVolume>(raw);
        return result;
    }
    int32_t ActivateAudioClient(bool client3, std::unique_ptr<AudioClient>* client) override {
        if (client3) {
            IAudioClient3* raw = nullptr;
            const HRESULT result =
                device_->Activate(__uuidof(IAudioClient3), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&raw));
            if (SUCCEEDED(result)) *client = wrapAudioClient(raw, raw);
            return result;
        }
        IAudioClient* raw = nullptr;
        const HRESULT result =
            device_->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&raw));
        if (SUCCEEDED(result)) *client = wrapAudioClient(raw, nullptr);
        return result;
    }

private:
    ComPtr<IMMDevice> device_;
};

class Win32DeviceCollection final : public DeviceCollection {
public:
    explicit Win32DeviceCollection(IMMDeviceCollection* devices) : devices_(devices) {}
    int32_t GetCount(uint32_t* count) override {
        UINT n = 0;
        const HRESULT result = devices_->GetCount(&n);
        *count = n;
        return result;
    }
    int32_t Item(uint32_t index, std::unique_ptr<AudioDevice>* device) override {
        IMMDevice* raw = nullptr;
        const HRESULT result = devices_->Item(index, &raw);
        if (SUCCEEDED(result)) *device = std::make_unique<Win32Device>(raw);
        return result;
    }

private:
    ComPtr<IMMDeviceCollection> devices_;
};

// Lives as long as its enumerator, which is unregistered before it goes.
// It is never handed out as a counted object: QueryInterface refuses and
// the reference count is not kept.
class NotificationClient final : public IMMNotificationClient {
public:
    void setListener(DeviceChangeListener* listener) { listener_.store(listener, std::memory_order_release); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_UNEXPECTED; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 0; }
    ULONG STDMETHODCALLTYPE Release() override { return 0; }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR deviceId) override {
        if (DeviceChangeListener* listener = listener_.load(std::memory_order_acquire)) {
            listener->onDefaultDeviceChanged(flow, role, deviceId);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }

private:
    std::atomic<DeviceChangeListener*> listener_{nullptr};
};

class Win32DeviceEnumerator final : public DeviceEnumerator {
public:
    explicit Win32DeviceEnumerator(IMMDeviceEnumerator* enumerator) : enumerator_(enumerator) {}
    int32_t EnumAudioEndpoints(std::unique_ptr<DeviceCollection>* devices) override {
        IMMDeviceCollection* raw = nullptr;
        const HRESULT result = enumerator_->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, &raw);
        if (SUCCEEDED(result)) *devices = std::make_unique<Win32DeviceCollection>(raw);
        return result;
    }
    int32_t GetDevice(const std::wstring& id, std::unique_ptr<AudioDevice>* device) override {
        IMMDevice* raw = nullptr;
        const HRESULT result = enumerator_->GetDevice(id.c_str(), &raw);
        if (SUCCEEDED(result)) *device = std::make_unique<Win32Device>(raw);
        return result;
    }
    int32_t GetDefaultAudioEndpoint(std::unique_ptr<AudioDevice>* device) override {
        IMMDevice* raw = nullptr;
        const HRESULT result = enumerator_->GetDefaultAudioEndpoint(eRender, eConsole, &raw);
        if (SUCCEEDED(result)) *device = std::make_unique<Win32Device>(raw);
        return result;
    }
    int32_t RegisterEndpointNotificationCallback(DeviceChangeListener* listener) override {
        client_.setListener(listener);
        return enumerator_->RegisterEndpointNotificationCallback(&client_);
    }
    int32_t UnregisterEndpointNotificationCallback() override {
        const HRESULT result = enumerator_->UnregisterEndpointNotificationCallback(&client_);
        client_.setListener(nullptr);
        return result;
    }

private:
    ComPtr<IMMDeviceEnumerator> enumerator_;
    NotificationClient client_;
};

}  // namespace

std::unique_ptr<DeviceEnumerator> wrapDeviceEnumerator(IMMDeviceEnumerator* enumerator) {
    return std::make_unique<Win32DeviceEnumerator>(enumerator);
}

}  // namespace cl::platform::win32
