#include <cstdlib>
#include <filesystem>

#include "engine/MissingPort.h"

namespace {

std::string MissingPath() {
    return std::filesystem::temp_directory_path() / "tessel-no-such-port";
}

std::string Variable(int port) {
    return "TESSEL_COM" + std::to_string(port);
}

}  // namespace

void LeadPortNowhere(int port) {
    ::setenv(Variable(port).c_str(), MissingPath().c_str(), 1);
}

std::string MissingPortMessage(int port) {
    return "Порт недоступен: COM" + std::to_string(port) + " = " + MissingPath() + " (" + Variable(port) +
           ")";
}
