// Shift-JIS documents for the XML reader: expat knows only a few encodings, and asks this handler
// for any other one named in a document's declaration.
#pragma once

#include "xml_expat.h"

// Accepts "SHIFT_JIS" (any case): single bytes map directly (ASCII, half-width katakana), lead
// bytes 0x80-0x9F and 0xE0-0xFE begin two-byte characters decoded by SjisConvert. Any other
// name is refused, which fails the parse.
int XMLCALL SjisEncodingHandler(void* data, const XML_Char* name, XML_Encoding* info);
// The character of a two-byte Shift-JIS sequence (Windows code page 932), or -1 when invalid.
int XMLCALL SjisConvert(void* data, const char* bytes);
