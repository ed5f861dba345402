#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "document/text_io.h"
#include "mif/byte_scan.h"
#include "mif/pattern.h"

// "<[^<]*>": a "<", the longest run without "<", a ">".
extern const std::string_view kTagPattern;

// Every tag of `text` that does not begin with "</", in document order, duplicates kept:
// "<a><b/></b></a>" gives "<a>" and "<b/>". `tag_pattern` must hold kTagPattern.
std::vector<std::string> BuildTagIndex(const Pattern& tag_pattern, std::string_view text);

// Calls visit(item) for the items that BuildTagIndex finds in the document text of a file,
// in order, without holding them, given the file's own bytes as SourceOf gives them
// (mif/file_export.h). The tags are found in those bytes: an item is converted only when it
// holds a byte above 0x7F, as its "<" and ">" never belong to a multi-byte character.
template <typename Visit>
void ForEachTagItemOfFile(std::string_view text, Encoding encoding, Visit&& visit) {
  ForEachAngleTag(text, [&](size_t begin, size_t end) {
    if (text[begin + 1] == '/') return;
    std::string_view item = text.substr(begin, end - begin);
    if (HasHighByte(item)) {
      visit(std::string_view(DecodePart(item, encoding)));
    } else {
      visit(item);
    }
  });
}

// The items of ForEachTagItemOfFile, each followed by "\n", given to `sink` in pieces, in
// order; found on up to `threads` threads. False when the sink returned false.
bool WriteTagLinesOfFile(std::string_view text, Encoding encoding, int threads,
                         const std::function<bool(std::string_view)>& sink);

// The result box text for a selected item: for every element of `text` that begins with
// exactly `item`, CR LF, its content, CR LF. When nothing is found and the item holds a blank
// ("<Placemark id=\"a\">") and is not self-closing, the elements that begin with its bare
// name, followed by a blank, ">" or "/", are shown instead: their whole text, then CR LF, per
// element (<Style id="a"> shows <Style> elements, never <StyleMap>). The item text is a
// pattern; `compiled`, when given, tells whether it compiled, and `cut_short` whether a search
// ended at the engine's limits with part of what it would have found.
std::string ExtractElements(std::string_view item, std::string_view text, bool* compiled = nullptr,
                            bool* cut_short = nullptr);
