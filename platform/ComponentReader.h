// Reads the text form of a component (ComponentText.h) into a tree. The text is untrusted:
// anything but a complete, well-formed text raises EReadError naming the line, and the
// reader always ends: it moves forward on every step, never nests deeper than
// MaxComponentNesting, and refuses numbers that do not fit.
#pragma once

#include <string_view>

#include "platform/ComponentText.h"

// Accepts what WriteComponentText writes, with LF or CR LF line ends, any blanks between
// tokens, and keywords ("object", "item", "end") in any letter case.
TTextObject ReadComponentText(std::string_view text);
