// Small helpers shared by the engine's units: the two key collations handed to index
// managers, field core sizes, the table-header size check, environment texts for the
// catalogue, and the LIKE matcher of filters. None of them keeps state.
#pragma once

#include <cstdint>
#include <string>

#include "engine/storage/FieldTypes.h"
#include "platform/StringList.h"

// -1, 0 or 1. Wide arguments, so that record addresses (unsigned 32-bit) and signed values
// both order correctly and no difference can overflow.
int CompareIntegers(int64_t A, int64_t B);
int CompareFloats(double A, double B);

// Key collations: the first min(Len1, Len2) characters decide; when they are equal the
// shorter key sorts first, unless Partial, which lets a prefix compare equal.
using TCompareKeysFunc = int (*)(const char*, const char*, int, int, bool, bool);
// Sort order 0, soANSI.
int CompareAnsiKeys(const char* S1, const char* S2, int Len1, int Len2, bool CaseInsensitive,
                    bool Partial);
// Sort order 1, soASCII.
int CompareAsciiKeys(const char* S1, const char* S2, int Len1, int Len2, bool CaseInsensitive,
                     bool Partial);

// Bytes of a field type's fixed core. Raises Exception for types without one.
uint8_t CoreDataSize(uint8_t FieldType);

// A table header (48 fixed bytes, 6 per index) must fit one 256-byte block: 0 to 34
// indexes. Raises Exception otherwise.
void CheckHeaderSize(int IndexCount);

std::string CurrentUserName();
std::string CurrentComputerName();
std::string OSDescription();
std::string LastErrorText();

// The path with a trailing path delimiter; an empty path (the current directory) stays
// empty, so that a relative name never turns into one in the root directory.
std::string IncludeTrailingBackslash(const std::string& Path);
// Milliseconds, wrapping at 2^32.
uint32_t ElapsedTicks();

// LIKE: "%" any run of characters, "_" one character, everything else itself (case
// matters), no escape. Only the first 255 characters of each string, up to any NUL, count.
bool LikeMatch(const std::string& Text, const std::string& Pattern);

// "A;B;C" into items, blanks kept; an empty list gives no items.
void SplitFieldList(const std::string& List, TStringList& Target);

// S as a zero-terminated UTF-16 string in a buffer of Count units, cut to Count - 1
// characters; nothing is written when Count <= 0.
void StringToWideBuffer(const std::string& S, char16_t* Buffer, int Count);
