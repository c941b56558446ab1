// The command-line options that put the front ends on the simulated device
// instead of hardware, and the one call that installs it.
#pragma once

#include <cstdint>
#include <string>

class CSimDevice;

struct SimOptions
{
    bool Enabled = false;        // --sim, or any other --sim-... option
    uint32_t ChipRow = 42;       // --sim-chip N (0..43)
    std::string FlashFile;       // --sim-flash FILE: the flash persists in this file
    uint32_t FailAt = 0;         // --sim-fail-at K: refuse the K-th HID request
    uint32_t VanishAfter = 0;    // --sim-vanish-after K: unplug after K requests
    uint32_t Others = 3;         // --sim-others N: unrelated interfaces listed first
    uint32_t LatencyUs = 0;      // --sim-latency-us N: time each request takes
};

enum class SimOptionParse
{
    NotSimOption,   // argv[index] is none of ours; index unchanged
    Consumed,       // taken; index moved past the option and its value
    Error,          // one of ours but unusable; error says why, index unchanged
};

// Tries to take one option at argv[index]. Values come as "--opt value" or
// "--opt=value".
SimOptionParse ParseSimOption(int argc, const char* const* argv, int& index, SimOptions& options,
                              std::string& error);

// One line per option, for the front ends' usage text.
const char* SimOptionsHelp();

// Builds the simulated machine (options.Others unrelated interfaces, then the
// device) and installs it as the HID backend of the process. The objects live
// until the process ends. Returns the device, or null with the reason (a flash
// file that cannot be used, say) in error.
CSimDevice* InstallSimulatedDevices(const SimOptions& options, std::string& error);
// Goes back to the hardware backend; the simulated objects stay alive.
void RemoveSimulatedDevices();
