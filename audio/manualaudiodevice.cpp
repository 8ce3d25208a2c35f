#include "audio/manualaudiodevice.h"

#include <atomic>

namespace kelvora {

namespace {
std::atomic<int> use_manual{0};
std::atomic<softmix::manualdevice*> running{nullptr};
}  // namespace

namespace softmix {

int manualdevice::init()
{
    if (fragment_values_ < 2) return -1;
    mixer_ = std::make_unique<mixer>(fragment_values_);
    running.store(this);
    return 0;
}

void manualdevice::close()
{
    softmix::manualdevice* self = this;
    running.compare_exchange_strong(self, nullptr);
}

void manualdevice::pull(int16_t* out)
{
    if (mixer_) mixer_->mix16(out, fragment_values_);
}

}  // namespace softmix

void UseManualAudioOutput(int on) { use_manual.store(on ? 1 : 0); }

int ManualAudioOutputInUse() { return use_manual.load(); }

int PullAudioFragment(int16_t* out)
{
    softmix::manualdevice* device = running.load();
    if (!device) return 0;
    device->pull(out);
    return device->fragment_values();
}

}  // namespace kelvora
