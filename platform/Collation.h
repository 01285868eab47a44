// The engine's two collations of Windows-1250 text. soANSI compares through ICU with a
// pinned Polish collation, so index order never depends on the machine's locale; letter
// case is ignored by collator strength. soASCII compares bytes (case folded for ASCII
// letters only, folded to upper case as the class library's CompareText does, so "_" sorts
// after the letters). Both compare the whole of both texts and return <0, 0 or >0; a
// negative length means a NUL-terminated text.
#pragma once

namespace platform {

int CollateAnsi(const char* s1, int len1, const char* s2, int len2, bool caseInsensitive);
int CollateAscii(const char* s1, int len1, const char* s2, int len2, bool caseInsensitive);

}  // namespace platform
