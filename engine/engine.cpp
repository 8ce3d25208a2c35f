#include "kelvora/engine.h"

#include "io/background_work.h"
#include "kelvora/audio/audiodriver.h"
#include "kelvora/render/graphics.h"
#include "kelvora/system/app_title.h"
#include "kelvora/system/joystick.h"
#include "render/default_driver.h"
#include "render/freetype_font.h"
#include "system/config_folder.h"

namespace kelvora {

void Init(const TEngineSettings& settings)
{
    if (!settings.app_name.empty())
        SetAppTitle(settings.app_name);
    SetConfigFolder(settings.config_folder);
    InitJoystickModule();
    InitFreeTypeFontLoader();
    InitDefault2DDriver(settings.renderer_variable);
}

void Shutdown()
{
    // However the rest goes: the output's thread must not play on into the
    // program's end.
    struct TStopSoundOutput {
        ~TStopSoundOutput() { ShutdownAudioDriver(); }
    } stop_sound_output;
    FinishBackgroundWork();  // preloads read through what goes next
    EndGraphics();
    ShutdownDefault2DDriver();
    // The pads open again on the next query.
    SetJoystickSystem(nullptr);
}

}  // namespace kelvora
