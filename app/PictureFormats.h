#pragma once
// Fills the picture loader's table with every format the program reads: the built-in ones
// and the GIF codec's. Called once at start.
void RegisterPictureFormats();
