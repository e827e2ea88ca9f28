#pragma once

#include <stdexcept>
#include <string>

namespace sorvik {

/// The base of every failure sorvik reports; `what()` is the text the user sees.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message)
        : std::runtime_error(message)
    {
    }
};

} // namespace sorvik
