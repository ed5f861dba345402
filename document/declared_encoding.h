#pragma once

#include <string>
#include <string_view>

#include "document/text_io.h"

// What a document's XML declaration says of its encoding, so that a file is read in the
// encoding it declares and saved in bytes that agree with it.

enum class DeclaredEncoding {
  kNone,   // no declaration, or one without an encoding
  kUtf8,
  kUtf16,  // UTF-16, UTF-16LE, UTF-16BE
  kGbk,    // GBK, GB2312, GB18030 or CP936, in any letter case
  kOther,
};

// The encoding named by the declaration at the start of `text` (a file's bytes or the
// document text; blanks and a UTF-8 byte-order mark may come before it):
// "<?xml version=\"1.0\" encoding=\"gb2312\"?>" gives kGbk.
DeclaredEncoding DeclaredEncodingOf(std::string_view text);

// How the bytes of a file are read when `chosen` is asked for: a file that declares GBK
// (and has no UTF-8 byte-order mark) is GBK whatever is chosen.
Encoding ReadingEncoding(std::string_view bytes, Encoding chosen);

// The bytes that the document text `text` (ANSI) is saved as, never contradicting its
// declaration: a declaration of GBK keeps the ANSI bytes; any other encoding that it names
// gets UTF-8 without a byte-order mark, the name in the declaration becoming "UTF-8" where it
// named another; without one, the text keeps the encoding it was read with, `read_as`.
std::string BytesToSave(std::string_view text, Encoding read_as);
