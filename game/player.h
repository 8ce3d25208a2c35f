// The player's ship: climbs and sinks, steers by scrolling the world, fires
// from two cannons, and carries the score and the best score.
#pragma once

struct player_tag {
    int score = 0;
    int best_sc = 0;
    int new_bs = 0;
    int lives = 0;
    int level = 0;
    float x = 0.0f;
    float y = 0.0f;
    float rotation = 0.0f;
    float scale = 0.0f;
    int frame = 0;
    int a_tmr = 0;
    int shottmr = 0;
    float thr_ysc = 0.0f;
    int shot_side = 0;
    float xsc = 0.0f;
    float ysc = 0.0f;

    // Works on the global player; full also starts a new game.
    static void reset(int full);
    void update();
    void get_inputs();
    // Waits for the fire buttons to be released and empties keys and mouse.
    void flush_inputs();
};
