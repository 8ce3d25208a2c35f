// Recovery from a context reset is hard to reach on purpose: no driver here
// can be made to reset. Tests make the next Flip take the very path a
// reported reset takes. Internal to the desktop backend and its tests.
#pragma once

namespace kelvora {

void SimulateGLContextReset();

}  // namespace kelvora
