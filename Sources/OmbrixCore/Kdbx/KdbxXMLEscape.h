#pragma once

#include <string>
#include <string_view>

// Every text the engine writes into XML passes through here. Texts are UTF-8; an ill-formed
// sequence is written as U+FFFD so that the document stays well-formed.
namespace KdbxXMLEscape {

// The text without the scalars that XML 1.0 does not allow at all (C0 controls other than tab,
// line feed and carriage return; U+FFFE; U+FFFF).
std::string sanitise(std::string_view text);

// Sanitised, with "&", "<" and ">" as entity references and a carriage return as "&#xD;" (a
// literal one would come back as a line feed: XML end-of-line handling). Safe as element content.
std::string text(std::string_view text);

// text(), then every double quote as "&quot;", every line feed as "&#xA;" and every tab as "&#x9;"
// (attribute-value normalisation would turn a literal one into a blank). Safe between double quotes.
std::string attribute(std::string_view text);

// The same three, appended to `out` (the writer builds one long text).
void appendSanitised(std::string& out, std::string_view text);
void appendText(std::string& out, std::string_view text);
void appendAttribute(std::string& out, std::string_view text);

}  // namespace KdbxXMLEscape
