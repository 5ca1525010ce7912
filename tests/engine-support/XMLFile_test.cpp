#include "engine-support/VirtualRAMFile.h"
#include "engine-support/XMLFile.h"
#include "engine-support/support/TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using vantor::XMLAttributeList;
using vantor::XMLFile;

namespace {

// Writes every report as one line, e.g. "start:a", "attrs:a=1;b=2".
class Recorder : public vantor::XMLVisitor {
public:
    std::vector<std::string> events;

    bool visitInstruction(const char* t) override { return add("instr:", t); }
    bool visitStartElement(const char* n) override { return add("start:", n); }
    bool visitEndElement(const char* n) override { return add("end:", n); }
    bool visitEmptyElement(const char* n) override { return add("empty:", n); }
    bool visitText(const char* t) override { return add("text:", t); }
    bool visitAttributes(const XMLAttributeList& list) override {
        std::string line = "attrs:";
        for (size_t i = 0; i < list.size(); ++i)
            line += (i ? ";" : "") + list[i].name + "=" + list[i].value;
        events.push_back(line);
        return false; // the reader must go on regardless
    }
    bool visitError(const char* message, uint64_t position) override {
        events.push_back(std::string("error:") + message + "@" + std::to_string(position));
        return false;
    }

private:
    bool add(const char* kind, const char* text) {
        events.push_back(std::string(kind) + text);
        return false;
    }
};

std::vector<std::string> parse(const std::string& document, uint64_t bufferSize = 64) {
    vantor::VirtualRAMFile source(reinterpret_cast<const uint8_t*>(document.data()),
                                  document.size());
    XMLFile reader;
    Recorder recorder;
    EXPECT_TRUE(reader.open(&source));
    EXPECT_TRUE(reader.parse(&recorder, bufferSize));
    return recorder.events;
}

using Events = std::vector<std::string>;

struct Case {
    const char* title;
    std::string document;
    Events expected;
};

class XMLReaderCases : public ::testing::TestWithParam<Case> {};

TEST_P(XMLReaderCases, ReportsInDocumentOrder) {
    EXPECT_EQ(parse(GetParam().document), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, XMLReaderCases,
    ::testing::Values(
        Case{"declaration", "<?xml version=\"1.0\"?>\n", {"instr:xml version=\"1.0\""}},
        Case{"plainTag", "<a>", {"start:a"}},
        Case{"attributes", "<name a=\"1\" b=\"2\">", {"start:name", "attrs:a=1;b=2"}},
        Case{"emptyWithAttributes", "<name a=\"1\"/>", {"empty:name", "attrs:a=1"}},
        Case{"selfClosing", "<name/>", {"end:name"}},
        Case{"textLines",
             "<a>\n  hello\nworld</a>",
             {"start:a", "text:hello", "text:world", "end:a"}},
        Case{"textBeforeTag", "hello<b>", {"text:hello", "start:b"}},
        Case{"comment", "<!-- a - b -->", {}},
        Case{"commentEndsAtLastThree", "<!-- x ---><b>", {"start:b"}},
        Case{"namesJoinBeforeEqual", "<a b c=\"1\">", {"start:a", "attrs:bc=1"}},
        Case{"nameWithoutValueDropped", "<a b=\"1\" c>", {"start:a", "attrs:b=1"}},
        Case{"valueKeepsMarkup", "<a v=\"x=y>z\n\">", {"start:a", "attrs:v=x=y>z\n"}},
        Case{"valueDropsCarriageReturn", "<a v=\"1\r\n2\">", {"start:a", "attrs:v=1\n2"}},
        Case{"noUnescaping", "<a>x &amp; y</a>", {"start:a", "text:x &amp; y", "end:a"}},
        Case{"missingEqualSign",
             "<a b\"1\">",
             {"error:Missing equal sign@5", "error:Missing equal sign@7", "start:a"}},
        Case{"instructionNotClosed", "<?x <y?>", {"error:Instruction not closed@4", "instr:x y"}},
        Case{"tagNotClosed", "<a b=\"1\" <>", {"error:Tag not closed@9", "start:a", "attrs:b=1"}},
        // A blank before ">" or "/>" closes the tag it belongs to; the rest of
        // the document is read as usual.
        Case{"blankBeforeClose", "<a >text\n</a>", {"start:a", "text:text", "end:a"}},
        Case{"blankBeforeSelfClose", "<a />\n<b>", {"end:a", "start:b"}},
        Case{"tabsBeforeSelfClose", "<a\t\t/><b x=\"1\"/>", {"end:a", "empty:b", "attrs:x=1"}},
        Case{"valuelessBeforeClose", "<a b>\n<c/>", {"start:a", "end:c"}}),
    [](const auto& info) { return std::string(info.param.title); });

TEST(XMLFile, TokensLongerThanTheBufferStayWhole) {
    const std::string longText(300, 'x');
    const std::string longValue(200, 'v');
    const std::string document =
        "<element" + longValue + " key=\"" + longValue + "\">" + longText + "\n";
    Events events = parse(document, 4);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0], "start:element" + longValue);
    EXPECT_EQ(events[1], "attrs:key=" + longValue);
    EXPECT_EQ(events[2], "text:" + longText);
}

TEST(XMLFile, OpenRefusesMissingAndClosedSources) {
    testsupport::TempFolder folder;
    XMLFile reader;
    EXPECT_FALSE(reader.open(folder.file("missing.xml")));
    EXPECT_FALSE(reader.open(static_cast<vantor::VirtualFile*>(nullptr)));
    vantor::VirtualRAMFile empty(nullptr, 0);
    EXPECT_FALSE(reader.open(&empty));
    EXPECT_FALSE(reader.parse(nullptr, 64));
}

TEST(XMLFile, ParsesAFileItOpened) {
    testsupport::TempFolder folder;
    XMLFile reader;
    ASSERT_TRUE(
        reader.open(folder.write("doc.xml", std::string("<root>\n<item n=\"1\"/>\n</root>\n"))));
    Recorder recorder;
    EXPECT_TRUE(reader.parse(&recorder, 64));
    EXPECT_EQ(recorder.events, (Events{"start:root", "empty:item", "attrs:n=1", "end:root"}));
}

TEST(XMLFile, AddAttributeSplitsAtTheFirstEqualSign) {
    XMLFile reader;
    EXPECT_FALSE(reader.addAttribute(""));
    EXPECT_FALSE(reader.addAttribute("novalue"));
    EXPECT_TRUE(reader.addAttribute("a=b=c"));
}

} // namespace
