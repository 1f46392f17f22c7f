// PNG through the Windows Imaging Component, a part of the system: no image
// library of our own goes into the DLL.
#include <windows.h>
// (the system headers below need <windows.h> first)
#include <wincodec.h>

#include <cstdio>
#include <limits>
#include <string>

#include "platform/error.h"
#include "platform/png.h"

namespace korvane::platform {
namespace {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (fPointer) fPointer->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* operator->() const { return fPointer; }
  T* Get() const { return fPointer; }
  T** Out() { return &fPointer; }

 private:
  T* fPointer = nullptr;
};

// COM for this thread while the decoder runs; a thread the host made an
// apartment of its own is used as it is.
class ComScope {
 public:
  ComScope() : fResult(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(fResult)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT fResult;
};

void Check(HRESULT aResult) {
  if (SUCCEEDED(aResult)) return;
  std::string text = OsErrorText(static_cast<int>(aResult));
  if (text.rfind("Unknown error", 0) == 0) {
    char code[32];
    std::snprintf(code, sizeof code, "error 0x%08lX", static_cast<unsigned long>(aResult));
    text = code;
  }
  throw Error("Cannot load PNG image: " + text);
}

}  // namespace

RgbImage DecodePng(std::string_view aData, int32_t aMaxSide) {
  if (aData.size() > std::numeric_limits<DWORD>::max()) throw Error("Cannot load PNG image: too large");
  ComScope com;
  ComPtr<IWICImagingFactory> factory;
  Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                         reinterpret_cast<void**>(factory.Out())));
  ComPtr<IWICStream> stream;
  Check(factory->CreateStream(stream.Out()));
  Check(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(aData.data())),
                                     static_cast<DWORD>(aData.size())));
  ComPtr<IWICBitmapDecoder> decoder;
  Check(factory->CreateDecoder(GUID_ContainerFormatPng, nullptr, decoder.Out()));
  Check(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand));
  ComPtr<IWICBitmapFrameDecode> frame;
  Check(decoder->GetFrame(0, frame.Out()));
  UINT width = 0, height = 0;
  Check(frame->GetSize(&width, &height));
  if (width > static_cast<UINT>(aMaxSide) || height > static_cast<UINT>(aMaxSide))
    throw Error("Cannot load PNG image: too large");
  ComPtr<IWICFormatConverter> converter;
  Check(factory->CreateFormatConverter(converter.Out()));
  Check(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppRGBA, WICBitmapDitherTypeNone, nullptr,
                              0.0, WICBitmapPaletteTypeCustom));
  std::string rgba(static_cast<size_t>(width) * height * 4, '\0');
  Check(converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(rgba.size()),
                              reinterpret_cast<BYTE*>(rgba.data())));
  RgbImage image;
  image.width = static_cast<int32_t>(width);
  image.height = static_cast<int32_t>(height);
  image.pixels.resize(static_cast<size_t>(width) * height * 3);
  // Transparency composed over white.
  for (size_t i = 0, o = 0; i < rgba.size(); i += 4, o += 3) {
    const unsigned alpha = static_cast<unsigned char>(rgba[i + 3]);
    for (size_t c = 0; c < 3; ++c) {
      const unsigned value = static_cast<unsigned char>(rgba[i + c]);
      image.pixels[o + c] = static_cast<uint8_t>((value * alpha + 255u * (255u - alpha) + 127u) / 255u);
    }
  }
  return image;
}

}  // namespace korvane::platform
