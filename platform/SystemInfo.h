// Facts about the user, the machine and the process, and the millisecond clock.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

constexpr char PathDelimiter = '/';

std::string CurrentUserName();      // "" when unknown
std::string CurrentComputerName();  // "" when unknown
// "XX:  <platform>.<major>.<minor>.<build>  <system>" from uname, "unknown" on failure.
std::string OSDescription();
// The text of errno (or of the given code); "The error type could not be determined" when
// the system has none.
std::string LastErrorText();
std::string ErrorText(int errorCode);
// Milliseconds of a monotonic clock, wrapping at 2^32 like the Windows tick count.
uint32_t TickCount();
void SleepMs(uint32_t milliseconds);
// Directory of the running executable, with a trailing delimiter.
std::string ExecutableDirectory();

}  // namespace platform
