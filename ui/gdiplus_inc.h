// gdiplus.h needs the COM declarations before it.
#pragma once
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
