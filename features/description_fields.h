#pragma once

#include <string>
#include <string_view>
#include <vector>

// The fields that many KML files keep in a placemark's description instead of ExtendedData.
//   A table (desktop GIS exports): each row of exactly two cells gives a field, the first
//   cell's text its name and the second's its value; rows of one cell or of three or more give
//   none, nor does a row whose cell holds a table, whose own rows are read.
//   Lines (web maps, hand-written files): when every non-empty line, the lines parted by line
//   breaks, <br> and <p>, reads "name: value", "name = value" or "name：value", each gives a
//   field; a description with any other line gives none. A name is at most 64 bytes and four
//   words, holds no sentence punctuation (. , ; ! ? and their full-width forms) and is no
//   URL's scheme: "The gate we meet at: 10 am" and "http://example.com" are no fields.
// A text is read without its markup, its entities decoded (&nbsp; is a blank), its blanks
// collapsed and trimmed; a value "<Null>", as such exports write an empty field, is empty.
// Fields without a name are none. `description` is the element's text (GBK), CDATA and
// entities as the file writes them.
struct DescriptionField {
  std::string name, value;
};
std::vector<DescriptionField> DescriptionFields(std::string_view description);
