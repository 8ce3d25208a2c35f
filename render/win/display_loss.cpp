#include "render/gl/display_loss.h"

namespace kelvora {

// A Windows desktop does not go away under a running program the way an X
// server can: nothing to watch.
void WatchForDisplayLoss() {}

}  // namespace kelvora
