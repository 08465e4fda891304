#include "sim/interp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>

#include "sim/horolog.h"
#include "sim/mvalue.h"

namespace tvl::sim {

namespace {

[[noreturn]] void syntaxError() {
    throw MError(err::kSyntax, "<SYNTAX>");
}

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------
// Tokens. Blanks are tokens of their own: in M they separate commands and arguments.

enum class Tok {
    Name,       // %ABC, X1, P0
    String,     // "..." with doubled quotes undone
    Number,     // 12, 1.5, .5, already in canonical form
    Intrinsic,  // $H, $ORDER: the name after "$"
    Blanks,     // a run of blanks; `count` tells how many
    Caret,
    Bar,
    LParen,
    RParen,
    Comma,
    Equals,
    Underscore,
    Minus,
    Plus,
    Colon,
    Other,  // anything the language subset does not know
    End,
};

struct Token {
    Tok kind;
    std::string text;
    std::size_t count = 0;
};

// The token of a one-byte mark; Other for a byte the language subset does not know.
Tok punctuation(char c) {
    static constexpr std::pair<char, Tok> kMarks[] = {
        {'^', Tok::Caret}, {'|', Tok::Bar},    {'(', Tok::LParen},     {')', Tok::RParen},
        {',', Tok::Comma}, {'=', Tok::Equals}, {'_', Tok::Underscore}, {'-', Tok::Minus},
        {'+', Tok::Plus},  {':', Tok::Colon}};
    for (const auto& [mark, kind] : kMarks) {
        if (mark == c) {
            return kind;
        }
    }
    return Tok::Other;
}

bool isAlpha(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::vector<Token> tokenize(std::string_view line) {
    std::vector<Token> out;
    std::size_t i = 0;
    auto name = [&]() {
        std::size_t start = i;
        if (line[i] == '%') {
            ++i;
        }
        while (i < line.size() && (isAlpha(line[i]) || (i > start && isDigit(line[i])))) {
            ++i;
        }
        return std::string(line.substr(start, i - start));
    };
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ') {
            std::size_t start = i;
            while (i < line.size() && line[i] == ' ') {
                ++i;
            }
            out.push_back({Tok::Blanks, {}, i - start});
        } else if (c == '"') {
            std::string text;
            ++i;
            while (true) {
                if (i >= line.size()) {
                    syntaxError();  // the literal never ends
                }
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        text += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += line[i++];
            }
            out.push_back({Tok::String, std::move(text)});
        } else if (isDigit(c) || (c == '.' && i + 1 < line.size() && isDigit(line[i + 1]))) {
            std::size_t start = i;
            while (i < line.size() && isDigit(line[i])) {
                ++i;
            }
            if (i < line.size() && line[i] == '.') {
                ++i;
                while (i < line.size() && isDigit(line[i])) {
                    ++i;
                }
            }
            out.push_back({Tok::Number, numericValue(line.substr(start, i - start))});
        } else if (isAlpha(c) || (c == '%' && i + 1 < line.size() && isAlpha(line[i + 1]))) {
            out.push_back({Tok::Name, name()});
        } else if (c == '$' && i + 1 < line.size() && isAlpha(line[i + 1])) {
            ++i;
            out.push_back({Tok::Intrinsic, upper(name())});
        } else {
            out.push_back({punctuation(c), std::string(1, c)});
            ++i;
        }
    }
    out.push_back({Tok::End, {}});
    return out;
}

// ---------------------------------------------------------------------------------------
// Syntax tree.

enum class Fn { Horolog, Test, ZDate, Translate, Order, Data, Get };

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Expr {
    enum class Kind { Literal, Local, Global, Concat, Negate, Positive, Function } kind;
    std::string text;  // literal value or variable name
    Fn fn = Fn::Horolog;
    ExprPtr space;              // the namespace of an extended global reference
    std::vector<ExprPtr> args;  // subscripts, function arguments or concatenated parts
};

struct SetArg {
    ExprPtr target;
    ExprPtr value;
};

struct Command {
    enum class Kind { Set, Kill, ZNspace, Job, Open, Use, Read, Close } kind;
    std::vector<SetArg> sets;
    // KILL targets, the ZN namespace, the JOB parameters, the device of OPEN, USE and CLOSE,
    // the variable READ sets
    std::vector<ExprPtr> args;
    bool argumentless = false;
    std::string label;
    std::string routine;
    std::vector<ExprPtr> deviceParams;  // OPEN's parameters
    ExprPtr timeout;                    // OPEN's and READ's timeout
};

std::optional<Command::Kind> commandWord(std::string_view word) {
    // Each command by its abbreviation or its full name.
    static const struct {
        const char* abbreviation;
        const char* name;
        Command::Kind kind;
    } kCommands[] = {{"S", "SET", Command::Kind::Set},   {"K", "KILL", Command::Kind::Kill},
                     {"J", "JOB", Command::Kind::Job},   {"ZN", "ZNSPACE", Command::Kind::ZNspace},
                     {"O", "OPEN", Command::Kind::Open}, {"U", "USE", Command::Kind::Use},
                     {"R", "READ", Command::Kind::Read}, {"C", "CLOSE", Command::Kind::Close}};
    const std::string w = upper(word);
    for (const auto& c : kCommands) {
        if (w == c.abbreviation || w == c.name) {
            return c.kind;
        }
    }
    return std::nullopt;
}

// Nesting deeper than this is refused, so no line can exhaust the server's stack.
constexpr int kMaxDepth = 64;
constexpr std::size_t kMaxSubscripts = 63;

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : m_toks(std::move(tokens)) {}

