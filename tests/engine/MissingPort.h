#pragma once
// A serial port that leads to no device, for the tests of what the driver does when a port does not open.
// Platform backend: on Linux the port's path in the environment names a file that does not exist; on Windows
// the test's system has no such port.

#include <string>

// Makes port `port` lead nowhere for the rest of the test program.
void LeadPortNowhere(int port);
// The driver's message for the failed opening of that port.
std::string MissingPortMessage(int port);
