// Runs the replay harness on a fresh directory and reads its state dump.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

using replay_state = std::map<std::string, double>;

struct replay_result {
    int status = -1;
    replay_state state;                // after the last frame
    std::map<int, replay_state> at;    // after the frames asked for with `states_at`
    std::string err;
    double operator[](const std::string& key) const;
    // A value of the state after frame f.
    double at_frame(int f, const std::string& key) const;
};

class replay_dir {
public:
    // A temporary program directory with the game's sound files in data/.
    explicit replay_dir(const std::string& name);
    ~replay_dir();
    const std::filesystem::path& path() const { return dir_; }
    std::filesystem::path data() const { return dir_ / "data"; }
    void put(const std::string& name, const std::vector<unsigned char>& bytes) const;
    std::vector<unsigned char> bytes(const std::string& name) const;

    // Runs the harness for frames with the script text; extra arguments as given.
    replay_result run(int frames, const std::string& script, const std::vector<std::string>& extra = {},
                      const std::string& driver = "record", const std::vector<int>& states_at = {}) const;

private:
    std::filesystem::path dir_;
};

// Script helpers: a click of the left button at (x, y) in frame f (pressed and
// released in that frame), a key press, a key held for a frame.
std::string click(int frame, int x, int y);
std::string key_press(int frame, int code);
