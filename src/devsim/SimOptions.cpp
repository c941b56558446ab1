#include "SimOptions.h"

#include "HexFormat.h"
#include "HidSimBackend.h"
#include "SimDevice.h"
#include "SimOtherInterface.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace {

enum class Field
{
    None,
    ChipRow,
    FlashFile,
    FailAt,
    VanishAfter,
    Others,
    LatencyUs,
};

struct OptionRow
{
    const char* Name;
    Field Target;
    uint32_t Min;
    uint32_t Max;
};

constexpr uint32_t kMaxOthers = 32;

const OptionRow kOptions[] = {
    {"--sim", Field::None, 0, 0},
    {"--sim-chip", Field::ChipRow, 0, kSimChipRows - 1},
    {"--sim-flash", Field::FlashFile, 0, 0},
    {"--sim-fail-at", Field::FailAt, 1, 0xFFFFFFFF},
    {"--sim-vanish-after", Field::VanishAfter, 1, 0xFFFFFFFF},
    {"--sim-others", Field::Others, 0, kMaxOthers},
    {"--sim-latency-us", Field::LatencyUs, 0, 10000000},
};

uint32_t* NumberField(SimOptions& options, Field field)
{
    switch (field) {
    case Field::ChipRow: return &options.ChipRow;
    case Field::FailAt: return &options.FailAt;
    case Field::VanishAfter: return &options.VanishAfter;
    case Field::Others: return &options.Others;
    case Field::LatencyUs: return &options.LatencyUs;
    default: return nullptr;
    }
}

// Every simulated machine installed in this process, kept until it ends.
// At exit the HID layer is pointed away from them before they go.
struct SimMachines
{
    std::mutex Mutex;
    std::vector<std::unique_ptr<CHidSimBackend>> Backends;

    ~SimMachines()
    {
        for (const auto& backend : Backends) {
            if (GetHidBackend() == backend.get())
                SetHidBackend(nullptr);
        }
    }
};

SimMachines& Machines()
{
    static SimMachines machines;
    return machines;
}

} // namespace

SimOptionParse ParseSimOption(int argc, const char* const* argv, int& index, SimOptions& options,
                              std::string& error)
{
    if (index < 0 || index >= argc || !argv[index])
        return SimOptionParse::NotSimOption;
    const std::string arg = argv[index];
    if (arg.rfind("--sim", 0) != 0)
        return SimOptionParse::NotSimOption;

    const size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const OptionRow* row = nullptr;
    for (const OptionRow& r : kOptions) {
        if (name == r.Name)
            row = &r;
    }
    if (!row) {
        if (name.size() > 5 && name[5] != '-')
            return SimOptionParse::NotSimOption;   // --simple... belongs to someone else
        error = "unknown option " + name;
        return SimOptionParse::Error;
    }

    if (row->Target == Field::None) {
        if (equals != std::string::npos) {
            error = name + " takes no value";
            return SimOptionParse::Error;
        }
        options.Enabled = true;
        ++index;
        return SimOptionParse::Consumed;
    }

    std::string value;
    int used = 1;
    if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
    } else if (index + 1 < argc && argv[index + 1] && std::strncmp(argv[index + 1], "--", 2) != 0) {
        value = argv[index + 1];
        used = 2;
    } else {
        error = name + " needs a value";
        return SimOptionParse::Error;
    }

    if (row->Target == Field::FlashFile) {
        if (value.empty()) {
            error = name + " needs a file name";
            return SimOptionParse::Error;
        }
        options.FlashFile = value;
    } else {
        uint32_t number = 0;
        if (!ParseStrictNumber(value, 10, number) || number < row->Min || number > row->Max) {
            error = name + ": '" + value + "' is not a number from " + std::to_string(row->Min) +
                    " to " + std::to_string(row->Max);
            return SimOptionParse::Error;
        }
        *NumberField(options, row->Target) = number;
    }
    options.Enabled = true;
    index += used;
    return SimOptionParse::Consumed;
}

const char* SimOptionsHelp()
{
    return "  --sim                  use a simulated device instead of hardware\n"
           "  --sim-chip N           flash chip row of the simulated device (0..43, default 42)\n"
           "  --sim-flash FILE       keep the simulated flash in FILE (created if missing)\n"
           "  --sim-fail-at K        the simulated device refuses its K-th request\n"
           "  --sim-vanish-after K   the simulated device is unplugged after K requests\n"
           "  --sim-others N         unrelated HID interfaces listed before it (default 3)\n"
           "  --sim-latency-us N     time the simulated device takes per request\n";
}

CSimDevice* InstallSimulatedDevices(const SimOptions& options, std::string& error)
{
    SimDeviceOptions deviceOptions;
    deviceOptions.ChipRow = options.ChipRow;
    deviceOptions.FlashFile = options.FlashFile;
    deviceOptions.LatencyUs = options.LatencyUs;
    deviceOptions.Faults.FailAtRequest = options.FailAt;
    deviceOptions.Faults.VanishAfterRequests = options.VanishAfter;
    std::unique_ptr<CSimDevice> device = CSimDevice::Create(deviceOptions, error);
    if (!device)
        return nullptr;
    CSimDevice* result = device.get();

    auto backend = std::make_unique<CHidSimBackend>();
    static const SimOtherKind kKinds[] = {SimOtherKind::Keyboard, SimOtherKind::Mouse,
                                          SimOtherKind::ConsumerControl};
    for (uint32_t i = 0; i < options.Others && i < kMaxOthers; ++i) {
        const SimOtherKind kind = kKinds[i % 3];
        HidAttributes attributes = CSimOtherInterface::DefaultAttributes(kind);
        attributes.ProductID = static_cast<uint16_t>(attributes.ProductID + i / 3);
        backend->AddNode(std::make_shared<CSimOtherInterface>(kind, attributes));
    }
    backend->AddNode(std::shared_ptr<CSimDevice>(std::move(device)));

    SimMachines& machines = Machines();
    std::lock_guard<std::mutex> lock(machines.Mutex);
    SetHidBackend(backend.get());
    machines.Backends.push_back(std::move(backend));
    return result;
}

void RemoveSimulatedDevices()
{
    SimMachines& machines = Machines();
    std::lock_guard<std::mutex> lock(machines.Mutex);
    SetHidBackend(nullptr);
}
