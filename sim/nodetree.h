#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tvl::sim {

// A node's address: the variable's name, then its subscripts.
using NodeKey = std::vector<std::string>;

// Orders keys element by element in M collation; a key sorts right before its descendants,
// so every subtree is one contiguous range of the map.
struct KeyOrder {
    using is_transparent = void;

    // Stands for the position just after the whole subtree of `key`.
    struct SubtreeEnd {
        const NodeKey& key;
    };

    bool operator()(const NodeKey& a, const NodeKey& b) const;
    bool operator()(const NodeKey& a, const SubtreeEnd& b) const;
    bool operator()(const SubtreeEnd& a, const NodeKey& b) const;
};

// The nodes of M variables (globals of one namespace, or a connection's locals): a sorted
// map from keys to values, with the tree operations M needs. Not thread-safe by itself.
class NodeTree {
public:
    using Map = std::map<NodeKey, std::string, KeyOrder>;

    std::optional<std::string> get(const NodeKey& key) const;
    void set(const NodeKey& key, std::string value);
    // Removes the node and all its descendants; returns how many nodes went.
    std::size_t kill(const NodeKey& key);
    // Removes every node.
    void clear() { m_nodes.clear(); }
    // Removes the node alone, leaving its descendants.
    void erase(const NodeKey& key) { m_nodes.erase(key); }
    // The node and all its descendants, in collation order.
    std::vector<std::pair<NodeKey, std::string>> subtree(const NodeKey& key) const;
    // $DATA: 0 nothing, 1 value only, 10 descendants only, 11 both.
    int data(const NodeKey& key) const;
    // $ORDER: the next (forward) or previous subscript at the level of the key's last
    // subscript, among siblings that hold a value or descendants; an empty last subscript
    // starts from the first (or the last). Returns "" when there is none.
    std::string order(const NodeKey& key, bool forward) const;
    // The direct children's subscripts of a node, in collation order.
    std::vector<std::string> children(const NodeKey& key) const;

    const Map& nodes() const { return m_nodes; }
    std::size_t size() const { return m_nodes.size(); }

private:
    Map m_nodes;
};

bool hasPrefix(const NodeKey& key, const NodeKey& prefix);

}  // namespace tvl::sim
