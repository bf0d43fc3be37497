// The script object "DownloadManger.Manager": the download queue with script functions
// as its listeners. Host-owned; its destructor ends the running transfer and gives back
// every script function.
#pragma once
#include "engine/function_ref.h"
#include "engine/ui_engine.h"
#include "net/download_queue.h"

class CLuaDownloadManager {
public:
  static constexpr const char* kGlobalName = "DownloadManger.Manager";
  static constexpr const char* kClassName = "DownloadManger.Manager.Class";

  CLuaDownloadManager();
  static void Register(UIS_Env* env);

  kit::net::download_queue queue;
};
