// Scaffolding for the engine-bridge tests: a private home for the whole test
// process (preferences and the log file land there), the fake engine host
// opened by the test itself so that it can steer and inspect it, captured
// alerts, the log written since a point, and the two preferences the bridge
// reads.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "fake_engine/FakeEngineState.h"
#include "platform/AlertHandler.h"
#include "support/AlertCapture.h"
#include "vantor/config.h"
#include "vantor/support/PrivateHome.h"
#include "vst3/SamplerPluginConfig.h"

namespace bridgetest {

inline const std::string kBundle = SX_FAKE_ENGINE_BUNDLE;
inline const std::string kBrokenBundle = SX_BROKEN_ENGINE_BUNDLE;
inline const std::string kExecutable = kBundle + "/Contents/x86_64-linux/Morvane Engine.so";

// ---- Preferences ------------------------------------------------------------------------

inline std::string productDomain() {
    return std::string("com.") + SamplerPluginConfig.vendorName + "." +
           SamplerPluginConfig.productName;
}
inline void setEnginePath(const std::string& path) {
    ASSERT_TRUE(vantor::writeConfigStringValue("com.vantor.morvane", "path", path, 1));
}
inline void clearEnginePath() {
    vantor::deleteConfigValue("com.vantor.morvane", "path", 1);
}
inline void setBaseDir(const std::string& path) {
    ASSERT_TRUE(vantor::writeConfigStringValue(productDomain(), "base_dir", path, 1));
}
inline void clearBaseDir() {
    vantor::deleteConfigValue(productDomain(), "base_dir", 1);
}

// ---- Alerts -----------------------------------------------------------------------------

using testsupport::alerts;
using testsupport::captureAlert;

// ---- The log ----------------------------------------------------------------------------

// The process's log folder; the bridge opens its log there on the first start.
inline std::string logFolder() {
    return testhome::root() + "/home/.local/share/" + SamplerPluginConfig.vendorName + "/" +
           SamplerPluginConfig.productName;
}
inline std::string logFile() {
    const std::string prefix = std::string(SamplerPluginConfig.productName) + "_VST3_";
    std::string found;
    if (DIR* dir = ::opendir(logFolder().c_str())) {
        while (dirent* e = ::readdir(dir))
            if (std::string(e->d_name).rfind(prefix, 0) == 0) found = logFolder() + "/" + e->d_name;
        ::closedir(dir);
    }
    return found;
}

// What the log gained since construction.
class LogTail {
public:
    LogTail() : m_start(testhome::readFile(logFile()).size()) {}
    std::string text() const {
        const std::string all = testhome::readFile(logFile());
        return all.size() > m_start ? all.substr(m_start) : std::string();
    }
    bool has(const std::string& line) const { return text().find(line) != std::string::npos; }

private:
    size_t m_start;
};

// ---- The fake engine host ---------------------------------------------------------------

// Opens the fake engine host's executable (the bridge's own load of the same
// file shares it) and resets it to a working engine.
class FakeEngine {
public:
    FakeEngine() {
        m_handle = ::dlopen(kExecutable.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!m_handle) return;
        auto fn =
            reinterpret_cast<fakeengine::StateFn>(::dlsym(m_handle, fakeengine::kStateSymbol));
        m_state = fn ? fn() : nullptr;
        if (m_state) reset();
    }
    ~FakeEngine() {
        if (m_handle) ::dlclose(m_handle);
    }
    FakeEngine(const FakeEngine&) = delete;
    FakeEngine& operator=(const FakeEngine&) = delete;

    bool ok() const { return m_state != nullptr; }
    fakeengine::State& state() { return *m_state; }
    fakeengine::State* operator->() { return m_state; }

    void reset() {
        std::memset(m_state, 0, sizeof *m_state);
        m_state->failOpcode = -1;
        std::strcpy(m_state->details, "Fake Morvane 1.0");
        m_state->info.number = 7;
        std::strcpy(m_state->info.text, "alpha");
        std::strcpy(m_state->info.text2, "beta");
        m_state->product.productId = 42;
        m_state->product.slots = 16;
        std::strcpy(m_state->product.firstName, "first");
        std::strcpy(m_state->product.secondName, "second");
        std::strcpy(m_state->product.address, "https://example.invalid/");
    }
    void fail(int32_t opcode, int32_t subId = 0, int32_t status = 7) {
        m_state->failOpcode = opcode;
        m_state->failSubId = subId;
        m_state->failStatus = status;
    }
    void clearCalls() { m_state->callCount = 0; }
    int32_t callCount() const { return m_state->callCount; }
    const fakeengine::Call& call(int32_t i) const { return m_state->calls[i]; }

    // Opcodes in order; opcode 30 as 30 followed by its sub-id.
    std::vector<int32_t> opcodes() const {
        std::vector<int32_t> list;
        for (int32_t i = 0; i < m_state->callCount && i < fakeengine::State::kMaxCalls; ++i) {
            list.push_back(m_state->calls[i].opcode);
            if (m_state->calls[i].opcode == vantor::kOpEngineCommand)
                list.push_back(m_state->calls[i].value);
        }
        return list;
    }
    // The first call of `opcode` (and sub-id for 30), or null.
    const fakeengine::Call* find(int32_t opcode, int32_t subId = 0) const {
        for (int32_t i = 0; i < m_state->callCount && i < fakeengine::State::kMaxCalls; ++i) {
            const fakeengine::Call& c = m_state->calls[i];
            if (c.opcode == opcode && (subId == 0 || c.value == subId)) return &c;
        }
        return nullptr;
    }
    void* engineHandle() { return &m_state->engineTag; }
    void* viewHandle() { return &m_state->viewTag; }

private:
    void* m_handle = nullptr;
    fakeengine::State* m_state = nullptr;
};

// Per test: the fake reset, the engine path and data folder in the
// preferences, alerts captured.
class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(engine.ok()) << ::dlerror();
        setEnginePath(kBundle);
        baseDir = testhome::root() + "/home/data";
        setBaseDir(baseDir);
        alerts().clear();
        m_previousHandler = platform::setAlertHandler(captureAlert);
    }
    void TearDown() override { platform::setAlertHandler(m_previousHandler); }

    FakeEngine engine;
    std::string baseDir;

private:
    platform::AlertHandler m_previousHandler = nullptr;
};

// Copies the fake engine host into a new bundle under `folder`, so that it
// loads as a module of its own.
inline std::string copyBundle(const std::string& folder) {
    const std::string bundle = folder + "/Morvane Engine.bundle";
    const std::string dir = bundle + "/Contents/x86_64-linux";
    ::mkdir(bundle.c_str(), 0755);
    ::mkdir((bundle + "/Contents").c_str(), 0755);
    ::mkdir(dir.c_str(), 0755);
    testhome::writeFile(dir + "/Morvane Engine.so", testhome::readFile(kExecutable));
    return bundle;
}

} // namespace bridgetest
