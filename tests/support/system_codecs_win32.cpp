// The Windows Imaging Component behind tests/support/system_codecs.h.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: the codec headers need its types.
#include "tests/support/system_codecs.h"

#include <memory>
#include <objbase.h>
#include <wincodec.h>

namespace testsystem {

namespace {

struct Release {
    void operator()(IUnknown* p) const {
        if (p) p->Release();
    }
};
template <typename T>
using Com = std::unique_ptr<T, Release>;

// COM for this thread while a call lasts.
class ComScope {
public:
    ComScope() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~ComScope() {
        if (initialised_) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool initialised_;
};

Com<IWICImagingFactory> factory() {
    IWICImagingFactory* f = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&f))))
        return nullptr;
    return Com<IWICImagingFactory>(f);
}

} // namespace

Decoded decodePng(std::span<const std::uint8_t> file, SampleOrder order) {
    Decoded out;
    const ComScope com;
    const auto wic = factory();
    if (!wic) {
        out.message = "no imaging factory";
        return out;
    }
    IWICStream* rawStream = nullptr;
    if (FAILED(wic->CreateStream(&rawStream))) return out;
    const Com<IWICStream> stream(rawStream);
    if (FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(file.data()),
                                            static_cast<DWORD>(file.size())))) {
        out.message = "the stream refused the bytes";
        return out;
    }
    IWICBitmapDecoder* rawDecoder = nullptr;
    if (FAILED(wic->CreateDecoderFromStream(stream.get(), &GUID_ContainerFormatPng,
                                            WICDecodeMetadataCacheOnDemand, &rawDecoder))) {
        out.message = "not a PNG the system reads";
        return out;
    }
    const Com<IWICBitmapDecoder> decoder(rawDecoder);
    IWICBitmapFrameDecode* rawFrame = nullptr;
    if (FAILED(decoder->GetFrame(0, &rawFrame))) {
        out.message = "no frame";
        return out;
    }
    const Com<IWICBitmapFrameDecode> frame(rawFrame);
    IWICBitmapSource* rawConverted = nullptr;
    const WICPixelFormatGUID& format =
        order == SampleOrder::Rgba ? GUID_WICPixelFormat32bppRGBA : GUID_WICPixelFormat32bppBGRA;
    if (FAILED(WICConvertBitmapSource(format, frame.get(), &rawConverted))) {
        out.message = "no conversion to 32-bit samples";
        return out;
    }
    const Com<IWICBitmapSource> converted(rawConverted);
    UINT width = 0, height = 0;
    if (FAILED(converted->GetSize(&width, &height))) return out;
    out.pixels.resize(std::size_t{width} * height * 4);
    if (FAILED(converted->CopyPixels(nullptr, width * 4, static_cast<UINT>(out.pixels.size()),
                                     out.pixels.data()))) {
        out.message = "the pixels could not be read";
        return out;
    }
    out.ok = true;
    out.width = width;
    out.height = height;
    return out;
}

std::vector<std::uint8_t> writeJpeg(int width, int height, std::span<const std::uint8_t> rgb) {
    const ComScope com;
    const auto wic = factory();
    if (!wic || width <= 0 || height <= 0 ||
        rgb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3)
        return {};
    // The encoder takes blue first.
    std::vector<std::uint8_t> bgr(rgb.begin(), rgb.end());
    for (std::size_t i = 0; i + 2 < bgr.size(); i += 3)
        std::swap(bgr[i], bgr[i + 2]);
    IStream* rawMemory = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &rawMemory))) return {};
    const Com<IStream> memory(rawMemory);
    IWICBitmapEncoder* rawEncoder = nullptr;
    if (FAILED(wic->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &rawEncoder))) return {};
    const Com<IWICBitmapEncoder> encoder(rawEncoder);
    if (FAILED(encoder->Initialize(memory.get(), WICBitmapEncoderNoCache))) return {};
    IWICBitmapFrameEncode* rawFrame = nullptr;
    IPropertyBag2* rawOptions = nullptr;
    if (FAILED(encoder->CreateNewFrame(&rawFrame, &rawOptions))) return {};
    const Com<IWICBitmapFrameEncode> frame(rawFrame);
    const Com<IPropertyBag2> options(rawOptions);
    if (options) {
        PROPBAG2 name{};
        name.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_R4;
        value.fltVal = 1.0f;
        options->Write(1, &name, &value);
    }
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->Initialize(options.get())) ||
        FAILED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) ||
        FAILED(frame->SetPixelFormat(&format)) || format != GUID_WICPixelFormat24bppBGR ||
        FAILED(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width) * 3,
                                  static_cast<UINT>(bgr.size()), bgr.data())) ||
        FAILED(frame->Commit()) || FAILED(encoder->Commit()))
        return {};
    STATSTG stat{};
    if (FAILED(memory->Stat(&stat, STATFLAG_NONAME))) return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stat.cbSize.QuadPart));
    const LARGE_INTEGER start{};
    ULONG read = 0;
    if (FAILED(memory->Seek(start, STREAM_SEEK_SET, nullptr)) ||
        FAILED(memory->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read)) ||
        read != bytes.size())
        return {};
    return bytes;
}

} // namespace testsystem
