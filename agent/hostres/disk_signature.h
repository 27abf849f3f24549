// The disk signature in a disk identifier of the registry provider,
// "<kernel name>-<signature>-<MBR|GPT|NONE>": the text after the first "-" up
// to the next "-" or the end, at most 65 characters of it, read as an
// unsigned hexadecimal number the way wcstoul reads one (leading blanks, an
// optional "+", an optional "0x", then hex digits up to the first other
// character), saturating at 0xFFFFFFFF. No "-", or no digits, gives 0.
//
// Reads at most `length` characters of `text` and stops early at a NUL, so a
// fixed-size record field needs no terminator. Pure; any thread.
#pragma once

#include <stddef.h>

#include "win32/types.h"

DWORD HrDiskSignature(const WCHAR* text, size_t length);
