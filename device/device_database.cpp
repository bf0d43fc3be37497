#include "device/device_database.h"

#include <climits>

#include <boost/regex.hpp>

#include "common/text_convert.h"
#include "common/xml_document.h"

namespace kit::device {

namespace {
using kit::xml::ref_ptr;
using kit::xml::xml_element;

// Boost.Regex works on wchar_t; the tables hold UTF-16.
std::wstring wide(const std::u16string& s) {
  std::wstring out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    out += static_cast<wchar_t>(c);
  }
  return out;
}

std::u16string narrow(const std::wstring& s) {
  std::u16string out;
  for (wchar_t wc : s) {
    auto c = static_cast<char32_t>(wc);
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

// Group 1 of the first match of pattern in text; empty when there is none.
std::u16string first_group(const std::u16string& text, const boost::wregex& pattern) {
  std::wstring w = wide(text);
  boost::wsmatch m;
  if (!boost::regex_search(w, m, pattern)) return {};
  return narrow(m[1].str());
}

std::u16string child_text(const xml_element& parent, std::u16string_view name) {
  ref_ptr<xml_element> child = parent.first_child_named(name);
  return child ? child->text() : std::u16string();
}

// Decimal text read the lenient way: leading blanks, an optional sign, then digits up to
// the first other character; no digits gives 0. Out-of-range values are clamped.
int32_t lenient_int(const std::u16string& s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == u' ' || (s[i] >= u'\t' && s[i] <= u'\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
  long long v = 0;
  for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
    v = v * 10 + (s[i] - u'0');
    if (v > static_cast<long long>(INT_MAX) + 1) break;
  }
  if (negative) v = -v;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  return static_cast<int32_t>(v);
}

// Every child of the list element is a rule: its "Value" children in order, and the text
// of its last "ProductId" child.
std::vector<MatchRule> read_rules(const xml_element& vid, std::u16string_view list_name) {
  std::vector<MatchRule> rules;
  ref_ptr<xml_element> list = vid.first_child_named(list_name);
  if (!list) return rules;
  for (size_t i = 0; i < list->child_count(); ++i) {
    ref_ptr<xml_element> rule_element = list->child_at(i);
    MatchRule rule;
    for (size_t j = 0; j < rule_element->child_count(); ++j) {
      ref_ptr<xml_element> field = rule_element->child_at(j);
      if (field->name() == u"Value") rule.values.push_back(field->text());
      if (field->name() == u"ProductId") rule.productId = field->text();
    }
    rules.push_back(std::move(rule));
  }
  return rules;
}

const boost::wregex& vid_pattern() {
  static const boost::wregex r(L"VID_(\\w{4}).+", boost::regex::perl);
  return r;
}
const boost::wregex& pid_pattern() {
  static const boost::wregex r(L"PID_(\\w{4}).+", boost::regex::perl);
  return r;
}
const boost::wregex& serial_pattern() {
  static const boost::wregex r(L"\\\\([^\\\\]*)$", boost::regex::perl);
  return r;
}
const boost::wregex& product_pattern() {
  static const boost::wregex r(L"prod_([^&]+)", boost::regex::perl);
  return r;
}
const boost::wregex& disk_serial_pattern() {
  static const boost::wregex r(L"\\s*\\S+#(\\w+)", boost::regex::perl);
  return r;
}
} // namespace

std::u16string storage_product(const std::u16string& id) { return first_group(id, product_pattern()); }
std::u16string storage_serial(const std::u16string& id) { return first_group(id, disk_serial_pattern()); }
bool storage_id_has_serial(const std::u16string& id, const std::u16string& serial) {
  size_t hash = id.rfind(u'#');
  if (serial.empty() || hash == std::u16string::npos) return false;
  std::u16string_view field(id);
  field.remove_prefix(hash + 1);
  constexpr std::u16string_view kInstanceSuffix = u"&0";
  if (field.size() >= kInstanceSuffix.size() && field.substr(field.size() - kInstanceSuffix.size()) == kInstanceSuffix)
    field.remove_suffix(kInstanceSuffix.size());
  if (field.size() != serial.size()) return false;
  for (size_t k = 0; k < field.size(); ++k)
    if (kit::text::to_lower(field[k]) != kit::text::to_lower(serial[k])) return false;
  return true;
}
std::u16string instance_vid(const std::u16string& id) { return first_group(id, vid_pattern()); }
std::u16string instance_pid(const std::u16string& id) { return first_group(id, pid_pattern()); }
std::u16string instance_serial(const std::u16string& id) { return first_group(id, serial_pattern()); }

bool CDeviceDatabase::LoadDocument(const std::string& xml) {
  vendors_.clear();
  models_.clear();
  if (xml.empty()) return true;  // nothing to read: an empty database
  kit::xml::xml_dom_parser parser;
  if (!parser.parse_buffer(xml.data(), static_cast<long>(xml.size()))) return false;
  ref_ptr<xml_element> root = parser.root();
  if (!root) return true;

  if (ref_ptr<xml_element> vids = root->first_child_named(u"VIDs")) {
    for (size_t i = 0; i < vids->child_count(); ++i) {
      ref_ptr<xml_element> v = vids->child_at(i);
      const std::u16string* value = v->attribute(u"Value");
      if (!value) continue;
      VendorEntry entry;
      entry.vid = *value;
      // The rule lists belong to elements named "VID" only.
      if (v->name() == u"VID") {
        entry.pids = read_rules(*v, u"PIDs");
        entry.names = read_rules(*v, u"Names");
        entry.modals = read_rules(*v, u"Modals");
      }
      vendors_[entry.vid] = std::move(entry);
    }
  }
  if (ref_ptr<xml_element> devices = root->first_child_named(u"Devices")) {
    for (size_t i = 0; i < devices->child_count(); ++i) {
      ref_ptr<xml_element> d = devices->child_at(i);
      if (d->name() != u"Device") continue;
      ref_ptr<xml_element> id = d->first_child_named(u"ProductId");
      if (!id) continue;
      ModelEntry model;
      model.productId = id->text();
      model.manufactory = child_text(*d, u"Manufactory");
      model.brand = child_text(*d, u"Brand");
      model.product = child_text(*d, u"Product");
      model.alias = child_text(*d, u"Alias");
      model.type = lenient_int(child_text(*d, u"Type"));
      model.screen = child_text(*d, u"Screen");
      model.smallIcon = child_text(*d, u"SmallIconPath");
      model.largeIcon = child_text(*d, u"LargeIconPath");
      models_[model.productId] = std::move(model);
    }
  }
  return true;
}

const ModelEntry* CDeviceDatabase::model_of(const MatchRule& rule) const {
  auto it = models_.find(rule.productId);
  return it == models_.end() ? nullptr : &it->second;
}

bool CDeviceDatabase::MatchInstanceId(const std::u16string& instance_id, const ModelEntry** model, std::u16string* vid,
                                      std::u16string* pid, std::u16string* serial) const {
  std::u16string v = instance_vid(instance_id), p = instance_pid(instance_id), s = instance_serial(instance_id);
  if (v.empty()) return false;
  auto vendor = vendors_.find(v);
  if (vendor == vendors_.end()) return false;
  const ModelEntry* found = nullptr;
  if (!s.empty()) {
    std::wstring ws = wide(s);
    for (const MatchRule& rule : vendor->second.names) {
      for (const std::u16string& value : rule.values) {
        try {
          boost::wregex pattern(wide(value), boost::regex::perl);
          if (boost::regex_search(ws, pattern) && (found = model_of(rule))) break;
        } catch (const std::exception&) {
          // Not a valid regular expression (or too costly to run): this value never matches.
        }
      }
      if (found) break;
    }
  }
  if (!found && !p.empty()) {
    for (const MatchRule& rule : vendor->second.pids) {
      for (const std::u16string& value : rule.values) {
        if (value == p && (found = model_of(rule))) break;
      }
      if (found) break;
    }
  }
  if (!found) return false;
  if (model) *model = found;
  if (vid) *vid = v;
  if (pid) *pid = p;
  if (serial) *serial = s;
  return true;
}

bool CDeviceDatabase::MatchStorageProduct(const std::u16string& product, const ModelEntry** model, std::u16string* vid) const {
  if (product.empty()) return false;
  for (const auto& [key, vendor] : vendors_) {
    for (const MatchRule& rule : vendor.modals) {
      for (const std::u16string& value : rule.values) {
        const ModelEntry* found = kit::text::contains_no_case(product, value) ? model_of(rule) : nullptr;
        if (!found) continue;
        if (model) *model = found;
        if (vid) *vid = key;
        return true;
      }
    }
  }
  return false;
}

} // namespace kit::device
