#pragma once

#include "params/catalogue.h"

#include <stdexcept>
#include <string>
#include <string_view>

namespace zef::test {

// A catalogue row by control name; a misspelt name fails the test instead of crashing it.
inline const EditRow& Edit(std::string_view name) {
    const EditRow* row = FindEdit(name);
    if (row == nullptr)
        throw std::invalid_argument(std::string(name));
    return *row;
}

inline const ReadoutRow& Readout(std::string_view name) {
    const ReadoutRow* row = FindReadout(name);
    if (row == nullptr)
        throw std::invalid_argument(std::string(name));
    return *row;
}

} // namespace zef::test
