// Screenshots as PNG files, apart from reading the frame, so that tests can
// write them without a window.
#pragma once

#include <string>
#include <vector>

// Numbers run from screenshot-0001.png to this one.
constexpr int kMaxScreenshots = 9999;

// PNG bytes of an 8-bit RGB image whose rows come bottom row first, as
// glReadPixels gives them. False for an empty image or a buffer of the wrong
// size.
bool Screenshot_EncodePng(int width, int height, const std::vector<unsigned char>& rgbBottomUp,
                          std::string* png);
// "screenshot-0042.png" for 42.
std::string Screenshot_Name(int number);
// The first name from screenshot-0001.png on that nothing in the working
// directory has; empty when every number is taken.
std::string Screenshot_FirstFreeName();
// Writes the image under the first free name (never over an existing file),
// whole or not at all. savedAs gets the name tried, empty when none was free.
bool Screenshot_Save(int width, int height, const std::vector<unsigned char>& rgbBottomUp,
                     std::string* savedAs);
