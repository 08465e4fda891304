#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "core/messagetable.h"
#include "server/backuprun.h"
#include "server/controlsession.h"
#include "server/reporter.h"
#include "server/vismcontrol.h"

namespace tvl::test {

// An in-memory control that behaves as the real one is relied on to: writes block until
// done, failures set Error and fire OnError inside the write, an empty MServer keeps the
// last error. It records every connect, line and disconnect.
class FakeControl : public VismControl {
public:
    struct Answer {
        std::int32_t error = 0;
        std::string name;
        std::string result;
    };
    using Params = std::array<std::string, 10>;

    // Answers each line; by default every line succeeds with an empty value.
    std::function<Answer(const std::string& code, const Params& params)> script;
    // Answers each connect; by default it succeeds.
    std::function<Answer(const std::string& mserver)> connectScript;
    // "connect <text>", "exec <code>", "disconnect".
    std::vector<std::string> events;
    // The values sent with each line.
    std::vector<Params> sentParams;

    std::string mServer() const override { return m_mserver; }
    void setMServer(std::string_view text) override {
        m_mserver = std::string(text);
        m_connected = false;
        if (text.empty()) {
            events.push_back("disconnect");
            return;
        }
        events.push_back("connect " + m_mserver);
        const Answer a = connectScript ? connectScript(m_mserver) : Answer{};
        m_connected = a.error == 0;
        settle(a, false);
    }
    std::string code() const override { return m_code; }
    void setCode(std::string_view line) override { m_code = std::string(line); }
    std::int16_t execFlag() const override { return m_flag; }
    void setExecFlag(std::int16_t flag) override {
        m_flag = flag;
        if (flag != 1) {
            return;
        }
        events.push_back("exec " + m_code);
        sentParams.push_back(m_params);
        if (!m_connected) {
            settle({1000, "<COMMUNICATION> not connected", ""}, false);
            return;
        }
        settle(script ? script(m_code, m_params) : Answer{}, true);
    }
    std::int32_t error() const override { return m_error; }
    std::string errorName() const override { return m_errorName; }
    std::string p(int i) const override { return i >= 0 && i < 10 ? m_params[i] : ""; }
    void setP(int i, std::string_view v) override {
        if (i >= 0 && i < 10) {
            m_params[i] = std::string(v);
        }
    }
    std::string result() const override { return m_result; }
    void setOnError(ErrorHandler h) override { m_onError = std::move(h); }

    std::vector<std::string> codeLines() const {
        std::vector<std::string> out;
        for (const auto& e : events) {
            if (e.rfind("exec ", 0) == 0) {
                out.push_back(e.substr(5));
            }
        }
        return out;
    }

private:
    void settle(const Answer& a, bool setsResult) {
        m_error = a.error;
        m_errorName = a.error == 0 ? "" : a.name;
        if (a.error == 0) {
            if (setsResult) {
                m_result = a.result;
            }
            return;
        }
        if (m_onError) {
            m_onError();
        }
    }

    std::string m_mserver, m_code, m_errorName, m_result;
    Params m_params;
    std::int16_t m_flag = 0;
    std::int32_t m_error = 0;
    bool m_connected = false;
    ErrorHandler m_onError;
};

// A server whose clock ($h: 2026-12-07 15:05:07) and date answer as a real one's would;
// every other line succeeds with an empty value.
inline FakeControl::Answer serverAnswer(const std::string& code, const FakeControl::Params&) {
    if (code == "$h") {
        return {0, "", "67911,54307"};
    }
    if (code == kDateLine) {
        return {0, "", "2026-12-07"};
    }
    return {};
}

// Records what the user would have seen: "status: ...", "error: ...", "info: ...".
class RecordingReporter : public Reporter {
public:
    std::vector<std::string> seen;
    std::function<void()> onBox;  // runs while a box is "open"

    void showStatus(const std::string& t) override { seen.push_back("status: " + t); }
    void showError(const std::string& t) override {
        seen.push_back("error: " + t);
        if (onBox) {
            onBox();
        }
    }
    void showInfo(const std::string& t) override {
        seen.push_back("info: " + t);
        if (onBox) {
            onBox();
        }
    }
};

// A fake control whose failures go through the error handler to a recording reporter,
// with the message table the test gives.
struct BoundControl {
    explicit BoundControl(const std::string& messageTable) {
        messages.setText(messageTable);
        ctx.reporter = &reporter;
        ctx.messages = &messages;
        bindErrorHandler(control, ctx);
    }
    BoundControl(const BoundControl&) = delete;
    BoundControl& operator=(const BoundControl&) = delete;

    MessageTable messages;
    RecordingReporter reporter;
    ControlContext ctx;
    FakeControl control;
};

}  // namespace tvl::test