    ExprPtr expressionLine() {
        skipBlanks();
        ExprPtr e = expression();
        skipBlanks();
        expect(Tok::End);
        return e;
    }

    std::vector<Command> commandLine() {
        std::vector<Command> cmds;
        skipBlanks();
        while (peek().kind != Tok::End) {
            if (peek().kind != Tok::Name) {
                syntaxError();
            }
            auto kind = commandWord(next().text);
            if (!kind) {
                syntaxError();
            }
            Command cmd{*kind, {}, {}, false, {}, {}, {}, {}};
            // One blank before the arguments; none (or two blanks) means no arguments.
            if (peek().kind == Tok::End ||
                (peek().kind == Tok::Blanks && (peek().count >= 2 || peekAt(1).kind == Tok::End))) {
                cmd.argumentless = true;
                if (cmd.kind != Command::Kind::Kill) {
                    syntaxError();
                }
            } else {
                expect(Tok::Blanks);
                arguments(cmd);
            }
            cmds.push_back(std::move(cmd));
            if (peek().kind == Tok::End) {
                break;
            }
            expect(Tok::Blanks);
            skipBlanks();
        }
        return cmds;
    }

private:
    const Token& peek() const { return m_toks[m_pos]; }
    const Token& peekAt(std::size_t ahead) const {
        return m_toks[std::min(m_pos + ahead, m_toks.size() - 1)];
    }
    const Token& next() {
        const Token& t = m_toks[m_pos];
        if (t.kind != Tok::End) {
            ++m_pos;
        }
        return t;
    }
    void expect(Tok kind) {
        if (peek().kind != kind) {
            syntaxError();
        }
        next();
    }
    bool accept(Tok kind) {
        if (peek().kind == kind) {
            next();
            return true;
        }
        return false;
    }
    void skipBlanks() {
        while (peek().kind == Tok::Blanks) {
            next();
        }
    }

    struct DepthGuard {
        explicit DepthGuard(int& depth) : m_depth(depth) {
            if (++m_depth > kMaxDepth) {
                syntaxError();
            }
        }
        ~DepthGuard() { --m_depth; }
        int& m_depth;
    };

