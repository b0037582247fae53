#pragma once

namespace quorvel {

class World;

// The program's one World (10 long, 10 wide, at the origin, heading 0), built on first use:
// its network draws the first numbers of the random sequence then.
World& programWorld();

} // namespace quorvel
