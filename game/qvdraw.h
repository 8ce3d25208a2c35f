// Stereo drawing: every primitive of the scene goes through here and is
// drawn once flat, or twice as a coloured, shifted pair for each eye when a
// 3D mode is on.
#pragma once

#include <memory>
#include <string>

namespace kelvora {
class TImage;
}  // namespace kelvora
using namespace kelvora;

struct qvdraw_tag {
    int leye_r = 0, leye_g = 0, leye_b = 0;
    int reye_r = 0, reye_g = 0, reye_b = 0;
    float txt_xs = 0.0f;
    float txt_ys = 0.0f;

    // Eye colours: left red, green, blue, then right.
    int slc(int lr, int lg, int lb, int rr, int rg, int rb);
    // Blend, alpha and transform for the next draws; remembers the scale for centring text.
    int sip(int blend, float alpha, float rot, float xs, float ys);
    // One frame of an image at stereo depth offs. A non-zero angle turns the
    // two eye copies in opposite directions and leaves the rotation truncated.
    int i3d(const std::shared_ptr<TImage>& image, float x, float y, int frame, float offs, float angle, int passes);
    // A text at stereo depth offs; centred on (x, y) at the last sip scale when centre is set.
    int t3d(const std::string& text, float x, float y, float offs, int centre);
};
