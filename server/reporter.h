#pragma once

#include <string>

namespace tvl {

// What the server operations tell the user. The desktop program shows the status text in
// the second panel of its status bar and the two boxes as message boxes titled "TVL";
// the command-line tool writes them out.
class Reporter {
public:
    virtual ~Reporter() = default;
    // The status panel's text, replacing the one before.
    virtual void showStatus(const std::string& text) = 0;
    // A box with the error icon; returns when it is closed.
    virtual void showError(const std::string& text) = 0;
    // A plain box with an OK button; returns when it is closed.
    virtual void showInfo(const std::string& text) = 0;
};

}  // namespace tvl
