#pragma once

#include <string>
#include <string_view>

// The text of a KML element as an attribute value: CDATA sections unwrapped, the entities of
// the text around them decoded (&amp; &lt; &gt; &quot; &apos; &#N; &#xH;, a character that
// the code page lacks becoming "?"), blanks at both ends dropped, and each line break or tab
// inside turned into one space. `text` is ANSI (GBK).
// "  a &amp; b\r\n<![CDATA[<c>]]> " gives "a & b <c>".
std::string CleanValue(std::string_view text);

// The text of a KML element, CDATA sections unwrapped and the entities around them decoded,
// its blanks and line breaks as they are.
std::string UnwrapText(std::string_view text);

// Entities decoded, nothing else: for attribute values such as names and ids.
std::string DecodeEntities(std::string_view text);

// The text of an HTML description, as a reader sees it: the tags removed, <br>, </p>, </tr>
// and </li> as one blank, </td> and </th> as "; ", the contents of <script> and <style>
// dropped, then the entities decoded (&nbsp; as a blank) and the blanks collapsed.
// "<b>Name</b> = 北京<br><table><tr><td>a</td><td>1</td></tr></table>" gives
// "Name = 北京 a; 1;".
std::string PlainText(std::string_view html);

// The name of the HTML tag that begins at html[at] == '<', lower case, with a leading "/" for
// a closing tag: "</TD >" gives "/td".
std::string HtmlTagName(std::string_view html, size_t at);