    void arguments(Command& cmd) {
        switch (cmd.kind) {
            case Command::Kind::Set:
                do {
                    SetArg arg;
                    arg.target = variable();
                    expect(Tok::Equals);
                    arg.value = expression();
                    cmd.sets.push_back(std::move(arg));
                } while (accept(Tok::Comma));
                break;
            case Command::Kind::Kill:
                do {
                    cmd.args.push_back(variable());
                } while (accept(Tok::Comma));
                break;
            case Command::Kind::ZNspace:
                cmd.args.push_back(expression());
                break;
            case Command::Kind::Job:
                jobArgument(cmd);
                break;
            case Command::Kind::Open:
                // device[:params[:timeout]], params one value or (v:v...), possibly none
                cmd.args.push_back(expression());
                if (accept(Tok::Colon)) {
                    if (accept(Tok::LParen)) {
                        do {
                            cmd.deviceParams.push_back(expression());
                        } while (accept(Tok::Colon));
                        expect(Tok::RParen);
                    } else if (peek().kind != Tok::Colon) {
                        cmd.deviceParams.push_back(expression());
                    }
                    if (accept(Tok::Colon)) {
                        cmd.timeout = expression();
                    }
                }
                break;
            case Command::Kind::Use:
            case Command::Kind::Close:
                cmd.args.push_back(expression());
                break;
            case Command::Kind::Read:
                cmd.args.push_back(variable());
                if (accept(Tok::Colon)) {
                    cmd.timeout = expression();
                }
                break;
        }
    }

    // [label]^routine[(params)]
    void jobArgument(Command& cmd) {
        if (peek().kind == Tok::Name) {
            cmd.label = next().text;
        }
        expect(Tok::Caret);
        if (peek().kind != Tok::Name) {
            syntaxError();
        }
        cmd.routine = next().text;
        if (accept(Tok::LParen)) {
            if (!accept(Tok::RParen)) {
                do {
                    cmd.args.push_back(expression());
                } while (accept(Tok::Comma));
                expect(Tok::RParen);
            }
        }
    }

    // A local or global variable, possibly an extended reference ^|"ns"|name.
    ExprPtr variable() {
        DepthGuard guard(m_depth);
        auto e = std::make_unique<Expr>();
        if (accept(Tok::Caret)) {
            e->kind = Expr::Kind::Global;
            if (accept(Tok::Bar)) {
                e->space = expression();
                expect(Tok::Bar);
            }
        } else {
            e->kind = Expr::Kind::Local;
        }
        if (peek().kind != Tok::Name) {
            syntaxError();
        }
        e->text = next().text;
        if (accept(Tok::LParen)) {
            do {
                e->args.push_back(expression());
                if (e->args.size() > kMaxSubscripts) {
                    throw MError(err::kSubscript, "<SUBSCRIPT>");
                }
            } while (accept(Tok::Comma));
            expect(Tok::RParen);
        }
        return e;
    }

    ExprPtr expression() {
        DepthGuard guard(m_depth);
        ExprPtr first = term();
        if (peek().kind != Tok::Underscore) {
            return first;
        }
        // Concatenation is kept flat, so a long chain of "_" costs no stack.
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Kind::Concat;
        e->args.push_back(std::move(first));
        while (accept(Tok::Underscore)) {
            e->args.push_back(term());
        }
        return e;
    }

    ExprPtr term() {
        DepthGuard guard(m_depth);
        const Token& t = peek();
        switch (t.kind) {
            case Tok::String:
            case Tok::Number: {
                auto e = std::make_unique<Expr>();
                e->kind = Expr::Kind::Literal;
                e->text = next().text;
                return e;
            }
            case Tok::Minus:
            case Tok::Plus: {
                bool minus = next().kind == Tok::Minus;
                auto e = std::make_unique<Expr>();
                e->kind = minus ? Expr::Kind::Negate : Expr::Kind::Positive;
                e->args.push_back(term());
                return e;
            }
            case Tok::LParen: {
                next();
                ExprPtr e = expression();
                expect(Tok::RParen);
                return e;
            }
            case Tok::Caret:
            case Tok::Name:
                return variable();
            case Tok::Intrinsic:
                return intrinsic();
            default:
                syntaxError();
        }
    }

