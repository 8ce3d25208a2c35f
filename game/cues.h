// Sound effects and music. A sound that failed to load plays nothing.
#pragma once

#include <memory>

namespace kelvora {
class TSound;
}  // namespace kelvora
using namespace kelvora;

// Plays an effect on a channel of its own at sound_volume.
void play_sfx(const std::shared_ptr<TSound>& sound);
// Starts track 1 (title) or 2 (play) from its beginning, looping, on music_channel.
void play_music(int track);

// One more volume step, wrapping from "Max" to "Off".
void step_volume(int& step, float& volume);
