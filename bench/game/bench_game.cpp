// Runs the replay harness on fixed scripts and prints its timing figures:
// start-up to the first frame, main-thread time per frame on the title
// screen and in a heavy play scene with each 2D driver, and the peak
// memory of a whole game; beside the heavy scene, the raw OpenGL floor of
// its logged frames from the rendering benchmark. GL runs need a DISPLAY
// (run under Xvfb).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The replay harness timed: this build's, or BENCH_REPLAY's (another
// build's, to set two builds side by side).
std::string replay_program()
{
    const char* other = std::getenv("BENCH_REPLAY");
    return other && *other ? other : KV_REPLAY;
}

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
    const std::string cmd = "'" + replay_program() + "' --driver " + driver + " --frames " +
                            std::to_string(frames) + " --timing " + std::to_string(from) + " --clock 1000 --dir '" +
                            dir.string() + "' --script '" + script_file.string() + "' --state '" +
                            (dir / "state.json").string() + "'" + extra;
    std::printf("-- %s (%s driver, frames %d..%d)\n", title, driver.c_str(), from, frames);
    std::fflush(stdout);
    if (std::system(cmd.c_str()) != 0)
        std::printf("   (run failed)\n");
    std::fflush(stdout);
}

// --- Against the floor: a bare SDL2 + OpenGL program (bench_floor) that
// shows one frame in the same full-screen window after uploading as many
// texture bytes as the game.

double monotonic_ms()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct launch_figures {
    double first_frame_ms = -1;  // from before the launch to the first presented frame
    double peak_rss_mb = -1;
};

// Runs a command, its output to a file, and reads the figures it printed.
launch_figures launch(const std::string& cmd, const fs::path& out)
{
    launch_figures f;
    const double t0 = monotonic_ms();
    if (std::system((cmd + " >'" + out.string() + "' 2>/dev/null").c_str()) != 0)
        return f;
    std::ifstream in(out);
    std::string key;
    double value = 0;
    while (in >> key >> value) {
        if (key == "first_frame_at_ms")
            f.first_frame_ms = value - t0;
        else if (key == "peak_rss_mb")
            f.peak_rss_mb = value;
    }
    return f;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// driver: the 2D driver's name; empty, BENCH_DRIVER's (the one whose
// start-up and memory are measured: gl, core, es), else gl.
std::string replay_cmd(const fs::path& dir, int frames, const std::string& script, std::string driver = "")
{
    const fs::path script_file = dir / ("floor-script-" + std::to_string(frames) + ".txt");  // one per run length
    std::ofstream(script_file) << script;
    const char* chosen = std::getenv("BENCH_DRIVER");
    if (driver.empty()) driver = chosen && *chosen ? chosen : "gl";
    return "'" + replay_program() + "' --driver " + driver + " --frames " +
           std::to_string(frames) +
           " --timing 1 --clock 1000 --dir '" + dir.string() + "' --script '" + script_file.string() +
           "' --state '" + (dir / "floor-state.json").string() + "'";
}

// The texture bytes a command uploads, counted by the preloaded counter.
long long texture_bytes_of(const std::string& cmd, const fs::path& dir)
{
    const fs::path file = dir / "texture-bytes.txt";
    fs::remove(file);
    launch("LD_PRELOAD='" + std::string(KV_TEXTURE_BYTES_LIB) + "' KV_TEXTURE_BYTES_FILE='" + file.string() + "' " +
               cmd,
           dir / "count.out");
    long long n = 0;
    std::ifstream(file) >> n;
    return n;
}

// The median of the runs' own ratios, each run's game against the floor run
// beside it, with the middle half of those ratios (the spread a single
// figure may move by); both medians beside.
void print_row(const char* figure, const std::vector<double>& game, const std::vector<double>& floor)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < game.size() && i < floor.size(); ++i)
        if (floor[i] > 0) ratios.push_back(game[i] / floor[i]);
    std::sort(ratios.begin(), ratios.end());
    const size_t n = ratios.size();
    const double low = n ? ratios[n / 4] : 0, high = n ? ratios[n - 1 - n / 4] : 0;
    std::printf("   %-44s game %8.1f   floor %8.1f   ratio %5.2f (middle half %.2f-%.2f, %zu pairs)\n", figure,
                median(game), median(floor), median(ratios), low, high, n);
}

