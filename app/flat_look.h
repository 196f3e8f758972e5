// The flat control look: frames in the scheme's colour, gradient push
// buttons and a hover state, for the calling thread's controls and for every
// such control it creates later.
#pragma once

// Schemes 1 to 3 switch the look on with that scheme's colours; any other
// number leaves the thread's controls in the system's look.
void ApplyFlatLook(int scheme);
