#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tvl {

// The control through which every server operation goes. The program writes texts into
// its properties and reads them back; what it relies on:
//  - a write of MServer or ExecFlag returns only when the control has connected or run the
//    line;
//  - a failure leaves Error nonzero and fires OnError before that write returns;
//  - a namespace switch holds for the following lines until MServer is written again;
//  - P0..P9 named in a code line stand for the current values of P0..P9.
//
// Writing a non-empty MServer connects; writing it empty closes the connection and leaves
// Error, ErrorName and Result as they were, so a caller can still see, after
// disconnecting, that the last line failed.
//
// Texts are bytes: the control carries them as they are.
class VismControl {
public:
    using ErrorHandler = std::function<void()>;

    virtual ~VismControl() = default;

    virtual std::string mServer() const = 0;
    virtual void setMServer(std::string_view text) = 0;

    virtual std::string code() const = 0;
    virtual void setCode(std::string_view line) = 0;

    // Writing 1 runs Code with the current P0..P9; other values are only kept.
    virtual std::int16_t execFlag() const = 0;
    virtual void setExecFlag(std::int16_t flag) = 0;

    // 0 after a success.
    virtual std::int32_t error() const = 0;
    virtual std::string errorName() const = 0;

    // P0..P9 by number; a value never written is empty. Numbers outside 0..9 read as empty
    // and are ignored on write.
    virtual std::string p(int index) const = 0;
    virtual void setP(int index, std::string_view value) = 0;

    // The value of the last expression run.
    virtual std::string result() const = 0;

    // OnError: called on the caller's thread, inside the write that failed.
    virtual void setOnError(ErrorHandler handler) = 0;
};

// Error number of a session that ended after its line had run: the peer answered the line
// "OK" and then sent bytes nobody asked for, so the control closed the connection. Result
// holds the line's value, and the line counts as done; the next line finds no connection.
// Negative, so no error number of a server (always positive) can be taken for it.
inline constexpr std::int32_t kSessionEndedAfterReply = -1;

// The control library exports one factory with C linkage, and its interface version so a
// library from another build of the program is refused instead of misused.
inline constexpr int kVismControlAbiVersion = 1;
inline constexpr const char* kVismFactorySymbol = "tvl_vism_create";
inline constexpr const char* kVismAbiSymbol = "tvl_vism_abi_version";
using VismFactoryFn = VismControl* (*)();
using VismAbiFn = int (*)();

// The connection text for a server address and port, as the control expects it:
// CN_IPTCP:A[N]:A[N].
inline std::string connectionText(std::string_view ip, std::string_view port) {
    std::string one;
    one.append(ip).append("[").append(port).append("]");
    return "CN_IPTCP:" + one + ":" + one;
}

// The control's operations as the server code uses them; each write blocks until done.
inline void connectServer(VismControl& control, std::string_view ip, std::string_view port) {
    control.setMServer(connectionText(ip, port));
}
inline void disconnectServer(VismControl& control) {
    control.setMServer("");
}
inline void runCode(VismControl& control, std::string_view line) {
    control.setCode(line);
    control.setExecFlag(1);
}
inline void runCodeWithP0(VismControl& control, std::string_view line, std::string_view p0) {
    control.setCode(line);
    control.setP(0, p0);
    control.setExecFlag(1);
}
// Runs an expression and returns Result.
inline std::string evaluate(VismControl& control, std::string_view expression) {
    runCode(control, expression);
    return control.result();
}
// True when the last write failed.
inline bool failed(const VismControl& control) {
    return control.error() != 0;
}

}  // namespace tvl