void versus_floor(const fs::path& dir, int runs, bool start_only)
{
    const char* screen = std::getenv("XVFB_SCREEN");
    const char* driver = std::getenv("BENCH_DRIVER");
    // The shader driver's floor is a bare program on the same kind of
    // context, which must compile a shader to show anything: Mesa builds its
    // GLSL compiler's built-in functions (about 7 MB) at the first compile.
    const std::string kind = driver && *driver ? driver : "gl";
    const std::string floor_kind = kind == "core" || kind == "es" ? " --shader " + kind : "";
    std::printf("-- the game (%s driver) against the floor (bare SDL2 + OpenGL%s, one frame), screen %s\n",
                kind.c_str(), floor_kind.empty() ? "" : (kind == "es" ? " ES 3.0 with a shader" : " 3.3 core with a shader"),
                screen ? screen : "1280x1024x24");
    std::fflush(stdout);
    const std::string start = replay_cmd(dir, 1, title_script());
    const int heavy_frames = 1800;
    const std::string heavy = replay_cmd(dir, heavy_frames, heavy_script(heavy_frames));
    // Counted with the fixed-function driver: the shader driver takes its
    // entry points from the context, past the preloaded counter, and
    // uploads the same textures.
    const long long start_bytes = texture_bytes_of(replay_cmd(dir, 1, title_script(), "gl"), dir);
    const long long heavy_bytes =
        start_only ? 0 : texture_bytes_of(replay_cmd(dir, heavy_frames, heavy_script(heavy_frames), "gl"), dir);
    if (start_only)
        std::printf("   texture bytes uploaded: %lld to the first frame\n", start_bytes);
    else
        std::printf("   texture bytes uploaded: %lld to the first frame, %lld through %d frames of heavy play\n",
                    start_bytes, heavy_bytes, heavy_frames);
    const std::string floor_start =
        std::string("'") + KV_BENCH_FLOOR + "' --texture-bytes " + std::to_string(start_bytes) + floor_kind;
    const std::string floor_heavy =
        std::string("'") + KV_BENCH_FLOOR + "' --texture-bytes " + std::to_string(heavy_bytes) + floor_kind;

    std::vector<double> game_first, floor_first, game_rss, floor_rss, game_start_rss, floor_start_rss;
    launch(floor_start, dir / "floor.out");  // the libraries into the page cache for both
    for (int i = 0; i < runs; ++i) {  // in pairs, so load changes hit both alike
        const launch_figures f = launch(floor_start, dir / "floor.out");
        const launch_figures g = launch(start, dir / "game.out");
        if (f.first_frame_ms < 0 || g.first_frame_ms < 0) continue;
        floor_first.push_back(f.first_frame_ms), floor_start_rss.push_back(f.peak_rss_mb);
        game_first.push_back(g.first_frame_ms), game_start_rss.push_back(g.peak_rss_mb);
    }
    print_row("start to first frame (ms, from the launch)", game_first, floor_first);
    print_row("peak memory to the first frame (MB)", game_start_rss, floor_start_rss);
    std::fflush(stdout);
    if (start_only)
        return;
    for (int i = 0; i < runs; ++i) {
        const launch_figures f = launch(floor_heavy, dir / "floor.out");
        const launch_figures g = launch(heavy, dir / "game.out");
        if (f.peak_rss_mb < 0 || g.peak_rss_mb < 0) continue;
        floor_rss.push_back(f.peak_rss_mb);
        game_rss.push_back(g.peak_rss_mb);
    }
    print_row("peak memory, heavy play (MB)", game_rss, floor_rss);
    std::printf("   heavy play's peak memory above the floor: %.1f MB\n", median(game_rss) - median(floor_rss));
    std::fflush(stdout);
}

