// One chunk of a chunk tree: where its header lies, its body size and its name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantor {

class IFFTreeNode {
public:
    IFFTreeNode(IFFTreeNode* parent, const std::string& id, uint64_t offset, uint64_t size)
        : offset(offset), size(size), id(id), parent(parent) {}
    // Destroys the whole subtree (without recursion, so deep trees are safe).
    virtual ~IFFTreeNode();

    IFFTreeNode(const IFFTreeNode&) = delete;
    IFFTreeNode& operator=(const IFFTreeNode&) = delete;

    // Appends a new child and returns it.
    IFFTreeNode* addChild(const std::string& childId, uint64_t childOffset, uint64_t childSize);
    // First direct child whose id equals `name`, or null.
    IFFTreeNode* findChild(const std::string& name) const;

    uint64_t offset; // source position of the chunk header
    uint64_t size;   // body size (containers: including the form type)
    std::string id;
    IFFTreeNode* parent;
    std::vector<IFFTreeNode*> children;
};

} // namespace vantor
