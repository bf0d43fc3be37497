// The work-item pool: one background worker runs queued items first in, first out; each
// finished item goes back to the UI thread, where its completion runs, in posting order.
//
// Ownership: once posted, an item belongs to the pool until it is handed back. On the UI
// thread the pool calls completion->OnDone(item); the completion is responsible for
// calling the item's clean-up afterwards. An item without a completion is cleaned up by
// the pool itself. Items still queued when the pool stops are cleaned up without running;
// so are finished items whose completion waits on a loop that has stopped.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "host/lua_event.h"
#include "host/work_item.h"
#include "host/worker_thread.h"

class CThreadPool {
public:
  static CThreadPool& Instance();

  // Queues the item; starts the worker on first use. Never waits for running work.
  // S_OK, or E_FAIL when the worker cannot be started (the item stays the caller's).
  HRESULT Post(IWorkItem* item);

  // Stops the worker after the item it is running (threads are never killed) and cleans
  // up the items still queued, and, when the UI loop has stopped, the finished items whose
  // completion would have run on it. A later Post starts a new worker.
  void Stop();
  // Stops the process's pool if it was ever used (process shutdown).
  static void Shutdown();

  CThreadPool(const CThreadPool&) = delete;
  CThreadPool& operator=(const CThreadPool&) = delete;
  CThreadPool();
  ~CThreadPool();

private:
  void StopWorker();
  class worker;
  struct deliveries;
  std::shared_ptr<deliveries> finished_;
  std::mutex control_;  // serialises Post's start and Stop
  std::unique_ptr<worker> worker_;
};
