// Start-up, teardown, logging and the host callbacks of the engine bridge.
// The opcode methods are in ZEFAWrapperOpcodes.cpp.
#include "vst3/ZEFAWrapper.h"

#include <cstring>
#include <mutex>

#include "platform/AlertHandler.h"
#include "platform/CFString.h"
#include "platform/CFURL.h"
#include "vantor/ConsoleLogger.h"
#include "vantor/PlatformToolsCocoa.h"
#include "vantor/PlatformToolsDesktop.h"
#include "vantor/VNTRConv.h"
#include "vantor/config.h"

namespace vantor {
namespace {

constexpr const char* kEngineDomain = "com.vantor.morvane";
constexpr const char* kEngineTitle = "Morvane Engine";
constexpr uint32_t kPreferenceLevel = CONFIG_LEVEL_SYSTEM; // level 1

// A text the engine filled into a fixed field, which need not end with a NUL.
template <size_t N> std::string fieldText(const char (&field)[N]) {
    return std::string(field, ::strnlen(field, N));
}

// A system alert with one OK button that does not time out. False when the
// header cannot be made into a platform string.
bool showSystemAlert(const std::string& header, const std::string& message) {
    CFStringRef title = CFStringCreateWithCString(nullptr, header.c_str(), kCFStringEncodingUTF8);
    if (!title) return false;
    CFRelease(title);
    platform::runAlert({header, message, {"OK"}});
    return true;
}

// The running host's name: the last component of its path, cut before the
// last ".".
std::string hostApplicationName() {
    std::string name = PGetCurrentApplicationPath(nullptr);
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

} // namespace

ZEFAWrapper::ZEFAWrapper(uint16_t formatCode, uint16_t interfaceVersion, uint32_t parameterCount)
    : m_parameterCount(parameterCount), m_values(new std::atomic<float>[parameterCount]),
      m_formatCode(formatCode), m_interfaceVersion(interfaceVersion) {
    for (uint32_t i = 0; i < parameterCount; ++i) m_values[i].store(0.0f);
    m_createRecord.fixedWord = ZefaCreateRecord::kFixedWord;
    m_product.version = 1;
    m_engineInfo.version = 1;
    m_callbackRecord.version = 1;
    m_callbackRecord.flags = ~uint64_t(0);
}

ZEFAWrapper::~ZEFAWrapper() {
    m_destroying.store(true);
    freeLists();
    destroyEngine();
}

void ZEFAWrapper::freeLists() {
    m_banks.clear();
    m_bankPrograms.clear();
    m_presetTypes.clear();
    m_presets.clear();
}

void ZEFAWrapper::log(const std::string& text, int level) {
    if (level == 2)
        writeLogLine(LogLevel::Error, text);
    else if (level == 1)
        writeLogLine(LogLevel::Info, text);
}

const char* ZEFAWrapper::formatSuffix(uint16_t formatCode) {
    switch (formatCode) {
    case kFormatSA:
        return "_SA";
    case kFormatVST2X:
        return "_VST2X";
    case kFormatVST3:
        return "_VST3";
    case kFormatAU:
        return "_AU";
    case kFormatAAX:
        return "_AAX";
    case kFormatMSVCTEST:
        return "_MSVCTEST";
    case kFormatCLAP:
        return "_CLAP";
    case kFormatPTEST:
        return "_PTEST";
    default:
        return "";
    }
}

std::string ZEFAWrapper::getEngineDetails() const {
    return fieldText(m_details);
}

// ---- Start-up -------------------------------------------------------------------------

bool ZEFAWrapper::init(int32_t sampleRate, int32_t maxBlock, const ZefaPluginConfig* config,
                       bool alternateWords) {
    if (!config) return false;
    const std::string vendor = fieldText(config->vendorName);
    const std::string product = fieldText(config->productName);

    std::string baseDirectory;
    if (!readConfigStringValue("com." + vendor + "." + product, "base_dir", baseDirectory,
                               kPreferenceLevel)) {
        showSystemAlert(vendor + " " + product, "Cannot find data installation, please re-install");
        baseDirectory.clear();
    }

    setUpLog(*config, vendor, product);

    const uint64_t word0 = alternateWords ? config->altCreateWord0 : config->createWord0;
    const uint64_t word1 = alternateWords ? config->altCreateWord1 : config->createWord1;
    std::string error;
    const bool ok = init_internal(sampleRate, maxBlock, word0, word1, error, nullptr,
                                  VNTRConv(baseDirectory, UTF8), VNTRConv(std::string(), UTF8));
    if (!ok) {
        log("init_internal*" + error + "*", 2);
        popupModalMessageWindow(nullptr, vendor + " " + product, error);
    }
    return ok;
}

// The log lives in a static object: it closes when the process ends or when
// the module holding this code is unloaded, whichever comes first, and no
// exit handler is left pointing into an unloaded module.
void ZEFAWrapper::setUpLog(const ZefaPluginConfig& config, const std::string& vendor,
                           const std::string& product) const {
    static std::once_flag once;
    std::call_once(once, [&] {
        const std::string folder = setUserPathVendorProduct(vendor, product);
        if (folder.empty()) return;
        std::string name =
            folder + "/" + product + formatSuffix(m_formatCode) + "_" + hostApplicationName();
        if (config.multiA && config.multiB) name += "_Multi";
        name += ".log";
        static ConsoleLogger logger;
        logger.init(name);
    });
}

bool ZEFAWrapper::loadBundle(const std::string& path, std::string& error) {
    CFStringRef text = CFStringCreateWithCString(nullptr, path.c_str(), kCFStringEncodingUTF8);
    CFURLRef url =
        text ? CFURLCreateWithFileSystemPath(nullptr, text, kCFURLPOSIXPathStyle, true) : nullptr;
    // The one reference the bridge holds; teardown releases it.
    m_bundle = url ? CFBundleCreate(nullptr, url) : nullptr;
    if (url) CFRelease(url);
    if (text) CFRelease(text);
    if (!m_bundle) {
        error = "Can't load engine bundle from : " + path;
        return false;
    }
    CFBundleLoadExecutable(m_bundle);
    CFStringRef symbol =
        CFStringCreateWithCString(nullptr, kMorvaneOpcodeSymbol, kCFStringEncodingUTF8);
    m_opcode =
        reinterpret_cast<MorvaneOpcodeFn>(CFBundleGetFunctionPointerForName(m_bundle, symbol));
    CFRelease(symbol);
    if (!m_opcode) {
        error = std::string("CFBundleGetFunctionPointerForName failed for ") + kMorvaneOpcodeSymbol;
        return false;
    }
    return true;
}

bool ZEFAWrapper::init_internal(int32_t sampleRate, int32_t maxBlock, uint64_t word0,
                                uint64_t word1, std::string& error, const char* enginePath,
                                const std::string& baseDirectory,
                                const std::string& dataDirectory) {
    error.clear();
    // A bridge starts once; a second start begins from nothing.
    if (m_bundle || m_engine) destroyEngine();
    m_ready = false;

    // 1. Where the engine host is installed.
    std::string path;
    if (enginePath) {
        path = enginePath;
    } else if (!readConfigStringValue(kEngineDomain, "path", path, kPreferenceLevel)) {
        log(kEngineTitle, 2);
        if (!showSystemAlert(
                kEngineTitle,
                "Can't find Morvane Engine install directory, please reinstall product"))
            log("alertTitle fail0", 2);
        path.clear();
    }
    if (path.empty()) {
        error = "Empty engine path from CFPreferences?!?!?!";
        return false;
    }

    // 2. The bundle and its entry point.
    if (!loadBundle(path, error)) return false;

    // 3. The engine's details text.
    std::memset(m_details, 0, sizeof m_details);
    int32_t status = m_opcode(nullptr, kOpGetDetails, m_details, nullptr, nullptr,
                              kDetailsTextValue, 0.0f, 0, 0);
    if (status != 0) {
        log("engine error:" + std::to_string(status), 2);
        return false;
    }
    log("queried details: " + getEngineDetails(), 1);

    // 4. The engine instance.
    m_baseDirectory = baseDirectory;
    m_dataDirectory = dataDirectory;
    m_createRecord.word0 = word0;
    m_createRecord.word1 = word1;
    const uint32_t formatAndVersion = uint32_t(m_interfaceVersion) << 16 | m_formatCode;
    m_createRecord.formatAndVersion = static_cast<int32_t>(formatAndVersion);
    m_createRecord.baseDirectory = m_baseDirectory.c_str();
    m_createRecord.fixedWord = ZefaCreateRecord::kFixedWord;
    m_createRecord.dataDirectory = m_dataDirectory.c_str();
    void* engine = nullptr;
    status = m_opcode(nullptr, kOpCreateEngine, &m_createRecord, &engine, nullptr, 0, 0.0f, 0, 0);
    if (status != 0) {
        log("engine error:" + std::to_string(status), 2);
        return false;
    }
    if (!engine) {
        log("engine error: no engine handle", 2);
        return false;
    }
    m_engine = engine;

    // 5. Engine information: only logged.
    std::memset(&m_engineInfo, 0, sizeof m_engineInfo);
    m_engineInfo.version = 1;
    if (sendCommand(ENGINE_GET_INFO, &m_engineInfo) == 0)
        log(std::to_string(m_engineInfo.number) + "," + fieldText(m_engineInfo.text) + "," +
                fieldText(m_engineInfo.text2),
            1);

    // 6. The host callback: the caller's record, else the bridge's own.
    if (m_callbackRecord.function)
        status = sendCommand(ENGINE_ADD_HOST_CALLBACK, &m_callbackRecord);
    else
        status = send(kOpSetHostCallback, reinterpret_cast<void*>(&ZEFA_HostOpcode), this, nullptr,
                      kHostCallbackValue);
    if (status != 0) return false;

    // 7. The current product.
    std::memset(&m_product, 0, sizeof m_product);
    m_product.version = 1;
    status = sendCommand(ENGINE_GET_CURRENT_PRODUCT, &m_product);
    if (status != 0) {
        log("ENGINE_GET_CURRENT_PRODUCT engine error:" + std::to_string(status), 2);
        return false;
    }
    log("ProductId:" + std::to_string(m_product.productId) + "(" + fieldText(m_product.secondName) +
            " - " + fieldText(m_product.firstName) + ") slots:" + std::to_string(m_product.slots) +
            ", url:" + fieldText(m_product.address),
        1);

    // 8. Sample rate and block size.
    if (send(kOpSetRateAndBlock, nullptr, nullptr, nullptr, sampleRate, 0.0f, maxBlock) != 0)
        return false;
    m_ready = true;
    return true;
}

void ZEFAWrapper::setInitialHostCallback(ZefaHostCallback function, void* userData,
                                         uint64_t flags) {
    m_callbackRecord.function = function;
    m_callbackRecord.userData = userData;
    m_callbackRecord.flags = flags;
}

// ---- Teardown -------------------------------------------------------------------------

void ZEFAWrapper::destroyEngine() {
    if (m_opcode && m_engine) {
        void* engine = m_engine;
        m_engine = nullptr;
        const int32_t status =
            m_opcode(engine, kOpDestroyEngine, nullptr, nullptr, nullptr, 0, 0.0f, 0, 0);
        if (status != 0) log("engine error:" + std::to_string(status), 2);
    }
    m_engine = nullptr;
    m_view = nullptr;
    m_ready = false;
    if (m_bundle) {
        // A host may still run threads or callbacks in the engine's code;
        // only the test format gives it back.
        if (m_formatCode == kFormatPTEST) CFBundleUnloadExecutable(m_bundle);
        CFRelease(m_bundle);
        m_bundle = nullptr;
    }
    m_opcode = nullptr;
}

// ---- Host callbacks -------------------------------------------------------------------

int32_t ZEFAWrapper::ZEFA_HostOpcode(int32_t id, void* p1, void* p2, int32_t a, int32_t b,
                                     int32_t c, float f, void* userData) {
    if (!userData) return ZEFA_HOST_NOT_HANDLED;
    return static_cast<ZEFAWrapper*>(userData)->hostCallback(id, p1, p2, a, b, c, f);
}

int32_t ZEFAWrapper::hostCallback(int32_t id, void* p1, void* p2, int32_t a, int32_t, int32_t,
                                  float) {
    switch (id) {
    case ZEFA_HOST_LOG: {
        const char* title = p1 ? static_cast<const char*>(p1) : "";
        const char* text = p2 ? static_cast<const char*>(p2) : "";
        const char* kind = a == kZefaLogError     ? "ENGINE ERROR: Title:"
                           : a == kZefaLogWarning ? "ENGINE WARNING: Title:"
                                                  : "ENGINE INFO: Title:";
        log(std::string(kind) + title + " Content:" + text, 1);
        return ZEFA_HOST_HANDLED;
    }
    case ZEFA_HOST_NOTICE_4097:
    case ZEFA_HOST_NOTICE_4098:
    case ZEFA_HOST_NOTICE_4099:
    case ZEFA_HOST_PARAMETERS_CHANGED:
    case ZEFA_HOST_LATENCY_CHANGED:
    case ZEFA_HOST_KEYMAP_CHANGED:
    case ZEFA_HOST_SIZE_CHANGED:
    case ZEFA_HOST_NOTICE_8201:
        return ZEFA_HOST_HANDLED;
    default:
        log("VKE_HostOpcode unknown id:" + std::to_string(id), 2);
        return ZEFA_HOST_NOT_HANDLED;
    }
}

bool ZEFAWrapper::addHostCallback(ZefaHostCallback function, void* userData, uint64_t flags) {
    setInitialHostCallback(function, userData, flags);
    if (!hasEngine()) return false;
    return sendCommand(ENGINE_ADD_HOST_CALLBACK, &m_callbackRecord) == 0;
}

int32_t ZEFAWrapper::removeHostCallback(ZefaHostCallback function, void* userData) {
    if (!hasEngine()) return -1;
    return send(kOpRemoveHostCallback, reinterpret_cast<void*>(function), userData);
}

} // namespace vantor
