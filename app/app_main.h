#pragma once

// The portable main routine: builds the window and the renderer, runs the main
// loop until the window is closed and tears everything down. Returns the
// process exit code, 0; a failure that ends the program is thrown. The
// arguments are not looked at.
int appMain(int argc, char** argv);
