#pragma once
// The program's general failure kind: an exception carrying a message text. A step that
// wraps a failure puts its own fixed text before the caught message; each step turns
// failures into its one visible outcome at its own edge.
#include <stdexcept>
#include <string>

class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& message) : std::runtime_error(message) {}
};
