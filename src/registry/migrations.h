#pragma once

#include <span>
#include <string_view>

namespace zef {

// One step of the registry's schema. Statements are separated by ";"; where the two engines
// need different words (types, identity columns) each has its own text, otherwise both are
// the same.
struct Migration {
    int version;
    std::string_view summary;
    std::string_view sqlite;
    std::string_view postgres;
};

[[nodiscard]] std::span<const Migration> Migrations();
[[nodiscard]] int CurrentSchemaVersion();

} // namespace zef
