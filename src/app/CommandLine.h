#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tz::app {

// What the command line asks of the start-up: standalone, or hosted in a host window.
struct StartupPlan {
    // Exactly two arguments and a valid handle: embed into the host and count as launched by it.
    bool hosted = false;
    std::int32_t hostHandle = 0;
    std::string mode;  // first argument, lower-cased (ASCII), when hosted
    // Which job panels the top band shows; a single one fills the band.
    bool exportarPanel = true;
    bool importarPanel = true;
    // Text for the standard error box (without the final full stop) when the handle is no number.
    std::optional<std::string> error;
};

// Reads "$" + `digits` as a signed 32-bit number: one or more hexadecimal digits, no sign, no
// prefix, no spaces; values up to FFFFFFFF wrap to negative numbers as a 32-bit pattern.
std::optional<std::int32_t> parseHexHandle(std::string_view digits);

// The start-up decision for the arguments after the program name.
StartupPlan planStartup(const std::vector<std::string>& args);

// ASCII lower case, as the mode word is compared.
std::string asciiLower(std::string_view s);

}  // namespace tz::app
