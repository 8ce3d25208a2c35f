// The start-up logo and the menu that is both the title and the pause menu.
#pragma once

void show_logo(int y_offset);
void menu_frame();
// A fully deflected joystick moves the mouse pointer 6 pixels a frame.
void joy_pointer();
// The menu row under a pointer height: -1 above the rows, 6 or more below.
int menu_row_at(int mouse_y);
