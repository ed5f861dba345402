#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mif/pattern.h"

// "<[^<]*>": a "<", the longest run without "<", a ">".
extern const std::string_view kTagPattern;

// Every tag of `text` that does not begin with "</", in document order, duplicates kept:
// "<a><b/></b></a>" gives "<a>" and "<b/>". `tag_pattern` must hold kTagPattern.
std::vector<std::string> BuildTagIndex(const Pattern& tag_pattern, std::string_view text);

// The result box text for a selected item: for every element of `text` that begins with
// exactly `item`, CR LF, its content, CR LF. When nothing is found and the item holds a blank
// ("<Placemark id=\"a\">") and is not self-closing, the elements that begin with its bare
// name, followed by a blank, ">" or "/", are shown instead: their whole text, then CR LF, per
// element (<Style id="a"> shows <Style> elements, never <StyleMap>). The item text is a
// pattern; `compiled`, when given, tells whether it compiled.
std::string ExtractElements(std::string_view item, std::string_view text, bool* compiled = nullptr);
