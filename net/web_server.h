// The local web UI server: HTTP/1.1 and WebSocket on 127.0.0.1, run on the UI loop, so
// every callback runs on the UI thread. It serves the built front end from a folder, files
// the program offers by an unguessable id, takes uploads into the temp folder, and carries
// text messages between the pages and the program.
//
// Every request must name this server in Host; the opening URL's key is exchanged once
// for a cookie that every other request and the WebSocket upgrade must carry; the upgrade
// and uploads must come from the server's own Origin. Header blocks, messages, the number
// of connections and the time a connection may stay silent are bounded (see options).
//
// The implementation (Boost.Beast) lives in web_server.cpp alone.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kit::net {

class web_server {
public:
  struct options {
    std::string static_dir;  // the built front end ("" serves nothing but the API)
    std::string temp_dir;    // where uploads are written (must exist)
    uint16_t port = 0;       // 0: a free port
    size_t header_limit = 16 * 1024;
    size_t message_limit = 1024 * 1024;
    size_t max_connections = 16;
    std::chrono::milliseconds idle_timeout = std::chrono::minutes(2);
    // Bytes a page may send to one client before it is dropped as not reading.
    size_t send_backlog_limit = 64 * 1024 * 1024;
    // The free bytes of the temp folder's volume; nothing when unknown (uploads are then
    // refused). Unset: asked of the file system.
    std::function<std::optional<uint64_t>()> free_space;
  };

  // A completed upload, in the temp folder under a name of the server's choosing.
  struct upload {
    uint64_t id = 0;
    uint64_t client = 0;  // the client the upload URL was made for (0: any page)
    std::string path;     // the file
    std::string name;     // the name the page gave, made safe (web::safe_file_name)
    uint64_t size = 0;
  };

  // text is the message a page sent; null when the page went away.
  using message_handler = std::function<void(uint64_t client, const std::string* text)>;
  using upload_handler = std::function<void(const upload&)>;

  web_server();
  ~web_server();
  web_server(const web_server&) = delete;
  web_server& operator=(const web_server&) = delete;

  // Starts listening; returns the opening URL ("http://127.0.0.1:PORT/?key=...") or ""
  // when the port cannot be had (error() says why). A running server is stopped first.
  std::string start(options opts, message_handler on_message, upload_handler on_upload);
  // Closes the listener and every connection; pending uploads are deleted. No handler is
  // called afterwards.
  void stop();
  bool running() const;
  uint16_t port() const;
  const std::string& error() const { return error_; }

  // Queues a text message to one client, or to every client with 0. False when no such
  // client is connected.
  bool send(uint64_t client, const std::string& text);
  // The clients connected over WebSocket right now.
  size_t client_count() const;
  // Any connections (HTTP and WebSocket) open right now.
  size_t connection_count() const;

  // Makes a local file downloadable by the pages; returns its URL path
  // ("/files/ID/NAME"), or "" when the path is not a readable regular file. The file is
  // read when a page asks for it. name defaults to the file's own name.
  std::string offer(const std::string& path, const std::string& name = {});
  // Withdraws an offer.
  bool withdraw(const std::string& url);
  // A URL path pages PUT files to ("/upload/ID"; "?name=NAME" gives the file's name).
  std::string upload_url(uint64_t client = 0);

  struct state;  // opaque: defined in web_server.cpp

private:
  std::shared_ptr<state> state_;
  std::string error_;
};

} // namespace kit::net
