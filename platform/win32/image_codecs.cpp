// Image files through the Windows Imaging Component: their size, their pixels drawn at a
// size (for the tray's icon), and small JPEG (else PNG) thumbnails for the window.
#include "platform/file_type_icons.h"

#include <windows.h>
#include <wincodec.h>

#include "platform/win32/com_ptr.h"
#include "platform/win32/wide.h"

namespace kit::platform::icons {

namespace {

using win32::com_ptr;

// COM for this thread while the call runs (the thread pool's threads have none of their own).
struct com_scope {
  bool owned;
  com_scope() : owned(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
  ~com_scope() {
    if (owned) ::CoUninitialize();
  }
};

bool open_frame(const std::string& file, com_ptr<IWICImagingFactory>& factory, com_ptr<IWICBitmapFrameDecode>& frame) {
  std::wstring path = win32::wide_path(file);
  if (path.empty()) return false;
  if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.put()))))
    return false;
  com_ptr<IWICBitmapDecoder> decoder;
  if (FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                decoder.put())))
    return false;
  return SUCCEEDED(decoder->GetFrame(0, frame.put()));
}

// The image scaled to fit size x size (keeping its aspect) as 32-bit straight BGRA.
bool scaled_bgra(const std::string& file, int size, int& width, int& height, std::vector<uint8_t>& pixels) {
  com_ptr<IWICImagingFactory> factory;
  com_ptr<IWICBitmapFrameDecode> frame;
  if (size <= 0 || !open_frame(file, factory, frame)) return false;
  UINT w = 0, h = 0;
  if (FAILED(frame->GetSize(&w, &h)) || w == 0 || h == 0) return false;
  double scale = static_cast<double>(size) / (w > h ? w : h);
  UINT sw = static_cast<UINT>(w * scale + 0.5), sh = static_cast<UINT>(h * scale + 0.5);
  if (sw == 0) sw = 1;
  if (sh == 0) sh = 1;
  com_ptr<IWICBitmapScaler> scaler;
  com_ptr<IWICFormatConverter> converter;
  if (FAILED(factory->CreateBitmapScaler(scaler.put())) ||
      FAILED(scaler->Initialize(frame.p, sw, sh, WICBitmapInterpolationModeFant)) ||
      FAILED(factory->CreateFormatConverter(converter.put())) ||
      FAILED(converter->Initialize(scaler.p, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom)))
    return false;
  pixels.assign(static_cast<size_t>(sw) * sh * 4, 0);
  if (FAILED(converter->CopyPixels(nullptr, sw * 4, static_cast<UINT>(pixels.size()), pixels.data()))) return false;
  width = static_cast<int>(sw);
  height = static_cast<int>(sh);
  return true;
}

// Encodes straight BGRA pixels as one frame of the container (alpha dropped for JPEG).
bool encode(const GUID& container, int width, int height, const std::vector<uint8_t>& bgra, std::string& bytes) {
  com_ptr<IWICImagingFactory> factory;
  if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.put()))))
    return false;
  bool jpeg = container == GUID_ContainerFormatJpeg;
  std::vector<uint8_t> pixels;
  if (jpeg) {
    // Over white, as a page shows a transparent picture.
    pixels.reserve(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i + 3 < bgra.size(); i += 4) {
      unsigned a = bgra[i + 3];
      for (int c = 0; c < 3; ++c) pixels.push_back(static_cast<uint8_t>((bgra[i + c] * a + 255 * (255 - a) + 127) / 255));
    }
  } else {
    pixels = bgra;
  }
  com_ptr<IStream> stream;
  com_ptr<IWICBitmapEncoder> encoder;
  com_ptr<IWICBitmapFrameEncode> frame;
  com_ptr<IPropertyBag2> options;
  WICPixelFormatGUID format = jpeg ? GUID_WICPixelFormat24bppBGR : GUID_WICPixelFormat32bppBGRA;
  UINT stride = static_cast<UINT>(width) * (jpeg ? 3 : 4);
  if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put())) ||
      FAILED(factory->CreateEncoder(container, nullptr, encoder.put())) ||
      FAILED(encoder->Initialize(stream.p, WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(frame.put(), options.put())))
    return false;
  if (jpeg && options) {
    PROPBAG2 option{};
    option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_R4;
    value.fltVal = 0.85f;
    options->Write(1, &option, &value);
  }
  if (FAILED(frame->Initialize(options.p)) || FAILED(frame->SetSize(width, height)) ||
      FAILED(frame->SetPixelFormat(&format)) || format != (jpeg ? GUID_WICPixelFormat24bppBGR : GUID_WICPixelFormat32bppBGRA) ||
      FAILED(frame->WritePixels(height, stride, static_cast<UINT>(pixels.size()), pixels.data())) ||
      FAILED(frame->Commit()) || FAILED(encoder->Commit()))
    return false;
  HGLOBAL memory = nullptr;
  STATSTG stat{};
  if (FAILED(::GetHGlobalFromStream(stream.p, &memory)) || FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return false;
  const void* data = ::GlobalLock(memory);
  if (!data) return false;
  bytes.assign(static_cast<const char*>(data), static_cast<size_t>(stat.cbSize.QuadPart));
  ::GlobalUnlock(memory);
  return !bytes.empty();
}

} // namespace

bool image_file_size(const std::string& file, int& width, int& height) {
  width = height = 0;
  com_scope com;
  com_ptr<IWICImagingFactory> factory;
  com_ptr<IWICBitmapFrameDecode> frame;
  UINT w = 0, h = 0;
  if (!open_frame(file, factory, frame) || FAILED(frame->GetSize(&w, &h)) || w == 0 || h == 0) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

bool decode_icon_file(const std::string& file, int size, icon_image& out, pixel_order order) {
  com_scope com;
  std::vector<uint8_t> bgra;
  int width = 0, height = 0;
  if (!scaled_bgra(file, size, width, height, bgra)) return false;
  out.width = width;
  out.height = height;
  out.bgra.resize(bgra.size());
  for (size_t i = 0; i + 3 < bgra.size(); i += 4) {
    unsigned b = bgra[i], g = bgra[i + 1], r = bgra[i + 2], a = bgra[i + 3];
    uint8_t* dst = &out.bgra[i];
    if (order == pixel_order::argb_network) {
      dst[0] = static_cast<uint8_t>(a), dst[1] = static_cast<uint8_t>(r), dst[2] = static_cast<uint8_t>(g),
      dst[3] = static_cast<uint8_t>(b);
    } else {
      // Colours premultiplied by alpha, rounded, as drawing over black gives them.
      dst[0] = static_cast<uint8_t>((b * a + 127) / 255);
      dst[1] = static_cast<uint8_t>((g * a + 127) / 255);
      dst[2] = static_cast<uint8_t>((r * a + 127) / 255);
      dst[3] = static_cast<uint8_t>(a);
    }
  }
  return true;
}

bool encode_thumbnail(const std::string& file, int size, std::string& bytes, std::string& format) {
  com_scope com;
  std::vector<uint8_t> bgra;
  int width = 0, height = 0;
  if (!scaled_bgra(file, size, width, height, bgra)) return false;
  if (encode(GUID_ContainerFormatJpeg, width, height, bgra, bytes)) {
    format = "jpeg";
    return true;
  }
  if (encode(GUID_ContainerFormatPng, width, height, bgra, bytes)) {
    format = "png";
    return true;
  }
  return false;
}

} // namespace kit::platform::icons
