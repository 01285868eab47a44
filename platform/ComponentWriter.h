// Writes a component tree (ComponentText.h) as text that ReadComponentText gives back
// unchanged: floats in their shortest exact decimal form, strings byte for byte.
#pragma once

#include <string>

#include "platform/ComponentText.h"

// Raises EWriteError for what the reader could not take back: a float that is not finite, a
// class or property name or identifier that is not an identifier, collections nested deeper
// than MaxComponentNesting.
std::string WriteComponentText(const TTextObject& object);

// The text of one string value (quoted runs and #n bytes); a long string is continued with
// " +" on new lines that start with continuationIndent.
std::string ComponentStringText(const std::string& value, const std::string& continuationIndent);
// The text of a finite float: shortest form that reads back to the same bits, always with ".".
std::string ComponentFloatText(double value);
