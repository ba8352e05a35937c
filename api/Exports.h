#pragma once
// The library's exported functions (declared for hosts in include/corvane/vmd.h).
#include <cstdint>

extern "C" {
void DetectVM();
int32_t GetVMType();
const char* GetVMName();
const char* GetLibVersion();
void SetLogFolder(const wchar_t* folder);
}
