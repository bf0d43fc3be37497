#include "host/thread_pool.h"

#include <atomic>
#include <set>
#include <utility>

#include "platform/ui_loop.h"

namespace {
std::atomic<CThreadPool*> g_pool{nullptr};

void clean(IWorkItem* item) {
  if (item->cleanup) item->cleanup->Clean(item);
}

// Hands a finished item to its completion on the UI thread (the pool's window message).
void complete(IWorkItem* item) {
  if (item->completion) {
    item->completion->OnDone(item);
  } else if (item->cleanup) {
    item->cleanup->Clean(item);
  }
}
} // namespace

// Finished items whose completion is queued on the UI loop. Shared with the queued
// deliveries, so that an item is completed by its delivery or cleaned up by Stop, never
// both and never neither, also when the loop runs again after the pool is gone.
struct CThreadPool::deliveries {
  std::mutex m;
  std::set<IWorkItem*> items;
  bool take(IWorkItem* item) {
    std::lock_guard<std::mutex> lock(m);
    return items.erase(item) != 0;
  }
  std::set<IWorkItem*> take_all() {
    std::lock_guard<std::mutex> lock(m);
    return std::exchange(items, {});
  }
};

class CThreadPool::worker : public kit::multithread::thread {
public:
  explicit worker(std::shared_ptr<deliveries> finished) : finished_(std::move(finished)) {}
  ~worker() override { stop_and_wait(); }

  void push(IWorkItem* item) {
    {
      std::lock_guard<std::mutex> lock(m_);
      queue_.push_back(item);
    }
    work_available_.notify_one();
  }

  // Items that never ran; called after the thread ended.
  std::deque<IWorkItem*> take_remaining() {
    std::lock_guard<std::mutex> lock(m_);
    return std::exchange(queue_, {});
  }

protected:
  void run() override {
    for (;;) {
      IWorkItem* item = nullptr;
      {
        std::unique_lock<std::mutex> lock(m_);
        work_available_.wait(lock, [&] { return stop_requested() || !queue_.empty(); });
        if (stop_requested()) return;
        item = queue_.front();
        queue_.pop_front();
      }
      if (item->routine) item->result = item->routine->Run(item->data);
      {
        std::lock_guard<std::mutex> lock(finished_->m);
        finished_->items.insert(item);
      }
      kit::platform::ui_loop::instance().post([item, finished = finished_] {
        if (finished->take(item)) complete(item);
      });
    }
  }

  void on_stop_requested() override {
    // Taking the lock orders the notification after a waiter's predicate check.
    std::lock_guard<std::mutex> lock(m_);
    work_available_.notify_all();
  }

private:
  std::shared_ptr<deliveries> finished_;
  std::mutex m_;
  std::condition_variable work_available_;
  std::deque<IWorkItem*> queue_;
};

CThreadPool::CThreadPool() : finished_(std::make_shared<deliveries>()) {
  // The UI loop must outlive the pool: make sure it exists first.
  kit::platform::ui_loop::instance();
}

CThreadPool::~CThreadPool() {
  StopWorker();
  // Completions still queued can no longer reach a pool.
  for (IWorkItem* item : finished_->take_all()) clean(item);
  g_pool = nullptr;
}

CThreadPool& CThreadPool::Instance() {
  static CThreadPool pool;
  g_pool = &pool;
  return pool;
}

HRESULT CThreadPool::Post(IWorkItem* item) {
  if (!item) return E_FAIL;
  std::lock_guard<std::mutex> lock(control_);
  if (!worker_) worker_ = std::make_unique<worker>(finished_);
  if (!worker_->running() && !worker_->start()) return E_FAIL;
  worker_->push(item);
  return S_OK;
}

void CThreadPool::StopWorker() {
  std::lock_guard<std::mutex> lock(control_);
  if (!worker_) return;
  worker_->stop_and_wait();
  for (IWorkItem* item : worker_->take_remaining()) clean(item);
  worker_.reset();
}

void CThreadPool::Stop() {
  StopWorker();
  // A loop that has stopped never runs the completions queued on it.
  if (kit::platform::ui_loop::instance().stopped()) {
    for (IWorkItem* item : finished_->take_all()) clean(item);
  }
}

void CThreadPool::Shutdown() {
  if (CThreadPool* pool = g_pool.load()) pool->Stop();
}
