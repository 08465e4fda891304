#include "sim/nodetree.h"

#include <algorithm>

#include "sim/mvalue.h"

namespace tvl::sim {

bool hasPrefix(const NodeKey& key, const NodeKey& prefix) {
    return key.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), key.begin());
}

namespace {

int compareKeys(const NodeKey& a, const NodeKey& b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (int c = collate(a[i], b[i]); c != 0) {
            return c;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

bool KeyOrder::operator()(const NodeKey& a, const NodeKey& b) const {
    return compareKeys(a, b) < 0;
}

bool KeyOrder::operator()(const NodeKey& a, const SubtreeEnd& b) const {
    return compareKeys(a, b.key) < 0 || hasPrefix(a, b.key);
}

bool KeyOrder::operator()(const SubtreeEnd& a, const NodeKey& b) const {
    return compareKeys(a.key, b) < 0 && !hasPrefix(b, a.key);
}

std::optional<std::string> NodeTree::get(const NodeKey& key) const {
    auto it = m_nodes.find(key);
    if (it == m_nodes.end()) {
        return std::nullopt;
    }
    return it->second;
}

void NodeTree::set(const NodeKey& key, std::string value) {
    m_nodes.insert_or_assign(key, std::move(value));
}

std::size_t NodeTree::kill(const NodeKey& key) {
    auto first = m_nodes.lower_bound(key);
    auto last = m_nodes.upper_bound(KeyOrder::SubtreeEnd{key});
    std::size_t n = static_cast<std::size_t>(std::distance(first, last));
    m_nodes.erase(first, last);
    return n;
}

std::vector<std::pair<NodeKey, std::string>> NodeTree::subtree(const NodeKey& key) const {
    auto first = m_nodes.lower_bound(key);
    auto last = m_nodes.upper_bound(KeyOrder::SubtreeEnd{key});
    return {first, last};
}

int NodeTree::data(const NodeKey& key) const {
    auto it = m_nodes.lower_bound(key);
    int result = 0;
    if (it != m_nodes.end() && it->first == key) {
        result += 1;
        ++it;
    }
    if (it != m_nodes.end() && hasPrefix(it->first, key)) {
        result += 10;
    }
    return result;
}

std::string NodeTree::order(const NodeKey& key, bool forward) const {
    if (key.empty()) {
        return "";
    }
    NodeKey parent(key.begin(), key.end() - 1);
    const std::string& last = key.back();
    auto childOf = [&](Map::const_iterator it) -> std::string {
        if (it != m_nodes.end() && it->first.size() > parent.size() &&
            hasPrefix(it->first, parent)) {
            return it->first[parent.size()];
        }
        return "";
    };
    if (forward) {
        auto it = last.empty() ? m_nodes.upper_bound(parent)
                               : m_nodes.upper_bound(KeyOrder::SubtreeEnd{key});
        return childOf(it);
    }
    // Backward: the node just before the start of the key's subtree (or before the end of
    // the parent's subtree) belongs to the previous sibling, if it is under the parent.
    auto it =
        last.empty() ? m_nodes.upper_bound(KeyOrder::SubtreeEnd{parent}) : m_nodes.lower_bound(key);
    if (it == m_nodes.begin()) {
        return "";
    }
    return childOf(std::prev(it));
}

std::vector<std::string> NodeTree::children(const NodeKey& key) const {
    std::vector<std::string> out;
    NodeKey probe = key;
    probe.emplace_back();
    for (std::string next = order(probe, true); !next.empty(); next = order(probe, true)) {
        out.push_back(next);
        probe.back() = next;
    }
    return out;
}

}  // namespace tvl::sim
