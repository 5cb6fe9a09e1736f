#pragma once

// Marks functions that run on the audio thread: no lock it can wait on, no
// allocation, no log line.
#define CL_REALTIME
