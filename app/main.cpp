// Kelvora 3D.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "game/mainloop.h"
#include "app/online_scores.h"
#include "app/options.h"
#include "app/platform.h"
#include "app/recorded_run.h"
#include "app/saves_folder.h"
#include "app/state_log.h"
#include "game/saved_values.h"
#include "kelvora/engine.h"
#include "kelvora/io/filesystem.h"
#include "kelvora/render/graphics.h"
#include "kelvora/system/hook.h"
#include "render/png_loader.h"
#include "render/renderer_choice.h"
#include "runtime/program.h"

using namespace kelvora;

// Generated with the program's embedded icon.
void RegisterProgramIcon();

namespace {

THookData start_sender(int, THookData data, THookData sender)
{
    static_cast<score_sender*>(sender.get())->start();
    return data;
}

// The window as players' desktops expect it: the scale asked for, the icon
// of the desktop entry, and the entry's id as its class.
void apply_window_wishes()
{
    RegisterProgramIcon();
    if (launch_options.window)
        SetGraphicsWindowScale(launch_options.window_scale);
    SetGraphicsAppId("org.kelvora.kelvora3d");
    SetGraphicsIcon(LoadPixmapPNG(std::string("incbin::icons\\kelvora3d.png")));
}

// A program copied away from its data/ (to the desktop, or started inside
// the zip) plays without sounds: said once, where the player looks.
void say_if_sounds_missing(const TProgramLayout& layout)
{
    if (FileType(layout.files_dir + "/data") == FILETYPE_DIR)
        return;
    tell_player("The sounds and music were not found (there is no data folder in " + SystemPathText(layout.files_dir) +
                "); the game plays without them. Keep the program in the folder it came in.");
}

// The game's own start-up failed before any display opened (the game said
// why on stderr): the player of a program without a console sees it too.
int report_if_no_display(int status)
{
    if (status != 0 && GraphicsSeq() == 1) {
        const std::string why = LastGraphicsError();
        report_fatal("Kelvora 3D: cannot open a 640x480 display" + (why.empty() ? why : ": " + why), true);
    }
    return status;
}

// The program, its fatal errors said where the player looks.
int run(int argc, char** argv)
{
    use_starting_console();
    use_real_pixels();
    const std::vector<std::string> args = program_arguments(argc, argv);
    std::string error;
    if (!parse_game_options(args, launch_options, error)) {
        report_fatal("kelvora3d: " + error + " (see 'kelvora3d --help')");
        return 2;
    }
    if (launch_options.help) {
        std::fputs(game_usage("kelvora3d").c_str(), stdout);
        return 0;
    }
    if (launch_options.version) {
        std::fputs(game_version_text().c_str(), stdout);
        return 0;
    }
    std::vector<TRenderer> order;
    if (!RendererOrder(launch_options.renderer, game_engine_settings().renderer_variable, order, error)) {
        report_fatal("kelvora3d: " + error);
        return 2;
    }
    PreferRenderers(order);
    // Relative paths of options are the player's, not the game folder's.
    for (std::string* path : {&launch_options.record, &launch_options.replay})
        *path = absolute_path(*path);
    const precise_timers timers;  // the frame pacer's sleeps end on time
    // For tests that drive the program; opened before the working folder
    // changes, so a relative name is the caller's.
    const state_log frames;

    game_start_wishes.window = launch_options.window;
    game_start_wishes.mute = launch_options.mute;
    TProgramLayout layout;
    EnterFilesDirectory("kelvora3d", &layout);
    if (in_system_programs_folder(layout.program_dir))
        layout.installed = true;
    apply_window_wishes();
    say_if_sounds_missing(layout);
    if (!launch_options.replay.empty())
        return report_if_no_display(replay_recorded_game(launch_options.replay));
    const saved_values_place place = choose_saved_values_place(layout, user_saves_folder());
    if (place.folder.empty())
        std::fprintf(stderr,
                     "Kelvora 3D: nowhere to keep the best score and the 3D mode (neither %s nor the "
                     "user data folder can be written); this run's values will not be saved\n",
                     SystemPathText(layout.files_dir + "/data").c_str());
    use_saved_values_place(place);
    // The score table's settings live beside the saved values.
    score_settings scores;
    const std::string saves = place.folder == "data" ? layout.files_dir + "/data" : place.folder;
    if (!settle_score_settings(saves, launch_options.scores, launch_options.name, scores, error)) {
        report_fatal("kelvora3d: " + error + " (see 'kelvora3d --help')");
        return 2;
    }
    if (scores.server.empty() && launch_options.record.empty())
        return report_if_no_display(run_game());
    // With a table, every game's run is recorded as --record records it
    // (one recording serves both) and handed to the sender when it ends.
    std::unique_ptr<score_sender> sender;
    std::function<void(const std::string&, int)> on_game_end;
    THookData sender_hook;  // the sender, not owned
    if (!scores.server.empty()) {
        sender = std::make_unique<score_sender>(scores);
        on_game_end = [&sender](const std::string& run, int) { sender->queue(run); };
        // Sends (what a run kept from before too) once the first frame is
        // shown: SDL has written the environment by then.
        sender_hook = THookData(THookData(), sender.get());
        AddHook(FlipHook(), start_sender, sender_hook);
    }
    const int status = run_recorded_game(launch_options.record, on_game_end);
    if (sender) RemoveHook(FlipHook(), start_sender, sender_hook);
    sender.reset();  // the window has gone: a post under way gets its moment
    return report_if_no_display(status);
}

}  // namespace

int main(int argc, char** argv)
{
    return RunGuarded([&] {
        try {
            return run(argc, argv);
        } catch (const std::exception& e) {
            report_fatal(e.what(), true);  // RunGuarded prints it
            throw;
        }
    });
}