    ExprPtr intrinsic() {
        std::string name = next().text;
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Kind::Function;
        if (name == "H" || name == "HOROLOG") {
            e->fn = Fn::Horolog;
            return e;
        }
        if (name == "T" || name == "TEST") {
            e->fn = Fn::Test;
            return e;
        }
        struct Known {
            const char* abbrev;
            const char* full;
            Fn fn;
            std::size_t minArgs, maxArgs;
            bool firstIsVariable;
        };
        static const Known kKnown[] = {
            {"ZD", "ZDATE", Fn::ZDate, 1, 2, false},
            {"TR", "TRANSLATE", Fn::Translate, 2, 3, false},
            {"O", "ORDER", Fn::Order, 1, 2, true},
            {"D", "DATA", Fn::Data, 1, 1, true},
            {"G", "GET", Fn::Get, 1, 2, true},
        };
        const Known* known = nullptr;
        for (const auto& k : kKnown) {
            if (name == k.abbrev || name == k.full) {
                known = &k;
            }
        }
        if (peek().kind != Tok::LParen) {
            syntaxError();  // an unknown special variable
        }
        if (!known) {
            throw MError(err::kFunction, "<FUNCTION>");
        }
        next();
        e->fn = known->fn;
        do {
            if (e->args.empty() && known->firstIsVariable) {
                e->args.push_back(variable());
            } else {
                e->args.push_back(expression());
            }
        } while (accept(Tok::Comma));
        expect(Tok::RParen);
        if (e->args.size() < known->minArgs || e->args.size() > known->maxArgs) {
            syntaxError();
        }
        return e;
    }

    std::vector<Token> m_toks;
    std::size_t m_pos = 0;
    int m_depth = 0;
};

}  // namespace

bool isCommandLine(std::string_view line) {
    std::size_t start = line.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        return true;  // nothing to do is an empty command line
    }
    std::size_t end = start;
    while (end < line.size() && isAlpha(line[end])) {
        ++end;
    }
    if (end == start || !commandWord(line.substr(start, end - start))) {
        return false;
    }
    return end == line.size() || line[end] == ' ';
}

// ---------------------------------------------------------------------------------------
// Evaluation.

// The name ZN or USE is given, which must be one of `known` (a namespace, an open device);
// else the error `code`, its text `mark` and the name.
template <class Known>
std::string knownName(std::string name, const Known& known, int code, const char* mark) {
    if (!known.count(name)) {
        throw MError(code, mark + name);
    }
    return name;
}

class Evaluator {
public:
    Evaluator(Session& s, UndoLog* undo) : m_session(s), m_undo(undo) {}

    std::string value(const Expr& e) {
        std::string v = compute(e);
        // One more for each value, so that a long run of empty results counts too.
        m_work += v.size() + 1;
        if (m_work > kMaxWorkPerLine) {
            throw MError(err::kStore, "<STORE>");
        }
        return v;
    }

    void run(const Command& c) {
        switch (c.kind) {
            case Command::Kind::Set:
                for (const auto& arg : c.sets) {
                    Ref r = reference(*arg.target);
                    r.set(value(*arg.value));
                }
                break;
            case Command::Kind::Kill:
                if (c.argumentless) {
                    m_session.m_locals.clear();
                }
                for (const auto& target : c.args) {
                    reference(*target).kill();
                }
                break;
            case Command::Kind::ZNspace:
                m_session.m_namespace =
                    knownName(upper(value(*c.args[0])), m_session.m_env.namespaces, err::kNamespace,
                              "<NAMESPACE>");
                break;
            case Command::Kind::Job:
                job(c);
                break;
            case Command::Kind::Open:
                open(c);
                break;
            case Command::Kind::Use:
                m_session.m_device =
                    knownName(value(*c.args[0]), m_session.m_files, err::kNotOpen, "<NOTOPEN>");
                break;
            case Command::Kind::Read:
                read(c);
                break;
            case Command::Kind::Close: {
                // Closing a file that is not open is no error.
                const std::string name = value(*c.args[0]);
                m_session.m_files.erase(name);
                if (m_session.m_device == name) {
                    m_session.m_device.clear();
                }
                break;
            }
        }
    }

private:
    std::string compute(const Expr& e) {
        switch (e.kind) {
            case Expr::Kind::Literal:
                return e.text;
            case Expr::Kind::Local:
            case Expr::Kind::Global: {
                Ref r = reference(e);
                auto v = r.get();
                if (!v) {
                    throw MError(err::kUndefined, "<UNDEFINED>" + r.text());
                }
                return std::move(*v);
            }
            case Expr::Kind::Concat: {
                std::string out;
                for (const auto& part : e.args) {
                    out += value(*part);
                    checkLength(out);
                }
                return out;
            }
            case Expr::Kind::Negate:
                return negateNumber(numericValue(value(*e.args[0])));
            case Expr::Kind::Positive:
                return numericValue(value(*e.args[0]));
            case Expr::Kind::Function:
                return function(e);
        }
        return {};
    }

