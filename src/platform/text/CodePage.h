#pragma once

#include <string>
#include <string_view>

namespace pelvar::text {

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view bytes);

// Bytes in the Windows code page 1252 as UTF-8; the five unassigned bytes keep their C1 code
// points, as Windows maps them.
std::string windows1252ToUtf8(std::string_view bytes);

// A text file as UTF-8: valid UTF-8 stays as it is (without a byte-order mark), anything else
// is read as Windows-1252, the code page files written on the product's systems use.
std::string decodeTextFile(std::string_view bytes);

} // namespace pelvar::text
