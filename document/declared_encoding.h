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
// (and has no UTF-8 byte-order mark) is GBK whatever is chosen. With `read_as_gbk`, a file
// that would be read as UTF-8 but is no valid UTF-8 and valid GBK (as an undeclared GBK file
// is) is read as GBK, and *read_as_gbk tells so.
Encoding ReadingEncoding(std::string_view bytes, Encoding chosen, bool* read_as_gbk = nullptr);

// Whether `bytes` (up to their first zero byte) are no valid UTF-8 but valid GBK, as an
// undeclared GBK file is; a UTF-16 file is neither.
bool IsGbkButNoUtf8(std::string_view bytes);

// How a document was read, so that it is saved as it came.
struct DocumentForm {
  Encoding encoding = Encoding::kAnsi;  // GBK (kAnsi) or UTF-8
  bool utf8_mark = false;               // its bytes began with a UTF-8 byte-order mark
  bool utf16 = false;                   // they were UTF-16, with its byte-order mark
  bool big_endian = false;              // of UTF-16
};

// The form of a file's `bytes` read with `encoding` (ReadingEncoding's).
DocumentForm FormOf(std::string_view bytes, Encoding encoding);

// The bytes that the document's text `utf8` (all its characters, those GBK lacks among them)
// is saved as, never contradicting its declaration: a declaration of GBK gives GBK bytes;
// of UTF-8, UTF-8; of UTF-16, UTF-16 when the document was read so; any other encoding that
// it names gets UTF-8, the name in the declaration becoming "UTF-8". Without a declaration,
// the document keeps the encoding it was read with. A document opened and saved unchanged is
// byte for byte the file that was opened (its UTF-8 byte-order mark too).
std::string BytesToSave(std::string_view utf8, const DocumentForm& form);
