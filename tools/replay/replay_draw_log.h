// The recording driver's calls of chosen frames, written as text so that a
// benchmark can issue the very same drawing straight to OpenGL.
//
// One block per frame: a line "frame N", then one line per call as the
// recorder prints it ("SetBlend 4", "SetColor 255 255 255" ...). DrawFrame
// and DrawPixmap lines end with "@T W H": T numbers the picture drawn (the
// same number for the same picture all through the run) and W x H is its
// size in pixels.
#pragma once

#include <map>
#include <string>

namespace kelvora {
class TRecordingRast2DDriver;
class TPixmap;
}  // namespace kelvora
using namespace kelvora;

class replay_draw_log {
public:
    // Appends the calls logged since the recorder was last cleared.
    void append(const TRecordingRast2DDriver& recorder, int frame, const std::string& path);

private:
    std::map<const TPixmap*, int> picture_ids_;
};
