#pragma once
#include <stdexcept>
#include <string>

namespace tz::tables {

// The one error type of the table engine. Its text is what the standard error box shows
// (the box adds the final full stop), so it names the table or file and the problem, in Spanish.
class EngineError : public std::runtime_error {
  public:
    // `errorSistema`: the errno of the system call that failed, when one did (0 otherwise), so
    // that a caller can tell the reason again naming the file the user knows.
    explicit EngineError(const std::string& what, int errorSistema = 0)
        : std::runtime_error(what), errorSistema_(errorSistema) {}
    int errorSistema() const { return errorSistema_; }

  private:
    int errorSistema_ = 0;
};

}  // namespace tz::tables
