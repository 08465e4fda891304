#pragma once

#include <array>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sim/globalstore.h"
#include "sim/nodetree.h"

namespace tvl::sim {

// Error numbers the server reports with ERR; 1 is kept for malformed frames.
namespace err {
constexpr int kProtocol = 1;
constexpr int kSyntax = 8;
constexpr int kUndefined = 9;
constexpr int kSubscript = 10;
constexpr int kFunction = 11;
constexpr int kIllegalValue = 12;
constexpr int kMaxString = 13;
constexpr int kParameter = 14;
constexpr int kNoRoutine = 16;
constexpr int kNotOpen = 17;
constexpr int kEndOfFile = 18;
constexpr int kDiskHard = 20;
constexpr int kStore = 21;
constexpr int kResource = 30;
constexpr int kNamespace = 43;
}  // namespace err

// An M error: its number and its text, such as "<UNDEFINED>^SYS(\"UCI\")".
class MError : public std::runtime_error {
public:
    MError(int code, const std::string& text) : std::runtime_error(text), m_code(code) {}
    int code() const { return m_code; }

private:
    int m_code;
};

// The longest string a value may hold; a longer one could not travel in a reply.
constexpr std::size_t kMaxStringLength = 1048576;
// The longest a global or local reference's subscripts may be in total.
constexpr std::size_t kMaxSubscriptBytes = 8192;
// The bytes of values one code line may produce in all (each intermediate value counts).
// One request is served at a time, so without a bound a single line of thousands of
// operations on megabyte values would keep every other client waiting for seconds; with it
// a line ends with <STORE> after a fraction of a second. A line that sets or reads a few
// megabyte values stays well within it.
constexpr std::size_t kMaxWorkPerLine = 8u << 20;

// What the interpreter needs from the server around it.
struct Environment {
    // Namespace name (upper case) to its globals.
    std::map<std::string, GlobalStore*> namespaces;
    // The clock behind $HOROLOG.
    std::function<std::time_t()> now = [] { return std::time(nullptr); };
    // Starts BACKUP^DBACK with its ten parameters; throws MError when it cannot start.
    std::function<void(const std::array<std::string, 10>&)> startBackup;
};

// The outcome of one code line: ok with the expression's value (empty for a command line),
// or an error number and text.
struct LineResult {
    bool ok = true;
    int code = 0;
    std::string text;
};

// A host file a connection has opened for reading with OPEN.
struct SequentialFile {
    SequentialFile() = default;
    ~SequentialFile();
    SequentialFile(const SequentialFile&) = delete;
    SequentialFile& operator=(const SequentialFile&) = delete;
    int fd = -1;
    std::string buffered;  // read from the file, not yet handed out
    bool atEnd = false;    // the file has no more bytes
};

// Files one connection may hold open at once.
constexpr std::size_t kMaxOpenFiles = 16;

// One connection's interpreter state: its namespace, its local variables, the files it has
// opened and the one it reads from (USE), and $TEST.
class Session {
public:
    explicit Session(Environment& env) : m_env(env) {}

    // Runs one code line with the values P0..P9. A line is parsed completely before it
    // runs, so a syntax error anywhere changes nothing. Changes to globals are recorded in
    // `undo` when one is given.
    LineResult execute(std::string_view line, const std::array<std::string, 10>& params,
                       UndoLog* undo = nullptr);

    const std::string& currentNamespace() const { return m_namespace; }

private:
    Environment& m_env;
    std::string m_namespace = "USER";
    NodeTree m_locals;
    std::map<std::string, std::unique_ptr<SequentialFile>> m_files;
    std::string m_device;  // empty: the principal device, the connection itself
    bool m_test = true;

    friend class Evaluator;
};

// True when the line's first word is a command word (so it is a command line).
bool isCommandLine(std::string_view line);

}  // namespace tvl::sim
