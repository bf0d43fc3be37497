#include "net/http_message.h"

#include <cstdlib>

namespace kit::net {

std::string http_request::serialize() const {
  std::string out;
  size_t size = method.size() + uri.size() + version.size() + 32 + body.size();
  for (const auto& [name, value] : headers.entries()) size += name.size() + value.size() + 4;
  out.reserve(size);
  out.append(method).append(" ").append(uri).append(" ").append(version).append("\r\n");
  if (!body.empty() && !headers.contains("Content-Length"))
    out.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n");
  for (const auto& [name, value] : headers.entries()) out.append(name).append(": ").append(value).append("\r\n");
  out.append("\r\n");
  out.append(body);
  return out;
}

const char* default_reason_phrase(int status) {
  switch (status) {
    case 100: return "Continue";
    case 101: return "Switching Protocols";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 203: return "Non-Authoritative Information";
    case 204: return "No Content";
    case 205: return "Reset Content";
    case 206: return "Partial Content";
    case 300: return "Multiple Choices";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 305: return "Use Proxy";
    case 307: return "Temporary Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 402: return "Payment Required";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 406: return "Not Acceptable";
    case 407: return "Proxy Authentication Required";
    case 408: return "Request Time-out";
    case 409: return "Conflict";
    case 410: return "Gone";
    case 411: return "Length Required";
    case 412: return "Precondition Failed";
    case 413: return "Request Entity Too Large";
    case 414: return "Request-URI Too Large";
    case 415: return "Unsupported Media Type";
    case 416: return "Requested range not satisfiable";
    case 417: return "Expectation Failed";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Time-out";
    case 505: return "HTTP Version not supported";
    default: return "";
  }
}

std::string http_url::host_header() const {
  return port == 80 ? host : host + ":" + std::to_string(port);
}

namespace {
// The decimal number at the start of text (digits only, at most 16 bits kept), as the
// port of an authority or a Host header.
uint16_t read_port(const std::string& text) {
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = (value * 10 + static_cast<uint32_t>(c - '0')) & 0xFFFFFFu;
  }
  return static_cast<uint16_t>(value);
}
} // namespace

bool parse_decimal_u63(std::string_view text, int64_t* value) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  size_t end = text.size();
  while (end > i && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  if (i == end) return false;
  int64_t v = 0;
  for (; i < end; ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    if (v > (INT64_MAX - (c - '0')) / 10) return false;
    v = v * 10 + (c - '0');
  }
  *value = v;
  return true;
}

bool split_host_header(const std::string& value, std::string* host, uint16_t* port) {
  size_t colon = value.find(':');
  *host = value.substr(0, colon);
  *port = colon == std::string::npos ? 80 : read_port(value.substr(colon + 1));
  return !host->empty() && *port != 0;
}

bool parse_http_url(const std::string& url, http_url* out) {
  static constexpr char kScheme[] = "http://";
  if (url.size() <= 7) return false;
  for (size_t i = 0; i < 7; ++i) {
    char c = url[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kScheme[i]) return false;
  }
  std::string_view rest = std::string_view(url).substr(7);
  size_t slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  size_t colon = authority.rfind(':');
  std::string_view host = authority.substr(0, colon);
  uint16_t port = colon == std::string_view::npos ? 80 : read_port(std::string(authority.substr(colon + 1)));
  if (host.empty() || port == 0) return false;
  out->host.assign(host.data(), host.size());
  out->port = port;
  if (slash == std::string_view::npos) {
    out->uri.assign(1, '/');  // a literal trips a false GCC 12 -Wrestrict report
  } else {
    std::string_view uri = rest.substr(slash);
    out->uri.assign(uri.data(), uri.size());
  }
  return true;
}

} // namespace kit::net
