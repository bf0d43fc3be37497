// "Socket.Manager": the scripts' channel to the agent app. Connect opens the notification
// channel (127.0.0.1:12303, frames go to the function given to Init); every
// SendSocketMessage opens its own request connection (127.0.0.1:12300), writes one request
// frame and hands each reply frame, decoded, to that request's function until the reply
// ends. All of it runs on the UI thread.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "host/lua_event.h"
#include "host/message_handler.h"
#include "platform/asyn_tcp_socket.h"
#include "phonelink/frame_reader.h"
#include "phonelink/script_value.h"

class CLuaSocketMessageManager;

// The sink of one request connection. Its clean-up (dropping the task and the socket, then
// the object itself) is posted through the message window when the request ends, so that a
// socket is never destroyed from inside its own callbacks.
class SocketMessageCallback : public kit::platform::asyn_tcp_socket_event, public MessageHandler {
public:
  SocketMessageCallback(CLuaSocketMessageManager* manager, uint32_t task_id) : manager_(manager), task_id_(task_id) {}

  void on_connect(uint32_t, uint16_t, uint32_t, uint16_t) override {}
  void on_send(uint32_t) override {}
  void on_recv(const uint8_t* data, uint32_t length, uint32_t* consumed) override;
  void on_error(int error) override;
  void on_close() override;
  // The posted clean-up.
  void HandleMessage(uintptr_t argument) override;

  uint32_t TaskId() const { return task_id_; }
  bool CleanupPosted() const { return cleanup_posted_; }
  // True while one of the socket's calls is running on this object.
  bool Busy() const { return busy_ > 0; }
  // Posts the clean-up once; later calls do nothing.
  void EndRequest();

private:
  CLuaSocketMessageManager* manager_;
  uint32_t task_id_;
  kit::phonelink::frame_reader reader_;
  bool cleanup_posted_ = false;
  int busy_ = 0;
};

struct SocketTask {
  int active = 1;
  uint16_t type = 0;
  uint32_t id = 0;
  CLuaEvent* callback = nullptr;            // null when no function was given
  SocketMessageCallback* handler = nullptr;  // owned
  kit::platform::asyn_tcp_socket* socket = nullptr;  // owned
};

class CLuaSocketMessageManager : public kit::platform::asyn_tcp_socket_event {
public:
  static constexpr const char* kHost = "127.0.0.1";

  // The manager behind the script object, owned by the host (built on first use).
  static CLuaSocketMessageManager& Instance();

  CLuaSocketMessageManager() = default;
  ~CLuaSocketMessageManager() override;

  // Script methods.
  void Init(CLuaEvent* callback);  // takes ownership of callback (may be null)
  void UnInit();
  void Connect();
  // Queues the request frame on a new connection; returns the task id.
  uint32_t SendRequest(const uint8_t* frame, uint32_t size, uint16_t type, CLuaEvent* callback);
  void CancleTask(uint32_t id);
  void CancleAllTask();

  SocketTask* FindTask(uint32_t id);
  size_t TaskCount() const { return tasks_.size(); }

  // Calls a script function with decoded arguments. A list with more records than one
  // table holds reaches it in several calls, each with the next records, for as long as
  // alive (when given) says that the payload they are read from is still there.
  static void CallScript(const CLuaEvent& callback, const kit::phonelink::script_args& args,
                         const std::function<bool()>& alive = {});

  // The notification channel's sink.
  void on_connect(uint32_t, uint16_t, uint32_t, uint16_t) override;
  void on_send(uint32_t) override {}
  void on_recv(const uint8_t* data, uint32_t length, uint32_t* consumed) override;
  void on_error(int error) override;
  void on_close() override;

private:
  friend class SocketMessageCallback;
  void DropTask(std::map<uint32_t, SocketTask>::iterator it);
  void ForgetHandler(SocketMessageCallback* handler);

  bool initialised_ = false;
  std::map<uint32_t, SocketTask> tasks_;
  uint32_t task_counter_ = 0;
  std::unique_ptr<kit::platform::asyn_tcp_socket> notify_socket_;
  CLuaEvent* notify_callback_ = nullptr;
  kit::phonelink::frame_reader notify_reader_;
  uint64_t notify_epoch_ = 0;  // changes when the notification socket goes away
  // Every request sink still alive, also those whose task is gone but whose clean-up is
  // still queued, so that nothing outlives the manager.
  std::set<SocketMessageCallback*> handlers_;
};
