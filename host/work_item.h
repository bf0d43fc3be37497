// A unit of background work: a routine run on a worker thread with its data, then a
// completion run on the UI thread, then a clean-up that frees what the item owns.
#pragma once
#include <cstdint>

class IWorkItem;

class IWorkerRoutine {
public:
  virtual ~IWorkerRoutine() = default;
  virtual int32_t Run(void* data) = 0;
};

class IRoutineCallback {
public:
  virtual ~IRoutineCallback() = default;
  virtual void OnDone(IWorkItem* item) = 0;
};

class IWorItemClean {
public:
  virtual ~IWorItemClean() = default;
  virtual void Clean(IWorkItem* item) = 0;
};

class IWorkItem {
public:
  virtual ~IWorkItem() = default;
  IWorkerRoutine* routine = nullptr;
  void* data = nullptr;
  IRoutineCallback* completion = nullptr;
  IWorItemClean* cleanup = nullptr;
  int32_t result = 0;
};
