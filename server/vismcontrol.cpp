#include "vismcontrol.h"

namespace tvl {

std::string connectionText(std::string_view ip, std::string_view port) {
    std::string one;
    one.append(ip).append("[").append(port).append("]");
    return "CN_IPTCP:" + one + ":" + one;
}

void connectServer(VismControl& control, std::string_view ip, std::string_view port) {
    control.setMServer(connectionText(ip, port));
}

void disconnectServer(VismControl& control) { control.setMServer(""); }

void runCode(VismControl& control, std::string_view line) {
    control.setCode(line);
    control.setExecFlag(1);
}

void runCodeWithP0(VismControl& control, std::string_view line, std::string_view p0) {
    control.setCode(line);
    control.setP(0, p0);
    control.setExecFlag(1);
}

std::string evaluate(VismControl& control, std::string_view expression) {
    runCode(control, expression);
    return control.result();
}

}  // namespace tvl
