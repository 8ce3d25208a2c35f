#include "game/cues.h"

#include "game/engine.h"
#include "game/globals.h"

using namespace kelvora;

void play_sfx(const std::shared_ptr<TSound>& sound)
{
    if (!sound)
        return;
    auto channel = CueSound(sound, nullptr);
    if (!channel)
        return;
    SetChannelVolume(channel, sound_volume);
    ResumeChannel(channel);
}

void play_music(int track)
{
    const char* file = track == 1 ? "data\\moontitle.ogg" : "data\\kelvora.ogg";
    auto sound = LoadSound(file, 1);
    if (!sound)
        return;  // the old, stopped channel stays; stopping it again is harmless
    auto channel = CueSound(sound, nullptr);
    if (!channel)
        return;
    music_channel = channel;
    SetChannelVolume(music_channel, music_volume);
    ResumeChannel(music_channel);
}

void step_volume(int& step, float& volume)
{
    step += 1;
    volume += 0.1f;
    if (step > 10) {
        step = 0;
        volume = 0.0f;
    }
}
