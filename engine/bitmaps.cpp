// Reference-counted 32-bit BGRA bitmaps.
#include <atomic>
#include <vector>

#include "engine/ui_engine.h"

struct UIG_Bitmap {
  int width = 0;
  int height = 0;
  std::atomic<int> refs{1};
  std::vector<uint8_t> pixels;
};

// The engine draws nothing itself (the faces are the console and the web view), so the
// graphics set-up that start-up performs through these three calls of the engine's
// interface has nothing to do.
void UIG_PrepareGraphicParam(UIG_GraphicParam* param) {
  if (param) *param = UIG_GraphicParam{1, {}};
}
int UIG_InitGraphicLib(UIG_GraphicParam*) { return 0; }
void UIG_SetFreeTypeEnabled(int) {}

UIG_Bitmap* UIG_CreateBitmap(int, int width, int height) {
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return nullptr;
  auto* b = new UIG_Bitmap;
  b->width = width;
  b->height = height;
  b->pixels.assign(static_cast<size_t>(width) * height * 4, 0);
  return b;
}

uint8_t* UIG_GetBitmapBuffer(UIG_Bitmap* b, int x, int y) {
  if (!b || x < 0 || y < 0 || x >= b->width || y >= b->height) return nullptr;
  return b->pixels.data() + (static_cast<size_t>(y) * b->width + x) * 4;
}

int UIG_GetBitmapWidth(const UIG_Bitmap* b) { return b ? b->width : 0; }
int UIG_GetBitmapHeight(const UIG_Bitmap* b) { return b ? b->height : 0; }

int UIG_AddRefBitmap(UIG_Bitmap* b) { return b ? ++b->refs : 0; }

int UIG_ReleaseBitmap(UIG_Bitmap* b) {
  if (!b) return 0;
  int left = --b->refs;
  if (left == 0) delete b;
  return left;
}
