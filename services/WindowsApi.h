#pragma once
// <windows.h> as every file of this program takes it: without the min and
// max macros and with the lean set of declarations. Empty on other systems.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif
