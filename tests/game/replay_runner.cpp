#include "replay_runner.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

double replay_result::operator[](const std::string& key) const
{
    auto it = state.find(key);
    if (it == state.end())
        throw std::runtime_error("no \"" + key + "\" in the state dump; stderr: " + err);
    return it->second;
}

double replay_result::at_frame(int f, const std::string& key) const
{
    auto it = at.find(f);
    if (it == at.end())
        throw std::runtime_error("no state after frame " + std::to_string(f) + "; stderr: " + err);
    auto v = it->second.find(key);
    if (v == it->second.end())
        throw std::runtime_error("no \"" + key + "\" after frame " + std::to_string(f));
    return v->second;
}

namespace {

// One "name": number pair a line.
replay_state read_state(const fs::path& file)
{
    replay_state state;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        const size_t q1 = line.find('"');
        const size_t q2 = q1 == std::string::npos ? q1 : line.find('"', q1 + 1);
        const size_t colon = q2 == std::string::npos ? q2 : line.find(':', q2);
        if (colon != std::string::npos)
            state[line.substr(q1 + 1, q2 - q1 - 1)] = std::strtod(line.c_str() + colon + 1, nullptr);
    }
    return state;
}

}  // namespace

replay_dir::replay_dir(const std::string& name)
{
    dir_ = fs::temp_directory_path() / ("kv_replay_" + name + "_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "data");
    const fs::path sounds = fs::path(KV_SOURCE_DIR) / "data";
    if (fs::exists(sounds))
        for (const auto& e : fs::directory_iterator(sounds))
            if (e.path().extension() == ".ogg")
                fs::copy_file(e.path(), dir_ / "data" / e.path().filename());
}

replay_dir::~replay_dir()
{
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

void replay_dir::put(const std::string& name, const std::vector<unsigned char>& b) const
{
    std::ofstream out(dir_ / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::vector<unsigned char> replay_dir::bytes(const std::string& name) const
{
    std::ifstream in(dir_ / name, std::ios::binary);
    if (!in)
        return {};
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

replay_result replay_dir::run(int frames, const std::string& script, const std::vector<std::string>& extra,
                              const std::string& driver, const std::vector<int>& states_at) const
{
    const fs::path script_file = dir_ / "script.txt";
    const fs::path state_file = dir_ / "state.json";
    const fs::path err_file = dir_ / "stderr.txt";
    fs::remove(state_file);
    {
        std::ofstream out(script_file);
        out << script;
    }
    std::string cmd = std::string("'") + KV_REPLAY + "' --frames " + std::to_string(frames) + " --driver " + driver +
                      " --clock 1000 --dir '" + dir_.string() + "' --script '" + script_file.string() +
                      "' --state '" + state_file.string() + "'";
    for (const auto& a : extra)
        cmd += " '" + a + "'";
    for (int f : states_at) {
        const fs::path file = dir_ / ("state_" + std::to_string(f) + ".json");
        fs::remove(file);
        cmd += " --state-at '" + std::to_string(f) + ":" + file.string() + "'";
    }
    cmd += " 2>'" + err_file.string() + "'";
    replay_result r;
    const int rc = std::system(cmd.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    {
        std::ifstream e(err_file);
        std::stringstream ss;
        ss << e.rdbuf();
        r.err = ss.str();
    }
    r.state = read_state(state_file);
    for (int f : states_at)
        r.at[f] = read_state(dir_ / ("state_" + std::to_string(f) + ".json"));
    return r;
}

std::string click(int frame, int x, int y)
{
    const std::string f = std::to_string(frame);
    return f + " mouse move " + std::to_string(x) + " " + std::to_string(y) + "\n" + f + " mouse down 1\n" + f +
           " mouse up 1\n";
}

std::string key_press(int frame, int code)
{
    const std::string f = std::to_string(frame);
    return f + " key down " + std::to_string(code) + "\n" + f + " key up " + std::to_string(code) + "\n";
}
