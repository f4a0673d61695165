// --carriers FILE: the simulated carriers a description file describes, used
// for this run. Only the demonstration host (nccore-sim, built with
// -DNCCORE_SIMULATORS=ON) has the simulators; the shipped host refuses the
// flag and says so.
#pragma once
#include <string>

namespace nc::host {

// False with `error` set when the host has no simulators or the file is not
// a readable regular file of a sane size or does not describe devices.
bool UseSimulatedCarriers(const std::string& path, std::string* error);

}  // namespace nc::host
