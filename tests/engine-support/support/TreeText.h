// A chunk tree as text, "id:size[child,child]", for compact expectations.
#pragma once

#include <string>

#include "engine-support/IFFTreeNode.h"

namespace testsupport {

inline std::string describe(const vantor::IFFTreeNode* node) {
    std::string text = node->id + ":" + std::to_string(node->size);
    if (!node->children.empty()) {
        text += "[";
        for (size_t i = 0; i < node->children.size(); ++i)
            text += (i ? "," : "") + describe(node->children[i]);
        text += "]";
    }
    return text;
}

} // namespace testsupport
