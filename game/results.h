// The results screen after a game.
#pragma once

void results_frame();
