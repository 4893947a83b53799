#pragma once
#include <stdexcept>
#include <string>
#include <system_error>

namespace tz::tables {

// The one error type of the table engine. Its text is what the standard error box shows
// (the box adds the final full stop), so it names the table or file and the problem, in Spanish.
class EngineError : public std::runtime_error {
  public:
    // `errorSistema`: the failure of the system call behind it, when there was one (empty
    // otherwise), so that a caller can tell the reason again naming the file the user knows.
    explicit EngineError(const std::string& what, std::error_code errorSistema = {})
        : std::runtime_error(what), errorSistema_(errorSistema) {}
    const std::error_code& errorSistema() const { return errorSistema_; }

  private:
    std::error_code errorSistema_;
};

}  // namespace tz::tables
