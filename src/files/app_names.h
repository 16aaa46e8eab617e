#pragma once

namespace zef {

// Who the program is to the desktop: the per-user settings and data folders are found by these
// names. The window and the command-line tool set the same ones, so both find the same archive,
// the same remembered ports and the same log folder.
inline constexpr char kOrganizationName[] = "ZEF";
inline constexpr char kApplicationName[] = "zef-service";

// Sets the organisation and application names. Needs no application object.
void UseApplicationNames();

} // namespace zef