// Logged frames of a scene, batched by the engine and issued raw with
// immediate-mode OpenGL, both presented full screen (bench_render2d
// --calls), on a private Xvfb of each size; medians of the runs' medians.
void versus_raw_issue(const fs::path& dir, const fs::path& calls, const char* scene)
{
    const char* env_runs = std::getenv("BENCH_RUNS");
    const int runs = env_runs ? std::max(1, std::atoi(env_runs)) : 5;
    std::printf("-- %s frames, engine batched against the raw immediate-mode issue, both presented "
                "full screen (bench_render2d --calls, %d runs per screen)\n",
                scene, runs);
    std::fflush(stdout);
    for (const char* screen : {"1280x1024x24", "1920x1080x24"}) {
        std::vector<double> raw, batched, ratio, cpu_ratio, core, es, core_ratio, es_ratio, core_cpu, es_cpu;
        std::vector<double> shown, core_shown, es_shown;  // presenting alone
        double last_batched = 0, last_batched_cpu = 0;
        const fs::path out = dir / "calls.out";
        for (int i = 0; i < runs; ++i) {
            const std::string cmd = std::string("XVFB_SCREEN=") + screen + " '" + KV_SOURCE_DIR +
                                    "/scripts/with-xvfb.sh' '" + KV_BENCH_RENDER2D + "' --calls '" + calls.string() +
                                    "' >'" + out.string() + "' 2>/dev/null";
            if (std::system(cmd.c_str()) != 0)
                continue;
            std::ifstream in(out);
            std::string line;
            while (std::getline(in, line)) {
                double r = 0, b = 0, one = 0, cr = 0, cb = 0, p = 0;
                if (std::sscanf(line.c_str(),
                                "calls: raw %lf batched %lf single %lf cpu_raw %lf cpu_batched %lf present %lf", &r, &b,
                                &one, &cr, &cb, &p) == 6 &&
                    r > 0 && cr > 0) {
                    shown.push_back(p);
                    raw.push_back(r);
                    batched.push_back(b);
                    ratio.push_back(b / r);
                    cpu_ratio.push_back(cb / cr);
                    last_batched = b;
                    last_batched_cpu = cb;
                }
                // The shader driver on the same frames, same run, against this batched figure.
                double c = 0, e = 0, cc = 0, ec = 0, cp = 0, ep = 0;
                if (std::sscanf(line.c_str(),
                                "shader: core %lf es %lf cpu_core %lf cpu_es %lf present_core %lf present_es %lf", &c,
                                &e, &cc, &ec, &cp, &ep) == 6 &&
                    last_batched > 0 && last_batched_cpu > 0) {
                    core_shown.push_back(cp);
                    es_shown.push_back(ep);
                    if (c > 0) core.push_back(c), core_ratio.push_back(c / last_batched),
                        core_cpu.push_back(cc / last_batched_cpu);
                    if (e > 0) es.push_back(e), es_ratio.push_back(e / last_batched),
                        es_cpu.push_back(ec / last_batched_cpu);
                }
            }
        }
        std::printf("   %-13s batched %7.2f ms   raw %7.2f ms   ratio %5.3f   (medians of %zu runs; ratios", screen,
                    median(batched), median(raw), median(ratio), ratio.size());
        for (double x : ratio)
            std::printf(" %.3f", x);
        std::printf(")\n   %-13s CPU time of the frames (all threads), batched / raw %5.3f (ratios", "",
                    median(cpu_ratio));
        for (double x : cpu_ratio)
            std::printf(" %.3f", x);
        std::printf(")\n");
        std::printf("   %-13s shader driver: core %7.2f ms (/ batched %5.3f, CPU %5.3f)   es %7.2f ms (/ batched "
                    "%5.3f, CPU %5.3f)   (medians of %zu and %zu runs)\n",
                    "", median(core), median(core_ratio), median(core_cpu), median(es), median(es_ratio),
                    median(es_cpu), core.size(), es.size());
        // What the window system's present alone takes of each (EGL's under X11 is a slow copy).
        std::printf("   %-13s presenting alone: legacy %7.2f ms   core %7.2f ms   es %7.2f ms\n", "", median(shown),
                    median(core_shown), median(es_shown));
        std::fflush(stdout);
    }
}

}  // namespace

// bench_game [--versus-floor [RUNS] [--start-only]]: the harness figures, or
// only the start-up and memory against the floor on the current screen
// (--start-only: without the heavy play's memory), in RUNS pairs of launches
// (the floor's, then the game's). BENCH_DRIVER picks the 2D driver,
// BENCH_REPLAY another build's harness.
int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--versus-floor") == 0) {
        if (!std::getenv("DISPLAY")) {
            std::printf("(no DISPLAY: nothing to hold against the floor)\n");
            return 0;
        }
        const fs::path dir = work_dir();
        const bool start_only = argc > 3 && std::strcmp(argv[3], "--start-only") == 0;
        versus_floor(dir, argc > 2 ? std::max(1, std::atoi(argv[2])) : 5, start_only);
        fs::remove_all(dir);
        return 0;
    }
    const fs::path dir = work_dir();
    const bool display = std::getenv("DISPLAY") != nullptr;
    const int heavy_end = 2400;
    if (display)
        for (const char* driver : {"gl", "core", "es"})
            run(dir, "title screen", driver, 1200, 200, title_script());
    // Every hundredth title frame's drawing is logged for the raw issue too.
    const fs::path title_calls = dir / "title-calls.txt";
    std::string title_logs;
    for (int f = 200; f < 1200; f += 100)
        title_logs += " --draw-log " + std::to_string(f) + ":'" + title_calls.string() + "'";
    run(dir, "title screen", "record", 1200, 200, title_script(), title_logs);
    if (display)
        versus_raw_issue(dir, title_calls, "title screen");
    if (display)
        for (const char* driver : {"gl", "core", "es"})
            run(dir, "heavy play: 3D, aliens, debris, shots, Retro Line FX", driver, heavy_end, 1400,
                heavy_script(heavy_end));
    // The recording run also logs every hundredth frame's drawing, which the
    // rendering benchmark then issues with plain OpenGL: the floor for the scene.
    const fs::path calls = dir / "heavy-calls.txt";
    std::string logs;
    for (int f = 1400; f < heavy_end; f += 100)
        logs += " --draw-log " + std::to_string(f) + ":'" + calls.string() + "'";
    run(dir, "heavy play: 3D, aliens, debris, shots, Retro Line FX", "record", heavy_end, 1400,
        heavy_script(heavy_end), logs);
    if (display)
        versus_raw_issue(dir, calls, "heavy play");
    run(dir, "a whole game with steady fire (peak memory)", "record", 17400, 20, heavy_script(16000));
    if (!display)
        std::printf("(no DISPLAY: the OpenGL runs were skipped)\n");
    fs::remove_all(dir);
    return 0;
}
