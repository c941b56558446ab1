#include "CliArgs.h"

#include "HexFormat.h"

#include <cstring>

namespace {

// Reads the value of "--opt value" or "--opt=value" at argv[index].
bool TakeValue(int argc, const char* const* argv, int& index, const std::string& name,
               const std::string& arg, std::string& value, std::string& error)
{
    const size_t equals = arg.find('=');
    if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
        ++index;
        return true;
    }
    if (index + 1 >= argc || !argv[index + 1]) {
        error = name + " needs a value";
        return false;
    }
    value = argv[index + 1];
    index += 2;
    return true;
}

bool ParseId(const std::string& name, const std::string& value, uint16_t& id, std::string& error)
{
    uint32_t number = 0;
    if (!ParseHexArg(value, 0xFFFF, number)) {
        error = name + ": '" + value + "' is not a hexadecimal number from 0 to FFFF";
        return false;
    }
    id = static_cast<uint16_t>(number);
    return true;
}

} // namespace

bool ParseGlobalOptions(int argc, const char* const* argv, CliCommandLine& line, std::string& error)
{
    CliGlobalOptions& g = line.Global;
    bool optionsEnded = false;
    int i = 1;
    while (i < argc) {
        if (!argv[i]) {
            ++i;
            continue;
        }
        const std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            line.Rest.push_back(arg);
            ++i;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            line.Rest.push_back(arg);
            ++i;
            continue;
        }
        const std::string name = arg.substr(0, arg.find('='));
        const bool hasInlineValue = name.size() != arg.size();
        bool flag = true;
        bool* target = nullptr;
        if (name == "-v" || name == "--verbose")
            target = &g.Verbose;
        else if (name == "--trace")
            target = &g.Trace;
        else if (name == "--json")
            target = &g.Json;
        else if (name == "-h" || name == "--help")
            target = &g.Help;
        else if (name == "--version")
            target = &g.Version;
        else
            flag = false;
        if (flag) {
            if (hasInlineValue) {
                error = name + " takes no value";
                return false;
            }
            *target = true;
            ++i;
            continue;
        }
        if (name == "--vid" || name == "--pid" || name == "--path") {
            std::string value;
            if (!TakeValue(argc, argv, i, name, arg, value, error))
                return false;
            if (name == "--path") {
                if (value.empty()) {
                    error = "--path needs an interface path";
                    return false;
                }
                g.Path = value;
            } else if (!ParseId(name, value, name == "--vid" ? g.VendorId : g.ProductId, error)) {
                return false;
            }
            continue;
        }
        const SimOptionParse sim = ParseSimOption(argc, argv, i, g.Sim, error);
        if (sim == SimOptionParse::Error)
            return false;
        if (sim == SimOptionParse::Consumed)
            continue;
        // Not ours: an option of the subcommand.
        line.Rest.push_back(arg);
        ++i;
    }
    return true;
}

bool CliCommandArgs::Has(const char* name) const
{
    for (const auto& option : Options)
        if (option.first == name)
            return true;
    return false;
}

std::string CliCommandArgs::Value(const char* name) const
{
    for (const auto& option : Options)
        if (option.first == name)
            return option.second;
    return std::string();
}

bool ParseCommandArgs(const std::vector<std::string>& words, const CliOptionInfo* known,
                      CliCommandArgs& out, std::string& error)
{
    bool optionsEnded = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            out.Args.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        const size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const CliOptionInfo* option = nullptr;
        for (const CliOptionInfo* o = known; o && o->Name; ++o)
            if (name == o->Name)
                option = o;
        if (!option) {
            error = "unknown option " + name;
            return false;
        }
        if (!option->TakesValue) {
            if (equals != std::string::npos) {
                error = name + " takes no value";
                return false;
            }
            out.Options.emplace_back(name, std::string());
            continue;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = word.substr(equals + 1);
        } else if (i + 1 < words.size() && words[i + 1] != "--") {
            value = words[++i];
        }
        if (value.empty()) {
            error = name + " needs a value";
            return false;
        }
        out.Options.emplace_back(name, value);
    }
    return true;
}

bool ParseHexArg(const std::string& text, uint32_t max, uint32_t& value)
{
    uint32_t number = 0;
    if (!ParseStrictNumber(text, 16, number) || number > max)
        return false;
    value = number;
    return true;
}

bool ParseDecArg(const std::string& text, uint32_t max, uint32_t& value)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return ParseHexArg(text, max, value);
    uint32_t number = 0;
    if (!ParseStrictNumber(text, 10, number) || number > max)
        return false;
    value = number;
    return true;
}
