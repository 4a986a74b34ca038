#pragma once
// One run-time error type for the whole bench: a number and a description,
// as the error box and the system log show them.
#include <stdexcept>
#include <string>

namespace platform {

class BenchError : public std::runtime_error {
public:
    BenchError(int number, std::string description)
        : std::runtime_error(description), number_(number), description_(std::move(description)) {}
    int Number() const noexcept { return number_; }
    const std::string& Description() const noexcept { return description_; }

private:
    int number_;
    std::string description_;
};

// Error numbers the bench raises itself (kept apart from system errno values).
namespace err {
constexpr int TypeMismatch = 13;      // strict number reading of a non-number
constexpr int Overflow = 6;           // rounding outside the integer range
constexpr int BadArgument = 5;        // invalid procedure call or argument
constexpr int FileNotFound = 53;
constexpr int PathNotFound = 76;
constexpr int FileIo = 57;            // device I/O error
constexpr int PortOpen = 8005;        // port already open
constexpr int PortNotFound = 8002;    // invalid port number
constexpr int PortSetup = 8015;       // could not set the port's settings
}  // namespace err

}  // namespace platform