    // A resolved variable: its store (a namespace's globals, or the locals) and key.
    struct Ref {
        GlobalStore* globals = nullptr;
        NodeTree* locals = nullptr;
        UndoLog* undo = nullptr;
        NodeKey key;

        std::optional<std::string> get() const {
            return globals ? globals->get(key) : locals->get(key);
        }
        void set(std::string v) const {
            requireSubscripts();
            globals ? globals->set(key, std::move(v), undo) : locals->set(key, std::move(v));
        }
        void kill() const {
            requireSubscripts();
            globals ? globals->kill(key, undo) : static_cast<void>(locals->kill(key));
        }
        int data() const {
            requireSubscripts();
            return globals ? globals->data(key) : locals->data(key);
        }
        std::string order(bool forward) const {
            return globals ? globals->order(key, forward) : locals->order(key, forward);
        }
        // Only $ORDER may name an empty (last) subscript.
        void requireSubscripts() const {
            for (std::size_t i = 1; i < key.size(); ++i) {
                if (key[i].empty()) {
                    throw MError(err::kSubscript, "<SUBSCRIPT>" + text());
                }
            }
        }
        std::string text() const {
            std::string out = globals ? "^" + key[0] : key[0];
            if (key.size() > 1) {
                out += '(';
                for (std::size_t i = 1; i < key.size(); ++i) {
                    if (i > 1) {
                        out += ',';
                    }
                    out += subscriptText(key[i]);
                }
                out += ')';
            }
            return out;
        }
    };

    Ref reference(const Expr& e) {
        Ref r;
        if (e.kind == Expr::Kind::Global) {
            std::string ns = m_session.m_namespace;
            if (e.space) {
                ns = upper(value(*e.space));
            }
            auto it = m_session.m_env.namespaces.find(ns);
            if (it == m_session.m_env.namespaces.end()) {
                throw MError(err::kNamespace, "<NAMESPACE>" + ns);
            }
            r.globals = it->second;
            r.undo = m_undo;
        } else {
            r.locals = &m_session.m_locals;
        }
        r.key.push_back(e.text);
        std::size_t total = 0;
        for (const auto& sub : e.args) {
            r.key.push_back(value(*sub));
            total += r.key.back().size();
        }
        if (total > kMaxSubscriptBytes) {
            throw MError(err::kSubscript, "<SUBSCRIPT>");
        }
        return r;
    }

