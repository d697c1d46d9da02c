#pragma once

namespace Mod_Main {

// Reads and checks the settings file, then watches for ever. The first
// configuration error is shown and ends the program.
[[noreturn]] void Main();

}  // namespace Mod_Main
