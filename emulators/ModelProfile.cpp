#include "emulators/ModelProfile.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine-support/IFFTree.h"

const uint16_t kPsgLevelTable[16] = {43110, 32777, 26305, 20481, 15411, 11766, 9311, 7144,
                                     5210,  3830,  2902,  2053,  1295,  755,   399,  0};

namespace {

// Bytes read at most from each chunk.
constexpr uint64_t kFilterBytes = 128;
constexpr uint64_t kDacBytes = 2048;
constexpr uint64_t kLevelBytes = 260;

float readFloatLE(const uint8_t* p) {
    const uint32_t bits =
        uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The raw values of one profile, with the defaults of a missing chunk.
struct ProfileChunks {
    float filter[32] = {};
    std::string name;
    float dac[512] = {};
    float reference = ModelProfile::kDefaultReference;
    float levels[4][16];

    ProfileChunks() {
        for (auto& curve : levels)
            for (int j = 0; j < 16; ++j) curve[j] = kPsgLevelTable[j];
    }
};

// Copies a chunk's body (at most `limit` bytes) into `out`; false when the
// chunk is missing or its bytes cannot be had. `got` is the number copied.
bool copyChunk(vantor::IFFTree& tree, const vantor::IFFTreeNode* profile, const char* id,
               uint64_t limit, uint8_t* out, uint64_t& got) {
    got = 0;
    const vantor::IFFTreeNode* node = profile->findChild(id);
    if (!node) return false;
    const uint8_t* body = tree.getChunkData(node, false);
    if (!body) return false;
    got = std::min(node->size, limit);
    if (got) std::memcpy(out, body, got);
    tree.releaseChunkData(body);
    return true;
}

void readProfile(vantor::IFFTree& tree, const vantor::IFFTreeNode* node, ProfileChunks& chunks) {
    uint8_t bytes[kDacBytes];
    uint64_t got = 0;

    // Filter: unread bytes stay 0.
    std::memset(bytes, 0, kFilterBytes);
    if (copyChunk(tree, node, "Flpf", kFilterBytes, bytes, got))
        for (int k = 0; k < 32; ++k) chunks.filter[k] = readFloatLE(bytes + 4 * k);

    // Name: everything but the terminator byte.
    if (const vantor::IFFTreeNode* nameNode = node->findChild("Name")) {
        if (nameNode->size >= 2) {
            if (const uint8_t* body = tree.getChunkData(nameNode, false)) {
                chunks.name.assign(reinterpret_cast<const char*>(body), nameNode->size - 1);
                tree.releaseChunkData(body);
            }
        }
    }

    // DAC levels: whole values only; the others stay 0.
    if (copyChunk(tree, node, "Mdac", kDacBytes, bytes, got))
        for (uint64_t i = 0; i < got / 4; ++i) chunks.dac[i] = readFloatLE(bytes + 4 * i);

    // PSG reference and levels: whole values only; the others keep their defaults.
    if (copyChunk(tree, node, "Dgvl", kLevelBytes, bytes, got)) {
        const uint64_t count = got / 4;
        if (count >= 1) chunks.reference = readFloatLE(bytes);
        for (uint64_t v = 1; v < count; ++v)
            chunks.levels[(v - 1) / 16][(v - 1) % 16] = readFloatLE(bytes + 4 * v);
    }
}

// Containers are named after their id and form type, "LIST(PROF)"; plain
// chunks by their id alone.
bool isContainer(const vantor::IFFTreeNode* node) {
    return node->id.size() > 4 && node->id[4] == '(';
}

void convertProfile(const ProfileChunks& chunks, ModelProfile& profile) {
    profile.dacCurve.resize(ModelProfile::kDacEntries);
    const float middle = chunks.dac[256];
    for (int i = 0; i < ModelProfile::kDacEntries; ++i)
        profile.dacCurve[i] = profileClampRound((chunks.dac[i] - middle) * 16384.0f);
    profile.setPsgCurvesFromLevels(chunks.reference, chunks.levels);
    std::memcpy(profile.filter, chunks.filter, sizeof profile.filter);
    profile.name = chunks.name;
}

} // namespace

ModelProfile::ModelProfile() : dacCurve(kDacEntries, 0), filter{1.0f, 1.0f} {
    for (auto& curve : psgCurves)
        for (int j = 0; j < 16; ++j) curve[j] = int16_t((kPsgLevelTable[j] * 128 + 128) >> 8);
}

void ModelProfile::setPsgCurvesFromLevels(float reference, const float levels[4][16]) {
    if (dacCurve.size() < size_t(kDacEntries)) dacCurve.resize(kDacEntries, 0);
    const int32_t rise = int32_t(dacCurve[32]) - int32_t(dacCurve[0]);
    const float scale = float(rise + rise) / 21.0f / reference;
    for (int c = 0; c < 4; ++c) {
        for (int j = 0; j < 15; ++j) psgCurves[c][j] = profileClampRound(levels[c][j] * scale);
        psgCurves[c][15] = 0;
    }
}

void ModelProfile::setDefaultPsgCurves() {
    const ProfileChunks defaults;
    setPsgCurvesFromLevels(defaults.reference, defaults.levels);
}

int16_t profileClampRound(float x) {
    if (std::isnan(x)) return 0;
    if (x >= 32767.0f) return 32767;
    return int16_t(std::floor(std::max(x, -32768.0f) + 0.5f));
}

bool loadModelProfiles(const std::string& path, std::vector<ModelProfile>& table) {
    vantor::IFFTree tree(path);
    if (!tree.parse(2) && !tree.parse(3)) return false;

    const vantor::IFFTreeNode* root = tree.getRoot();
    if (!root || root->children.empty()) return false;
    const vantor::IFFTreeNode* top = root->children.front();
    std::vector<const vantor::IFFTreeNode*> profiles;
    for (const vantor::IFFTreeNode* child : top->children) {
        if (profiles.size() == ModelProfile::kMaxProfiles) break;
        if (isContainer(child)) profiles.push_back(child);
    }
    // A file without profiles keeps the table as it is, like a failed read.
    if (profiles.empty()) return false;

    table.resize(profiles.size());
    for (size_t i = 0; i < profiles.size(); ++i) {
        ProfileChunks chunks;
        readProfile(tree, profiles[i], chunks);
        convertProfile(chunks, table[i]);
    }
    return true;
}
