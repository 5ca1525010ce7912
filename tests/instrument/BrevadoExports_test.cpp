// "Brevado" as a host finds it: the built shared object, loaded with dlopen,
// exporting exactly four C functions, describing its one plug-in and creating
// objects only for identifiers that name it.
#include "instrument/EnginePluginRecords.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

using namespace vantor::EnginePluginSDK;

namespace {

std::string brevadoPath() {
    return SX_PRODUCT_DIR "/Brevado.so";
}

class BrevadoExports : public ::testing::Test {
protected:
    void SetUp() override {
        if (!handle) handle = ::dlopen(brevadoPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << ::dlerror();
        getNum = reinterpret_cast<GetNumZefaPluginsFn>(::dlsym(handle, "getNumZefaPlugins"));
        fill = reinterpret_cast<FillZefaPluginInfoFn>(::dlsym(handle, "fillZefaPluginInfo"));
        create = reinterpret_cast<NewInstanceFn>(::dlsym(handle, "newInstance"));
        destroy = reinterpret_cast<DeleteInstanceFn>(::dlsym(handle, "deleteInstance"));
        ASSERT_TRUE(getNum && fill && create && destroy);
    }
    static void TearDownTestSuite() {
        if (handle) ::dlclose(handle);
        handle = nullptr;
    }

    static inline void* handle = nullptr;
    static inline GetNumZefaPluginsFn getNum = nullptr;
    static inline FillZefaPluginInfoFn fill = nullptr;
    static inline NewInstanceFn create = nullptr;
    static inline DeleteInstanceFn destroy = nullptr;
};

TEST_F(BrevadoExports, ExportsExactlyTheFourFunctions) {
    const std::string command = "nm -D --defined-only '" + brevadoPath() + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        char address[64], type[8], name[400];
        ASSERT_EQ(std::sscanf(line, "%63s %7s %399s", address, type, name), 3) << line;
        EXPECT_STREQ(type, "T") << name;
        names.insert(name);
    }
    EXPECT_EQ(::pclose(pipe), 0);
    EXPECT_EQ(names, (std::set<std::string>{"deleteInstance", "fillZefaPluginInfo",
                                            "getNumZefaPlugins", "newInstance"}));
}

TEST_F(BrevadoExports, DescribesOnePlugin) {
    EXPECT_EQ(getNum(), 1);

    PluginInfo info;
    std::memset(&info, 0xEE, sizeof info);
    ASSERT_EQ(fill(0, &info), 0);
    EXPECT_STREQ(info.identifier, "com.Vantor.Emulator.MD");
    EXPECT_STREQ(info.name, "MD");
    EXPECT_STREQ(info.category, "Emulator\tMD");
    EXPECT_EQ(info.word100, 0u);
    EXPECT_EQ(info.word104, 4u);
    EXPECT_EQ(info.word1C0, 1u);
    EXPECT_EQ(info.interfaceVersion, 2123u);
    EXPECT_EQ(info.extensionIdsA[0], 35607u);
    EXPECT_EQ(info.extensionIdsB[3], 47731u);
    EXPECT_EQ(info.extensionIdCount, 8u);
    EXPECT_EQ(info.word1FC, 1u);
    EXPECT_EQ(info.sysexExtensionId, 20824u);
    EXPECT_EQ(info.sysexExtensionCount, 1u);
    EXPECT_EQ(info.list600[3], 15u);
    EXPECT_EQ(info.list610[0], 4u);
    EXPECT_EQ(info.word620, 1u);
    // Bytes the table does not list stay as the host gave them.
    for (size_t at : {0x108u, 0x1C4u, 0x1D0u, 0x504u, 0x584u, 0x624u})
        EXPECT_EQ(reinterpret_cast<unsigned char*>(&info)[at], 0xEE) << at;
    EXPECT_EQ(static_cast<unsigned char>(info.identifier[0xFF]), 0xEE);

    PluginInfo untouched;
    std::memset(&untouched, 0xAB, sizeof untouched);
    PluginInfo copy = untouched;
    EXPECT_EQ(fill(1, &untouched), 1);
    EXPECT_EQ(fill(0xFFFFFFFF, &untouched), 1);
    EXPECT_EQ(std::memcmp(&untouched, &copy, sizeof copy), 0);
    EXPECT_EQ(fill(0, nullptr), 1);
}

TEST_F(BrevadoExports, NewInstanceOnlyForTheNamedPlugin) {
    const struct {
        const char* identifier;
        bool builds;
    } cases[] = {
        {nullptr, false},
        {"", false},
        {"com.Vantor.Emulator", false},  // shorter than the prefix
        {"com.Vantor.Emulator.", false}, // no name
        {"com.Vantor.Emulator.DUMMY", false},
        {"com.Vantor.Emulator.MDX", false},
        {"com.Vantor.Emulator.md", false},
        {"com.vantor.emulator.MD", false},
        {"com.Vantor.Emulator.MD", true},
    };
    for (const auto& c : cases) {
        PluginRecord* record = create(c.identifier, nullptr);
        EXPECT_EQ(record != nullptr, c.builds) << (c.identifier ? c.identifier : "(null)");
        if (!record) continue;
        EXPECT_EQ(record->version, 2123u);
        EXPECT_NE(record->object, nullptr);
        EXPECT_NE(record->dispatcher, nullptr);
        EXPECT_NE(record->process, nullptr);
        destroy(record);
    }
}

TEST_F(BrevadoExports, DeleteInstanceIgnoresNullRecordsAndObjects) {
    destroy(nullptr);
    PluginRecord empty = {};
    destroy(&empty);

    HostRecord host = {nullptr};
    PluginRecord* record = create("com.Vantor.Emulator.MD", &host);
    ASSERT_NE(record, nullptr);
    uint32_t outputs = 0;
    record->dispatcher(record, PLUGIN_OP_GET_NUM_OUTPUTS, nullptr, &outputs);
    EXPECT_EQ(outputs, 2u);
    destroy(record);
}

} // namespace
