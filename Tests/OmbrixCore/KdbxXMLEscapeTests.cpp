#include <gtest/gtest.h>

#include <string>

#include "OmbrixCore/Kdbx/KdbxXMLEscape.h"

TEST(KdbxXMLEscape, Table) {
    const struct {
        std::string input;
        std::string sanitised;
        std::string text;
        std::string attribute;
        const char* note;
    } cases[] = {
        {"a<b&c>d", "a<b&c>d", "a&lt;b&amp;c&gt;d", "a&lt;b&amp;c&gt;d", "markup characters"},
        {"\"tırnak\" 'tek'", "\"tırnak\" 'tek'", "\"tırnak\" 'tek'", "&quot;tırnak&quot; 'tek'", "quotes"},
        {"a\x01"
         "b\x0B"
         "c\x0C"
         "d\xEF\xBF\xBE"
         "e\xEF\xBF\xBF"
         "f",
         "abcdef", "abcdef", "abcdef", "U+0001, U+000B, U+000C, U+FFFE and U+FFFF are dropped"},
        {"\x01\x02", "", "", "", "only dropped scalars"},
        {"1\t2\n3\r4", "1\t2\n3\r4", "1\t2\n3&#xD;4", "1&#x9;2&#xA;3&#xD;4",
         "tab, line feed, carriage return"},
        {"&\xCC\x81 <\xCC\xB8", "&\xCC\x81 <\xCC\xB8", "&amp;\xCC\x81 &lt;\xCC\xB8",
         "&amp;\xCC\x81 &lt;\xCC\xB8", "combining marks stay behind the entity"},
        {"&amp;", "&amp;", "&amp;amp;", "&amp;amp;", "an entity is escaped again"},
        {"\x7F\xC2\x85\xEF\xB7\x90\xF0\x9F\x94\x90", "\x7F\xC2\x85\xEF\xB7\x90\xF0\x9F\x94\x90",
         "\x7F\xC2\x85\xEF\xB7\x90\xF0\x9F\x94\x90", "\x7F\xC2\x85\xEF\xB7\x90\xF0\x9F\x94\x90",
         "DEL, C1 controls, other non-characters and emoji stay"},
        {"a\xFF"
         "b",
         "a\xEF\xBF\xBD"
         "b",
         "a\xEF\xBF\xBD"
         "b",
         "a\xEF\xBF\xBD"
         "b",
         "ill-formed UTF-8 becomes U+FFFD"},
        {"", "", "", "", "empty"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KdbxXMLEscape::sanitise(c.input), c.sanitised) << c.note;
        EXPECT_EQ(KdbxXMLEscape::text(c.input), c.text) << c.note;
        EXPECT_EQ(KdbxXMLEscape::attribute(c.input), c.attribute) << c.note;
    }
}
