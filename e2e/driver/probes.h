// Probes of the prefix itself rather than of the program's window: how
// processor faults reach a Windows program, what Wine's device code hands
// back for a device, and the system's own reading of an image's checksum.
// Facts on stdout, one a line; a failure ends the driver through Fail.
#pragma once

#include <string>

namespace e2edriver {

// Reports why on stderr and ends the driver with status 1.
[[noreturn]] void Fail(const std::string& why);

void PrintFaults();
void ProbeDevice(const char* path, const std::string& hex, bool dataIn, unsigned long length);
void PrintChecksum(const char* path);

}  // namespace e2edriver