    std::string function(const Expr& e) {
        switch (e.fn) {
            case Fn::Horolog:
                return horolog(m_session.m_env.now());
            case Fn::Test:
                return m_session.m_test ? "1" : "0";
            case Fn::ZDate: {
                std::string day = numericValue(value(*e.args[0]));
                int format = e.args.size() > 1 ? integer(value(*e.args[1])) : 1;
                // Only the whole days count: $ZD($H) formats today.
                std::string whole = day.substr(0, day.find('.'));
                if (whole.empty() || whole == "-") {
                    whole = "0";  // a fraction of a day, either side of day 0
                }
                std::optional<std::string> text;
                if (whole.size() <= 8 && !whole.empty() && whole[0] != '-') {
                    text = formatHorologDate(std::stoll(whole), format);
                }
                if (!text) {
                    throw MError(err::kIllegalValue, "<ILLEGAL VALUE>");
                }
                return *text;
            }
            case Fn::Translate: {
                std::string s = value(*e.args[0]);
                std::string from = value(*e.args[1]);
                std::string to = e.args.size() > 2 ? value(*e.args[2]) : std::string();
                // One pass over each text: the first place of a byte in `from` decides.
                constexpr int kKeep = -1, kDrop = -2;
                std::array<int, 256> map;
                map.fill(kKeep);
                for (std::size_t i = 0; i < from.size(); ++i) {
                    int& m = map[static_cast<unsigned char>(from[i])];
                    if (m == kKeep) {
                        m = i < to.size() ? static_cast<unsigned char>(to[i]) : kDrop;
                    }
                }
                std::string out;
                out.reserve(s.size());
                for (char c : s) {
                    int m = map[static_cast<unsigned char>(c)];
                    if (m == kKeep) {
                        out += c;
                    } else if (m != kDrop) {
                        out += static_cast<char>(m);
                    }
                }
                return out;
            }
            case Fn::Order: {
                Ref r = reference(*e.args[0]);
                if (r.key.size() < 2) {
                    throw MError(err::kFunction, "<FUNCTION>");
                }
                bool forward = true;
                if (e.args.size() > 1) {
                    std::string dir = numericValue(value(*e.args[1]));
                    if (dir != "1" && dir != "-1") {
                        throw MError(err::kFunction, "<FUNCTION>");
                    }
                    forward = dir == "1";
                }
                // Subscripts before the last must name a node.
                for (std::size_t i = 1; i + 1 < r.key.size(); ++i) {
                    if (r.key[i].empty()) {
                        throw MError(err::kSubscript, "<SUBSCRIPT>" + r.text());
                    }
                }
                return r.order(forward);
            }
            case Fn::Data:
                return std::to_string(reference(*e.args[0]).data());
            case Fn::Get: {
                Ref r = reference(*e.args[0]);
                r.requireSubscripts();
                auto v = r.get();
                if (v) {
                    return *v;
                }
                return e.args.size() > 1 ? value(*e.args[1]) : std::string();
            }
        }
        return {};
    }

    void job(const Command& c) {
        // The backup routine lives in the system namespace only.
        if (c.label != "BACKUP" || c.routine != "DBACK" || m_session.m_namespace != "%SYS") {
            throw MError(err::kNoRoutine, "<NOROUTINE>" + c.label + "^" + c.routine);
        }
        if (c.args.size() > 10) {
            throw MError(err::kParameter, "<PARAMETER>");
        }
        std::array<std::string, 10> args;
        for (std::size_t i = 0; i < c.args.size(); ++i) {
            args[i] = value(*c.args[i]);
        }
        if (!m_session.m_env.startBackup) {
            throw MError(err::kNoRoutine, "<NOROUTINE>BACKUP^DBACK");
        }
        m_session.m_env.startBackup(args);
    }

    // Host files are opened for reading only, and only regular ones: a FIFO or a device
    // would hold the server, which serves one request at a time, and a link could lead a
    // client anywhere. With a timeout a file that cannot be opened sets $TEST to 0 at once
    // (nothing is waited for); without one it is <NOTOPEN>.
    void open(const Command& c) {
        const std::string name = value(*c.args[0]);
        std::string mode;
        for (const auto& p : c.deviceParams) {
            mode += upper(value(*p));
        }
        if (c.timeout) {
            value(*c.timeout);
        }
        if (mode.find_first_of("WAN") != std::string::npos) {
            throw MError(err::kNotOpen,
                         "<NOTOPEN>" + name + " (files are opened for reading only)");
        }
        if (m_session.m_files.count(name)) {
            m_session.m_test = true;
            return;
        }
        auto file = std::make_unique<SequentialFile>();
        if (m_session.m_files.size() < kMaxOpenFiles && !name.empty()) {
            file->fd =
                ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
            struct stat st {};
            if (file->fd >= 0 && (::fstat(file->fd, &st) != 0 || !S_ISREG(st.st_mode))) {
                ::close(file->fd);
                file->fd = -1;
            }
        }
        m_session.m_test = file->fd >= 0;
        if (file->fd < 0) {
            if (!c.timeout) {
                throw MError(err::kNotOpen, "<NOTOPEN>" + name);
            }
            return;
        }
        m_session.m_files.emplace(name, std::move(file));
    }

