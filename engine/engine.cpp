#include "kelvora/engine.h"

#include "kelvora/audio/audio.h"
#include "kelvora/render/graphics.h"
#include "kelvora/system/app_title.h"
#include "kelvora/system/joystick.h"
#include "render/default_driver.h"
#include "render/freetype_font.h"

namespace kelvora {

void Init(const TEngineSettings& settings)
{
    if (!settings.app_name.empty())
        SetAppTitle(settings.app_name);
    InitJoystickModule();
    InitFreeTypeFontLoader();
    InitDefault2DDriver();
}

void Shutdown()
{
    EndGraphics();
    ShutdownAudioDriver();
}

}  // namespace kelvora
