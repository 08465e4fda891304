#include "sim/globalstore.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/fileio.h"

namespace tvl::sim {

namespace {

constexpr std::string_view kMagic = "cachesim-globals 1\n";

std::string sysError(const std::string& what, const std::filesystem::path& path) {
    return what + " " + path.string() + ": " + std::strerror(errno);
}

// Reads a decimal count ended by `stop` at `pos`; throws on anything else.
std::size_t readCount(const std::string& bytes, std::size_t& pos, char stop) {
    std::size_t value = 0;
    std::size_t digits = 0;
    while (pos < bytes.size() && bytes[pos] >= '0' && bytes[pos] <= '9') {
        if (++digits > 12) {
            throw StoreError("count too large");
        }
        value = value * 10 + static_cast<std::size_t>(bytes[pos] - '0');
        ++pos;
    }
    if (digits == 0 || pos >= bytes.size() || bytes[pos] != stop) {
        throw StoreError("malformed count");
    }
    ++pos;
    return value;
}

}  // namespace

// Format: the magic line, then one record per node: the number of parts, ":", then each
// part (name, subscripts, value) as its length, ":" and its raw bytes, and a LF; last a line
// "end <count>" so that a truncated file is never taken for a smaller store.
std::string GlobalStore::serialize(const NodeTree& tree) {
    std::string out(kMagic);
    for (const auto& [key, value] : tree.nodes()) {
        out += std::to_string(key.size() + 1);
        out += ':';
        auto part = [&](const std::string& s) {
            out += std::to_string(s.size());
            out += ':';
            out += s;
        };
        for (const auto& k : key) {
            part(k);
        }
        part(value);
        out += '\n';
    }
    out += "end " + std::to_string(tree.size()) + "\n";
    return out;
}

NodeTree GlobalStore::deserialize(const std::string& bytes) {
    if (bytes.compare(0, kMagic.size(), kMagic) != 0) {
        throw StoreError("not a globals file");
    }
    NodeTree tree;
    std::size_t pos = kMagic.size();
    std::size_t count = 0;
    while (true) {
        if (bytes.compare(pos, 4, "end ") == 0) {
            pos += 4;
            std::size_t declared = readCount(bytes, pos, '\n');
            if (declared != count || pos != bytes.size()) {
                throw StoreError("node count does not match");
            }
            return tree;
        }
        std::size_t parts = readCount(bytes, pos, ':');
        if (parts < 2) {
            throw StoreError("record without a value");
        }
        NodeKey key;
        std::string value;
        for (std::size_t i = 0; i < parts; ++i) {
            std::size_t len = readCount(bytes, pos, ':');
            if (len > bytes.size() - pos) {
                throw StoreError("record cut off");
            }
            std::string s = bytes.substr(pos, len);
            pos += len;
            if (i + 1 < parts) {
                key.push_back(std::move(s));
            } else {
                value = std::move(s);
            }
        }
        if (pos >= bytes.size() || bytes[pos] != '\n') {
            throw StoreError("record not ended");
        }
        ++pos;
        tree.set(key, std::move(value));
        ++count;
    }
}

GlobalStore::GlobalStore(std::filesystem::path file) : m_file(std::move(file)) {
    std::ifstream in(m_file, std::ios::binary);
    if (!in) {
        if (std::filesystem::exists(m_file)) {
            throw StoreError("cannot read " + m_file.string());
        }
        return;
    }
    std::ostringstream buf;
    buf << in.rdbuf();
    try {
        m_tree = deserialize(buf.str());
    } catch (const StoreError& e) {
        throw StoreError(m_file.string() + " is damaged: " + e.what());
    }
}

std::optional<std::string> GlobalStore::get(const NodeKey& key) const {
    std::lock_guard lock(m_mutex);
    return m_tree.get(key);
}

void GlobalStore::set(const NodeKey& key, std::string value, UndoLog* undo) {
    std::lock_guard lock(m_mutex);
    std::optional<std::string> was = m_tree.get(key);
    if (was == value) {
        return;  // no change, nothing to write
    }
    if (undo) {
        undo->m_entries.push_back({this, key, false, std::move(was), {}});
    }
    m_tree.set(key, std::move(value));
    m_dirty = true;
}

void GlobalStore::kill(const NodeKey& key, UndoLog* undo) {
    std::lock_guard lock(m_mutex);
    auto before = undo ? m_tree.subtree(key) : decltype(m_tree.subtree(key)){};
    if (m_tree.kill(key) > 0) {
        m_dirty = true;
        if (undo) {
            undo->m_entries.push_back({this, key, true, std::nullopt, std::move(before)});
        }
    }
}

void GlobalStore::restore(const UndoLog::Entry& e) {
    std::lock_guard lock(m_mutex);
    if (e.killed) {
        for (const auto& [k, v] : e.before) {
            m_tree.set(k, v);
        }
    } else if (e.was) {
        m_tree.set(e.key, *e.was);
    } else {
        m_tree.erase(e.key);
    }
    // The file may hold the change already (another store of the same request was written
    // first, or a job's write took it along): the next write must put the memory back there.
    m_dirty = true;
}

bool UndoLog::touches(const GlobalStore* store) const {
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [store](const Entry& e) { return e.store == store; });
}

void UndoLog::rollback() {
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        it->store->restore(*it);
    }
    m_entries.clear();
}

int GlobalStore::data(const NodeKey& key) const {
    std::lock_guard lock(m_mutex);
    return m_tree.data(key);
}

std::string GlobalStore::order(const NodeKey& key, bool forward) const {
    std::lock_guard lock(m_mutex);
    return m_tree.order(key, forward);
}

std::vector<std::string> GlobalStore::children(const NodeKey& key) const {
    std::lock_guard lock(m_mutex);
    return m_tree.children(key);
}

void GlobalStore::flush() {
    std::lock_guard lock(m_mutex);
    if (!m_dirty) {
        return;
    }
    writeFileAtomically(m_file, serialize(m_tree));
    m_dirty = false;
}

void writeFileAtomically(const std::filesystem::path& file, const std::string& bytes) {
    // The store may hold what clients wrote; nobody else reads it.
    if (!tvl::replaceFileAtomically(file.string(), bytes, 0600)) {
        throw StoreError(sysError("cannot replace", file));
    }
}

}  // namespace tvl::sim
