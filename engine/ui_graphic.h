// The UI engine's bitmaps (UIG_): reference-counted 32-bit BGRA images that native code
// fills and scripts hold. No script runtime is needed to use them.
#pragma once
#include <cstdint>

struct UIG_GraphicParam {
  uint32_t flags;
  uint32_t reserved[7];
};

struct UIG_Bitmap;

void UIG_PrepareGraphicParam(UIG_GraphicParam* param);
int UIG_InitGraphicLib(UIG_GraphicParam* param);
void UIG_SetFreeTypeEnabled(int enabled);
// A reference-counted 32-bit BGRA bitmap (count 1), or null.
UIG_Bitmap* UIG_CreateBitmap(int reserved, int width, int height);
// Address of pixel (x, y); rows are 4 * width bytes.
uint8_t* UIG_GetBitmapBuffer(UIG_Bitmap* bitmap, int x, int y);
int UIG_GetBitmapWidth(const UIG_Bitmap* bitmap);
int UIG_GetBitmapHeight(const UIG_Bitmap* bitmap);
int UIG_AddRefBitmap(UIG_Bitmap* bitmap);
int UIG_ReleaseBitmap(UIG_Bitmap* bitmap);
