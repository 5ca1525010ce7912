// Every reader of this library that takes a path opens regular files only and
// never blocks on the open: a FIFO nobody writes to and an endless device are
// refused at once. Each call runs in a child under an alarm, so a reader that
// does block fails the test instead of hanging it.
#include "engine-support/FileMapping.h"
#include "engine-support/IFFTree.h"
#include "engine-support/VNTFile.h"
#include "engine-support/XMLFile.h"
#include "engine-support/support/TempFolder.h"
#include "support/BoundedCall.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using testsupport::Outcome;

bool treeParses(const std::string& path, uint32_t mode) {
    vantor::IFFTree tree(path);
    return tree.parse(mode);
}

TEST(PathReaders, OpenRegularFilesOnlyAndNeverBlock) {
    testsupport::TempFolder folder;
    const std::string riff = folder.write("chunks.riff", std::string("RIFF\4\0\0\0WAVE", 12));
    const std::string fifo = folder.file("fifo");
    ASSERT_TRUE(testsupport::makeFifo(fifo));

    const struct {
        const char* reader;
        std::function<bool(const std::string&)> opens;
    } readers[] = {
        {"IFFTree copied", [](const std::string& p) { return treeParses(p, 1); }},
        {"IFFTree mapped", [](const std::string& p) { return treeParses(p, 2); }},
        {"IFFTree stdio", [](const std::string& p) { return treeParses(p, 3); }},
        {"mapFile",
         [](const std::string& p) {
             uint64_t length = 0;
             const uint8_t* address = vantor::mapFile(p, length);
             vantor::unmapFile(address);
             return address != nullptr;
         }},
        {"VNTFile", [](const std::string& p) { return vantor::VNTFile(p).isOpen(); }},
        {"XMLFile", [](const std::string& p) { return vantor::XMLFile().open(p); }},
    };
    for (const auto& r : readers) {
        SCOPED_TRACE(r.reader);
        testing::internal::CaptureStdout(); // the tree's parse messages
        EXPECT_EQ(testsupport::runBounded([&] { return r.opens(riff); }), Outcome::kTrue);
        for (const std::string& path : {fifo, std::string("/dev/zero")}) {
            const Outcome o = testsupport::runBounded([&] { return r.opens(path); });
            EXPECT_EQ(o, Outcome::kFalse) << path << ": " << testsupport::outcomeName(o);
        }
        testing::internal::GetCapturedStdout();
    }
}

} // namespace
