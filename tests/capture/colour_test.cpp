// Colour values applied by the scanner, in process against a temporary root.
// Every case starts from a complete file, since the colour record lives as
// long as the process; missing and short files are covered black-box.
#include <gtest/gtest.h>

#include "settings/settings.h"
#include "support/in_process.h"

namespace {

struct ColourCase {
    const char* name;
    std::optional<std::string> before;
    std::string line;
    std::string output;
    std::optional<std::string> after;
};

TEST(Colour, ScannedColourKeysRewriteTheColourFile) {
    const std::string readSix = "read color.ini=128 0 0 0 0 200\r\nread color config file ok\r\n";
    const ColourCase cases[] = {
        {"bg is traced", "128 0 0 0 0 200", "bg=50\n",
         "enter bg set+++++++,j=2,i=0\nbgs=50\n" + readSix + "bg=0\nbg=50\n",
         "128 50 0 0 0 200"},
        {"negative value", "128 0 0 0 0 200", "lb=-12\n", readSix, "128 0 0 -12 0 200"},
        {"text without digits stores 0", "1 2 3 4 5 6", "br=abc\n",
         "read color.ini=1 2 3 4 5 6\r\nread color config file ok\r\n", "1 2 0 4 5 6"},
        {"five characters are ignored", "128 0 0 0 0 200", "lg=12345\n", "", "128 0 0 0 0 200"},
        {"four-character values round-trip", "-100 -100 -100 -100 -100 -100", "lr=-100\n",
         "read color.ini=-100 -100 -100 -100 -100 -100\r\nread color config file ok\r\n",
         "-100 -100 -100 -100 -100 -100"},
    };
    for (const ColourCase& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox::InProcessRoot root;
        if (c.before) root.write("/mnt/color.ini", *c.before);
        root.captureOutput();
        settings::parseSettingsText(c.line, c.line.size());
        EXPECT_EQ(root.takeOutput(), c.output);
        EXPECT_EQ(root.read("/mnt/color.ini"), c.after);
    }
}

}  // namespace
