// Start-up notices: what is wrong with a file the program reads when it
// starts (the font, the container file, the models). Each problem is said
// once on standard error as it is found and, while text can be drawn, shown
// in the bottom-left corner of the window, below the debug panel, until the
// next start-up (F11). Without problems nothing is printed or drawn.
#pragma once

#include <string>
#include <vector>

// Forgets the notices of the last start-up.
void Notices_Clear();
// Prints "chamber: LINE" on standard error and keeps the line for the screen.
void Notices_Add(const std::string& line);
// The same for the container file's problem, which goes again once a good
// container file has been loaded while the program runs.
void Notices_AddRooms(const std::string& line);
// A good container file is in use now: its start-up problem is no longer shown.
void Notices_RoomsReloaded();
// The lines kept since the last Notices_Clear, oldest first.
const std::vector<std::string>& Notices_Lines();
// After a failed Font_Create of path: says why no (or not all) text shows.
void Notices_FontFailed(const char* path);
// In the overlay projection: the kept lines, one above the other, ending
// at the window's bottom-left corner.
void Notices_Draw();