    // One line of the file in use, without its LF (and a CR before it); a line longer than
    // a value may be comes in pieces. Past the last line: <ENDOFFILE>.
    void read(const Command& c) {
        const auto it = m_session.m_files.find(m_session.m_device);
        if (m_session.m_device.empty() || it == m_session.m_files.end()) {
            throw MError(err::kNotOpen, "<NOTOPEN>");
        }
        if (c.timeout) {
            value(*c.timeout);
        }
        SequentialFile& f = *it->second;
        std::size_t lf = f.buffered.find('\n');
        while (lf == std::string::npos && !f.atEnd && f.buffered.size() < kMaxStringLength) {
            char buf[65536];
            const ssize_t n = ::read(f.fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                throw MError(err::kDiskHard, "<DISKHARD>" + m_session.m_device);
            }
            if (n == 0) {
                f.atEnd = true;
                break;
            }
            const std::size_t before = f.buffered.size();
            f.buffered.append(buf, static_cast<std::size_t>(n));
            const std::size_t found = f.buffered.find('\n', before);
            lf = found;
        }
        if (f.buffered.empty() && f.atEnd) {
            throw MError(err::kEndOfFile, "<ENDOFFILE>");
        }
        std::string line;
        if (lf != std::string::npos && lf < kMaxStringLength) {
            line = f.buffered.substr(0, lf);
            f.buffered.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
        } else {
            const std::size_t take = std::min(f.buffered.size(), kMaxStringLength);
            line = f.buffered.substr(0, take);
            f.buffered.erase(0, take);
        }
        m_work += line.size();
        reference(*c.args[0]).set(std::move(line));
    }

    // The whole part of a text's numeric value; -1 for anything too large to be a format.
    static int integer(const std::string& text) {
        std::string n = numericValue(text);
        n = n.substr(0, n.find('.'));  // ".5" and "-.5" leave "" and "-": zero
        if (n.empty() || n == "-") {
            return 0;
        }
        if (n.size() > 6) {
            return -1;
        }
        return std::stoi(n);
    }

    static void checkLength(const std::string& s) {
        if (s.size() > kMaxStringLength) {
            throw MError(err::kMaxString, "<MAXSTRING>");
        }
    }

    Session& m_session;
    UndoLog* m_undo;
    std::size_t m_work = 0;
};

SequentialFile::~SequentialFile() {
    if (fd >= 0) {
        ::close(fd);
    }
}

LineResult Session::execute(std::string_view line, const std::array<std::string, 10>& params,
                            UndoLog* undo) {
    for (int i = 0; i < 10; ++i) {
        m_locals.set({"P" + std::to_string(i)}, params[static_cast<std::size_t>(i)]);
    }
    LineResult result;
    try {
        Evaluator eval(*this, undo);
        if (isCommandLine(line)) {
            std::vector<Command> cmds = Parser(tokenize(line)).commandLine();
            for (const auto& c : cmds) {
                eval.run(c);
            }
        } else {
            ExprPtr e = Parser(tokenize(line)).expressionLine();
            result.text = eval.value(*e);
        }
    } catch (const MError& e) {
        result.ok = false;
        result.code = e.code();
        result.text = e.what();
    } catch (const std::bad_alloc&) {
        result = {false, err::kStore, "<STORE>"};
    } catch (const std::exception& e) {
        // No line may take the server down, whatever slipped through the checks above.
        result = {false, err::kIllegalValue, std::string("<ILLEGAL VALUE>") + e.what()};
    }
    return result;
}

}  // namespace tvl::sim
