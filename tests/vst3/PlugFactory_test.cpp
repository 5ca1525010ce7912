// The bundle "sondrix MD.vst3" as a host finds it: its three exports and
// nothing else, the factory record, the three classes with their fixed
// identifiers, one factory for every GetPluginFactory call, and the
// compatibility text that names the older plug-in identifier.
#include <cstdio>
#include <set>

#include "support/PlugTestSupport.h"
#include "vst3/PlugFactory.h"

using namespace plugtest;

namespace {

using PlugFactory = PlugTest;

TEST_F(PlugFactory, ExportsOnlyTheThreeBundleEntries) {
    const std::string command =
        "nm -D --defined-only '" + Vst3Module::sharedObjectPath(kPlugBundle) + "' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> exported;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        char type = 0;
        char name[256] = {};
        if (std::sscanf(line, "%*s %c %255s", &type, name) == 2) exported.insert(name);
    }
    ASSERT_EQ(::pclose(pipe), 0) << "nm is needed to list the exports";
    EXPECT_EQ(exported, (std::set<std::string>{"GetPluginFactory", "ModuleEntry", "ModuleExit"}));
}

TEST_F(PlugFactory, ListsTheVendorAndTheThreeClasses) {
    EXPECT_STREQ(module->factoryInfo().vendor, "Vantor");
    EXPECT_EQ(module->factoryInfo().flags, PFactoryInfo::kUnicode);
    ASSERT_EQ(module->classes().size(), 3u);
    const struct {
        FUID cid;
        const char* category;
        const char* name;
        uint32 flags;
        const char* subCategories;
    } expected[] = {
        {vantor::kPlugProcessorUID, kVstAudioEffectClass, "sondrix MD", 0, "Instrument|Synth"},
        {vantor::kPlugControllerUID, kVstComponentControllerClass, "sondrix MDController", 0, ""},
        {vantor::kPluginCompatibilityUID, kPluginCompatibilityClass, "sondrix MD", 1, ""},
    };
    for (size_t i = 0; i < 3; ++i) {
        const ClassEntry& c = module->classes()[i];
        EXPECT_EQ(c.cid, expected[i].cid) << i;
        EXPECT_EQ(c.category, expected[i].category);
        EXPECT_EQ(c.name, expected[i].name);
        EXPECT_EQ(c.classFlags, expected[i].flags);
        EXPECT_EQ(c.subCategories, expected[i].subCategories);
        EXPECT_EQ(c.cardinality, PClassInfo::kManyInstances);
        EXPECT_EQ(c.vendor, "Vantor");
        EXPECT_EQ(c.version, "2.1.2.3");
        EXPECT_EQ(c.sdkVersion, "VST 3.7.9");
    }
    // The processor names the controller class.
    auto component = createObject<IComponent>(vantor::kPlugProcessorUID);
    ASSERT_TRUE(component);
    TUID controller;
    ASSERT_EQ(component->getControllerClassId(controller), kResultOk);
    EXPECT_TRUE(vantor::kPlugControllerUID.matches(controller));
}

TEST_F(PlugFactory, EveryCallReturnsTheOneFactory) {
    auto getFactory = reinterpret_cast<GetFactoryProc>(module->findSymbol("GetPluginFactory"));
    ASSERT_NE(getFactory, nullptr);
    IPluginFactory* first = getFactory();
    IPluginFactory* second = getFactory();
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, module->factory());
    second->release();
    first->release();
}

TEST_F(PlugFactory, CompatibilityTextNamesTheOlderIdentifierTwice) {
    auto compatibility = createObject<IPluginCompatibility>(vantor::kPluginCompatibilityUID);
    ASSERT_TRUE(compatibility);
    MemoryStream stream;
    stream.refAdd();
    ASSERT_EQ(compatibility->getCompatibilityJSON(&stream), kResultOk);
    const std::string text(stream.bytes().begin(), stream.bytes().end());
    // "VST" 0x565354, the code 'SxMD', then "sondrix M" byte by byte.
    const std::string older = "565354"
                              "53784D44"
                              "736F6E64726978204D";
    char processor[33];
    vantor::kPlugProcessorUID.toString(processor);
    EXPECT_EQ(text, std::string("[\n"
                                "    {\n"
                                "        \"New\": \"") +
                        processor +
                        "\",\n"
                        "        \"Old\" : [\n"
                        "          \"" +
                        older +
                        "\",\n"
                        "          \"" +
                        older +
                        "\"\n"
                        "        ],\n"
                        "    },\n"
                        "]\n");
    EXPECT_EQ(text.find('\0'), std::string::npos);
    EXPECT_EQ(compatibility->getCompatibilityJSON(nullptr), kInvalidArgument);
}

} // namespace
