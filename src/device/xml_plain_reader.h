// The reader of the usual request: UTF-16 text read once, straight into a
// tree, without a UTF-8 copy of the whole text and without the full XML
// parser.
#pragma once

#include <string_view>

#include "device/xml_tree.h"

namespace korvane {

// aXml read into a tree when it is of the plain form: an optional byte
// order mark, white space and processing instructions (the declaration)
// before one root element, white space after it, and in between elements
// with names of ASCII letters, digits, "_", "-" and "." (not beginning with
// a digit, "-" or "."), attributes of such names with quoted values, text
// and values with the five predefined entities, and end tags that match.
// Such a text gives exactly the tree the full parser gives. Null for
// anything else (comments, CDATA, character references, other entities,
// "<" in a value, U+0000, a lone surrogate, any error): the full parser then
// reads it, and reports what it must.
XmlTreeHandle ReadPlainXml(std::u16string_view aXml);

}  // namespace korvane
