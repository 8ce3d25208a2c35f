#include "app/state_log.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "game/globals.h"
#include "game/host_hooks.h"
#include "game/player.h"

#ifdef _WIN32
#include "runtime/win/wide.h"
#endif

using namespace kelvora;

namespace {

const char* const VARIABLE = "KELVORA3D_STATE_LOG";

}  // namespace

state_log::state_log()
{
#ifdef _WIN32
    // The ANSI environment cannot spell every folder name.
    const wchar_t* wide = _wgetenv(L"KELVORA3D_STATE_LOG");
    if (!wide || !*wide)
        return;
    const std::string path = Narrow(wide);
    file_ = _wfopen(wide, L"ab");
#else
    const char* name = std::getenv(VARIABLE);
    if (!name || !*name)
        return;
    const std::string path = name;
    file_ = std::fopen(name, "ab");
#endif
    if (!file_) {
        std::fprintf(stderr, "kelvora3d: cannot open the state log %s (%s): %s; the game plays without it\n",
                     path.c_str(), VARIABLE, std::strerror(errno));
        return;
    }
    // A line is shorter than the buffer: fflush hands it on in one write, so
    // a reader never meets half a line from us.
    std::setvbuf(file_, buffer_, _IOFBF, sizeof buffer_);
    game_hooks.frame_start = [this] { write_line(); };
}

state_log::~state_log()
{
    if (!file_)
        return;
    game_hooks.frame_start = nullptr;
    std::fclose(file_);
}

void state_log::write_line()
{
    ++frame_;
    // The total is what the results would show now, as the web page reports it.
    const int score = player ? player->score : 0;
    std::fprintf(file_, "frame=%ld state=%d score=%d total=%d best=%d mode3d=%d shots=%d\n", frame_, game_state, score,
                 score + wasted_penalty + escaped_penalty, player ? player->best_sc : 0, mode3d, shots_fired);
    std::fflush(file_);
}
