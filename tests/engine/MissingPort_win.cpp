#include "engine/MissingPort.h"

void LeadPortNowhere(int /*port*/) {}

std::string MissingPortMessage(int /*port*/) {
    return "Порт недоступен";
}
