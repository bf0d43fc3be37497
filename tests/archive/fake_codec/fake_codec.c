/* A stand-in codec library for the loader tests: the plug-in entry points with one
   format, "fakefmt", and the interface type given by FAKE_INTERFACE_TYPE (none reported
   when FAKE_NO_MODULE_PROP is defined). It opens nothing. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

typedef struct {
  uint16_t vt, r1, r2, r3;
  union {
    uint32_t ul;
    wchar_t* str;
    uint64_t u64;
  } v;
} value;

wchar_t* SysAllocStringByteLen(const char* bytes, uint32_t len) {
  char* p = calloc(1, 4 + len + sizeof(wchar_t));
  if (!p) return NULL;
  memcpy(p, &len, 4);
  if (bytes) memcpy(p + 4, bytes, len);
  return (wchar_t*)(p + 4);
}
wchar_t* SysAllocString(const wchar_t* s) {
  return s ? SysAllocStringByteLen((const char*)s, (uint32_t)(wcslen(s) * sizeof(wchar_t))) : NULL;
}
void SysFreeString(wchar_t* s) {
  if (s) free((char*)s - 4);
}
uint32_t SysStringByteLen(wchar_t* s) {
  uint32_t len = 0;
  if (s) memcpy(&len, (char*)s - 4, 4);
  return len;
}
int32_t VariantClear(value* v) {
  if (v->vt == 8) SysFreeString(v->v.str);
  v->vt = 0;
  return 0;
}

#ifndef FAKE_NO_MODULE_PROP
int32_t GetModuleProp(uint32_t id, value* v) {
  VariantClear(v);
  if (id == 0) {
    v->vt = 19;
    v->v.ul = FAKE_INTERFACE_TYPE;
  }
  return 0;
}
#endif

int32_t GetNumberOfFormats(uint32_t* n) {
  *n = 1;
  return 0;
}
int32_t GetHandlerProperty2(uint32_t index, uint32_t id, value* v) {
  static const unsigned char class_id[16] = {0x69, 0x0F, 0x17, 0x23, 0xC1, 0x40, 0x8A, 0x27,
                                             0x10, 0x00, 0x00, 0x01, 0x10, 0xFE, 0x00, 0x00};
  VariantClear(v);
  if (index != 0) return (int32_t)0x80070057u;
  if (id == 0) v->v.str = SysAllocString(L"fakefmt");
  if (id == 1) v->v.str = SysAllocStringByteLen((const char*)class_id, 16);
  if (id == 2) v->v.str = SysAllocString(L"fake");
  if (id <= 2) v->vt = 8;
  return 0;
}
int32_t CreateObject(const void* class_id, const void* iid, void** out) {
  (void)class_id;
  (void)iid;
  *out = NULL;
  return (int32_t)0x80040111u;
}
