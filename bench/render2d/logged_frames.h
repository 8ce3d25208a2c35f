// Frames of the game logged by the replay harness (--draw-log), drawn again
// with plain OpenGL calls: the floor under what the engine and the game cost
// for the same picture.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kelvora {
class TImageFrame;
class TPixmap;
class TRast2DDriver;
}  // namespace kelvora
using namespace kelvora;

struct LoggedCall {
    std::string name;
    std::vector<float> args;
    int picture = -1;  // DrawFrame and DrawPixmap: which picture
};

struct LoggedFrames {
    std::vector<std::vector<LoggedCall>> frames;
    std::map<int, std::pair<int, int>> picture_sizes;  // picture -> width, height

    int CallCount() const;
};

// Reads a draw log; false with a message when it is missing or malformed.
bool LoadLoggedFrames(const std::string& path, LoggedFrames& out, std::string& error);

// Owns one texture per logged picture (sizes padded to powers of two, as
// the engine's driver makes them) and issues a logged frame's calls.
// Needs a current 640x480 context set up for 2D drawing.
class LoggedFramePlayer {
public:
    explicit LoggedFramePlayer(const LoggedFrames& frames);
    ~LoggedFramePlayer();
    LoggedFramePlayer(const LoggedFramePlayer&) = delete;
    LoggedFramePlayer& operator=(const LoggedFramePlayer&) = delete;

    void Draw(int frame);

private:
    const LoggedFrames& frames_;
    std::map<int, unsigned> textures_;
    std::map<int, std::pair<float, float>> extents_;  // picture -> u1, v1
    float ix_ = 1, iy_ = 0, jx_ = 0, jy_ = 1;
    float color_[4] = {1, 1, 1, 1};
};

// Issues a logged frame's calls through one of the engine's OpenGL 2D
// drivers (its frames made from pictures of the logged sizes): the engine's
// own cost of sending the same frame, batched or one call at a time.
class LoggedFrameEngine {
public:
    LoggedFrameEngine(const LoggedFrames& frames, TRast2DDriver& driver);
    void Draw(int frame);

private:
    const LoggedFrames& frames_;
    TRast2DDriver& driver_;
    std::map<int, std::shared_ptr<TImageFrame>> images_;
    std::map<int, std::shared_ptr<TPixmap>> pixmaps_;
};
