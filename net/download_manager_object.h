// The scripts' download queue over the task store, with the scripts' functions as its
// listeners (the script face, "DownloadManger.Manager", is download_manager_binding.cpp).
// Host-owned; its destructor ends the running transfer and gives back every listener.
#pragma once
#include "common/singleton_ex.h"
#include "net/download_queue.h"
#include "net/task_store.h"

class CLuaDownloadManager {
public:
  CLuaDownloadManager() : queue(kit::design_pattern::singleton_ex<CSqliteManager>::peek()) {}

  kit::net::download_queue queue;
};
