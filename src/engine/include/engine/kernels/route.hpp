// The route a process takes through the readers of whole groups: which
// instruction sets they may use. Each route includes those before it. plain
// is the decoder and the encoder alone, with no reader and no vector
// instructions at all: the readers a route lacks leave their groups to the
// decoder. The route is chosen once per process.
#pragma once

#include <cstdint>
#include <string>

namespace engine {

// avx2 also takes BMI2, whose PEXT the readers of runs use.
enum class Route : std::uint8_t { plain, sse2, ssse3, avx2 };

const char* route_name(Route route);
// Whether this processor has the route's instructions.
bool route_runs_here(Route route);
// The fastest route here: avx2 only where PEXT is done in hardware.
Route best_route();

// The route a value of MIRELO_KERNEL asks for: "best", empty or unset (null)
// mean best_route(); false, with `error` set, for any other value that is not
// a route this processor runs.
bool route_named(const char* value, Route& route, std::string& error);

// The route of this process: the one chosen at start-up, else the best.
Route active_route();
void choose_route(Route route);

}  // namespace engine
