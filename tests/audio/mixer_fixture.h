// A running mixer on a manual output and the virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "audio/manualaudiodevice.h"
#include "audio/mixer.h"
#include "kelvora/system/clock.h"

using namespace kelvora;

class MixerFixture : public ::testing::Test {
protected:
    static constexpr int FRAMES = 512;  // per pulled fragment

    void SetUp() override
    {
        clock_ = std::make_shared<TVirtualClock>(100000);
        SetClock(clock_);
        auto device = std::make_unique<softmix::manualdevice>();
        device_ = device.get();
        ASSERT_EQ(MixerInit(std::move(device)), 0);
    }

    void TearDown() override
    {
        for (MixerSound* s : sounds_) MixerFreeSound(s);
        MixerClose();
        SetClock(nullptr);
    }

    // Interleaved output of the next fragments.
    std::vector<int16_t> Pull(int fragments = 1)
    {
        std::vector<int16_t> out(size_t(FRAMES) * 2 * fragments);
        for (int f = 0; f < fragments; ++f) device_->pull(out.data() + size_t(FRAMES) * 2 * f);
        return out;
    }

    MixerSound* Sound(const std::vector<int16_t>& values, int channels = 1, int hertz = 44100, int loop = 0)
    {
        MixerSound* s = MixerCreateSound(int(values.size()) / channels, 16, channels, hertz, values.data(), loop);
        if (s) sounds_.push_back(s);
        return s;
    }

    // Starts a voice and lets the start latency pass, so it sounds from the
    // first frame of the next pull.
    int PlayNow(MixerSound* s, int handle = 0, int paused = 0)
    {
        const int h = MixerPlaySound(s, paused, handle);
        clock_->Advance(20);
        return h;
    }

    static int L(const std::vector<int16_t>& out, int frame) { return out[size_t(2 * frame)]; }
    static int R(const std::vector<int16_t>& out, int frame) { return out[size_t(2 * frame + 1)]; }

    std::shared_ptr<TVirtualClock> clock_;
    softmix::manualdevice* device_ = nullptr;
    std::vector<MixerSound*> sounds_;
};
