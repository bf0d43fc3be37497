#include "archive/codec_library.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/file.h"
#include "platform/process_info.h"
#include "platform/well_known_dirs.h"

namespace kit::archive {

bool abi::operator==(const Guid& a, const Guid& b) { return std::memcmp(&a, &b, sizeof(Guid)) == 0; }

namespace {
std::atomic<int> g_loads{0};

std::string folder_of(const std::string& path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return s;
}

std::vector<std::string> split_words(const std::string& s) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < s.size()) {
    size_t end = s.find(' ', at);
    if (end == std::string::npos) end = s.size();
    if (end > at) out.push_back(lower(s.substr(at, end - at)));
    at = end + 1;
  }
  return out;
}

void append_utf8(std::string& out, uint32_t c) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

} // namespace

std::string wide_to_utf8(const wchar_t* text) {
  std::string out;
  if (!text) return out;
  for (const wchar_t* p = text; *p; ++p) {
    uint32_t c = static_cast<uint32_t>(*p);
    // UTF-16 (2-byte wchar_t): a surrogate pair is one character; a lone half becomes U+FFFD.
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF) {
      uint32_t low = static_cast<uint32_t>(p[1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++p;
      }
    }
    append_utf8(out, c);
  }
  return out;
}

std::wstring utf8_to_wide(const std::string& text) {
  std::wstring out;
  size_t i = 0;
  while (i < text.size()) {
    auto b = static_cast<unsigned char>(text[i]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    uint32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + static_cast<size_t>(extra) < text.size() + (extra == 0 ? 1 : 0);
    for (int k = 1; ok && k <= extra; ++k) {
      auto n = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      if ((n & 0xC0) != 0x80) ok = false;
      c = (c << 6) | (n & 0x3F);
    }
    if (!ok) {
      out += static_cast<wchar_t>(0xFFFD);
      ++i;
      continue;
    }
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
    if (sizeof(wchar_t) == 2 && c > 0xFFFF) {
      out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<wchar_t>(c);
    }
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

std::unique_ptr<C7ZipDllHandler> C7ZipDllHandler::Load(const std::string& path) {
  auto loaded = platform::dynamic_library::open(path);
  if (!loaded) return nullptr;
  const platform::dynamic_library& module = *loaded;
  std::unique_ptr<C7ZipDllHandler> h(new C7ZipDllHandler(std::move(loaded), path));
  h->create_object = module.function<abi::CreateObjectFn>("CreateObject");
  h->number_of_formats = module.function<abi::GetNumberOfFormatsFn>("GetNumberOfFormats");
  h->handler_property2 = module.function<abi::GetHandlerProperty2Fn>("GetHandlerProperty2");
  h->handler_property = module.function<abi::GetHandlerPropertyFn>("GetHandlerProperty");
  h->number_of_methods = module.function<abi::GetNumberOfMethodsFn>("GetNumberOfMethods");
  h->method_property = module.function<abi::GetMethodPropertyFn>("GetMethodProperty");
  h->set_large_page_mode = module.function<abi::SetLargePageModeFn>("SetLargePageMode");
  // The string and value functions are the library's own where it exports them, else the
  // system's (Windows), which the library then uses itself.
  const platform::dynamic_library* strings = &module;
  if (!module.symbol("SysAllocString") && abi::kSystemStringLibrary) {
    static const std::unique_ptr<platform::dynamic_library> system_strings =
        platform::dynamic_library::open(abi::kSystemStringLibrary, platform::dynamic_library::lifetime::process);
    if (system_strings) strings = system_strings.get();
  }
  h->alloc_string = strings->function<abi::SysAllocStringFn>("SysAllocString");
  h->free_string = strings->function<abi::SysFreeStringFn>("SysFreeString");
  h->string_byte_len = strings->function<abi::SysStringByteLenFn>("SysStringByteLen");
  h->variant_clear = strings->function<abi::VariantClearFn>("VariantClear");
  auto module_prop = module.function<abi::GetModulePropFn>("GetModuleProp");
  if ((!module_prop && !abi::kMissingTypeReportIsType0) || !h->create_object || !h->alloc_string ||
      !h->free_string || !h->variant_clear || !h->string_byte_len) {
    return nullptr;
  }
  if (!(h->number_of_formats && h->handler_property2) && !(h->number_of_methods && h->method_property)) {
    return nullptr;
  }
  // A library of another layout would have every method slot off: it is refused.
  if (!module_prop) return h;
  abi::PropVariant type;
  if (abi::failed(module_prop(0, &type))) return nullptr;
  bool matches = (type.vt == abi::VT_UI4 && type.ulVal == abi::kInterfaceType) ||
                 (type.vt == abi::VT_EMPTY && abi::kMissingTypeReportIsType0);
  h->clear(type);
  if (!matches) return nullptr;
  return h;
}

C7ZipDllHandler::~C7ZipDllHandler() = default;

std::string C7ZipDllHandler::folder() const { return module_->folder(); }

void C7ZipDllHandler::clear(abi::PropVariant& value) const {
  if (variant_clear) variant_clear(&value);
  value.vt = abi::VT_EMPTY;
}

std::string C7ZipDllHandler::text(const abi::PropVariant& value) const {
  return value.vt == abi::VT_BSTR ? wide_to_utf8(value.bstrVal) : std::string();
}

void CodecLibrary::Add(std::unique_ptr<C7ZipDllHandler> handler) {
  const C7ZipDllHandler* h = handler.get();
  uint32_t count = 0;
  if (h->number_of_formats && h->handler_property2 && !abi::failed(h->number_of_formats(&count))) {
    for (uint32_t i = 0; i < count; ++i) {
      C7ZipFormatInfo f;
      f.handler = h;
      f.index = i;
      abi::PropVariant v;
      if (!abi::failed(h->handler_property2(i, abi::kHandlerClassId, &v)) && v.vt == abi::VT_BSTR &&
          h->string_byte_len(v.bstrVal) == sizeof(abi::Guid)) {
        std::memcpy(&f.class_id, v.bstrVal, sizeof(abi::Guid));
      } else {
        h->clear(v);
        continue;  // a format without a class id cannot be created
      }
      h->clear(v);
      if (!abi::failed(h->handler_property2(i, abi::kHandlerName, &v))) f.name = h->text(v);
      h->clear(v);
      if (!abi::failed(h->handler_property2(i, abi::kHandlerExtension, &v))) f.extensions = split_words(h->text(v));
      h->clear(v);
      if (!abi::failed(h->handler_property2(i, abi::kHandlerFlags, &v)) && v.vt == abi::VT_UI4) f.flags = v.ulVal;
      h->clear(v);
      for (uint32_t prop : {abi::kHandlerSignature, abi::kHandlerMultiSignature}) {
        if (!abi::failed(h->handler_property2(i, prop, &v)) && v.vt == abi::VT_BSTR && h->string_byte_len(v.bstrVal) > 0) {
          f.has_signature = true;
        }
        h->clear(v);
      }
      formats_.push_back(std::move(f));
    }
  }
  count = 0;
  if (h->number_of_methods && h->method_property && !abi::failed(h->number_of_methods(&count))) {
    for (uint32_t i = 0; i < count; ++i) {
      abi::PropVariant v;
      C7ZipCodecInfo c{h, i, {}};
      if (!abi::failed(h->method_property(i, abi::kMethodName, &v))) c.name = h->text(v);
      h->clear(v);
      codecs_.push_back(std::move(c));
    }
  }
  handlers_.push_back(std::move(handler));
}

// Every file below the folder is tried as a plug-in; those without the entry points are
// unloaded again.
void CodecLibrary::AddPlugins(const std::string& folder, int depth) {
  if (depth > 8) return;
  auto listed = platform::list_directory(folder);
  if (!listed) return;
  std::vector<std::string> names = std::move(*listed);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string path = folder + name;
    auto info = platform::path_info(path);
    if (!info) continue;
    if (info->kind == platform::file_kind::directory) {
      AddPlugins(path + "/", depth + 1);
    } else if (info->kind == platform::file_kind::regular) {
      if (auto plugin = C7ZipDllHandler::Load(path)) Add(std::move(plugin));
    }
  }
}

std::unique_ptr<CodecLibrary> CodecLibrary::Load(const std::vector<std::string>& candidates) {
  for (const std::string& candidate : candidates) {
    std::unique_ptr<C7ZipDllHandler> main = C7ZipDllHandler::Load(candidate);
    if (!main) continue;
    std::string folder = main->folder();
    auto library = std::make_unique<CodecLibrary>();
    library->Add(std::move(main));
    if (library->formats_.empty()) continue;
    if (!folder.empty()) {
      library->AddPlugins(folder + "Codecs/", 0);
      library->AddPlugins(folder + "Formats/", 0);
    }
    g_loads.fetch_add(1);
    return library;
  }
  return nullptr;
}

const CodecLibrary* CodecLibrary::Instance() {
  static std::mutex guard;
  static std::unique_ptr<CodecLibrary> library;
  std::lock_guard<std::mutex> lock(guard);
  if (!library) {
    std::string program = kit::platform::executable_path();
#ifdef _WIN32
    // Beside the program, else where the codec library's own installer puts it.
    std::vector<std::string> candidates{folder_of(program) + "7z.dll"};
    for (const std::string& folder : platform::program_files_dirs()) candidates.push_back(folder + "7-Zip/7z.dll");
    library = Load(candidates);
#else
    library = Load({folder_of(program) + "7z.so", "/usr/lib/p7zip/7z.so", "7z.so"});
#endif
  }
  return library.get();
}

int CodecLibrary::LoadCount() { return g_loads.load(); }

} // namespace kit::archive
