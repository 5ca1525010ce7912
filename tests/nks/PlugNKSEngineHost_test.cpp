// The built plug-in's own NKS metadata: the test host loads the bundle, whose
// processor starts the real engine host with "Brevado" behind it (found
// through the preferences the install step's command writes), and asks the
// controller for its metadata as an NKS host does. The message is decoded
// with msgpack-c back into the metadata model, which must pass every rule and
// carry the page table; whatever the engine describes of its parameters is
// part of what is checked.

#include "nks/PageTable.h"
#include "nks/Validate.h"
#include "nks/support/ConsoleParameters.h"
#include "nks/support/MsgpackReader.h"
#include "support/PlugTestSupport.h"
#include "vst3base/NKSInterfaces.h"

using namespace plugtest;
using namespace nks::metadata;
using testsupport::asString;
using testsupport::findKey;

namespace {

// ---- From the decoded message back to the model ---------------------------------------

uint32_t number(const msgpack_object* o) {
    return o && o->type == MSGPACK_OBJECT_POSITIVE_INTEGER ? uint32_t(o->via.u64) : 0xDEADu;
}

std::vector<parameter_navigation::Section> sectionsOf(const msgpack_object* list) {
    std::vector<parameter_navigation::Section> sections;
    if (!list || list->type != MSGPACK_OBJECT_ARRAY) return sections;
    for (uint32_t i = 0; i < list->via.array.size; ++i) {
        const msgpack_object& s = list->via.array.ptr[i];
        parameter_navigation::Section section{asString(findKey(s, "name")), {}};
        const msgpack_object* parameters = findKey(s, "parameters");
        for (uint32_t p = 0; parameters && p < parameters->via.array.size; ++p) {
            const msgpack_object& entry = parameters->via.array.ptr[p];
            section.parameters.push_back(
                {number(findKey(entry, "id")), asString(findKey(entry, "name"))});
        }
        sections.push_back(std::move(section));
    }
    return sections;
}

// The model the message describes; `ok` false when a field is missing.
Metadata decodeMetadata(const msgpack_object& root, bool& ok) {
    Metadata m;
    ok = number(findKey(root, "version")) == 1;
    const msgpack_object* info = findKey(root, "parameter_descriptive_info");
    ok = ok && info && info->type == MSGPACK_OBJECT_MAP;
    for (uint32_t i = 0; ok && i < info->via.map.size; ++i) {
        const msgpack_object_kv& kv = info->via.map.ptr[i];
        std::vector<std::string> values;
        const msgpack_object* list = findKey(kv.val, "display_values");
        ok = ok && list && list->type == MSGPACK_OBJECT_ARRAY;
        for (uint32_t v = 0; ok && v < list->via.array.size; ++v)
            values.push_back(asString(list->via.array.ptr[v]));
        parameter_descriptive_info::Attributes a(
            parameter_descriptive_info::Type(number(findKey(kv.val, "type"))),
            parameter_descriptive_info::Style(number(findKey(kv.val, "style"))), std::move(values));
        a.value_count = number(findKey(kv.val, "value_count"));
        m.parameter_descriptive_info.emplace(number(&kv.key), std::move(a));
    }
    const msgpack_object* navigation = findKey(root, "parameter_navigation");
    ok = ok && navigation;
    if (!ok) return m;
    m.parameter_navigation.performance_mode = sectionsOf(findKey(*navigation, "performance_mode"));
    const msgpack_object* groups = findKey(*navigation, "groups");
    for (uint32_t g = 0; groups && g < groups->via.array.size; ++g) {
        const msgpack_object& group = groups->via.array.ptr[g];
        m.parameter_navigation.groups.push_back(
            {asString(findKey(group, "name")), sectionsOf(findKey(group, "sections"))});
    }
    return m;
}

// Asks the built plug-in for its metadata as an NKS host does and decodes it.
void fetchMetadata(Metadata& decoded) {
    ASSERT_TRUE(registerBuildProduct());
    auto* runLoop = new HostRunLoop;
    auto* host = new HostApplication("sondrix test host", runLoop);
    auto* handler = new HostComponentHandler;
    std::string error;
    auto module = Vst3Module::load(kPlugBundle, static_cast<IHostApplication*>(host), error);
    ASSERT_TRUE(module) << error;
    auto instance = PluginInstance::create(*module, module->findClass(kVstAudioEffectClass)->cid,
                                           host, handler, error);
    ASSERT_TRUE(instance) << error;
    void* obj = nullptr;
    ASSERT_EQ(instance->controller()->queryInterface(nks::INKSMetadataPlugin::iid.data(), &obj),
              kResultOk);
    MemoryStream stream;
    stream.refAdd();
    {
        auto plugin =
            IPtr<nks::INKSMetadataPlugin>::adopt(static_cast<nks::INKSMetadataPlugin*>(obj));
        ASSERT_EQ(plugin->getNksMetadata(&stream), kResultOk);
    }
    instance.reset();
    module.reset();
    handler->release();
    host->release();
    runLoop->release();

    const std::vector<uint8_t> bytes(stream.bytes().begin(), stream.bytes().end());
    testsupport::DecodedMessage message(bytes);
    ASSERT_TRUE(message.ok);
    bool complete = false;
    decoded = decodeMetadata(message.root(), complete);
    ASSERT_TRUE(complete);
}

TEST(PlugNKSEngineHost, TheBuiltPlugInsOwnMetadataValidates) {
    Metadata decoded;
    ASSERT_NO_FATAL_FAILURE(fetchMetadata(decoded));
    EXPECT_EQ(validate(decoded), Result());
    // The engine describes its parameters: every named one of the console
    // instrument (VST3 ids 0-190) is in the message; the layer fields and the
    // unused ids have no description to give.
    const std::vector<vantor::ParameterInfo> console = testsupport::consoleParameters(1114);
    for (uint32_t i = 0; i < console.size(); ++i) {
        const bool named = console[i].label && std::string(console[i].label) != "dummy";
        EXPECT_EQ(decoded.parameter_descriptive_info.count(i), named ? 1u : 0u) << "id " << i;
    }

    // The navigation is the page and performance tables.
    Metadata tables;
    nks::fillPerfWithNKFSInfo(tables.parameter_navigation.performance_mode);
    nks::fillGroupsWithNKSFInfo(tables.parameter_navigation.groups);
    EXPECT_EQ(decoded.parameter_navigation, tables.parameter_navigation);
}

} // namespace
