// Windows-1250 text, the code page of every string inside the engine and its files, and
// its conversion to and from UTF-8 at the GUI and external-format boundaries.
// The bytes 0x81 0x83 0x88 0x90 0x98 are undefined in Windows-1250; they map to the C1
// control characters of the same number so that conversion round-trips every byte.
#pragma once

#include <string>
#include <string_view>

namespace platform {

char16_t Cp1250ToUnicode(unsigned char c);
std::string Cp1250ToUtf8(std::string_view text);
// Characters without a Windows-1250 form become "?"; malformed UTF-8 bytes likewise.
std::string Utf8ToCp1250(std::string_view text);

}  // namespace platform
