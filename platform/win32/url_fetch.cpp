// One HTTP GET through WinINet, the system's HTTP client: the system's proxy settings, one
// deadline for the whole request (WinINet's own time-outs count per phase, so the request
// runs on a worker and is cut off when the deadline passes), at most max_bytes of the body.
#include "platform/url_fetch.h"

#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/win32/wide.h"

namespace kit::platform {

namespace {

struct request_state {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;    // the answer is there
  bool exited = false;  // the worker has finished
  bool ok = false;
  std::string body;
  HINTERNET session = nullptr;
};

void run_request(const std::shared_ptr<request_state>& state, const std::wstring& url, size_t max_bytes,
                 DWORD timeout_ms) {
  HINTERNET session;
  {
    std::lock_guard<std::mutex> lock(state->m);
    session = state->session;
  }
  std::string body;
  bool ok = false;
  DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
  // The connection is not kept: a request closed before its body's end is not drained.
  HINTERNET request = ::InternetOpenUrlW(session, url.c_str(), L"Connection: close\r\n", static_cast<DWORD>(-1), flags, 0);
  if (request) {
    ::InternetSetOptionW(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout_ms, sizeof timeout_ms);
    ok = true;
    char buffer[16384];
    while (body.size() < max_bytes) {
      DWORD n = 0;
      if (!::InternetReadFile(request, buffer, sizeof buffer, &n)) {
        ok = false;
        break;
      }
      if (n == 0) break;
      size_t room = max_bytes - body.size();
      body.append(buffer, n < room ? n : room);
    }
  }
  {
    // The answer goes out before the request is closed, which may take its time.
    std::lock_guard<std::mutex> lock(state->m);
    state->ok = ok;
    state->body = std::move(body);
    state->done = true;
    state->cv.notify_all();
  }
  if (request) ::InternetCloseHandle(request);
  std::lock_guard<std::mutex> lock(state->m);
  state->exited = true;
}

} // namespace

std::optional<std::string> fetch_url(const std::string& url, const std::string& user_agent, size_t max_bytes,
                                     long deadline_ms) {
  if (max_bytes == 0 || deadline_ms <= 0) return std::nullopt;
  HINTERNET session =
      ::InternetOpenW(win32::wide(user_agent).c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!session) return std::nullopt;
  DWORD timeout = static_cast<DWORD>(deadline_ms);
  ::InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
  ::InternetSetOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
  ::InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
  auto state = std::make_shared<request_state>();
  state->session = session;
  std::thread worker(run_request, state, win32::wide(url), max_bytes, timeout);
  std::unique_lock<std::mutex> lock(state->m);
  bool finished = state->cv.wait_for(lock, std::chrono::milliseconds(deadline_ms), [&] { return state->done; });
  std::optional<std::string> answer;
  if (finished && state->ok) answer = std::move(state->body);
  bool exited = state->exited;
  lock.unlock();
  // Closing the session ends a call still blocked in it. One that does not end at once is
  // left to finish on its own (it holds only the shared state): the deadline holds either way.
  ::InternetCloseHandle(session);
  if (exited) {
    worker.join();
  } else {
    worker.detach();
  }
  return answer;
}

} // namespace kit::platform
