// Preference values by key and by path, at every level.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/support/ScopedEnv.h"
#include "vantor/config.h"

namespace {

using namespace vantor;
using Keys = std::vector<std::string>;

const std::string kDomain = "com.vantor.test";

class ConfigTest : public ::testing::Test {
protected:
    std::string userFile() const { return env.configHome + "/Preferences/" + kDomain + ".plist"; }
    std::string machineFile() const {
        return env.configDirs + "/Preferences/" + kDomain + ".plist";
    }
    // Writes a store file with the given entries inside its root dictionary.
    void writeStore(const std::string& file, const std::string& entries) {
        mkdir(file.substr(0, file.rfind('/')).c_str(), 0755);
        ASSERT_TRUE(
            env.writeFile(file, "<plist version=\"1.0\"><dict>" + entries + "</dict></plist>"));
    }
    std::string read(const std::string& key, uint32_t level) {
        std::string v = "<none>";
        readConfigStringValue(kDomain, key, v, level);
        return v;
    }
    std::string readPath(const Keys& path, uint32_t level) {
        std::string v = "<none>";
        readConfigStringValue(kDomain, path, v, level);
        return v;
    }
    Keys list(const Keys& path, uint32_t level) {
        Keys k;
        listConfigKeys(kDomain, path, k, level);
        return k;
    }

