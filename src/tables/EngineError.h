#pragma once
#include <stdexcept>
#include <string>

namespace tz::tables {

// The one error type of the table engine. Its text is what the standard error box shows
// (the box adds the final full stop), so it names the table or file and the problem, in Spanish.
class EngineError : public std::runtime_error {
  public:
    explicit EngineError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace tz::tables
