#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/nodetree.h"

namespace tvl::sim {

// Raised when stored globals cannot be read or written.
class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class GlobalStore;

// The changes one request (or one job start) made to the stores, kept so that a change the
// disk refused can be taken back before the refusal is reported: what the client was told
// failed must not linger in memory and reach the disk with a later write.
class UndoLog {
public:
    UndoLog() = default;
    UndoLog(const UndoLog&) = delete;
    UndoLog& operator=(const UndoLog&) = delete;

    bool empty() const { return m_entries.empty(); }
    // Whether any recorded change was made to `store`.
    bool touches(const GlobalStore* store) const;
    // Puts back, newest first, what each recorded change replaced, and forgets them.
    void rollback();

private:
    friend class GlobalStore;
    struct Entry {
        GlobalStore* store;
        NodeKey key;
        bool killed;                     // a KILL: `before` is the whole subtree it removed
        std::optional<std::string> was;  // a SET: the node's value before, if it had one
        std::vector<std::pair<NodeKey, std::string>> before;
    };
    std::vector<Entry> m_entries;
};

// The globals of one namespace, shared by every connection and backup job, and kept in one
// file. Every change marks the store dirty; flush() writes the whole tree to a temporary
// file, syncs it and renames it over the old one, so a kill at any moment leaves either the
// old or the new file, never a half-written one.
class GlobalStore {
public:
    // Loads `file` when it exists. Throws StoreError for a file that is not a complete store.
    explicit GlobalStore(std::filesystem::path file);

    std::optional<std::string> get(const NodeKey& key) const;
    // With `undo`, the change is recorded there so that it can be taken back.
    void set(const NodeKey& key, std::string value, UndoLog* undo = nullptr);
    void kill(const NodeKey& key, UndoLog* undo = nullptr);
    int data(const NodeKey& key) const;
    std::string order(const NodeKey& key, bool forward) const;
    std::vector<std::string> children(const NodeKey& key) const;

    // Writes the tree when it changed since the last flush. Throws StoreError.
    void flush();

    const std::filesystem::path& file() const { return m_file; }

    // The byte format of a store file, exposed for tests.
    static std::string serialize(const NodeTree& tree);
    static NodeTree deserialize(const std::string& bytes);

private:
    friend class UndoLog;
    void restore(const UndoLog::Entry& e);

    mutable std::mutex m_mutex;
    std::filesystem::path m_file;
    NodeTree m_tree;
    bool m_dirty = false;
};

// Writes `bytes` to `file` atomically: a temporary file beside it, fsync, rename, then an
// fsync of the folder so the rename itself survives a crash. Throws StoreError.
void writeFileAtomically(const std::filesystem::path& file, const std::string& bytes);

}  // namespace tvl::sim