    sxtest::ScopedEnv env;
};

// Whatever is written at a level is read, listed and deleted at that level.
// Single-key writes and deletes always address the current user; path writes
// and deletes land in the level's file (all users at CONFIG_LEVEL_SYSTEM).
class ConfigLevelTest : public ConfigTest, public ::testing::WithParamInterface<uint32_t> {
protected:
    std::string levelFile() const {
        return GetParam() == CONFIG_LEVEL_SYSTEM ? machineFile() : userFile();
    }
};

TEST_P(ConfigLevelTest, SingleKeyWriteReadListDelete) {
    const uint32_t level = GetParam();
    ASSERT_TRUE(writeConfigStringValue(kDomain, "base_dir", "/data/sondrix", level));
    EXPECT_NE(env.readFile(userFile()).find("/data/sondrix"), std::string::npos);
    EXPECT_EQ(env.readFile(machineFile()).find("/data/sondrix"), std::string::npos);
    EXPECT_EQ(read("base_dir", level), "/data/sondrix");
    EXPECT_EQ(readPath({"base_dir"}, level), "/data/sondrix");
    Keys all = list({}, level);
    EXPECT_NE(std::find(all.begin(), all.end(), "base_dir"), all.end());
    ASSERT_TRUE(writeConfigIntValue(kDomain, "count", 12, level));
    EXPECT_NE(env.readFile(userFile()).find("count"), std::string::npos);
    int n = 0;
    EXPECT_TRUE(readConfigIntValue(kDomain, "count", n, level));
    EXPECT_EQ(n, 12);
    EXPECT_TRUE(deleteConfigValue(kDomain, "base_dir", level));
    EXPECT_EQ(read("base_dir", level), "<none>");
    EXPECT_EQ(env.readFile(userFile()).find("/data/sondrix"), std::string::npos);
    ASSERT_TRUE(writeConfigStringValue(kDomain, Keys{"z"}, "1", level));
    EXPECT_NE(env.readFile(levelFile()).find("<key>z</key>"), std::string::npos);
    EXPECT_TRUE(deleteConfigKey(kDomain, Keys{}, "z", level));
    EXPECT_EQ(read("z", level), "<none>");
}

TEST_P(ConfigLevelTest, PathWriteReadListDelete) {
    const uint32_t level = GetParam();
    ASSERT_TRUE(
        writeConfigStringValue(kDomain, Keys{"Root", "presets", "lead"}, "A.morvanep", level));
    ASSERT_TRUE(writeConfigStringValue(kDomain, Keys{"Root", "last"}, "B", level));
    EXPECT_NE(env.readFile(levelFile()).find("A.morvanep"), std::string::npos);
    EXPECT_EQ(readPath({"Root", "presets", "lead"}, level), "A.morvanep");
    EXPECT_EQ(readPath({"Root", "last"}, level), "B");
    EXPECT_EQ(list({"Root", "presets"}, level), Keys{"lead"});
    EXPECT_EQ(list({"Root"}, level), (Keys{"last", "presets"}));
    Keys viaEmptyKey;
    EXPECT_TRUE(listConfigKeys(kDomain, "", viaEmptyKey, level));
    EXPECT_EQ(viaEmptyKey, (Keys{"last", "presets"}));

    EXPECT_TRUE(deleteConfigKey(kDomain, Keys{"Root", "presets"}, "lead", level));
    EXPECT_EQ(readPath({"Root", "presets", "lead"}, level), "<none>");
    EXPECT_EQ(list({"Root", "presets"}, level), Keys{}); // an empty dictionary lists nothing
    EXPECT_TRUE(deleteConfigKey(kDomain, Keys{"Root"}, "last", level));
    EXPECT_EQ(readPath({"Root", "last"}, level), "<none>");
    EXPECT_EQ(list({"Root"}, level), Keys{"presets"});
}

INSTANTIATE_TEST_SUITE_P(Levels, ConfigLevelTest,
                         ::testing::Values(CONFIG_LEVEL_USER, CONFIG_LEVEL_SYSTEM,
                                           CONFIG_LEVEL_SYSTEM_FILE, CONFIG_LEVEL_USER_FILE, 2u),
                         [](const auto& info) { return "Level" + std::to_string(info.param); });

TEST_F(ConfigTest, EngineLocationReadForTheSystemFromTheMachineFile) {
    writeStore(env.configDirs + "/Preferences/com.vantor.morvane.plist",
               "<key>path</key><string>/opt/Morvane Engine.bundle</string>");
    std::string path;
    EXPECT_TRUE(readConfigStringValue("com.vantor.morvane", "path", path, CONFIG_LEVEL_SYSTEM));
    EXPECT_EQ(path, "/opt/Morvane Engine.bundle");
    std::string missing = "untouched";
    EXPECT_FALSE(readConfigStringValue("com.vendor.product", "base_dir", missing, 1));
    EXPECT_EQ(missing, "untouched");
}

TEST_F(ConfigTest, UserValueWithoutHostIsFound) {
    writeStore(userFile(), "<key>k</key><string>user</string>");
    EXPECT_EQ(read("k", CONFIG_LEVEL_USER), "user");
    EXPECT_EQ(read("k", CONFIG_LEVEL_SYSTEM), "user");
}

TEST_F(ConfigTest, UserFileReadIgnoresCaseAndNonStrings) {
    writeStore(userFile(), "<key>BASE_DIR</key><string>/data</string>"
                           "<key>base_dir</key><integer>3</integer>");
    EXPECT_EQ(read("Base_Dir", CONFIG_LEVEL_USER_FILE), "/data");
    EXPECT_EQ(read("Base_Dir", CONFIG_LEVEL_USER), "<none>"); // exact keys elsewhere
    EXPECT_EQ(read("other", CONFIG_LEVEL_USER_FILE), "<none>");
}

TEST_F(ConfigTest, NumbersConvertOnlyWithoutLoss) {
    writeStore(userFile(), "<key>i</key><integer>7</integer>"
                           "<key>big</key><integer>5000000000</integer>"
                           "<key>half</key><real>2.5</real>"
                           "<key>s</key><string>7</string>");
    int i = -1;
    double d = -1;
    EXPECT_TRUE(readConfigIntValue(kDomain, "i", i, 0));
    EXPECT_EQ(i, 7);
    EXPECT_TRUE(readConfigDoubleValue(kDomain, "i", d, 0));
    EXPECT_EQ(d, 7.0);
    EXPECT_TRUE(readConfigDoubleValue(kDomain, "half", d, 0));
    EXPECT_EQ(d, 2.5);
    i = -1;
    EXPECT_FALSE(readConfigIntValue(kDomain, "half", i, 0));
    EXPECT_FALSE(readConfigIntValue(kDomain, "big", i, 0));
    EXPECT_FALSE(readConfigIntValue(kDomain, "s", i, 0));
    EXPECT_FALSE(readConfigIntValue(kDomain, "absent", i, 0));
    EXPECT_EQ(i, -1);
    EXPECT_EQ(read("i", 0), "<none>"); // a number is no string
}

TEST_F(ConfigTest, PathWritesReplaceNonDictionaries) {
    ASSERT_TRUE(writeConfigIntValue(kDomain, "a", 5, 0));
    ASSERT_TRUE(writeConfigStringValue(kDomain, Keys{"a", "b"}, "v", 0));
    EXPECT_EQ(list({"a"}, 0), Keys{"b"});
    ASSERT_TRUE(writeConfigStringValue(kDomain, Keys{"a", "b", "c"}, "w", 0)); // "b" held a string
    EXPECT_EQ(readPath({"a", "b", "c"}, 0), "w");
    EXPECT_EQ(readPath({"a", "b"}, 0), "<none>"); // now a dictionary
}

TEST_F(ConfigTest, UnsupportedShapesDoNothing) {
    EXPECT_FALSE(writeConfigStringValue(kDomain, Keys{"a", "b", "c", "d"}, "v", 0));
    EXPECT_FALSE(writeConfigStringValue(kDomain, Keys{}, "v", 0));
    EXPECT_FALSE(env.exists(userFile()));
    EXPECT_FALSE(deleteConfigKey(kDomain, Keys{"a", "b", "c"}, "d", 0));
    EXPECT_FALSE(deleteConfigKey(kDomain, std::string("a"), 0));
    Keys k;
    EXPECT_FALSE(listConfigStringKeys(kDomain, "a", k, 0));
    std::string v;
    EXPECT_FALSE(readConfigStringValue(kDomain, Keys{}, v, 0));
    EXPECT_FALSE(env.exists(userFile()));
}

TEST_F(ConfigTest, TextsThatAreNotUtf8AreRefused) {
    std::string v;
    EXPECT_FALSE(writeConfigStringValue(kDomain, "k", "caf\xE9", 0));
    EXPECT_FALSE(writeConfigStringValue(kDomain, "k\xFF", "v", 0));
    EXPECT_FALSE(writeConfigStringValue("dom\xFF", "k", "v", 0));
    EXPECT_FALSE(writeConfigStringValue(kDomain, Keys{"a", "b\xFF"}, "v", 0));
    EXPECT_FALSE(readConfigStringValue(kDomain, Keys{"a", "b\xFF"}, v, 0));
    EXPECT_FALSE(env.exists(userFile()));
}

TEST_F(ConfigTest, DomainsThatLeaveTheFolderAreRefused) {
    EXPECT_FALSE(writeConfigStringValue("../../escape", "k", "v", 0));
    EXPECT_FALSE(env.exists(env.configHome + "/escape.plist"));
    EXPECT_FALSE(env.exists(env.root + "/escape.plist"));
    std::string v;
    EXPECT_FALSE(readConfigStringValue("../escape", "k", v, CONFIG_LEVEL_USER_FILE));
}

TEST_F(ConfigTest, StringsOfMoreThan2047BytesCannotBeRead) {
    ASSERT_TRUE(writeConfigStringValue(kDomain, "fits", std::string(2047, 'x'), 0));
    ASSERT_TRUE(writeConfigStringValue(kDomain, "long", std::string(2048, 'x'), 0));
    EXPECT_EQ(read("fits", 0).size(), 2047u);
    EXPECT_EQ(read("long", 0), "<none>");
    ASSERT_TRUE(writeConfigStringValue(kDomain, Keys{std::string(2048, 'k'), "x"}, "v", 0));
    Keys keys;
    EXPECT_TRUE(listConfigKeys(kDomain, Keys{}, keys, 0));
    EXPECT_EQ(keys, (Keys{"fits", "long"})); // the long key is skipped
}

TEST_F(ConfigTest, PathReadFallsBackToTheMachineFile) {
    writeStore(machineFile(), "<key>engine</key><dict><key>path</key><string>/m</string></dict>"
                              "<key>single</key><string>s</string>");
    EXPECT_EQ(readPath({"engine", "path"}, CONFIG_LEVEL_USER), "/m");
    EXPECT_EQ(readPath({"engine", "path"}, CONFIG_LEVEL_SYSTEM_FILE), "/m");
    EXPECT_EQ(readPath({"single"}, CONFIG_LEVEL_SYSTEM_FILE), "s");
    EXPECT_EQ(readPath({"engine", "none"}, CONFIG_LEVEL_USER), "<none>");
    // The user's dictionary shadows the machine's at the first key but misses
    // the inner key, so the machine file is asked next.
    writeStore(userFile(), "<key>engine</key><dict><key>other</key><string>u</string></dict>");
    EXPECT_EQ(readPath({"engine", "path"}, CONFIG_LEVEL_USER), "/m");
    EXPECT_EQ(readPath({"engine", "other"}, CONFIG_LEVEL_USER), "u");
    // At the machine-file level the machine's dictionary is the first value.
    EXPECT_EQ(readPath({"engine", "other"}, CONFIG_LEVEL_SYSTEM_FILE), "<none>");
}

TEST_F(ConfigTest, MergedKeysOfAllUsersAndTheCurrentUser) {
    writeStore(machineFile(),
               "<key>Presets</key><dict><key>b</key><true/><key>a</key><true/></dict>");
    writeStore(userFile(), "<key>Presets</key><dict><key>a</key><true/><key>c</key><true/></dict>");
    Keys keys = {"first"};
    EXPECT_TRUE(listAndMergeSystemUserConfigKeys(kDomain, "Presets", keys));
    EXPECT_EQ(keys, (Keys{"first", "a", "b", "c"}));
    Keys none;
    EXPECT_FALSE(listAndMergeSystemUserConfigKeys(kDomain, "Absent", none));
    EXPECT_TRUE(none.empty());
}

TEST_F(ConfigTest, EmptyPathListNeedsAStore) {
    Keys keys;
    EXPECT_FALSE(listConfigKeys(kDomain, Keys{}, keys, 0));
    writeStore(userFile(), "");
    EXPECT_TRUE(listConfigKeys(kDomain, Keys{}, keys, 0)); // an empty store still lists
    EXPECT_TRUE(keys.empty());
}

TEST_F(ConfigTest, FailedWritesAreReportedAndKeepTheOldFile) {
    const std::string corrupt = "<plist><dict><key>k</key>";
    mkdir((env.configHome + "/Preferences").c_str(), 0755);
    ASSERT_TRUE(env.writeFile(userFile(), corrupt));
    EXPECT_FALSE(writeConfigStringValue(kDomain, "k", "v", 0));
    EXPECT_FALSE(writeConfigStringValue(kDomain, Keys{"a", "b"}, "v", 0));
    EXPECT_FALSE(deleteConfigValue(kDomain, "k", 0));
    EXPECT_EQ(env.readFile(userFile()), corrupt);
    EXPECT_EQ(read("k", 0), "<none>");

    // A store folder that cannot exist, for root too.
    ASSERT_TRUE(env.writeFile(env.root + "/plain", "x"));
    env.set("XDG_CONFIG_HOME", env.root + "/plain/config");
    EXPECT_FALSE(writeConfigIntValue(kDomain, "n", 1, 0));
    EXPECT_FALSE(writeConfigStringValue(kDomain, Keys{"a", "b", "c"}, "v", 0));
}

} // namespace
