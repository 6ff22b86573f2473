// What the desktop mode tells the user, on every platform and in every fallback.
#pragma once

namespace MorvaneGUI {

inline constexpr const char* kCaption = "Morvane Lab";
inline constexpr const char* kText =
    "Morvane Lab - PBR texture baker\n"
    "Run it from a console with --help to list the bake commands.";

}  // namespace MorvaneGUI
