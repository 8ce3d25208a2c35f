// Runs the replay harness on fixed scripts and prints its timing figures:
// start-up to the first frame, main-thread time per frame on the title
// screen and in a heavy play scene with each 2D driver, and the peak
// memory of a whole game; beside the heavy scene, the raw OpenGL floor of
// its logged frames from the rendering benchmark. GL runs need a DISPLAY
// (run under Xvfb).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

fs::path work_dir()
{
    const fs::path dir = fs::temp_directory_path() / ("kv_bench_game_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "data");
    const fs::path sounds = fs::path(KV_SOURCE_DIR) / "data";
    if (fs::exists(sounds))
        for (const auto& e : fs::directory_iterator(sounds))
            if (e.path().extension() == ".ogg")
                fs::copy_file(e.path(), dir / "data" / e.path().filename());
    return dir;
}

std::string press(int frame, int code)
{
    return std::to_string(frame) + " key down " + std::to_string(code) + "\n" + std::to_string(frame) +
           " key up " + std::to_string(code) + "\n";
}

std::string click(int frame, int row)
{
    const std::string f = std::to_string(frame);
    return f + " mouse move 320 " + std::to_string(245 + 30 * row) + "\n" + f + " mouse down 1\n" + f +
           " mouse up 1\n";
}

// The title screen from frame 3 on.
std::string title_script()
{
    return press(2, 32);
}

// 3D mode 2 with Retro Line FX, then a game with steady fire and steering.
std::string heavy_script(int until)
{
    std::string s = press(2, 32) + click(5, 1) + click(7, 1) + click(9, 2) + click(12, 0);
    for (int f = 13; f < until; f += 7)
        s += press(f, 162);
    for (int f = 13; f < until; f += 300) {
        s += std::to_string(f) + " key down " + std::to_string(f % 600 == 13 ? 37 : 39) + "\n";
        s += std::to_string(f + 120) + " key up " + std::to_string(f % 600 == 13 ? 37 : 39) + "\n";
    }
    return s;
}

void run(const fs::path& dir, const char* title, const std::string& driver, int frames, int from,
         const std::string& script, const std::string& extra = "")
{
    const fs::path script_file = dir / "script.txt";
    std::ofstream(script_file) << script;
    const std::string cmd = std::string("'") + KV_REPLAY + "' --driver " + driver + " --frames " +
                            std::to_string(frames) + " --timing " + std::to_string(from) + " --clock 1000 --dir '" +
                            dir.string() + "' --script '" + script_file.string() + "' --state '" +
                            (dir / "state.json").string() + "'" + extra;
    std::printf("-- %s (%s driver, frames %d..%d)\n", title, driver.c_str(), from, frames);
    std::fflush(stdout);
    if (std::system(cmd.c_str()) != 0)
        std::printf("   (run failed)\n");
    std::fflush(stdout);
}

}  // namespace

int main()
{
    const fs::path dir = work_dir();
    const bool display = std::getenv("DISPLAY") != nullptr;
    const int heavy_end = 2400;
    if (display)
        run(dir, "title screen", "gl", 1200, 200, title_script());
    run(dir, "title screen", "record", 1200, 200, title_script());
    if (display)
        run(dir, "heavy play: 3D, aliens, debris, shots, Retro Line FX", "gl", heavy_end, 1400,
            heavy_script(heavy_end));
    // The recording run also logs every hundredth frame's drawing, which the
    // rendering benchmark then issues with plain OpenGL: the floor for the scene.
    const fs::path calls = dir / "heavy-calls.txt";
    std::string logs;
    for (int f = 1400; f < heavy_end; f += 100)
        logs += " --draw-log " + std::to_string(f) + ":'" + calls.string() + "'";
    run(dir, "heavy play: 3D, aliens, debris, shots, Retro Line FX", "record", heavy_end, 1400,
        heavy_script(heavy_end), logs);
    if (display) {
        std::printf("-- the same scene's frames drawn with plain OpenGL (bench_render2d --calls)\n");
        std::fflush(stdout);
        if (std::system((std::string("'") + KV_BENCH_RENDER2D + "' --calls '" + calls.string() + "'").c_str()) != 0)
            std::printf("   (run failed)\n");
        std::fflush(stdout);
    }
    run(dir, "a whole game with steady fire (peak memory)", "record", 17400, 20, heavy_script(16000));
    if (!display)
        std::printf("(no DISPLAY: the OpenGL runs were skipped)\n");
    fs::remove_all(dir);
    return 0;
}
