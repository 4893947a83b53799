#include "app/CommandLine.h"

namespace tz::app {

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::optional<std::int32_t> parseHexHandle(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * 16 + static_cast<std::uint64_t>(d);
        if (value > 0xFFFFFFFFull) return std::nullopt;  // does not fit in 32 bits
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

StartupPlan planStartup(const std::vector<std::string>& args) {
    StartupPlan plan;
    if (args.size() != 2) return plan;
    const auto handle = parseHexHandle(args[1]);
    if (!handle) {
        plan.error = "'$" + args[1] + "' no es un valor entero válido";
        return plan;
    }
    plan.hosted = true;
    plan.hostHandle = *handle;
    plan.mode = asciiLower(args[0]);
    if (plan.mode == "importar") plan.exportarPanel = false;
    if (plan.mode == "exportar") plan.importarPanel = false;
    return plan;
}

}  // namespace tz::app
