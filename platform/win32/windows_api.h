// <windows.h> for our own sources. Several Win32 "A/W" macros share names
// with Platform members (GetProfileString, ReplaceFile, MessageBox...), and
// would silently rename them; include this instead of <windows.h>.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef GetProfileString
#undef GetProfileInt
#undef WriteProfileString
#undef ReplaceFile
#undef MessageBox
#undef LoadString
