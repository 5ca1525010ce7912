#include "engine-support/IFFTreeNode.h"

namespace vantor {

IFFTreeNode::~IFFTreeNode() {
    std::vector<IFFTreeNode*> pending;
    pending.swap(children);
    while (!pending.empty()) {
        IFFTreeNode* node = pending.back();
        pending.pop_back();
        pending.insert(pending.end(), node->children.begin(), node->children.end());
        node->children.clear();
        delete node;
    }
}

IFFTreeNode* IFFTreeNode::addChild(const std::string& childId, uint64_t childOffset,
                                   uint64_t childSize) {
    auto* child = new IFFTreeNode(this, childId, childOffset, childSize);
    children.push_back(child);
    return child;
}

IFFTreeNode* IFFTreeNode::findChild(const std::string& name) const {
    for (IFFTreeNode* child : children)
        if (child->id == name) return child;
    return nullptr;
}

} // namespace vantor
