// The images and the font carried inside the program.
#pragma once

// Registers the game's nine embedded blocks under their "incbin::" names, in
// the game's fixed order. Call it first thing in main, before any module starts.
void RegisterEmbeddedResources();
